#include "app/ProxyCredentials.h"

#include "base/Texts.h"

std::string ProxyCredentialTarget(const TIdProxyServer& AProxy) {
  return "Plenwick Suite Setup/proxy/" + AProxy.Text();
}

// Short: Wine's dialog shows one line of it.
std::string ProxyCredentialMessage(const TIdProxyServer& AProxy, bool ARefused) {
  return Format(ARefused ? RSProxySignInRefused : RSProxySignIn, AProxy.Text().c_str());
}
