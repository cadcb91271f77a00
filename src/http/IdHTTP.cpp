#include "http/IdHTTP.h"

#include <vector>

#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/StrUtils.h"
#include "base/TryFinally.h"
#include "http/IdCharsets.h"
#include "http/IdProxyServer.h"
#include "net/IdAntiFreezeBase.h"
#include "net/IdExceptionCore.h"
#include "net/IdResourceStrings.h"
#include "net/IdSSLIOHandlerSocket.h"

namespace {

// APath (relative, possibly empty) against the folder ABase, with "." and ".." resolved.
std::string ResolvePath(const std::string& ABase, const std::string& APath) {
  const std::string joined = (ABase.empty() ? std::string("/") : ABase) + APath;
  std::vector<std::string> segments;
  size_t start = 1;
  while (start <= joined.size()) {
    size_t slash = joined.find('/', start);
    if (slash == std::string::npos) slash = joined.size();
    const std::string segment = joined.substr(start, slash - start);
    const bool last = slash == joined.size();
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != "." && !(last && segment.empty())) {
      segments.push_back(segment);
    }
    start = slash + 1;
  }
  std::string out = "/";
  for (const std::string& s : segments)
    out += s + "/";
  return out;
}

bool IsMethodNeeding11(std::string_view AMethod) {
  return SameText(AMethod, "TRACE") || SameText(AMethod, "PUT") || SameText(AMethod, "OPTIONS") ||
         SameText(AMethod, "DELETE");
}

}  // namespace

TIdCustomHTTP::TIdCustomHTTP()
    : FURI(std::make_unique<TIdURI>()),
      FHTTPProto(std::make_unique<TIdHTTPProtocol>(this)),
      FProxyParameters(std::make_unique<TIdProxyConnectionInfo>()) {}

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
  const int64_t start = AResponseContent ? AResponseContent->Position() : 0;
  TIdHTTPRequest& request = Request();
  TIdHTTPResponse& response = Response();
  request.URL = AURL;
  request.Method = AMethod;
  request.Source = ASource;
  response.SetContentStream(AResponseContent);

  // Set while an answer is being read: a failure then leaves the connection at an unknown
  // point of the message (a line cut off, a body half read), and what the server sends next
  // would be read as the next answer, so the connection is closed. A protocol error has read
  // its body completely and leaves the connection usable.
  bool reading = false;
  bool resent = false;
  TryFinally(
      [&] {
        try {
          for (;;) {
            reading = false;
            const std::string passURL = request.URL;
            ResolveTarget(request);
            if (OnSelectProxy) OnSelectProxy(this, *FURI, *FProxyParameters);
            ConnectAndSend(request, response);
            reading = true;
            std::string status;
            try {
              status = ReadProtocolLine();
            } catch (const EIdConnClosedGracefully&) {
              if (resent || !MaySendAgain(request)) throw;
              // The request went out on a kept connection the peer had closed: it never
              // arrived, and is sent once more on a new one.
              resent = true;
              DisconnectAndDropInput();
              request.URL = passURL;
              continue;
            }
            // Interim "100" answers are passed over.
            for (;;) {
              response.SetResponseText(status);
              FHTTPProto->RetrieveHeaders(FMaxHeaderLines);
              StoreResponseCookies(request, response);
              if (response.ResponseCode() != 100) break;
              status = ReadProtocolLine();
            }

            switch (FHTTPProto->ProcessResponse(AIgnoreReplies)) {
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
                return;
            }
          }
        } catch (const EIdHTTPProtocolException& e) {
          // Credentials for the proxy are not asked for: its demand for them ends the request.
          // (Inside a tunnel every answer is the server's.)
          if (e.ErrorCode() == 407 && request.UseProxy == ctProxy)
            throw EIdHTTPProxyError(
                WithFinalPeriod(
                    Format(RSHTTPProxyAuthentication, ProxyText().c_str(), e.Message().c_str())),
                407);
          throw;
        } catch (...) {
          if (reading) DisconnectAndDropInput();
          throw;
        }
      },
      [&] {
        if (!response.KeepAlive()) Disconnect();
      });
}

