#pragma once

#include <optional>
#include <string>

#include "http/IdCredentials.h"
#include "http/proxy/IdProxyServer.h"

// Credentials a user typed in, and whether they are to be kept once the proxy has taken them.
struct TIdAskedCredentials {
  TIdCredentials Credentials;
  bool Remember = false;
};

// Where a proxy's credentials come from besides the signed-in user and the proxy settings: a
// store the program keeps them in, and the user. The program supplies it (the product: the
// Windows Credential Manager and the system's credential dialog); it is the client's only way
// to the user, so a run that must not ask anything supplies one that does not ask.
class TIdProxyCredentialProvider {
 public:
  virtual ~TIdProxyCredentialProvider() = default;
  // The credentials kept for AProxy; nullopt when there are none.
  virtual std::optional<TIdCredentials> Stored(const TIdProxyServer& AProxy) = 0;
  // Asks the user for AProxy's credentials (for the scheme AScheme; ARefused: the last ones
  // given were refused). nullopt when the user cancels or nobody can be asked.
  virtual std::optional<TIdAskedCredentials> Ask(const TIdProxyServer& AProxy,
                                                 const std::string& AScheme, bool ARefused) = 0;
  // Keeps credentials that AProxy accepted and the user asked to keep.
  virtual void Store(const TIdProxyServer& AProxy, const TIdCredentials& ACredentials) = 0;
};
