#include "http/proxy/IdProxyAuthenticator.h"

#include "base/Format.h"
#include "base/StrUtils.h"
#include "http/IdHTTPExceptions.h"
#include "http/IdSSPIAuthentication.h"
#include "http/IdSecurityContext.h"

TIdProxyAuthenticator::TAttempt::TAttempt() = default;

TIdProxyAuthenticator::TIdProxyAuthenticator()
    : FMaker([](const std::string& AScheme) -> std::unique_ptr<TIdAuthentication> {
        const TIdAuthenticationClass make = FindAuthClass(AScheme);
        return make ? make() : nullptr;
      }) {}

void TIdProxyAuthenticator::BeginCall() {
  FAttempt.reset();
  ResetSources();
  FFailure = TFailure::fNone;
}

void TIdProxyAuthenticator::ResetSources() {
  FNext = TSource::csConfigured;
  FAsked = 0;
  FRefused = false;
}

void TIdProxyAuthenticator::Fail(TFailure AFailure) {
  FFailure = AFailure;
  FAttempt.reset();
  ResetSources();
}

bool TIdProxyAuthenticator::Offers(const std::string& AScheme) const {
  for (const TIdAuthChallenge& challenge : FOffered)
    if (SameText(challenge.Scheme, AScheme)) return true;
  return false;
}

std::string TIdProxyAuthenticator::ChooseScheme() const {
  std::string best;
  int strength = 0;
  for (const TIdAuthChallenge& challenge : FOffered) {
    const int s = AuthSchemeStrength(challenge.Scheme);
    if (s <= strength || FMissingPackages.count(LowerCase(challenge.Scheme))) continue;
    if (!FMaker(challenge.Scheme)) continue;
    best = challenge.Scheme;
    strength = s;
  }
  return best;
}

bool TIdProxyAuthenticator::MayGoWithBasic(const TAttempt& AAttempt) const {
  // The signed-in user has no password to give to Basic.
  if (!AAttempt.Credentials) return false;
  // Those set for the proxy are the user's for it alone, as other clients send them.
  if (AAttempt.Source == TSource::csConfigured) return !FConfiguredSignedIn;
  return AAttempt.Kind == TIdProxyCredentialKind::pkBasic;
}

void TIdProxyAuthenticator::Refused(const TAttempt& AAttempt) {
  if (AAttempt.Credentials) FRefused = true;
  if (AAttempt.FromWorked) FWorked.reset();
}

bool TIdProxyAuthenticator::Challenged(const TIdProxyServer& AProxy,
                                       const TIdHeaderList& AChallenges,
                                       const TIdCredentials& AConfigured) {
  if (!(AProxy == FProxy)) {
    // Nothing of another proxy's goes to this one.
    FAttempt.reset();
    FWorked.reset();
    FMissingPackages.clear();
    FConfiguredSignedIn = false;
    ResetSources();
    FProxy = AProxy;
  }
  FFailure = TFailure::fNone;
  FOffered = ParseAuthChallenges(AChallenges);

  if (FAttempt) {
    TAttempt& attempt = *FAttempt;
    // A leg went out and the proxy answers with the next token of the same scheme.
    if (!attempt.Pending && attempt.Scheme->AwaitsChallenge() && attempt.Legs < kMaxLegs &&
        Offers(attempt.SchemeName)) {
      attempt.Scheme->AuthParams.Clear();
      attempt.Scheme->AuthParams.AddStrings(AChallenges);
      ++attempt.Legs;
      if (attempt.Scheme->Next() == wnDoRequest) {
        attempt.Pending = true;
        return true;
      }
    }
    // The proxy refused what it was given.
    Refused(attempt);
    FAttempt.reset();
  } else if (FSentWorked && FWorked) {
    // What worked before went with the request and no longer does.
    if (FWorked->Credentials) FRefused = true;
    FWorked.reset();
  }
  FSentWorked = false;
  return StartAttempt(AConfigured);
}

