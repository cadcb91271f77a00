#include "http/proxy/IdWindowsProxyResolver.h"

#include "base/StrUtils.h"

namespace {

// What a script is asked about for AURI.
std::string ScriptAddress(const TIdURI& AURI) {
  if (!SameText(AURI.Protocol, "https")) return AURI.GetFullURI({});
  TIdURI origin;
  origin.Protocol = AURI.Protocol;
  origin.Host = AURI.Host;
  origin.Port = AURI.Port;
  origin.IPVersion = AURI.IPVersion;
  origin.Path = "/";
  return origin.GetFullURI({});
}

}  // namespace

TIdWindowsProxyResolver::TIdWindowsProxyResolver(const TIdInternetProxySettings& ASettings) {
  if (ASettings.AutoDetect) FScripts.emplace_back("");
  if (!ASettings.AutoConfigURL.empty()) FScripts.emplace_back(ASettings.AutoConfigURL);
  FScriptFailed.assign(FScripts.size(), false);
  if (ASettings.UseProxy) FManual.emplace(ASettings.ProxyServer, ASettings.ProxyBypass);
}

TIdProxyServer TIdWindowsProxyResolver::ProxyFor(const TIdURI& AURI) {
  if (!FScripts.empty()) {
    const std::string address = ScriptAddress(AURI);
    if (const auto known = FAnswers.find(address); known != FAnswers.end()) return known->second;
    for (size_t i = 0; i < FScripts.size(); ++i) {
      if (FScriptFailed[i]) continue;
      const std::optional<std::string> proxies = FScripts[i].ProxiesFor(address);
      if (!proxies) {
        FScriptFailed[i] = true;
        continue;
      }
      // The system's port for a proxy address without one is 80.
      return FAnswers[address] = FirstProxyOf(*proxies, 80);
    }
  }
  return FManual ? FManual->ProxyFor(AURI) : TIdProxyServer{};
}
