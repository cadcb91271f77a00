#include "http/proxy/IdProxyBypass.h"

#include "base/StrUtils.h"
#include "net/IdIPAddress.h"

std::string BypassHostName(std::string_view AHost) {
  std::string_view host = Trim(AHost);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  while (!host.empty() && host.back() == '.')
    host.remove_suffix(1);
  return LowerCase(host);
}

std::vector<uint8_t> HostAddressBytes(std::string_view AHost) {
  const std::string host = BypassHostName(AHost);
  uint8_t v4[4];
  if (ParseIPv4(host, v4)) return {v4, v4 + 4};
  uint16_t words[8];
  if (host.find(':') == std::string::npos || !ParseIPv6(host, words)) return {};
  std::vector<uint8_t> bytes;
  for (uint16_t w : words) {
    bytes.push_back(static_cast<uint8_t>(w >> 8));
    bytes.push_back(static_cast<uint8_t>(w & 0xFF));
  }
  return bytes;
}

bool InNetwork(const std::vector<uint8_t>& AAddress, const std::vector<uint8_t>& ANetwork,
               int ABits) {
  if (AAddress.empty() || AAddress.size() != ANetwork.size()) return false;
  if (ABits < 0 || ABits > static_cast<int>(AAddress.size()) * 8) return false;
  for (size_t i = 0; ABits > 0; ++i, ABits -= 8) {
    const uint8_t mask = ABits >= 8 ? 0xFF : static_cast<uint8_t>(0xFF << (8 - ABits));
    if ((AAddress[i] & mask) != (ANetwork[i] & mask)) return false;
  }
  return true;
}

bool IsLoopbackHost(std::string_view AHost) {
  const std::string host = BypassHostName(AHost);
  if (host == "localhost" || EndsText(".localhost", host)) return true;
  const std::vector<uint8_t> address = HostAddressBytes(host);
  if (address.size() == 4) return address[0] == 127;
  if (address.size() == 16) {
    std::vector<uint8_t> one(16, 0);
    one[15] = 1;
    return address == one;
  }
  return false;
}

int BypassPort(const TIdURI& AURI) {
  if (!AURI.Port.empty()) return StrToIntDef(AURI.Port, -1);
  if (SameText(AURI.Protocol, "http")) return 80;
  if (SameText(AURI.Protocol, "https")) return 443;
  return -1;
}

TBypassEntry SplitBypassPort(std::string_view AEntry) {
  size_t colon = std::string_view::npos;
  if (!AEntry.empty() && AEntry.front() == '[') {
    // After the brackets only a port may follow; anything else ("[fd00::]/8") stays the host's.
    const size_t close = AEntry.find(']');
    if (close != std::string_view::npos && close + 1 < AEntry.size() && AEntry[close + 1] == ':')
      colon = close + 1;
  } else if (const size_t first = AEntry.find(':'); first == AEntry.rfind(':')) {
    colon = first;  // one colon: a port's; more: a bare IPv6 address's own
  }
  if (colon == std::string_view::npos) return {AEntry, -1};
  const std::string_view digits = AEntry.substr(colon + 1);
  int port = -2;
  if (!digits.empty() && digits.size() <= 5 &&
      digits.find_first_not_of("0123456789") == std::string_view::npos) {
    port = StrToIntDef(digits, -2);
    if (port > 65535) port = -2;
  }
  return {AEntry.substr(0, colon), port};
}
