#include "http/proxy/IdStaticProxyRules.h"

#include "base/Format.h"
#include "base/StrUtils.h"
#include "http/IdHTTPExceptions.h"
#include "http/proxy/IdProxyBypass.h"

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

// A proxy entry as the settings hold it, for a message: its credentials, if any, left out.
std::string ShownEntry(const std::string& AScheme, const std::string& AAddress) {
  const std::string address = ProxyTextWithoutCredentials(AAddress);
  return AScheme.empty() ? address : AScheme + "=" + address;
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
    const TBypassEntry split = SplitBypassPort(rest);
    pattern.Host = BypassHostName(split.Host);
    pattern.Port = split.Port;
    if (pattern.Host.empty() || pattern.Port == -2) continue;
    // An address is compared as one, whichever way it is written ("[2001:db8:0::1]").
    if (pattern.Host.find('*') == std::string::npos)
      pattern.Address = HostAddressBytes(pattern.Host);
    FBypass.push_back(pattern);
  }
}

bool TIdStaticProxyRules::Bypassed(const TIdURI& AURI) const {
  if (IsLoopbackHost(AURI.Host)) return true;
  const std::string host = BypassHostName(AURI.Host);
  const std::vector<uint8_t> hostAddress = HostAddressBytes(host);
  const int port = BypassPort(AURI);
  for (const TBypassPattern& pattern : FBypass) {
    if (pattern.Local) {
      if (hostAddress.empty() && host.find('.') == std::string::npos) return true;
      continue;
    }
    if (!pattern.Scheme.empty() && !SameText(pattern.Scheme, AURI.Protocol)) continue;
    if (pattern.Port >= 0 && pattern.Port != port) continue;
    if (!pattern.Address.empty() ? pattern.Address == hostAddress
                                 : WildcardMatch(pattern.Host, host))
      return true;
  }
  return false;
}

TIdProxyServer TIdStaticProxyRules::ProxyFor(const TIdURI& AURI) {
  const std::string scheme = LowerCase(AURI.Protocol);
  // The scheme's own entry, else the one without a scheme, else a SOCKS proxy: the system's
  // clients send a scheme without an HTTP proxy of its own through it.
  const TSchemeProxy* chosen = nullptr;
  const TSchemeProxy* socks = nullptr;
  for (const TSchemeProxy& proxy : FProxies) {
    if (proxy.Scheme == scheme) {
      chosen = &proxy;
      break;
    }
    if (proxy.Scheme.empty() && !chosen) chosen = &proxy;
    if (proxy.Scheme == "socks" && !socks) socks = &proxy;
  }
  const bool throughSocks = !chosen && socks && (scheme == "http" || scheme == "https");
  if (throughSocks) chosen = socks;
  if (!chosen || chosen->Address.empty()) {
    FChoiceSource = "no proxy set by hand for " + scheme;
    return {};
  }
  if (Bypassed(AURI)) {
    FChoiceSource = "the bypass list set by hand, or the machine itself";
    return {};
  }
  FChoiceSource = "the proxy set by hand";
  if (!throughSocks)
    if (auto server = ParseProxyServer(chosen->Address, kDefaultProxyPort)) return *server;
  // Going around the proxy the user set would be going where the settings say not to go.
  throw EIdHTTPProxyError(Format(RSHTTPProxyServerUnusable,
                                 ShownEntry(chosen->Scheme, chosen->Address).c_str(),
                                 scheme.c_str()));
}
