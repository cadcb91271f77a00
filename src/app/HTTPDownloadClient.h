#pragma once

#include <memory>

#include "app/DownloadClient.h"
#include "http/IdHTTP.h"
#include "net/IdSSLIOHandlerSocket.h"

// The window's HTTP client as the sequence sees it: the real TIdHTTP behind TDownloadClient,
// over a handler that speaks TLS for "https" URLs and passes "http" through. It follows
// redirects (never from "https" to anything else). Its work events reach OnWork with their
// running count.
class THTTPDownloadClient : public TDownloadClient {
 public:
  THTTPDownloadClient();

  void Head(const std::string& url) override { FHTTP->Head(url); }
  int64_t ResponseContentLength() override { return FHTTP->Response().ContentLength; }
  std::string ResponseURL() override { return FHTTP->URL().URI(); }
  void Get(const std::string& url, TStream& dest) override { FHTTP->Get(url, &dest); }
  // The TCP client's disconnect, which tells the peer.
  void Disconnect() override { FHTTP->Disconnect(); }

  TIdHTTP& HTTP() { return *FHTTP; }

 private:
  // Declared first, so the client (which closes it) goes first.
  std::unique_ptr<TIdSSLIOHandlerSocket> FIOHandler;
  std::unique_ptr<TIdHTTP> FHTTP;
};
