#pragma once

#include <cstdarg>
#include <string>

// printf-style formatting into a std::string (messages with "%s" and "%d" placeholders).
#if defined(__MINGW32__)
#define PLENWICK_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define PLENWICK_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

std::string Format(const char* AFmt, ...) PLENWICK_PRINTF_FORMAT(1, 2);
std::string FormatV(const char* AFmt, va_list AArgs);
