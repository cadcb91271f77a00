// The proxy settings' readers on arbitrary text: the proxy and bypass list of the Windows
// internet settings, the environment's variables and a configuration script's answer (which
// comes from the network). Input: the proxy text, the bypass list, the no_proxy value and the
// URL, one per line.
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "base/StrUtils.h"
#include "http/IdHTTPExceptions.h"
#include "http/proxy/IdEnvironmentProxy.h"
#include "http/proxy/IdProxyServer.h"
#include "http/proxy/IdStaticProxyRules.h"

namespace {

// A proxy the client can connect to, or none.
void CheckServer(const TIdProxyServer& AServer) {
  if (AServer.Direct()) return;
  FUZZ_CHECK(AServer.Port > 0);
  FUZZ_CHECK(AServer.Host.find_first_of("[]/@") == std::string::npos);
  FUZZ_CHECK(!AServer.Text().empty());
}

// The resolver's choice, or nullopt when it refused the settings: then with a message, and
// never for a URL its bypass rules send direct.
std::optional<TIdProxyServer> Choice(TIdProxyResolver& AResolver, const TIdURI& AURI) {
  try {
    const TIdProxyServer server = AResolver.ProxyFor(AURI);
    CheckServer(server);
    return server;
  } catch (const EIdHTTPProxyError& e) {
    FUZZ_CHECK(!e.Message().empty());
    return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput input(data, size);
  const std::string server(input.Line());
  const std::string bypass(input.Line());
  const std::string noProxy(input.Line());
  const TIdURI uri(input.Rest());
  const bool webScheme = SameText(uri.Protocol, "http") || SameText(uri.Protocol, "https");

  TIdStaticProxyRules rules(server, bypass);
  const std::optional<TIdProxyServer> manual = Choice(rules, uri);
  if (rules.Bypassed(uri)) FUZZ_CHECK(manual && manual->Direct());

  TIdEnvironmentProxy environment([&](const char* AName) {
    const std::string name = AName;
    if (name == "http_proxy" || name == "https_proxy") return server;
    return name == "no_proxy" ? noProxy : std::string();
  });
  const std::optional<TIdProxyServer> fromEnvironment = Choice(environment, uri);
  const bool bypassed = TIdEnvironmentProxy::Bypassed(noProxy, uri);
  if (bypassed || !webScheme) FUZZ_CHECK(fromEnvironment && fromEnvironment->Direct());
  // A proxy set for the URL is used or refused, never gone around.
  if (!bypassed && webScheme && !server.empty())
    FUZZ_CHECK(!fromEnvironment || !fromEnvironment->Direct());

  CheckServer(FirstProxyOf(server, 80));
  if (const auto parsed = ParseProxyServer(server, 1080)) {
    CheckServer(*parsed);
    FUZZ_CHECK(!parsed->Direct());
  }
  return 0;
}
