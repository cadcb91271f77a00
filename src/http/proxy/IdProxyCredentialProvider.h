#pragma once

#include <optional>
#include <string>

#include "base/StrUtils.h"
#include "http/IdCredentials.h"
#include "http/proxy/IdProxyServer.h"

// What a proxy's credentials are kept or typed for. Basic shows the password to anyone on the
// way to the proxy, so credentials meant for a sign-in scheme (NTLM, Negotiate), which never
// reveal it, are never sent with Basic: each kind is kept and asked for on its own.
enum class TIdProxyCredentialKind { pkSignIn, pkBasic };

// The kind of credentials the scheme AScheme takes: Basic's for "Basic", the sign-in's for the
// others.
inline TIdProxyCredentialKind ProxyCredentialKindFor(const std::string& AScheme) {
  return SameText(AScheme, "Basic") ? TIdProxyCredentialKind::pkBasic
                                    : TIdProxyCredentialKind::pkSignIn;
}

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
  // The credentials of the kind AKind kept for AProxy (host and port); nullopt when there are
  // none. Never those of the other kind.
  virtual std::optional<TIdCredentials> Stored(const TIdProxyServer& AProxy,
                                               TIdProxyCredentialKind AKind) = 0;
  // Asks the user for AProxy's credentials (for the scheme AScheme; ARefused: the last ones
  // given were refused). For Basic the user is told that the password goes unencrypted.
  // nullopt when the user cancels or nobody can be asked.
  virtual std::optional<TIdAskedCredentials> Ask(const TIdProxyServer& AProxy,
                                                 const std::string& AScheme, bool ARefused) = 0;
  // Keeps credentials that AProxy accepted with a scheme of the kind AKind and that the user
  // asked to keep.
  virtual void Store(const TIdProxyServer& AProxy, TIdProxyCredentialKind AKind,
                     const TIdCredentials& ACredentials) = 0;
};
