#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "http/IdAuthentication.h"
#include "http/IdAuthenticationManager.h"
#include "http/IdCookieManager.h"
#include "http/IdHTTPExceptions.h"
#include "http/IdHTTPProtocol.h"
#include "http/IdHTTPRequest.h"
#include "http/IdHTTPResponse.h"
#include "http/IdHTTPTypes.h"
#include "http/IdProxyConnectionInfo.h"
#include "http/IdURI.h"
#include "http/IdZLibCompressorBase.h"
#include "http/proxy/IdProxyAuthenticator.h"
#include "net/IdTCPClient.h"

class TIdChunkedDecoder;
class TIdCustomHTTP;

// Answers false to stop before the body is read.
using TIdHTTPOnHeadersAvailable =
    std::function<void(TIdCustomHTTP* Sender, TIdHeaderList* AHeaders, bool& VContinue)>;
// May change the location and method, and whether the redirect is followed (Handled).
using TIdHTTPOnRedirectEvent =
    std::function<void(TIdCustomHTTP* Sender, std::string& ADest, int& ANumRedirect, bool& AHandled,
                       std::string& VMethod)>;
// May change the scheme chosen for the challenges in AuthInfo.
using TIdOnSelectAuthorization = std::function<void(
    TIdCustomHTTP* Sender, TIdAuthenticationClass& AUthenticationClass, TIdHeaderList* AUthInfo)>;
// Asked for credentials; sets Handled when it filled them into Authentication.
using TIdOnAuthorization =
    std::function<void(TIdCustomHTTP* Sender, TIdAuthentication* AUthentication, bool& AHandled)>;
// Told of one line of a head: a request line, a tunnel's CONNECT, a status line.
using TIdHTTPOnHeadLine = std::function<void(TIdCustomHTTP* Sender, const std::string& ALine)>;
// Chooses the proxy for a request to AURI: sets AProxyParams' ProxyServer and ProxyPort (an
// empty ProxyServer: a direct connection).
using TIdOnSelectProxy = std::function<void(TIdCustomHTTP* Sender, const TIdURI& AURI,
                                            TIdProxyConnectionInfo& AProxyParams)>;

// The HTTP/1.x client over a TCP connection: HEAD and GET (and the other methods) with
// connection reuse, cookies, redirects, authentication and protocol errors.
class TIdCustomHTTP : public TIdTCPClientCustom {
 public:
  ~TIdCustomHTTP() override;

  // Requests. The body goes into AResponseContent from its current position on.
  void Head(const std::string& AURL);
  void Get(const std::string& AURL, TStream* AResponseContent);
  void Get(const std::string& AURL, TStream& AResponseContent) { Get(AURL, &AResponseContent); }
  void Get(const std::string& AURL, TStream* AResponseContent,
           const std::vector<int16_t>& AIgnoreReplies);
  // The body as text, decoded by the response's charset.
  std::string Get(const std::string& AURL);
  void Post(const std::string& AURL, TStream* ASource, TStream* AResponseContent);
  void Put(const std::string& AURL, TStream* ASource, TStream* AResponseContent);
  void Delete(const std::string& AURL);
  void Options(const std::string& AURL);
  void Trace(const std::string& AURL, TStream* AResponseContent);

  // One call: the request loop with its redirects and authentication passes.
  virtual void PerformRequest(const std::string& AMethod, const std::string& AURL, TStream* ASource,
                              TStream* AResponseContent,
                              const std::vector<int16_t>& AIgnoreReplies);

  TIdHTTPRequest& Request() { return *FHTTPProto->FRequest; }
  TIdHTTPResponse& Response() { return *FHTTPProto->FResponse; }
  int ResponseCode() { return Response().ResponseCode(); }
  const std::string& ResponseText() { return Response().ResponseText(); }
  TIdURI& URL() { return *FURI; }

  int AuthRetries() const { return FAuthRetries; }
  int AuthProxyRetries() const { return FAuthProxyRetries; }
  int RedirectCount() const { return FRedirectCount; }
  TIdCookieManager* CookieManager() const { return FCookieManager; }
  // Another store replaces (and frees) one the client created itself.
  void SetCookieManager(TIdCookieManager* AValue);
  TIdZLibCompressorBase* Compressor() const { return FCompressor; }
  void SetCompressor(TIdZLibCompressorBase* AValue);
  TIdAuthenticationManager* AuthenticationManager() const { return FAuthenticationManager; }
  void SetAuthenticationManager(TIdAuthenticationManager* AValue);
  TIdProxyConnectionInfo& ProxyParams() { return *FProxyParameters; }
  // Answers the proxy's demands for credentials (407) with hoInProcessAuth: its scheme choice,
  // its sources of credentials (SetCredentialProvider for the program's store and prompt).
  TIdProxyAuthenticator& ProxyAuthenticator() { return *FProxyAuthenticator; }

