#include "http/IdHTTP.h"

#include <vector>

#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/TryFinally.h"
#include "http/IdCharsets.h"
#include "http/IdHTTPStatus.h"

TIdCustomHTTP::TIdCustomHTTP()
    : FURI(std::make_unique<TIdURI>()),
      FHTTPProto(std::make_unique<TIdHTTPProtocol>()),
      FProxyParameters(std::make_unique<TIdProxyConnectionInfo>()),
      FProxyAuthenticator(std::make_unique<TIdProxyAuthenticator>()) {}

TIdCustomHTTP::~TIdCustomHTTP() {
  SetCookieManager(nullptr);
  SetCompressor(nullptr);
  SetAuthenticationManager(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Entry points

void TIdCustomHTTP::Head(const std::string& AURL) {
  PerformRequest("HEAD", AURL, nullptr, nullptr, {});
}

void TIdCustomHTTP::Get(const std::string& AURL, TStream* AResponseContent) {
  PerformRequest("GET", AURL, nullptr, AResponseContent, {});
}

void TIdCustomHTTP::Get(const std::string& AURL, TStream* AResponseContent,
                        const std::vector<int16_t>& AIgnoreReplies) {
  PerformRequest("GET", AURL, nullptr, AResponseContent, AIgnoreReplies);
}

std::string TIdCustomHTTP::Get(const std::string& AURL) {
  TMemoryStream body;
  Get(AURL, &body);
  return DecodeCharset(body.Memory(), static_cast<size_t>(body.Size()), Response().CharSet);
}

void TIdCustomHTTP::Post(const std::string& AURL, TStream* ASource, TStream* AResponseContent) {
  PerformRequest("POST", AURL, ASource, AResponseContent, {});
}

void TIdCustomHTTP::Put(const std::string& AURL, TStream* ASource, TStream* AResponseContent) {
  PerformRequest("PUT", AURL, ASource, AResponseContent, {});
}

void TIdCustomHTTP::Delete(const std::string& AURL) {
  PerformRequest("DELETE", AURL, nullptr, nullptr, {});
}

void TIdCustomHTTP::Options(const std::string& AURL) {
  PerformRequest("OPTIONS", AURL, nullptr, nullptr, {});
}

void TIdCustomHTTP::Trace(const std::string& AURL, TStream* AResponseContent) {
  PerformRequest("TRACE", AURL, nullptr, AResponseContent, {});
}

// ---------------------------------------------------------------------------------------------
// The request loop

void TIdCustomHTTP::PerformRequest(const std::string& AMethod, const std::string& AURL,
                                   TStream* ASource, TStream* AResponseContent,
                                   const std::vector<int16_t>& AIgnoreReplies) {
  FRedirectCount = 0;
  FAuthRetries = 0;
  FAuthProxyRetries = 0;
  FProxyAuthenticator->BeginCall();
  const int64_t start = AResponseContent ? AResponseContent->Position() : 0;
  TIdHTTPRequest& request = Request();
  TIdHTTPResponse& response = Response();
  request.URL = AURL;
  request.Method = AMethod;
  request.Source = ASource;
  response.SetContentStream(AResponseContent);

  // Where the pass stands. While an answer is read (stReadStatus, stReadAnswer) a failure leaves
  // the connection at an unknown point of the message (a line cut off, a body half read), and
  // what the server sends next would be read as the next answer, so the connection is closed.
  // A protocol error has read its body completely and leaves the connection usable.
  enum class TPassState { stSend, stReadStatus, stReadAnswer, stDone };
  // A request sent on a kept connection that the peer had closed never arrived: it goes once
  // more on a new one, once in a call.
  enum class TStaleResend { srAllowed, srUsed };
  TPassState state = TPassState::stSend;
  TStaleResend resend = TStaleResend::srAllowed;
  std::string passURL;
  std::string status;
  TryFinally(
      [&] {
        try {
          while (state != TPassState::stDone) {
            switch (state) {
              case TPassState::stSend:
                passURL = request.URL;
                ResolveTarget(request);
                if (OnSelectProxy) OnSelectProxy(this, *FURI, *FProxyParameters);
                ConnectAndSend(request, response);
                state = TPassState::stReadStatus;
                break;
              case TPassState::stReadStatus:
                try {
                  status = ReadHeadLine();
                  state = TPassState::stReadAnswer;
                } catch (const EIdConnClosedGracefully&) {
                  if (resend == TStaleResend::srUsed || !MaySendAgain(request)) throw;
                  resend = TStaleResend::srUsed;
                  DisconnectAndDropInput();
                  request.URL = passURL;
                  state = TPassState::stSend;
                }
                break;
              case TPassState::stReadAnswer: {
                RetrieveFinalHead(status, true);
                // The proxy let the request through: the credentials that went with it worked.
                if (request.UseProxy == ctProxy &&
                    response.ResponseCode() != Id_HTTP_PROXY_AUTHENTICATION_REQUIRED)
                  FProxyAuthenticator->Accepted(CurrentProxy());

                const TDecision decision = ProcessResponse();
                switch (decision.Body) {
                  case TBodyAction::baNone:
                    break;
                  case TBodyAction::baRead:
                    ReadBody(request, response);
                    break;
                  case TBodyAction::baSkip:
                    SkipBody();
                    break;
                  case TBodyAction::baProtocolError:
                    RaiseProtocolError(response.ResponseCode(), AIgnoreReplies);
                    break;
                }
                state = TPassState::stSend;
                switch (decision.Next) {
                  case wnGoToURL:
                    if (AResponseContent) {
                      AResponseContent->SetPosition(start);
                      AResponseContent->SetSize(start);
                    }
                    FAuthRetries = 0;
                    FAuthProxyRetries = 0;
                    break;
                  case wnAuthRequest:
                    request.URL = AURL;
                    break;
                  default:
                    state = TPassState::stDone;
                }
                break;
              }
              case TPassState::stDone:
                break;
            }
          }
        } catch (const EIdHTTPProtocolException& e) {
          // The proxy's demand for credentials that could not be met ends the request, in words
          // that name the proxy. (Inside a tunnel every answer is the server's.)
          if (e.ErrorCode() == Id_HTTP_PROXY_AUTHENTICATION_REQUIRED && request.UseProxy == ctProxy)
            throw EIdHTTPProxyError(FProxyAuthenticator->FailureMessage(ProxyText(), e.Message()),
                                    Id_HTTP_PROXY_AUTHENTICATION_REQUIRED);
          throw;
        } catch (...) {
          if (state == TPassState::stReadStatus || state == TPassState::stReadAnswer)
            DisconnectAndDropInput();
          throw;
        }
      },
      [&] {
        if (!KeepAlive(response)) Disconnect();
      });
}

// ---------------------------------------------------------------------------------------------
// Referenced components

void TIdCustomHTTP::SetCookieManager(TIdCookieManager* AValue) {
  if (AValue == FCookieManager) return;
  if (FCookieManager) {
    if (FImplicitCookieManager) {
      FImplicitCookieManager = false;
      FOwnedCookieManager.reset();
    } else {
      FCookieManager->RemoveFreeNotification(this);
    }
  }
  FCookieManager = AValue;
  if (AValue) AValue->FreeNotification(this);
}

void TIdCustomHTTP::SetCompressor(TIdZLibCompressorBase* AValue) {
  if (AValue == FCompressor) return;
  if (FCompressor) FCompressor->RemoveFreeNotification(this);
  FCompressor = AValue;
  if (AValue) AValue->FreeNotification(this);
}

void TIdCustomHTTP::SetAuthenticationManager(TIdAuthenticationManager* AValue) {
  if (AValue == FAuthenticationManager) return;
  if (FAuthenticationManager) FAuthenticationManager->RemoveFreeNotification(this);
  FAuthenticationManager = AValue;
  if (AValue) AValue->FreeNotification(this);
}

void TIdCustomHTTP::Notification(TComponent* AComponent, TOperation AOperation) {
  TIdTCPClientCustom::Notification(AComponent, AOperation);
  if (AOperation != TOperation::opRemove) return;
  if (AComponent == FCookieManager) {
    FCookieManager = nullptr;
    FImplicitCookieManager = false;
  }
  if (AComponent == FCompressor) FCompressor = nullptr;
  if (AComponent == FAuthenticationManager) FAuthenticationManager = nullptr;
}
