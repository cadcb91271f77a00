#pragma once

#include <string>

#include "http/IdURI.h"
#include "http/proxy/IdProxyServer.h"

// Chooses, for each request, the proxy server it goes through (or a direct connection): the
// system's settings on each platform (IdSystemProxy.h), or a test's own choice.
class TIdProxyResolver {
 public:
  virtual ~TIdProxyResolver() = default;
  // The proxy for a request to AURI (by its Protocol, Host and Port, and for a script its whole
  // address); Direct() for none.
  virtual TIdProxyServer ProxyFor(const TIdURI& AURI) = 0;
  // How the last choice of ProxyFor was made, in a few words for a log ("the proxy set by hand",
  // "configuration script http://wpad/wpad.dat", "https_proxy", ...); empty when unknown.
  virtual std::string ChoiceSource() const { return {}; }
};
