#pragma once

#include <memory>
#include <string>
#include <vector>

#include "http/IdCookieManager.h"
#include "http/IdHTTPRequest.h"
#include "http/IdHTTPResponse.h"
#include "http/IdHTTPTypes.h"
#include "http/IdProxyConnectionInfo.h"
#include "http/IdURI.h"

class TIdIOHandler;

// What a request head is composed from besides the request's own fields.
struct TIdHTTPHeadSources {
  // The resolved URI of the request: its host names the server, a proxy takes it whole as the
  // target, and it selects the cookies.
  TIdURI* URI = nullptr;
  TIdHTTPProtocolVersion Version = pv1_1;
  // The cookie store; none (or cookies not allowed): no Cookie line.
  TIdCookieManager* Cookies = nullptr;
  TIdProxyConnectionInfo* Proxy = nullptr;
  // The Proxy-Authorization value of the proxy's authentication (a head to the proxy itself
  // only); empty for none.
  std::string ProxyAuthorization;
  // A content decoder is ready: "deflate" and "gzip" are offered.
  bool CompressorReady = false;
};

// The request/response pair of a client, reused by every request, and the one place where a
// request head is composed.
class TIdHTTPProtocol {
 public:
  TIdHTTPProtocol();
  ~TIdHTTPProtocol();
  TIdHTTPProtocol(const TIdHTTPProtocol&) = delete;
  TIdHTTPProtocol& operator=(const TIdHTTPProtocol&) = delete;

  // Sets the request's connection-related fields (Host, Connection or Proxy-Connection,
  // Accept-Encoding, a proxy's absolute target), rebuilds its RawHeaders with the proxy's
  // credentials and the cookies, and returns the request line followed by the header lines.
  std::vector<std::string> ComposeRequestHead(const TIdHTTPHeadSources& ASources);
  // The head that asks a proxy for a tunnel to ATarget ("host:port"): the CONNECT line, Host,
  // the request's User-Agent and the proxy's credentials.
  std::vector<std::string> ComposeTunnelHead(const std::string& ATarget,
                                             const TIdHTTPHeadSources& ASources);
  // Writes a composed head, with the empty line that ends it, in one send.
  static void SendHead(TIdIOHandler& AIOHandler, const std::vector<std::string>& AHead);

  std::unique_ptr<TIdHTTPRequest> FRequest;
  std::unique_ptr<TIdHTTPResponse> FResponse;

 private:
  // Appends the store's Cookie line for the URI (Secure cookies only over "https").
  void AddRequestCookies(const TIdURI& AURI, TIdCookieManager& ACookies);
};
