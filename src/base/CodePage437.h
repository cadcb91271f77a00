#pragma once

#include <string>
#include <string_view>

// Code page 437 (the original IBM PC set, "OEM United States"): every byte is one character.
// Bytes below 0x80 are ASCII; the table gives the upper half. Archives written by older tools
// carry their entry names in it.
char16_t CodePage437ToUnicode(unsigned char AByte);
// The UTF-8 text of bytes in code page 437.
std::string CodePage437ToUtf8(std::string_view ABytes);
// Bytes in code page 437 for UTF-8 text; characters the code page lacks become "?".
std::string Utf8ToCodePage437(std::string_view AUtf8);
