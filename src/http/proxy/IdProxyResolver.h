#pragma once

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
};
