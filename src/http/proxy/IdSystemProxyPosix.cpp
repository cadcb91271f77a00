#include "http/proxy/IdEnvironmentProxy.h"
#include "http/proxy/IdSystemProxy.h"

std::unique_ptr<TIdProxyResolver> CreateSystemProxyResolver() {
  return std::make_unique<TIdEnvironmentProxy>();
}
