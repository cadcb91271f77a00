#include "http/IdStaticProxyRules.h"

#include "base/StrUtils.h"
#include "http/IdProxyBypass.h"

namespace {

// The system's port for a proxy address without one.
constexpr uint16_t kDefaultProxyPort = 80;

// The pieces of a list separated by any of ASeparators, without empty ones.
std::vector<std::string> Split(std::string_view AText, std::string_view ASeparators) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start <= AText.size()) {
    size_t end = AText.find_first_of(ASeparators, start);
    if (end == std::string_view::npos) end = AText.size();
    if (end > start) pieces.emplace_back(AText.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

bool IsSchemeName(std::string_view AText) {
  if (AText.empty()) return false;
  for (char c : AText)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  return true;
}

// AText against APattern, where "*" stands for any run of characters (both lower case).
bool WildcardMatch(std::string_view APattern, std::string_view AText) {
  size_t p = 0, t = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (t < AText.size()) {
    if (p < APattern.size() && APattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < APattern.size() && APattern[p] == AText[t]) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < APattern.size() && APattern[p] == '*')
    ++p;
  return p == APattern.size();
}

int URIPort(const TIdURI& AURI) {
  if (!AURI.Port.empty()) return StrToIntDef(AURI.Port, -1);
  if (SameText(AURI.Protocol, "http")) return 80;
  if (SameText(AURI.Protocol, "https")) return 443;
  return -1;
}

}  // namespace

TIdStaticProxyRules::TIdStaticProxyRules(const std::string& AProxyServer,
                                         const std::string& ABypass) {
  for (const std::string& entry : Split(AProxyServer, "; \t\r\n")) {
    const size_t equals = entry.find('=');
    if (equals != std::string::npos && IsSchemeName(std::string_view(entry).substr(0, equals)))
      FProxies.push_back({LowerCase(entry.substr(0, equals)), entry.substr(equals + 1)});
    else
      FProxies.push_back({"", entry});
  }

  for (const std::string& entry : Split(ABypass, ";, \t\r\n")) {
    TBypassPattern pattern;
    if (SameText(entry, "<local>")) {
      pattern.Local = true;
      FBypass.push_back(pattern);
      continue;
    }
    std::string_view rest = entry;
    if (const size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
      pattern.Scheme = LowerCase(rest.substr(0, scheme));
      rest.remove_prefix(scheme + 3);
    }
    // A port follows the last ":" outside an IPv6 address's brackets.
    const size_t bracket = rest.rfind(']');
    const size_t colon = rest.rfind(':');
    const bool bareIPv6 = rest.find(':') != colon;
    if (colon != std::string_view::npos && !bareIPv6 &&
        (bracket == std::string_view::npos || colon > bracket)) {
      pattern.Port = StrToIntDef(rest.substr(colon + 1), -2);
      rest = rest.substr(0, colon);
    }
    pattern.Host = BypassHostName(rest);
    if (pattern.Host.empty() || pattern.Port == -2) continue;
    FBypass.push_back(pattern);
  }
}

bool TIdStaticProxyRules::Bypassed(const TIdURI& AURI) const {
  if (IsLoopbackHost(AURI.Host)) return true;
  const std::string host = BypassHostName(AURI.Host);
  const bool address = !HostAddressBytes(host).empty();
  const int port = URIPort(AURI);
  for (const TBypassPattern& pattern : FBypass) {
    if (pattern.Local) {
      if (!address && host.find('.') == std::string::npos) return true;
      continue;
    }
    if (!pattern.Scheme.empty() && !SameText(pattern.Scheme, AURI.Protocol)) continue;
    if (pattern.Port >= 0 && pattern.Port != port) continue;
    if (WildcardMatch(pattern.Host, host)) return true;
  }
  return false;
}

TIdProxyServer TIdStaticProxyRules::ProxyFor(const TIdURI& AURI) {
  const std::string scheme = LowerCase(AURI.Protocol);
  const TSchemeProxy* chosen = nullptr;
  for (const TSchemeProxy& proxy : FProxies) {
    if (proxy.Scheme == scheme) {
      chosen = &proxy;
      break;
    }
    if (proxy.Scheme.empty() && !chosen) chosen = &proxy;
  }
  if (!chosen || Bypassed(AURI)) return {};
  return ParseProxyServer(chosen->Address, kDefaultProxyPort).value_or(TIdProxyServer{});
}
