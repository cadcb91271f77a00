#pragma once

#include <string>

// The system the program runs on, for the log: "Windows 10.0.19045" (with "under Wine 8.0" where
// it is Wine), natively the kernel's name and release.
std::string SystemDescription();
