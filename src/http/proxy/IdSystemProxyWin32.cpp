#include <optional>

#include "http/proxy/IdSystemProxy.h"
#include "http/proxy/IdWindowsProxyResolver.h"

namespace {

// Reads the settings at the first request rather than at start: loading WinINet takes a while
// (50 to 100 ms under Wine), which the window need not wait for before it shows.
class TSystemProxyResolver : public TIdProxyResolver {
 public:
  TIdProxyServer ProxyFor(const TIdURI& AURI) override {
    if (!FResolver) {
      TIdInternetProxySettings settings;
      // Settings that cannot be read leave a direct connection, as before they existed.
      ReadInternetProxySettings(settings);
      FResolver.emplace(settings);
    }
    return FResolver->ProxyFor(AURI);
  }
  std::string ChoiceSource() const override {
    return FResolver ? FResolver->ChoiceSource() : std::string();
  }

 private:
  std::optional<TIdWindowsProxyResolver> FResolver;
};

}  // namespace

std::unique_ptr<TIdProxyResolver> CreateSystemProxyResolver() {
  return std::make_unique<TSystemProxyResolver>();
}