bool TIdProxyAuthenticator::StartAttempt(const TIdCredentials& AConfigured) {
  // Credentials whose scheme's package turned out missing, for the next scheme: a typed answer
  // is not asked for again.
  std::optional<TAttempt> carried;
  for (;;) {
    const std::string scheme = ChooseScheme();
    if (scheme.empty()) {
      // Schemes offered, none of which the client can use here: they are named.
      Fail(FOffered.empty() ? TFailure::fNoCredentials : TFailure::fSchemesUnknown);
      return false;
    }
    const bool basic = ProxyCredentialKindFor(scheme) == TIdProxyCredentialKind::pkBasic;
    std::optional<TAttempt> attempt = std::move(carried);
    carried.reset();
    // Credentials meant for a sign-in scheme do not follow it to Basic: Basic's own sources
    // (and a prompt that says what Basic does with the password) take over.
    if (attempt && basic && !MayGoWithBasic(*attempt)) attempt.reset();
    if (!attempt && FWorked && (!basic || MayGoWithBasic(*FWorked))) {
      attempt.emplace();
      attempt->Source = FWorked->Source;
      attempt->Credentials = FWorked->Credentials;
      attempt->Kind = FWorked->Kind;
      attempt->FromWorked = true;
    }
    if (!attempt) attempt = NextSource(scheme, AConfigured);
    if (!attempt) {
      Fail(TFailure::fNoCredentials);
      return false;
    }
    attempt->SchemeName = scheme;
    try {
      if (Launch(*attempt)) {
        TellSignIn("Signing in to", *attempt);
        FAttempt = std::move(attempt);
        return true;
      }
      // This scheme cannot start with these credentials: the next source.
      Refused(*attempt);
    } catch (const EIdSecurityPackageMissing&) {
      FMissingPackages.insert(LowerCase(scheme));
      attempt->Scheme.reset();
      carried = std::move(attempt);
    }
  }
}

std::optional<TIdProxyAuthenticator::TAttempt> TIdProxyAuthenticator::NextSource(
    const std::string& AScheme, const TIdCredentials& AConfigured) {
  const TIdProxyCredentialKind kind = ProxyCredentialKindFor(AScheme);
  const bool basic = kind == TIdProxyCredentialKind::pkBasic;
  while (FNext != TSource::csDone) {
    TAttempt attempt;
    attempt.Source = FNext;
    attempt.Kind = kind;
    switch (FNext) {
      case TSource::csConfigured:
        FNext = TSource::csSignedIn;
        if (AConfigured.Username.empty() && AConfigured.Password.empty()) continue;
        attempt.Credentials = AConfigured;
        if (basic && !MayGoWithBasic(attempt)) continue;
        return attempt;
      case TSource::csSignedIn:
        FNext = TSource::csStored;
        // Basic has no way to the signed-in user's credentials.
        if (basic) continue;
        return attempt;
      case TSource::csStored:
        FNext = TSource::csAsked;
        if (!FProvider) continue;
        attempt.Credentials = FProvider->Stored(FProxy, kind);
        if (!attempt.Credentials) continue;
        return attempt;
      case TSource::csAsked: {
        if (!FProvider || FAsked >= kMaxAsks) {
          FNext = TSource::csDone;
          continue;
        }
        ++FAsked;
        std::optional<TIdAskedCredentials> answer = FProvider->Ask(FProxy, AScheme, FRefused);
        if (!answer) {
          FNext = TSource::csDone;
          return std::nullopt;
        }
        attempt.Credentials = std::move(answer->Credentials);
        attempt.Remember = answer->Remember;
        return attempt;
      }
      case TSource::csDone:
        break;
    }
  }
  return std::nullopt;
}

bool TIdProxyAuthenticator::Launch(TAttempt& AAttempt) {
  const bool basic = ProxyCredentialKindFor(AAttempt.SchemeName) == TIdProxyCredentialKind::pkBasic;
  // The last guard before a password leaves in clear.
  if (basic && !MayGoWithBasic(AAttempt)) return false;
  AAttempt.Scheme = FMaker(AAttempt.SchemeName);
  if (!AAttempt.Scheme) return false;
  if (AAttempt.Credentials) {
    AAttempt.Scheme->SetUsername(AAttempt.Credentials->Username);
    AAttempt.Scheme->SetPassword(AAttempt.Credentials->Password.Text());
  }
  auto* sspi = dynamic_cast<TIdSSPIAuthentication*>(AAttempt.Scheme.get());
  if (sspi) sspi->SetServiceHost(FProxy.Host);
  if (AAttempt.Scheme->Next() != wnDoRequest) {
    if (sspi && sspi->PackageMissing()) throw EIdSecurityPackageMissing(sspi->Failure());
    return false;
  }
  AAttempt.Pending = true;
  // Given to the proxy with a sign-in scheme (a package the system lacks sends nothing).
  if (!basic && AAttempt.Source == TSource::csConfigured) FConfiguredSignedIn = true;
  return true;
}

