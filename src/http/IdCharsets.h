#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Text of a body in the charset a response names. Known: UTF-8, US-ASCII, ISO-8859-1 (and its
// usual aliases), Windows-1252, UTF-16 (LE, BE, or by byte order mark). Any other name, and an
// empty one, reads each byte as the character of the same code.
std::string DecodeCharset(const uint8_t* ABytes, size_t ACount, std::string_view ACharSet);

// The charset of an XML body: the one its byte order mark names, else the encoding of its XML
// declaration, else UTF-8.
std::string XmlBodyCharset(const uint8_t* ABytes, size_t ACount);