void TIdCustomHTTP::ResolveTarget(TIdHTTPRequest& ARequest) {
  const TIdURI uri(ARequest.URL);
  if (!uri.Username.empty()) {
    ARequest.Username = uri.Username;
    ARequest.Password = uri.Password;
  }
  FURI->Username = ARequest.Username;
  FURI->Password = ARequest.Password;

  if (!uri.Path.empty() && uri.Path[0] == '/')
    FURI->Path = uri.Path;
  else
    FURI->Path = ResolvePath(FURI->Path, uri.Path);
  FURI->Document = uri.Document;
  FURI->Params = uri.Params;
  if (!uri.Host.empty()) FURI->Host = uri.Host;

  if (!uri.Protocol.empty())
    FURI->Protocol = uri.Protocol;
  else
    FURI->Protocol = SameText(FURI->Protocol, "https") ? "https" : "http";

  if (!uri.Port.empty())
    FURI->Port = uri.Port;
  else if (SameText(uri.Protocol, "http"))
    FURI->Port = "80";
  else if (SameText(uri.Protocol, "https"))
    FURI->Port = "443";
  else if (FURI->Port.empty())
    throw EIdUnknownProtocol(RSHTTPUnknownProtocol);

  ARequest.URL = FURI->GetPathAndParams();
  ARequest.IPVersion = uri.IPVersion;
  FURI->IPVersion = uri.IPVersion;

  const std::string& method = ARequest.Method.empty() ? ARequest.MethodOverride : ARequest.Method;
  if (IsMethodNeeding11(method) && FProtocolVersion != pv1_1)
    throw EIdException(RSHTTPMethodRequiresVersion);

  ARequest.ContentLength = ARequest.Source ? ARequest.Source->Size() : -1;

  // An IPv6 literal is bracketed, or its colons would read as the port's.
  const std::string host =
      FURI->Host.find(':') != std::string::npos ? "[" + FURI->Host + "]" : FURI->Host;
  if ((SameText(FURI->Protocol, "http") && FURI->Port == "80") ||
      (SameText(FURI->Protocol, "https") && FURI->Port == "443"))
    ARequest.Host = host;
  else
    ARequest.Host = host + ":" + FURI->Port;
}

TIdHTTPConnectionType TIdCustomHTTP::SelectEndpoint() {
  const bool proxy = !FProxyParameters->ProxyServer.empty();
  if (TIdIOHandlerSocket* socket = Socket();
      socket && socket->Binding() && socket->Binding()->IPVersion() != PeerIPVersion(proxy) &&
      Connected())
    Disconnect();

  std::string host;
  int port;
  if (proxy) {
    host = FProxyParameters->ProxyServer;
    port = FProxyParameters->ProxyPort;
  } else {
    host = FURI->Host;
    port = StrToIntDef(Trim(FURI->Port), 80);
    if (port < 0 || port > 65535) port = 80;
  }
  if ((!SameText(Host(), host) || Port() != port) && Connected()) Disconnect();

  // "https" needs a handler that speaks TLS; a plain URL passes through one unencrypted.
  const bool secure = SameText(FURI->Protocol, "HTTPS");
  TIdSSLIOHandlerSocket* tls = dynamic_cast<TIdSSLIOHandlerSocket*>(IOHandler());
  if (secure && !tls) throw EIdIOHandlerPropInvalid(RSIOHandlerPropInvalid);
  const TIdHTTPConnectionType type =
      proxy ? (secure ? ctSSLProxy : ctProxy) : (secure ? ctSSL : ctNormal);
  // A connection of another kind to the same host and port (plain or secure, straight or
  // through the proxy, a tunnel to another server) is not reused.
  if (Connected() && FRoute != RouteOf(type)) Disconnect();
  if (tls) {
    // Through a proxy the connection starts plain; TLS starts inside the tunnel.
    tls->PassThrough = type != ctSSL;
    tls->HostToCheck = FURI->Host;
  }

  SetHost(host);
  SetPort(static_cast<uint16_t>(port));
  return type;
}

void TIdCustomHTTP::ConnectAndSend(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse) {
  ARequest.UseProxy = SelectEndpoint();
  if (ARequest.UseProxy == ctProxy) {
    // A proxy takes the absolute URI as the target.
    ARequest.URL = FURI->URI();
    if (FProtocolVersion == pv1_0 && ARequest.ProxyConnection.empty())
      ARequest.ProxyConnection = "keep-alive";
  } else if (FProtocolVersion == pv1_0 && ARequest.Connection.empty()) {
    ARequest.Connection = "keep-alive";
  }

  std::string& encoding = ARequest.AcceptEncoding;
  auto addEncoding = [&encoding](const char* name) {
    if (encoding.find(name) != std::string::npos) return;
    encoding = encoding.empty() ? std::string(name) : encoding + ", " + name;
  };
  if (FCompressor && FCompressor->IsReady()) {
    addEncoding("deflate");
    addEncoding("gzip");
  }
  addEncoding("identity");

  EnsureConnection(AResponse);
  FHTTPProto->BuildAndSendRequest(FURI.get());
  if (ARequest.Source) IOHandler()->Write(*ARequest.Source, 0);
}

void TIdCustomHTTP::EnsureConnection(TIdHTTPResponse& AResponse) {
  if (!AResponse.KeepAlive()) Disconnect();
  // Bytes left unread by the previous exchange are dropped.
  if (IOHandler()) IOHandler()->InputBuffer().Clear();
  CheckForGracefulDisconnect(false);
  FReusedConnection = Connected();
  if (!Connected()) {
    SetIPVersion(PeerIPVersion(ThroughProxy(Request().UseProxy)));
    try {
      Connect();
    } catch (const EIdConnClosedGracefully&) {
      // The program stopped waiting for the connect; nothing failed.
      throw;
    } catch (const EIdException& e) {
      if (!ThroughProxy(Request().UseProxy)) throw;
      throw EIdHTTPProxyError(WithFinalPeriod(
          Format(RSHTTPProxyUnreachable, ProxyText().c_str(), e.Message().c_str())));
    }
    if (Request().UseProxy == ctSSLProxy) OpenTunnel();
    FRoute = RouteOf(Request().UseProxy);
  }
}