std::string TIdProxyAuthenticator::Header(const TIdProxyServer& AProxy) {
  if (!(AProxy == FProxy)) return {};
  if (FAttempt) {
    if (!FAttempt->Pending) return {};
    FAttempt->Pending = false;
    return FAttempt->Scheme->Authentication();
  }
  // Basic carries the credentials with every request; the others authenticate the connection.
  if (FWorked && SameText(FWorked->SchemeName, "Basic")) {
    FSentWorked = true;
    return FWorked->Scheme->Authentication();
  }
  return {};
}

bool TIdProxyAuthenticator::ConnectionOpened(const TIdProxyServer& AProxy) {
  if (!FAttempt || !(AProxy == FProxy)) return true;
  TAttempt& attempt = *FAttempt;
  if (attempt.Legs == 0) {
    // Nothing of the proxy's was taken yet: the first header goes (again) on this connection.
    attempt.Pending = true;
    return true;
  }
  // The proxy took a leg on the connection before, and this one knows nothing of it.
  if (attempt.Restarts >= 1) {
    FFailedScheme = attempt.SchemeName;
    Fail(TFailure::fHandshakeBroken);
    return false;
  }
  ++attempt.Restarts;
  attempt.Legs = 0;
  attempt.Scheme->Reset();
  attempt.Scheme->AuthParams.Clear();
  if (attempt.Scheme->Next() != wnDoRequest) {
    FFailedScheme = attempt.SchemeName;
    Fail(TFailure::fHandshakeBroken);
    return false;
  }
  attempt.Pending = true;
  return true;
}

void TIdProxyAuthenticator::Accepted(const TIdProxyServer& AProxy) {
  if (!(AProxy == FProxy)) return;
  FSentWorked = false;
  if (!FAttempt || FAttempt->Pending) return;
  TAttempt& attempt = *FAttempt;
  TellSignIn("Signed in to", attempt);
  if (attempt.Source == TSource::csAsked && attempt.Remember && attempt.Credentials && FProvider)
    FProvider->Store(FProxy, ProxyCredentialKindFor(attempt.SchemeName), *attempt.Credentials);
  attempt.Remember = false;
  attempt.FromWorked = false;
  FWorked = std::move(FAttempt);
  FAttempt.reset();
  ResetSources();
}

void TIdProxyAuthenticator::TellSignIn(const std::string& AWhat, const TAttempt& AAttempt) const {
  if (!OnSignIn) return;
  const char* source = "";
  if (AAttempt.FromWorked) {
    source = "the credentials that worked before";
  } else {
    switch (AAttempt.Source) {
      case TSource::csConfigured:
        source = "the credentials set for the proxy";
        break;
      case TSource::csSignedIn:
        source = "the signed-in user";
        break;
      case TSource::csStored:
        source = "the credentials kept for it";
        break;
      case TSource::csAsked:
      case TSource::csDone:
        source = "the credentials the user typed";
        break;
    }
  }
  OnSignIn(AWhat + " the proxy " + FProxy.Text() + " with " + AAttempt.SchemeName + " and " +
           source);
}

std::string TIdProxyAuthenticator::FailureMessage(const std::string& AProxyText,
                                                  const std::string& AStatus) const {
  switch (FFailure) {
    case TFailure::fSchemesUnknown: {
      std::string names;
      for (const TIdAuthChallenge& challenge : FOffered)
        if (names.find(challenge.Scheme) == std::string::npos)
          names += (names.empty() ? "" : ", ") + challenge.Scheme;
      return WithFinalPeriod(
          Format(RSHTTPProxySchemesUnknown, AProxyText.c_str(), names.c_str(), AStatus.c_str()));
    }
    case TFailure::fHandshakeBroken:
      return WithFinalPeriod(Format(RSHTTPProxyHandshakeClosed, AProxyText.c_str(),
                                    FFailedScheme.c_str(), AStatus.c_str()));
    case TFailure::fNone:
    case TFailure::fNoCredentials:
      break;
  }
  return WithFinalPeriod(Format(RSHTTPProxyAuthentication, AProxyText.c_str(), AStatus.c_str()));
}
