#include "http/IdSystemProxy.h"
#include "http/IdWindowsProxyResolver.h"

std::unique_ptr<TIdProxyResolver> CreateSystemProxyResolver() {
  TIdInternetProxySettings settings;
  // Settings that cannot be read leave a direct connection, as before they existed.
  ReadInternetProxySettings(settings);
  return std::make_unique<TIdWindowsProxyResolver>(settings);
}
