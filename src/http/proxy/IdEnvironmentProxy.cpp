#include "http/proxy/IdEnvironmentProxy.h"

#include <cstdlib>

#include "base/Format.h"
#include "base/StrUtils.h"
#include "http/IdHTTPExceptions.h"
#include "http/proxy/IdProxyBypass.h"

namespace {

// curl's port for a proxy address without one.
constexpr uint16_t kDefaultProxyPort = 1080;

bool IsSeparator(char c) {
  return c == ',' || c == ' ' || c == '\t';
}

// One no_proxy entry against the host: addresses by network, names by domain; an entry with a
// port only on that port.
bool EntryMatches(std::string_view AEntry, const std::string& AHost,
                  const std::vector<uint8_t>& AAddress, int APort) {
  const TBypassEntry split = SplitBypassPort(AEntry);
  if (split.Port == -2 || (split.Port >= 0 && split.Port != APort)) return false;
  AEntry = split.Host;
  if (!AAddress.empty()) {
    std::string_view network = AEntry;
    int bits = static_cast<int>(AAddress.size()) * 8;
    if (const size_t slash = AEntry.find('/'); slash != std::string_view::npos) {
      network = AEntry.substr(0, slash);
      const std::string_view digits = AEntry.substr(slash + 1);
      if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
      bits = StrToIntDef(digits, -1);
    }
    return InNetwork(AAddress, HostAddressBytes(network), bits);
  }
  std::string_view name = AEntry;
  if (!name.empty() && name.front() == '.') name.remove_prefix(1);
  const std::string domain = BypassHostName(name);
  if (domain.empty()) return false;
  return AHost == domain || (AHost.size() > domain.size() && EndsText("." + domain, AHost));
}

}  // namespace

TIdEnvironmentProxy::TIdEnvironmentProxy()
    : TIdEnvironmentProxy([](const char* AName) {
        const char* value = std::getenv(AName);
        return std::string(value ? value : "");
      }) {}

TIdEnvironmentProxy::TIdEnvironmentProxy(TGetVariable AGetVariable)
    : FGetVariable(std::move(AGetVariable)) {}

TIdEnvironmentProxy::TSetting TIdEnvironmentProxy::Variable(const char* ALower,
                                                            const char* AUpper) const {
  TSetting setting{ALower, FGetVariable(ALower)};
  if (setting.Value.empty() && AUpper) setting = {AUpper, FGetVariable(AUpper)};
  return setting;
}

TIdProxyServer TIdEnvironmentProxy::ProxyFor(const TIdURI& AURI) {
  TSetting proxy;
  if (SameText(AURI.Protocol, "http"))
    proxy = Variable("http_proxy", nullptr);
  else if (SameText(AURI.Protocol, "https"))
    proxy = Variable("https_proxy", "HTTPS_PROXY");
  else {
    FChoiceSource = "no proxy for " + AURI.Protocol;
    return {};
  }
  if (proxy.Value.empty()) proxy = Variable("all_proxy", "ALL_PROXY");
  if (proxy.Value.empty()) {
    FChoiceSource = "no proxy in the environment";
    return {};
  }
  const TSetting noProxy = Variable("no_proxy", "NO_PROXY");
  if (Bypassed(noProxy.Value, AURI)) {
    FChoiceSource = noProxy.Name;
    return {};
  }
  FChoiceSource = proxy.Name;
  if (auto server = ParseProxyServer(proxy.Value, kDefaultProxyPort)) {
    // For the proxy's Basic sign-in, as curl takes them.
    server->Credentials = ProxyCredentialsOf(proxy.Value);
    return *server;
  }
  // Going around the proxy the user set would be going where the settings say not to go.
  throw EIdHTTPProxyError(Format(RSHTTPProxyVariableUnusable, proxy.Name,
                                 ProxyTextWithoutCredentials(Trim(proxy.Value)).c_str()));
}

bool TIdEnvironmentProxy::Bypassed(const std::string& ANoProxy, const TIdURI& AURI) {
  if (Trim(ANoProxy) == "*") return true;
  const std::string host = BypassHostName(AURI.Host);
  const std::vector<uint8_t> address = HostAddressBytes(host);
  const int port = BypassPort(AURI);
  std::string_view rest = ANoProxy;
  while (!rest.empty()) {
    size_t end = 0;
    while (end < rest.size() && !IsSeparator(rest[end]))
      ++end;
    const std::string_view entry = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    if (!entry.empty() && EntryMatches(entry, host, address, port)) return true;
  }
  return false;
}
