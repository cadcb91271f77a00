#include "app/ProxyCredentials.h"

std::unique_ptr<TIdProxyCredentialProvider> CreateProxyCredentials(std::string,
                                                                   std::function<TWinHandle()>) {
  return nullptr;
}
