#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text form of IPv6 addresses: parsing of the usual notations ("::" compression, an embedded
// dotted IPv4 tail, optional brackets) and the normalised form of RFC 5952.
bool ParseIPv6(std::string_view text, uint16_t words[8]);
std::string FormatIPv6(const uint16_t words[8]);
