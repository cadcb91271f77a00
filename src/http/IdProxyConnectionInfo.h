#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/SecretString.h"
#include "http/IdAuthentication.h"
#include "http/IdHeaderList.h"

// The proxy server an HTTP client may go through, with the credentials set for it.
class TIdProxyConnectionInfo {
 public:
  // Adds "Proxy-Authorization" from the scheme object, or from a Basic scheme made from the
  // user name and password when BasicAuthentication is set; nothing otherwise.
  void SetHeaders(TIdHeaderList& AHeaders) {
    std::string text;
    if (Authentication) {
      text = Authentication->Authentication();
    } else if (BasicAuthentication) {
      Authentication = std::make_unique<TIdBasicAuthentication>();
      Authentication->SetUsername(ProxyUsername);
      Authentication->SetPassword(ProxyPassword.Text());
      text = Authentication->Authentication();
    }
    if (!text.empty()) AHeaders.SetValue("Proxy-Authorization", text);
  }
  void Clear() {
    ProxyServer.clear();
    ProxyUsername.clear();
    ProxyPassword.Clear();
    ProxyPort = 0;
    BasicAuthentication = false;
    Authentication.reset();
  }

  std::string ProxyServer;
  uint16_t ProxyPort = 0;
  std::string ProxyUsername;
  TSecretString ProxyPassword;
  bool BasicAuthentication = false;
  std::unique_ptr<TIdAuthentication> Authentication;
};