  int MaxAuthRetries() const { return FMaxAuthRetries; }
  void SetMaxAuthRetries(int v) { FMaxAuthRetries = v; }
  int MaxHeaderLines() const { return FMaxHeaderLines; }
  void SetMaxHeaderLines(int v) { FMaxHeaderLines = v; }
  // The most bytes a body read into a stream may bring (0 or less: no bound). A body that would
  // pass it fails with EIdHTTPMalformedResponse before more than one byte beyond it is stored.
  int64_t MaxBodySize() const { return FMaxBodySize; }
  void SetMaxBodySize(int64_t v) { FMaxBodySize = v; }
  bool AllowCookies() const { return FAllowCookies; }
  void SetAllowCookies(bool v) { FAllowCookies = v; }
  TIdHTTPProtocolVersion ProtocolVersion() const { return FProtocolVersion; }
  void SetProtocolVersion(TIdHTTPProtocolVersion v) { FProtocolVersion = v; }
  int RedirectMaximum() const { return FRedirectMax; }
  void SetRedirectMaximum(int v) { FRedirectMax = v; }
  bool HandleRedirects() const { return FHandleRedirects; }
  void SetHandleRedirects(bool v) { FHandleRedirects = v; }
  TIdHTTPOptions HTTPOptions() const { return FOptions; }
  void SetHTTPOptions(TIdHTTPOptions v) { FOptions = v; }

  TIdHTTPOnHeadersAvailable OnHeadersAvailable;
  TIdHTTPOnRedirectEvent OnRedirect;
  TIdOnSelectAuthorization OnSelectAuthorization;
  TIdOnAuthorization OnAuthorization;
  // Asked at every pass of the request loop, once the URL is resolved, so that each request and
  // each redirect goes where the program's proxy settings send it. Unset: ProxyParams stays as
  // it was set.
  TIdOnSelectProxy OnSelectProxy;
  // For a log: the first line of every head sent (the request line, or a tunnel's CONNECT),
  // once it has gone out, and every status line read (interim answers and the proxy's answers
  // to a CONNECT too). Header fields are never passed on: they may carry credentials and
  // cookies.
  TIdHTTPOnHeadLine OnRequestLine;
  TIdHTTPOnHeadLine OnStatusLine;

 protected:
  TIdCustomHTTP();

  // After the inherited step: a request scheme that completed all its steps goes to the
  // authentication manager; a completed proxy scheme is reset.
  void DoOnDisconnected() override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;

 private:
  // What the request loop does with an answer whose header block has been read: first the
  // body, then the next pass or the end of the call.
  enum class TBodyAction {
    baNone,           // nothing is read
    baRead,           // into the caller's stream
    baSkip,           // read and dropped
    baProtocolError,  // read as the error's text, then raised unless the code is ignored
  };
  struct TDecision {
    TBodyAction Body;
    TIdHTTPWhatsNext Next;
  };

