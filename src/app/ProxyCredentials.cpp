#include "app/ProxyCredentials.h"

#include "base/Texts.h"

namespace {

class TUnpromptedCredentials final : public TIdProxyCredentialProvider {
 public:
  explicit TUnpromptedCredentials(std::unique_ptr<TIdProxyCredentialProvider> AProvider)
      : FProvider(std::move(AProvider)) {}

  std::optional<TIdCredentials> Stored(const TIdProxyServer& AProxy,
                                       TIdProxyCredentialKind AKind) override {
    return FProvider->Stored(AProxy, AKind);
  }
  std::optional<TIdAskedCredentials> Ask(const TIdProxyServer&, const std::string&, bool) override {
    return std::nullopt;
  }
  void Store(const TIdProxyServer& AProxy, TIdProxyCredentialKind AKind,
             const TIdCredentials& ACredentials) override {
    FProvider->Store(AProxy, AKind, ACredentials);
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

std::string ProxyCredentialTarget(const TIdProxyServer& AProxy, TIdProxyCredentialKind AKind) {
  const char* const kind = AKind == TIdProxyCredentialKind::pkBasic ? "proxy-basic" : "proxy";
  return std::string("Plenwick Suite Setup/") + kind + "/" + AProxy.Text();
}

// Short: Wine's dialog shows one line of it (Basic's warning first, so that a long proxy name
// cuts off only itself).
std::string ProxyCredentialMessage(const TIdProxyServer& AProxy, TIdProxyCredentialKind AKind,
                                   bool ARefused) {
  if (AKind == TIdProxyCredentialKind::pkBasic)
    return Format(RSProxySignInUnencrypted, AProxy.Text().c_str());
  return Format(ARefused ? RSProxySignInRefused : RSProxySignIn, AProxy.Text().c_str());
}
