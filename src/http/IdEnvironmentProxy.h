#pragma once

#include <functional>
#include <string>

#include "http/IdProxyResolver.h"

// The proxy from the conventional environment variables, read as curl reads them:
//   - "http" URLs: http_proxy (the upper-case HTTP_PROXY is ignored: a web server's CGI
//     programs get the client's "Proxy:" header under that name);
//   - "https" URLs: https_proxy, else HTTPS_PROXY;
//   - either: all_proxy, else ALL_PROXY, when the scheme's own variable is unset;
//   - no_proxy, else NO_PROXY: hosts reached directly, separated by commas or spaces. "*" alone
//     stands for every host; a name matches itself and every name below it, with or without a
//     leading dot ("example.com" and ".example.com" both match "www.example.com" and
//     "example.com"); an address matches itself, or a network written "10.0.0.0/8"; an entry
//     with a port never matches; letter case and a final dot do not count.
// An empty variable counts as unset. A proxy without a port is on 1080.
class TIdEnvironmentProxy : public TIdProxyResolver {
 public:
  // The variable's value, empty when unset.
  using TGetVariable = std::function<std::string(const char* AName)>;

  // The process's environment.
  TIdEnvironmentProxy();
  explicit TIdEnvironmentProxy(TGetVariable AGetVariable);

  TIdProxyServer ProxyFor(const TIdURI& AURI) override;

  // True when ANoProxy (a no_proxy value) names AHost.
  static bool Bypassed(const std::string& ANoProxy, const std::string& AHost);

 private:
  std::string Variable(const char* ALower, const char* AUpper) const;

  TGetVariable FGetVariable;
};
