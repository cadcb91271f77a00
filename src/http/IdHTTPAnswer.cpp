// Deciding on an answer whose header block has been read: a redirect followed or refused, an
// authentication retried, a body read, or the status raised as a protocol error.
#include <string>

#include "base/StrUtils.h"
#include "http/IdHTTP.h"
#include "http/IdHTTPStatus.h"

TIdCustomHTTP::TDecision TIdCustomHTTP::ProcessResponse() {
  TIdHTTPRequest& request = Request();
  TIdHTTPResponse& response = Response();
  if (OnHeadersAvailable) {
    bool proceed = true;
    OnHeadersAvailable(this, &response.RawHeaders, proceed);
    if (!proceed) return {TBodyAction::baNone, wnJustExit};
  }
  const int code = response.ResponseCode();
  constexpr TDecision kFailure{TBodyAction::baProtocolError, wnJustExit};

  if (IsRedirectStatus(code)) {
    if (response.Location.empty()) return kFailure;
    ++FRedirectCount;
    std::string location = response.Location;
    std::string method = request.Method;
    if (!ConfirmRedirect(location, method, FRedirectCount)) return kFailure;
    if (FHandleRedirects && FRedirectCount < FRedirectMax) {
      request.URL = RedirectTarget(location);
      const bool asGet = code == Id_HTTP_SEE_OTHER ||
                         (code == Id_HTTP_FOUND && FOptions.Contains(hoTreat302Like303));
      // A HEAD stays a HEAD: as a GET it would fetch the whole body only to drop it.
      if (asGet && !SameText(method, "HEAD")) {
        request.Source = nullptr;
        request.Method = "GET";
      } else {
        request.Method = method;
      }
      request.MethodOverride.clear();
      return {Connected() ? TBodyAction::baSkip : TBodyAction::baNone, wnGoToURL};
    }
    response.Location = location;
    // Out of redirects: the last answer is the failure, not an empty success.
    if (FHandleRedirects) return kFailure;
    return {Connected() ? TBodyAction::baSkip : TBodyAction::baNone, wnJustExit};
  }

  if (code == Id_HTTP_PROXY_AUTHENTICATION_REQUIRED) {
    ++FAuthProxyRetries;
    // Only the proxy's own answer gets the proxy's credentials: a server's 407 (reached directly
    // or inside a tunnel) is a failure like any other. Nothing is asked for when the answer
    // would not be retried.
    if (request.UseProxy != ctProxy || !FOptions.Contains(hoInProcessAuth) ||
        !PrepareProxyAuthorization(request, response))
      return kFailure;
    return {TBodyAction::baSkip, wnAuthRequest};
  }
  if (code == Id_HTTP_UNAUTHORIZED) {
    if (FAuthRetries >= FMaxAuthRetries || !PrepareAuthorization(request, response)) {
      if (request.Authentication) request.Authentication->Reset();
      return kFailure;
    }
    // Not retried here: the answer is a failure, not a body.
    if (!FOptions.Contains(hoInProcessAuth)) return kFailure;
    return {TBodyAction::baSkip, wnAuthRequest};
  }
  if (StatusClass(code) != 2) return kFailure;

  if (SameText(request.Method, "HEAD") || SameText(request.MethodOverride, "HEAD") ||
      code == Id_HTTP_NO_CONTENT)
    return {TBodyAction::baSkip, wnJustExit};
  return {TBodyAction::baRead, wnJustExit};
}

bool TIdCustomHTTP::ConfirmRedirect(std::string& ALocation, std::string& AMethod,
                                    int ARedirectCount) {
  bool handled = FHandleRedirects;
  if (OnRedirect) OnRedirect(this, ALocation, ARedirectCount, handled, AMethod);
  return handled;
}

bool TIdCustomHTTP::PrepareAuthorization(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse) {
  ++FAuthRetries;
  return PrepareSchemeAuthorization(
      ARequest.Authentication, AResponse.WWWAuthenticate, ARequest.Username, ARequest.Password,
      !Trim(ARequest.Password).empty(), OnSelectAuthorization, OnAuthorization);
}

bool TIdCustomHTTP::PrepareProxyAuthorization(TIdHTTPRequest&, TIdHTTPResponse& AResponse) {
  return FProxyAuthenticator->Challenged(CurrentProxy(), AResponse.ProxyAuthenticate,
                                         ConfiguredProxyCredentials());
}

bool TIdCustomHTTP::PrepareSchemeAuthorization(std::unique_ptr<TIdAuthentication>& AScheme,
                                               TIdHeaderList& AChallenges,
                                               const std::string& AUsername,
                                               const std::string& APassword, bool ACredentialsGiven,
                                               const TIdOnSelectAuthorization& AOnSelect,
                                               const TIdOnAuthorization& AOnAuthorization) {
  if (!AScheme) {
    TIdAuthenticationClass chosen = nullptr;
    for (const std::string& challenge : AChallenges) {
      chosen = FindAuthClass(challenge);
      if (chosen) break;
    }
    if (AOnSelect) AOnSelect(this, chosen, &AChallenges);
    if (!chosen) return false;
    // It stays on the request for later calls.
    AScheme = chosen();
  }
  if (!AOnAuthorization && !ACredentialsGiven) return false;
  AScheme->SetUsername(AUsername);
  AScheme->SetPassword(APassword);
  AScheme->AuthParams.Clear();
  AScheme->AuthParams.AddStrings(AChallenges);
  // A handler that keeps answering without giving what the scheme needs cannot loop forever.
  for (int pass = 0; pass < 16; ++pass) {
    switch (AScheme->Next()) {
      case wnDoRequest:
        return true;
      case wnFail:
        return false;
      case wnAskTheProgram: {
        if (!AOnAuthorization) return false;
        bool handled = false;
        AOnAuthorization(this, AScheme.get(), handled);
        if (!handled) return false;
        break;
      }
    }
  }
  return false;
}

void TIdCustomHTTP::DoOnDisconnected() {
  TIdTCPClientCustom::DoOnDisconnected();
  std::unique_ptr<TIdAuthentication>& scheme = Request().Authentication;
  if (scheme && scheme->CurrentStep() == scheme->Steps()) {
    if (FAuthenticationManager) FAuthenticationManager->AddAuthentication(std::move(scheme), *FURI);
    scheme.reset();
  }
  std::unique_ptr<TIdAuthentication>& proxyScheme = FProxyParameters->Authentication;
  if (proxyScheme && proxyScheme->CurrentStep() == proxyScheme->Steps()) proxyScheme->Reset();
}
