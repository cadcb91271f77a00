#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Small text helpers. Letter case is folded for ASCII only: protocol keywords are ASCII.
char LowerChar(char c);
char UpperChar(char c);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
// The value of one hexadecimal digit; -1 for any other character.
int HexValue(char c);
// Takes out the part before the first delimiter and leaves the input holding what follows it;
// without the delimiter the whole input is taken and the input becomes empty.
std::string Fetch(std::string& AInput, char ADelimiter);
bool StartsText(std::string_view APrefix, std::string_view s);
bool EndsText(std::string_view ASuffix, std::string_view s);
// Case-insensitive search; npos when absent.
size_t PosText(std::string_view ANeedle, std::string_view AHaystack, size_t AFrom = 0);

// Whitespace here is every character up to and including the space (control characters too).
std::string_view Trim(std::string_view s);
std::string_view TrimLeft(std::string_view s);
std::string_view TrimRight(std::string_view s);

// Whole-string decimal integer with an optional sign and surrounding whitespace; def otherwise
// (also on overflow).
int64_t StrToInt64Def(std::string_view s, int64_t ADef);
int StrToIntDef(std::string_view s, int ADef);
