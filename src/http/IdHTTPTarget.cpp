// The steps of a pass of the request loop up to the sent head: the target resolved against
// the client's URI, the endpoint chosen, the connection reused or opened, the head sent.
#include <string>
#include <vector>

#include "base/Format.h"
#include "base/StrUtils.h"
#include "http/IdHTTP.h"
#include "http/IdHTTPStatus.h"
#include "http/proxy/IdProxyServer.h"
#include "net/IdAntiFreezeBase.h"
#include "net/IdResourceStrings.h"
#include "net/IdSSLIOHandlerSocket.h"

namespace {

// APath (relative, possibly empty) against the folder ABase, with "." and ".." resolved.
std::string ResolvePath(const std::string& ABase, const std::string& APath) {
  return TIdURI::RemoveDotSegments((ABase.empty() ? std::string("/") : ABase) + APath);
}

bool IsMethodNeeding11(std::string_view AMethod) {
  return SameText(AMethod, "TRACE") || SameText(AMethod, "PUT") || SameText(AMethod, "OPTIONS") ||
         SameText(AMethod, "DELETE");
}

}  // namespace

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

  // A URL that names a host without a scheme ("//host/path") takes the current scheme, and
  // that scheme's port when it names none: the previous port belonged to another host.
  const std::string& portScheme =
      uri.Protocol.empty() && !uri.Host.empty() ? FURI->Protocol : uri.Protocol;
  if (!uri.Port.empty())
    FURI->Port = uri.Port;
  else if (SameText(portScheme, "http"))
    FURI->Port = "80";
  else if (SameText(portScheme, "https"))
    FURI->Port = "443";
  else if (FURI->Port.empty())
    throw EIdUnknownProtocol(Text(RSHTTPUnknownProtocol));

  ARequest.URL = FURI->GetPathAndParams();
  ARequest.IPVersion = uri.IPVersion;
  FURI->IPVersion = uri.IPVersion;

  const std::string& method = ARequest.Method.empty() ? ARequest.MethodOverride : ARequest.Method;
  if (IsMethodNeeding11(method) && FProtocolVersion != pv1_1)
    throw EIdException(RSHTTPMethodRequiresVersion);

  ARequest.ContentLength = ARequest.Source ? ARequest.Source->Size() : -1;
}

std::string TIdCustomHTTP::RedirectTarget(const std::string& ALocation) const {
  // Read against the URL that was answered: a Location without a scheme of its own is relative,
  // whatever "://" its query may hold.
  const std::string target = FURI->ResolveReference(ALocation);
  const TIdURI uri(target);
  const bool secure = SameText(uri.Protocol, "https");
  // Any other scheme, or a URL without a host, is nothing this client can fetch; taking it for
  // plain HTTP would send the request somewhere the server never meant.
  if ((!secure && !SameText(uri.Protocol, "http")) || uri.Host.empty())
    throw EIdHTTPUnsupportedRedirect(Format(RSHTTPRedirectCannotOpen, ALocation.c_str()));
  // Once secure, always secure: the request (and the answer) would go in the clear.
  if (SameText(FURI->Protocol, "https") && !secure)
    throw EIdHTTPInsecureRedirect(Text(RSHTTPInsecureRedirect));
  return target;
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
  EnsureConnection(AResponse);
  RequireIOHandler();
  TIdHTTPHeadSources sources = HeadSources();
  // The proxy's credentials go with requests to the proxy itself, never into a tunnel.
  if (ARequest.UseProxy == ctProxy)
    sources.ProxyAuthorization = FProxyAuthenticator->Header(CurrentProxy());
  const std::vector<std::string> head = FHTTPProto->ComposeRequestHead(sources);
  TIdHTTPProtocol::SendHead(*IOHandler(), head);
  if (OnRequestLine) OnRequestLine(this, head.front());
  if (ARequest.Source) IOHandler()->Write(*ARequest.Source, 0);
}

TIdHTTPHeadSources TIdCustomHTTP::HeadSources() {
  TIdHTTPHeadSources sources;
  sources.URI = FURI.get();
  sources.Version = FProtocolVersion;
  sources.Cookies = FAllowCookies ? FCookieManager : nullptr;
  sources.Proxy = FProxyParameters.get();
  sources.CompressorReady = FCompressor && FCompressor->IsReady();
  return sources;
}

bool TIdCustomHTTP::KeepAlive(TIdHTTPResponse& AResponse) {
  // Lets a close the peer made since the last read be noticed now.
  if (Connected()) IOHandler()->CheckForDisconnect(false);
  return AResponse.KeepAlive(Connected(), FProtocolVersion);
}

void TIdCustomHTTP::EnsureConnection(TIdHTTPResponse& AResponse) {
  if (!KeepAlive(AResponse)) Disconnect();
  // Bytes left unread by the previous exchange are dropped.
  if (IOHandler()) IOHandler()->InputBuffer().Clear();
  CheckForGracefulDisconnect(false);
  FReusedConnection = Connected();
  if (!Connected()) {
    ConnectToEndpoint();
    if (Request().UseProxy == ctSSLProxy) OpenTunnel();
    FRoute = RouteOf(Request().UseProxy);
  }
}

void TIdCustomHTTP::ConnectToEndpoint() {
  const bool throughProxy = ThroughProxy(Request().UseProxy);
  SetIPVersion(PeerIPVersion(throughProxy));
  try {
    Connect();
  } catch (const EIdConnClosedGracefully&) {
    // The program stopped waiting for the connect; nothing failed.
    throw;
  } catch (const EIdException& e) {
    if (!throughProxy) throw;
    throw EIdHTTPProxyError(
        WithFinalPeriod(Format(RSHTTPProxyUnreachable, ProxyText().c_str(), e.Message().c_str())));
  }
  if (throughProxy && !FProxyAuthenticator->ConnectionOpened(CurrentProxy())) {
    DisconnectAndDropInput();
    throw EIdHTTPProxyError(
        FProxyAuthenticator->FailureMessage(ProxyText(), Response().ResponseText()),
        Id_HTTP_PROXY_AUTHENTICATION_REQUIRED);
  }
}

std::string TIdCustomHTTP::ProxyText() const {
  return CurrentProxy().Text();
}

TIdProxyServer TIdCustomHTTP::CurrentProxy() const {
  return TIdProxyServer{FProxyParameters->ProxyServer, FProxyParameters->ProxyPort, {}};
}

TIdCredentials TIdCustomHTTP::ConfiguredProxyCredentials() const {
  return TIdCredentials{FProxyParameters->ProxyUsername, FProxyParameters->ProxyPassword};
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
