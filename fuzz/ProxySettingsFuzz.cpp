// The proxy settings' readers on arbitrary text: the proxy and bypass list of the Windows
// internet settings, the environment's variables and a configuration script's answer (which
// comes from the network). Input: the proxy text, the bypass list, the no_proxy value and the
// URL, one per line.
#include <string>

#include "FuzzCheck.h"
#include "http/IdEnvironmentProxy.h"
#include "http/IdProxyServer.h"
#include "http/IdStaticProxyRules.h"

namespace {

// A proxy the client can connect to, or none.
void CheckServer(const TIdProxyServer& AServer) {
  if (AServer.Direct()) return;
  FUZZ_CHECK(AServer.Port > 0);
  FUZZ_CHECK(AServer.Host.find_first_of("[]/@") == std::string::npos);
  FUZZ_CHECK(!AServer.Text().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput input(data, size);
  const std::string server(input.Line());
  const std::string bypass(input.Line());
  const std::string noProxy(input.Line());
  const TIdURI uri(input.Rest());

  TIdStaticProxyRules rules(server, bypass);
  const TIdProxyServer manual = rules.ProxyFor(uri);
  CheckServer(manual);
  if (rules.Bypassed(uri)) FUZZ_CHECK(manual.Direct());

  TIdEnvironmentProxy environment([&](const char* AName) {
    const std::string name = AName;
    if (name == "http_proxy" || name == "https_proxy") return server;
    return name == "no_proxy" ? noProxy : std::string();
  });
  const TIdProxyServer fromEnvironment = environment.ProxyFor(uri);
  CheckServer(fromEnvironment);
  if (TIdEnvironmentProxy::Bypassed(noProxy, uri.Host)) FUZZ_CHECK(fromEnvironment.Direct());

  CheckServer(FirstProxyOf(server, 80));
  if (const auto parsed = ParseProxyServer(server, 1080)) {
    CheckServer(*parsed);
    FUZZ_CHECK(!parsed->Direct());
  }
  return 0;
}
