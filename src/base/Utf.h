#pragma once

#include <string>
#include <string_view>

// UTF-8 is the program's own text; UTF-16 is what the Win32 API takes. Malformed input
// (stray continuation bytes, overlong forms, lone surrogates) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view AUtf8);
std::string Utf16ToUtf8(std::u16string_view AUtf16);
// Appends the UTF-8 form of one code point (U+FFFD for surrogates and values past U+10FFFF).
void AppendUtf8(std::string& AOut, char32_t ACodePoint);
// True when text is well-formed UTF-8.
bool IsValidUtf8(std::string_view AText);

#ifdef _WIN32
std::wstring ToWide(std::string_view AUtf8);
std::string FromWide(std::wstring_view AUtf16);
#endif
