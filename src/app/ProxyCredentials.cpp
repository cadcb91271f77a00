#include "app/ProxyCredentials.h"

std::string ProxyCredentialTarget(const TIdProxyServer& AProxy) {
  return "Plenwick Suite Setup/proxy/" + AProxy.Text();
}

// Short: Wine's dialog shows one line of it.
std::string ProxyCredentialMessage(const TIdProxyServer& AProxy, bool ARefused) {
  if (ARefused) return "The proxy server " + AProxy.Text() + " refused the last sign-in.";
  return "Sign in to the proxy server " + AProxy.Text() + ".";
}