  // Steps of the request loop, in the order of a pass (IdHTTPTarget.cpp).
  void ResolveTarget(TIdHTTPRequest& ARequest);
  // The absolute URL a redirect's Location leads to from the current one; raises
  // EIdHTTPUnsupportedRedirect for a URL the client cannot fetch and EIdHTTPInsecureRedirect
  // for one that leaves "https".
  std::string RedirectTarget(const std::string& ALocation) const;
  TIdHTTPConnectionType SelectEndpoint();
  void ConnectAndSend(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse);
  void EnsureConnection(TIdHTTPResponse& AResponse);
  // The response's KeepAlive, with a close the peer made since it came noticed now.
  bool KeepAlive(TIdHTTPResponse& AResponse);
  // True when the request goes through ProxyParams' proxy server.
  static bool ThroughProxy(TIdHTTPConnectionType AType) {
    return AType == ctProxy || AType == ctSSLProxy;
  }
  // True when a request that met a close before its answer's first line may go out once more
  // on a new connection (see PerformRequest).
  bool MaySendAgain(const TIdHTTPRequest& ARequest) const;
  // The IP version of the peer the connection goes to: the server's, or the proxy's.
  TIdIPVersion PeerIPVersion(bool AThroughProxy) const;
  // ProxyParams' proxy server as "host:port", for messages.
  std::string ProxyText() const;
  // ProxyParams' proxy server, and the credentials set for it.
  TIdProxyServer CurrentProxy() const;
  TIdCredentials ConfiguredProxyCredentials() const;
  // Connects to the host and port SelectEndpoint chose. Through a proxy, a failure is the
  // proxy's, and the proxy's authentication learns of the new connection.
  void ConnectToEndpoint();
  // How a connection of the given type runs ("plain", "tls", "proxy", or "tunnel" and the
  // server's "host:port"): an open connection is reused only for the same route.
  std::string RouteOf(TIdHTTPConnectionType AType) const;
  // What a head (a request's, or the tunnel's CONNECT) is composed from besides the request.
  TIdHTTPHeadSources HeadSources();

  // The tunnel through a proxy to a secure server (IdHTTPTunnel.cpp).
  // The server behind the proxy as a tunnel names it: "host:port", an IPv6 address bracketed.
  std::string TunnelTarget() const;
  // Asks the proxy, on the connection just opened, for a tunnel to TunnelTarget, and starts TLS
  // inside it, checked against the server's host (never the proxy's). A proxy that asks for
  // credentials gets them here, before the tunnel stands (with hoInProcessAuth). A refusal
  // closes the connection and raises EIdHTTPProxyError with the proxy's answer.
  void OpenTunnel();
  // Reads past the body of the proxy's 407 to a CONNECT; a body that only the close would end
  // takes the connection with it.
  void SkipTunnelAnswer();

  // Reading the answer's head (IdHTTPBody.cpp).
  // One line of the response head; EIdReadTimeout "Read timed out." when it did not come.
  std::string ReadProtocolLine();
  // A status line or header line: one that holds a NUL or a bare CR is refused (the
  // connection is closed, EIdHTTPMalformedResponse).
  std::string ReadHeadLine();
  // Header lines up to the empty line, into ADest. Past AMax lines (0: no bound) what follows
  // cannot be told from the body: the connection is closed and EIdHTTPMalformedResponse raised.
  void ReadHeaderLines(TIdHeaderList& ADest, int AMax);
  // Clears the response, reads its header lines and parses them. A close by the server before
  // the empty line is EIdHTTPCutOff; a close by the program is passed on. Either way the
  // connection is closed.
  void RetrieveHeaders(int AMaxHeaderCount);
  // The head of the final answer, from its status line AStatusLine on: interim answers (1xx
  // other than 101) are read through, their cookies stored with AStoreCookies; after one, a
  // line that is no status line is refused at once.
  void RetrieveFinalHead(std::string AStatusLine, bool AStoreCookies);
  void StoreResponseCookies(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse);
  // A Content-Length that is not a decimal number (unless chunks frame the body), or lengths
  // that disagree, leave the body's end unknown: the response is rejected. A list of one value
  // repeated ("6, 6") gives that length.
  void CheckContentLengths(TIdHTTPResponse& AResponse);

  // Deciding on the answer (IdHTTPAnswer.cpp): the body's fate and what follows, from the
  // status code, the redirect and authentication settings and the events.
  TDecision ProcessResponse();
  bool ConfirmRedirect(std::string& ALocation, std::string& AMethod, int ARedirectCount);
  bool PrepareAuthorization(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse);
  // After the proxy's 407: true when the request goes again with the proxy's credentials
  // (ProxyAuthenticator).
  bool PrepareProxyAuthorization(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse);
  bool PrepareSchemeAuthorization(std::unique_ptr<TIdAuthentication>& AScheme,
                                  TIdHeaderList& AChallenges, const std::string& AUsername,
                                  const std::string& APassword, bool ACredentialsGiven,
                                  const TIdOnSelectAuthorization& AOnSelect,
                                  const TIdOnAuthorization& AOnAuthorization);

