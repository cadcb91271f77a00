#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/DownloadClient.h"
#include "app/RunReport.h"
#include "http/IdHTTP.h"
#include "http/proxy/IdProxyCredentialProvider.h"
#include "http/proxy/IdProxyResolver.h"
#include "net/IdSSLIOHandlerSocket.h"

// The window's HTTP client as the sequence sees it: the real TIdHTTP behind TDownloadClient,
// over a handler that speaks TLS for "https" URLs and passes "http" through. It follows
// redirects (never from "https" to anything else). Its work events reach OnWork with their
// running count. With a proxy resolver, every request (and every redirect) goes through the
// proxy that the resolver chooses for its URL; a proxy that asks for credentials gets the
// signed-in user's, the resolver's, or those of the credential provider (kept or asked for).
class THTTPDownloadClient : public TDownloadClient {
 public:
  // How long the client waits for the server's next bytes before "Read timed out.", in ms: as
  // long as a connect may take.
  static constexpr int ReadTimeout = 120000;

  // AProxy: the proxy settings to follow; none: every connection is direct. AProxyCredentials:
  // where a proxy's credentials are kept and asked for; none: nowhere.
  explicit THTTPDownloadClient(
      std::unique_ptr<TIdProxyResolver> AProxy = nullptr,
      std::unique_ptr<TIdProxyCredentialProvider> AProxyCredentials = nullptr);

  // Remembers the length the probe announced for the URL: its body may bring no more (and one
  // without a positive length no more than UnannouncedBodyLimit).
  void Head(const std::string& AURL) override;
  int64_t ResponseContentLength() override { return FHTTP->Response().ContentLength; }
  std::string ResponseURL() override { return FHTTP->URL().URI(); }
  std::string ResponseContentType() override { return FHTTP->Response().ContentType; }
  void Get(const std::string& AURL, TStream& ADest) override;
  // The TCP client's disconnect, which tells the peer.
  void Disconnect() override { FHTTP->Disconnect(); }

  TIdHTTP& HTTP() { return *FHTTP; }
  // Tells the run's report of every proxy chosen, connection made, secure session, request line
  // and status line (never a header field); null: nobody.
  void ReportTo(TRunReport* AReport);

 private:
  std::unique_ptr<TIdProxyResolver> FProxy;
  std::unique_ptr<TIdProxyCredentialProvider> FProxyCredentials;
  // Declared before the client, so the client (which closes it) goes first.
  std::unique_ptr<TIdSSLIOHandlerSocket> FIOHandler;
  std::unique_ptr<TIdHTTP> FHTTP;
  std::map<std::string, int64_t> FAnnounced;
  TRunReport* FReport = nullptr;
};
