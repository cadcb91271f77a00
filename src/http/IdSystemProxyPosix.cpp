#include "http/IdEnvironmentProxy.h"
#include "http/IdSystemProxy.h"

std::unique_ptr<TIdProxyResolver> CreateSystemProxyResolver() {
  return std::make_unique<TIdEnvironmentProxy>();
}