  // Reading the body (IdHTTPBody.cpp).
  // Reads the response body into Response.ContentStream, or drops it when there is none. The
  // body is whole or an error: a close by the server before the framing's end is
  // EIdHTTPCutOff, a body that only the close ends and whose secure connection closed without
  // the TLS goodbye is EIdTLSCutOff. A close by the program ends a body of known length or one
  // read until the close quietly.
  void ReadBody(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse);
  // Passes over a body nobody needs: read and dropped to keep the connection when its framing
  // ends it within 64 KiB and the answer keeps the connection; otherwise the connection is
  // closed without waiting for the rest.
  void SkipBody();
  // Reads the error's text (ReadErrorText) and raises EIdHTTPProtocolException with it, unless
  // the code is to be ignored.
  void RaiseProtocolError(int ACode, const std::vector<int16_t>& AIgnoreReplies);
  // The body of an error answer into Response.ContentStream, as far as 64 KiB; one that runs to
  // the close as far as it comes without a pause. What is not read to its end closes the
  // connection; a cut ends the text.
  void ReadErrorText();
  // Closes a connection whose remaining bytes have no known meaning, and drops them.
  void DisconnectAndDropInput();
  // The same, then EIdHTTPMalformedResponse with AMessage.
  [[noreturn]] void RejectResponse(const std::string& AMessage);
  // The body framing steps of ReadBody.
  bool BodyExpected(TIdHTTPRequest& ARequest, TIdHTTPResponse& AResponse);
  bool HasPendingData(int ATimeout);
  // The steps around reading a body (ARead, given where the bytes go): an HTML page kept in
  // memory for its meta tags, a content coding undone.
  void ReadBodyThrough(TIdHTTPResponse& AResponse, const std::function<void(TStream*)>& ARead);
  // The chunks and the trailer; true when they were read to the end. A chunk that would pass
  // ALimit bytes (0 or less: none) ends the read (AStopAtLimit) or is refused (RejectLargeBody).
  bool ReadChunkedBody(TIdHTTPResponse& AResponse, TStream& AStream, int64_t ALimit,
                       bool AStopAtLimit);
  // Feeds AChunks the framing the connection buffered (receiving when nothing is), up to the
  // next chunk's data or the body's end; the trailer's lines go to AResponse's headers.
  void FeedChunkFraming(TIdChunkedDecoder& AChunks, TIdHTTPResponse& AResponse);
  // Closes the connection and raises what AChunks's fault means.
  [[noreturn]] void RejectChunks(const TIdChunkedDecoder& AChunks);
  void ReadFramedBody(TIdHTTPResponse& AResponse, TStream* AStream);
  // A body framed by chunks or a length, read as far as 64 KiB into AStream; true when it ended
  // there. A close or unreadable chunks end it (false).
  bool ReadUnneededBody(TIdHTTPResponse& AResponse, TStream& AStream);
  // What arrives into AStream until the close, ALimit bytes, a pause without bytes, or a few
  // seconds in all.
  void ReadWhileArriving(TStream& AStream, int64_t ALimit);
  // Until the peer closes, within MaxBodySize.
  void ReadBoundedUntilClose(TStream& AStream);
  // A body that would pass MaxBodySize.
  [[noreturn]] void RejectLargeBody();

  int FAuthRetries = 0;
  int FAuthProxyRetries = 0;
  TIdCookieManager* FCookieManager = nullptr;
  TIdZLibCompressorBase* FCompressor = nullptr;
  bool FImplicitCookieManager = false;
  int FMaxAuthRetries = 3;
  int FMaxHeaderLines = 255;
  int64_t FMaxBodySize = 0;
  bool FAllowCookies = true;
  TIdAuthenticationManager* FAuthenticationManager = nullptr;
  TIdHTTPProtocolVersion FProtocolVersion = pv1_1;
  int FRedirectCount = 0;
  int FRedirectMax = 15;
  bool FHandleRedirects = false;
  TIdHTTPOptions FOptions{hoForceEncodeParams};
  std::unique_ptr<TIdURI> FURI;
  std::unique_ptr<TIdHTTPProtocol> FHTTPProto;
  std::unique_ptr<TIdProxyConnectionInfo> FProxyParameters;
  std::unique_ptr<TIdProxyAuthenticator> FProxyAuthenticator;
  std::unique_ptr<TIdCookieManager> FOwnedCookieManager;
  // The route of the open connection (RouteOf), set when it was opened.
  std::string FRoute;
  // Whether the current request went out on a connection kept from an earlier one.
  bool FReusedConnection = false;
};

// The client with its properties public.
class TIdHTTP : public TIdCustomHTTP {
 public:
  TIdHTTP() = default;
};
