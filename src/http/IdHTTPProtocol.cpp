#include "http/IdHTTPProtocol.h"

#include "base/StrUtils.h"
#include "net/IdIOHandler.h"

namespace {

// Adds AName to a comma-separated list of codings unless the list holds it (a case-sensitive
// substring test, as servers are told the codings in their usual case).
void AddCoding(std::string& AList, const char* AName) {
  if (AList.find(AName) != std::string::npos) return;
  AList = AList.empty() ? std::string(AName) : AList + ", " + AName;
}

}  // namespace

TIdHTTPProtocol::TIdHTTPProtocol()
    : FRequest(std::make_unique<TIdHTTPRequest>()),
      FResponse(std::make_unique<TIdHTTPResponse>()) {}

TIdHTTPProtocol::~TIdHTTPProtocol() = default;

std::vector<std::string> TIdHTTPProtocol::ComposeRequestHead(const TIdHTTPHeadSources& ASources) {
  TIdHTTPRequest& request = *FRequest;
  TIdURI& uri = *ASources.URI;

  // Host: the port is left out where it is the scheme's own (compared as text, as sent). An
  // IPv6 literal is bracketed, or its colons would read as the port's.
  const std::string host =
      uri.Host.find(':') != std::string::npos ? "[" + uri.Host + "]" : uri.Host;
  if ((SameText(uri.Protocol, "http") && uri.Port == "80") ||
      (SameText(uri.Protocol, "https") && uri.Port == "443"))
    request.Host = host;
  else
    request.Host = host + ":" + uri.Port;

  if (request.UseProxy == ctProxy) {
    // A proxy takes the absolute URI as the target.
    request.URL = uri.URI();
    if (ASources.Version == pv1_0 && request.ProxyConnection.empty())
      request.ProxyConnection = "keep-alive";
  } else if (ASources.Version == pv1_0 && request.Connection.empty()) {
    request.Connection = "keep-alive";
  }

  // A persistent field: the first request adds what is missing, later ones find it there.
  if (ASources.CompressorReady) {
    AddCoding(request.AcceptEncoding, "deflate");
    AddCoding(request.AcceptEncoding, "gzip");
  }
  AddCoding(request.AcceptEncoding, "identity");

  if (request.Authentication) request.Authentication->SetRequest(request.Method, request.URL);
  request.SetHeaders();
  // The proxy's credentials are for the proxy alone: never sent inside a tunnel or to a server
  // reached directly.
  if (request.UseProxy == ctProxy) {
    if (ASources.Proxy) ASources.Proxy->SetHeaders(request.RawHeaders);
    if (!ASources.ProxyAuthorization.empty())
      request.RawHeaders.SetValue("Proxy-Authorization", ASources.ProxyAuthorization);
  }
  if (ASources.Cookies) AddRequestCookies(uri, *ASources.Cookies);

  std::vector<std::string> head;
  head.push_back(request.Method + " " + request.URL + " HTTP/" +
                 ProtocolVersionText(ASources.Version));
  for (const std::string& line : request.RawHeaders)
    if (!line.empty()) head.push_back(line);
  return head;
}

void TIdHTTPProtocol::AddRequestCookies(const TIdURI& AURI, TIdCookieManager& ACookies) {
  ACookies.GenerateClientCookies(AURI, SameText(AURI.Protocol, "HTTPS"), FRequest->RawHeaders);
}

std::vector<std::string> TIdHTTPProtocol::ComposeTunnelHead(const std::string& ATarget,
                                                            const TIdHTTPHeadSources& ASources) {
  TIdHeaderList headers(QuoteHTTP);
  headers.SetValue("Host", ATarget);
  if (!FRequest->UserAgent.empty()) headers.SetValue("User-Agent", FRequest->UserAgent);
  // The proxy's credentials, when there are any, go with the request that opens the tunnel.
  if (ASources.Proxy) ASources.Proxy->SetHeaders(headers);
  if (!ASources.ProxyAuthorization.empty())
    headers.SetValue("Proxy-Authorization", ASources.ProxyAuthorization);
  std::vector<std::string> head;
  head.push_back("CONNECT " + ATarget + " HTTP/" + ProtocolVersionText(ASources.Version));
  for (const std::string& line : headers)
    head.push_back(line);
  return head;
}

void TIdHTTPProtocol::SendHead(TIdIOHandler& AIOHandler, const std::vector<std::string>& AHead) {
  // The whole head leaves in one send.
  const bool buffering = !AIOHandler.WriteBufferingActive();
  if (buffering) AIOHandler.WriteBufferOpen(-1);
  try {
    for (const std::string& line : AHead)
      AIOHandler.WriteLn(line);
    AIOHandler.WriteLn();
    if (buffering) AIOHandler.WriteBufferClose();
  } catch (...) {
    if (buffering) {
      try {
        AIOHandler.WriteBufferCancel();
      } catch (...) {
        // The write's failure is the one to report.
      }
    }
    throw;
  }
}
