#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/proxy/IdInternetProxySettings.h"
#include "http/proxy/IdProxyResolver.h"
#include "http/proxy/IdProxyScript.h"
#include "http/proxy/IdStaticProxyRules.h"

// The Windows user's internet settings applied as the system's own clients apply them (Windows
// only): automatic detection first, then the configuration script's address, when set and they
// answer; else the proxy set by hand with its bypass list; else a direct connection.
//
// A script's answers are kept per address for the resolver's life, and a script that cannot be
// found, fetched or run is not tried again. Of several proxies a script names, the first is used.
// To keep the path of a secure address private, a script sees only its scheme, host and port.
class TIdWindowsProxyResolver : public TIdProxyResolver {
 public:
  explicit TIdWindowsProxyResolver(const TIdInternetProxySettings& ASettings);

  TIdProxyServer ProxyFor(const TIdURI& AURI) override;
  std::string ChoiceSource() const override { return FChoiceSource; }

 private:
  struct TAnswer {
    TIdProxyServer Proxy;
    std::string Source;
  };
  std::vector<TIdProxyScript> FScripts;
  std::vector<bool> FScriptFailed;
  std::optional<TIdStaticProxyRules> FManual;
  std::map<std::string, TAnswer> FAnswers;
  std::string FChoiceSource;
};
