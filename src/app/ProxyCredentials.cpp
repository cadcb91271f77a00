#include "app/ProxyCredentials.h"

std::string ProxyCredentialTarget(const TIdProxyServer& AProxy) {
  return "Plenwick Suite Setup/proxy/" + AProxy.Text();
}

std::string ProxyCredentialMessage(const TIdProxyServer& AProxy, bool ARefused) {
  std::string text = "The proxy server " + AProxy.Text() +
                     " asks for your user name and password to let the setup download through.";
  if (ARefused) text += " The user name or password given was not accepted.";
  return text;
}
