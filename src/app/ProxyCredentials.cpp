#include "app/ProxyCredentials.h"

#include "base/Texts.h"

namespace {

class TUnpromptedCredentials final : public TIdProxyCredentialProvider {
 public:
  explicit TUnpromptedCredentials(std::unique_ptr<TIdProxyCredentialProvider> AProvider)
      : FProvider(std::move(AProvider)) {}

  std::optional<TIdCredentials> Stored(const TIdProxyServer& AProxy) override {
    return FProvider->Stored(AProxy);
  }
  std::optional<TIdAskedCredentials> Ask(const TIdProxyServer&, const std::string&, bool) override {
    return std::nullopt;
  }
  void Store(const TIdProxyServer& AProxy, const TIdCredentials& ACredentials) override {
    FProvider->Store(AProxy, ACredentials);
  }

 private:
  std::unique_ptr<TIdProxyCredentialProvider> FProvider;
};

}  // namespace

std::unique_ptr<TIdProxyCredentialProvider> WithoutPrompt(
    std::unique_ptr<TIdProxyCredentialProvider> AProvider) {
  if (!AProvider) return nullptr;
  return std::make_unique<TUnpromptedCredentials>(std::move(AProvider));
}

std::string ProxyCredentialTarget(const TIdProxyServer& AProxy) {
  return "Plenwick Suite Setup/proxy/" + AProxy.Text();
}

// Short: Wine's dialog shows one line of it.
std::string ProxyCredentialMessage(const TIdProxyServer& AProxy, bool ARefused) {
  return Format(ARefused ? RSProxySignInRefused : RSProxySignIn, AProxy.Text().c_str());
}
