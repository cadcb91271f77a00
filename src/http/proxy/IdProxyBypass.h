#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "http/IdURI.h"

// What the bypass lists of both platforms' proxy settings compare hosts by.

// The host as the lists compare it: lower case, without brackets or a final dot.
std::string BypassHostName(std::string_view AHost);

// The host as an IP address: 4 bytes for IPv4, 16 for IPv6; empty for a name.
std::vector<uint8_t> HostAddressBytes(std::string_view AHost);

// True when AAddress lies in the network ANetwork/ABits (both of one family; ABits up to the
// address's size in bits).
bool InNetwork(const std::vector<uint8_t>& AAddress, const std::vector<uint8_t>& ANetwork,
               int ABits);

// "localhost" (and names below it), 127.0.0.0/8 and ::1: the machine itself, which a proxy
// elsewhere could never reach as meant.
bool IsLoopbackHost(std::string_view AHost);

// The port a request to AURI goes to: its own, else its scheme's; -1 when neither is known.
int BypassPort(const TIdURI& AURI);

// A bypass entry split into its host and port: "host:port", "[v6]:port" or an entry without a
// port ("host", "[v6]", a bare IPv6 address, whose colons are no port's). Port is -1 when there
// is none, and -2 when the text after the ":" is no port number (such an entry matches nothing).
struct TBypassEntry {
  std::string_view Host;  // brackets kept
  int Port = -1;
};
TBypassEntry SplitBypassPort(std::string_view AEntry);
