#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "http/IdAuthChallenges.h"
#include "http/IdAuthentication.h"
#include "http/IdCredentials.h"
#include "http/IdHeaderList.h"
#include "http/proxy/IdProxyCredentialProvider.h"
#include "http/proxy/IdProxyServer.h"

// How the client gets past a proxy that asks who the user is (407), for plain requests and for
// the CONNECT of a tunnel alike. Of the schemes the proxy offers it takes the strongest the
// client speaks here (Negotiate, then NTLM, then Basic), and goes through the credentials it may
// use, in this order:
//   1. those set for the proxy (ProxyParams: natively from the proxy's URL in the environment);
//   2. the signed-in user's, without a password in the program (Negotiate and NTLM only);
//   3. those the program keeps for the proxy and the scheme's kind (the provider's Stored);
//   4. the user's answer, asked at most 3 times (the provider's Ask); cancelling ends the
//      sequence. Answered credentials that worked are kept, for the kind of the scheme that
//      took them, when the user asked for it.
// Basic shows the password to whoever is on the way to the proxy, and a 407 offering Basic
// alone can come from anyone there. So Basic gets only credentials meant for it: kept or typed
// for Basic, or set for the proxy and not yet given to it with NTLM or Negotiate. Credentials
// kept, typed or used for NTLM and Negotiate never go with Basic, not even when the system
// lacks their package.
// Negotiate and NTLM take several legs, all on one connection, since the proxy ties the
// handshake to it: one whose proxy closes the connection after taking a leg is started once
// more on the new connection, then fails. Credentials go only to the proxy that asked; what
// worked is used again for later requests to it (Basic at once, the others when asked) without
// asking anyone.
class TIdProxyAuthenticator {
 public:
  // Makes a scheme object for a scheme's name; null when the client does not speak it here.
  using TSchemeMaker = std::function<std::unique_ptr<TIdAuthentication>(const std::string&)>;

  // Schemes from the registry of IdAuthentication.h.
  TIdProxyAuthenticator();

  // Not owned; none: only the proxy settings' credentials and the signed-in user are tried.
  void SetCredentialProvider(TIdProxyCredentialProvider* AProvider) { FProvider = AProvider; }
  TIdProxyCredentialProvider* CredentialProvider() const { return FProvider; }
  void SetSchemeMaker(TSchemeMaker AMaker) { FMaker = std::move(AMaker); }

  // A call of the client begins: what an earlier one left unfinished is dropped.
  void BeginCall();
  // AProxy answered 407 with the Proxy-Authenticate values AChallenges; AConfigured holds the
  // credentials set for it (both empty: none). True when the request is to go again with
  // Header(); false when nothing is left to try (FailureMessage says why).
  bool Challenged(const TIdProxyServer& AProxy, const TIdHeaderList& AChallenges,
                  const TIdCredentials& AConfigured);
  // The Proxy-Authorization value for a head about to go to AProxy; empty for none, and for
  // every other proxy.
  std::string Header(const TIdProxyServer& AProxy);
  // A new connection to AProxy was opened. A handshake whose proxy took a leg on the connection
  // before starts again here; false when it had been started again already (FailureMessage).
  bool ConnectionOpened(const TIdProxyServer& AProxy);
  // AProxy answered something other than 407: what went with the request worked.
  void Accepted(const TIdProxyServer& AProxy);
  // Told of each sign-in begun and accepted, in words for a log: the proxy, the scheme and
  // where the credentials came from, never a user name or a secret.
  std::function<void(const std::string& AText)> OnSignIn;

  // Why Challenged or ConnectionOpened gave false, naming the proxy (AProxyText) and quoting
  // its status line (AStatus). No credential is ever part of it.
  std::string FailureMessage(const std::string& AProxyText, const std::string& AStatus) const;

 private:
  enum class TSource { csConfigured, csSignedIn, csStored, csAsked, csDone };
  enum class TFailure { fNone, fNoCredentials, fSchemesUnknown, fHandshakeBroken };
  struct TAttempt {
    // Declared here and defined where the authenticator is complete (some compilers cannot
    // tell otherwise that the default initialisers allow it).
    TAttempt();
    TSource Source = TSource::csConfigured;
    std::optional<TIdCredentials> Credentials;  // none: the signed-in user's
    // What the credentials were kept or typed for (those set for the proxy: see
    // MayGoWithBasic).
    TIdProxyCredentialKind Kind = TIdProxyCredentialKind::pkSignIn;
    bool Remember = false;
    bool FromWorked = false;  // the credentials that worked before
    std::string SchemeName;
    std::unique_ptr<TIdAuthentication> Scheme;
    bool Pending = false;  // a header made and not yet sent
    int Legs = 0;          // the proxy's tokens taken
    int Restarts = 0;      // starts on a new connection
  };

  // Starts the next attempt; false when there is none.
  bool StartAttempt(const TIdCredentials& AConfigured);
  // The next source's attempt (without its scheme object); nullopt when none is left or the
  // user cancelled.
  std::optional<TAttempt> NextSource(const std::string& AScheme, const TIdCredentials& AConfigured);
  // Makes the attempt's scheme object and its first header. False when the scheme cannot
  // start with these credentials; raises EIdSecurityPackageMissing when the system lacks its
  // package.
  bool Launch(TAttempt& AAttempt);
  // The strongest offered scheme the client speaks here; empty for none.
  std::string ChooseScheme() const;
  bool Offers(const std::string& AScheme) const;
  // Whether AAttempt's credentials may go with Basic.
  bool MayGoWithBasic(const TAttempt& AAttempt) const;
  void Refused(const TAttempt& AAttempt);
  void ResetSources();
  void Fail(TFailure AFailure);
  void TellSignIn(const std::string& AWhat, const TAttempt& AAttempt) const;

  static constexpr int kMaxAsks = 3;
  static constexpr int kMaxLegs = 6;

  TIdProxyCredentialProvider* FProvider = nullptr;
  TSchemeMaker FMaker;
  TIdProxyServer FProxy;
  std::vector<TIdAuthChallenge> FOffered;
  std::set<std::string> FMissingPackages;
  std::optional<TAttempt> FAttempt;
  std::optional<TAttempt> FWorked;
  // The credentials set for the proxy went to it with NTLM or Negotiate: no longer for Basic.
  bool FConfiguredSignedIn = false;
  bool FSentWorked = false;
  TSource FNext = TSource::csConfigured;
  int FAsked = 0;
  bool FRefused = false;
  TFailure FFailure = TFailure::fNone;
  std::string FFailedScheme;
};
