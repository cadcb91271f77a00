#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text form of IPv6 addresses: parsing of the usual notations ("::" compression, an embedded
// dotted IPv4 tail, optional brackets) and the normalised form of RFC 5952.
bool ParseIPv6(std::string_view text, uint16_t words[8]);
// A dotted IPv4 address: exactly four decimal numbers of one to three digits, each up to 255.
bool ParseIPv4Address(std::string_view text, uint8_t bytes[4]);
std::string FormatIPv6(const uint16_t words[8]);
