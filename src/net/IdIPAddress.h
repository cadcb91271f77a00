#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The text forms of IP addresses, parsed in one place for the whole program: the stack, the
// TLS name check and the cookie store's domain matching.

// How strictly the parts of a dotted IPv4 address are read.
enum class TIdIPv4Form {
  // Exactly one to three decimal digits a part (the form inside an IPv6 address, and the one
  // a host name can never take).
  ifStrict,
  // A part may carry spaces around it and a sign, as the stack's IsIP has always accepted.
  ifLenient,
};

// Four parts split at ".", each from 0 to 255, nothing after the fourth.
bool ParseIPv4(std::string_view AText, uint8_t ABytes[4],
               TIdIPv4Form AForm = TIdIPv4Form::ifStrict);
inline bool IsIPv4Literal(std::string_view AText, TIdIPv4Form AForm = TIdIPv4Form::ifStrict) {
  uint8_t bytes[4];
  return ParseIPv4(AText, bytes, AForm);
}

// IPv6 in the usual notations: "::" compression, an embedded dotted IPv4 tail, optional
// brackets.
bool ParseIPv6(std::string_view AText, uint16_t AWords[8]);
// The same text, with an optional zone ("%" and a name) after the address.
bool IsIPv6Literal(std::string_view AText);
// The normalised form of RFC 5952.
std::string FormatIPv6(const uint16_t AWords[8]);