std::string TIdCustomHTTP::ProxyText() const {
  return TIdProxyServer{FProxyParameters->ProxyServer, FProxyParameters->ProxyPort}.Text();
}

bool TIdCustomHTTP::MaySendAgain(const TIdHTTPRequest& ARequest) const {
  // Proxies close a kept connection after an answer without announcing it, so through one the
  // race with the close is common. Only a request without a body whose repetition changes
  // nothing is sent again, and not when the program stopped waiting (which closes too).
  return FReusedConnection && ThroughProxy(ARequest.UseProxy) && !ARequest.Source &&
         (SameText(ARequest.Method, "GET") || SameText(ARequest.Method, "HEAD")) &&
         !TIdAntiFreezeBase::WaitAbandoned();
}

TIdIPVersion TIdCustomHTTP::PeerIPVersion(bool AThroughProxy) const {
  if (!AThroughProxy) return FURI->IPVersion;
  // The proxy's address decides, not the server's behind it.
  return FProxyParameters->ProxyServer.find(':') != std::string::npos ? Id_IPv6 : Id_IPv4;
}

std::string TIdCustomHTTP::RouteOf(TIdHTTPConnectionType AType) const {
  switch (AType) {
    case ctNormal:
      return "plain";
    case ctSSL:
      return "tls";
    case ctProxy:
      return "proxy";
    case ctSSLProxy:
      return "tunnel " + TunnelTarget();
  }
  return {};
}

void TIdCustomHTTP::AddRequestCookies(const TIdURI& AURL, TIdHTTPRequest& ARequest) {
  if (FCookieManager && FAllowCookies)
    FCookieManager->GenerateClientCookies(AURL, SameText(AURL.Protocol, "HTTPS"),
                                          ARequest.RawHeaders);
}

std::string TIdCustomHTTP::ReadProtocolLine() {
  RequireIOHandler();
  std::string line = IOHandler()->ReadLn();
  if (IOHandler()->ReadLnTimedout()) throw EIdReadTimeout(RSReadTimeout);
  return line;
}

void TIdCustomHTTP::ReadHeaderLines(TIdHeaderList& ADest, int AMax) {
  int count = 0;
  for (std::string line = ReadProtocolLine(); !line.empty(); line = ReadProtocolLine()) {
    if (AMax > 0 && count == AMax) RejectResponse(Format(RSHTTPHeaderLinesExceeded, AMax));
    ADest.Add(line);
    ++count;
  }
}

void TIdCustomHTTP::StoreResponseCookies(TIdHTTPRequest&, TIdHTTPResponse& AResponse) {
  if (!FCookieManager && FAllowCookies) {
    FOwnedCookieManager = std::make_unique<TIdCookieManager>();
    FCookieManager = FOwnedCookieManager.get();
    FImplicitCookieManager = true;
  }
  if (!FCookieManager || !FAllowCookies) return;
  TStringList cookies;
  AResponse.RawHeaders.Extract("Set-Cookie", &cookies);
  AResponse.MetaHTTPEquiv().RawHeaders.Extract("Set-Cookie", &cookies);
  FCookieManager->AddServerCookies(cookies, *FURI);
}

// ---------------------------------------------------------------------------------------------
// Redirects and authentication

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
  ++FAuthProxyRetries;
  return PrepareSchemeAuthorization(FProxyParameters->Authentication, AResponse.ProxyAuthenticate,
                                    FProxyParameters->ProxyUsername,
                                    FProxyParameters->ProxyPassword, false,
                                    OnSelectProxyAuthorization, OnProxyAuthorization);
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

void TIdCustomHTTP::DisconnectAndDropInput() {
  Disconnect();
  if (IOHandler()) IOHandler()->InputBuffer().Clear();
}

void TIdCustomHTTP::RejectResponse(const std::string& AMessage) {
  DisconnectAndDropInput();
  throw EIdHTTPMalformedResponse(AMessage);
}

void TIdCustomHTTP::CheckContentLengths(TIdHTTPResponse& AResponse) {
  TStringList lengths;
  AResponse.RawHeaders.Extract("Content-Length", &lengths);
  for (const std::string& length : lengths)
    if (StrToInt64Def(Trim(length), -1) != AResponse.ContentLength)
      RejectResponse(Format(RSHTTPContentLengthsDiffer, std::string(Trim(lengths[0])).c_str(),
                            std::string(Trim(length)).c_str()));
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

void TIdCustomHTTP::Notification(TComponent* AComponent, TOperation Operation) {
  TIdTCPClientCustom::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == FCookieManager) {
    FCookieManager = nullptr;
    FImplicitCookieManager = false;
  }
  if (AComponent == FCompressor) FCompressor = nullptr;
  if (AComponent == FAuthenticationManager) FAuthenticationManager = nullptr;
}
