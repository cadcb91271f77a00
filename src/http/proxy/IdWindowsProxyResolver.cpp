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
    if (const auto known = FAnswers.find(address); known != FAnswers.end()) {
      FChoiceSource = known->second.Source;
      return known->second.Proxy;
    }
    for (size_t i = 0; i < FScripts.size(); ++i) {
      if (FScriptFailed[i]) continue;
      const std::optional<std::string> proxies = FScripts[i].ProxiesFor(address);
      if (!proxies) {
        FScriptFailed[i] = true;
        continue;
      }
      const std::string& script = FScripts[i].ScriptURL();
      // The system's port for a proxy address without one is 80.
      const TAnswer& answer = FAnswers[address] = {
          FirstProxyOf(*proxies, 80), script.empty() ? "the script automatic detection found"
                                                     : "configuration script " + script};
      FChoiceSource = answer.Source;
      return answer.Proxy;
    }
  }
  if (!FManual) {
    FChoiceSource = FScripts.empty() ? "no proxy in the settings"
                                     : "no configuration script answered, no proxy set by hand";
    return {};
  }
  TIdProxyServer proxy = FManual->ProxyFor(AURI);
  FChoiceSource = FManual->ChoiceSource();
  if (!FScripts.empty()) FChoiceSource = "no configuration script answered; " + FChoiceSource;
  return proxy;
}
