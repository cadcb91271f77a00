#pragma once

#include <optional>

#include "base/Stream.h"

// Whether a Windows program file (PE32 or PE32+) has a certificate table, the place its
// Authenticode signatures are kept: its security directory names one. None when the file is no
// program file whose headers can be read to that point. Reads from the start of the stream;
// its position is left where the reading ended.
std::optional<bool> HasCertificateTable(TStream& AFile);
