#pragma once

#include <memory>
#include <string>

#include "base/Stream.h"
#include "http/IdHTTPHeaderInfo.h"
#include "http/IdHTTPTypes.h"

// The last response a client received: status line, header fields, and where its body goes.
class TIdHTTPResponse : public TIdResponseHeaderInfo {
 public:
  TIdHTTPResponse();
  ~TIdHTTPResponse() override;

  // The header fields and MetaHTTPEquiv; the status line, KeepAlive and ContentStream stay.
  void Clear() override;

  // The status code, parsed from ResponseText on the first read after it changed; -1 when the
  // line holds no integer code.
  int ResponseCode();
  const std::string& ResponseText() const { return FResponseText; }
  // Stores the line and reads its version ("HTTP/1.0" or "HTTP/1.1"; pv1_0 otherwise).
  void SetResponseText(const std::string& AValue);
  // Whether the connection may carry the next request: it must still be open (AConnected), and
  // the response must not ask to close it (the client speaking 1.1) or must ask to keep it (1.0).
  // Computed on every call and kept.
  bool KeepAlive(bool AConnected, TIdHTTPProtocolVersion AClientVersion);
  // The answer asks to close the connection after it: "close" in Connection or
  // Proxy-Connection (a client speaking 1.1), no "keep-alive" there (1.0).
  bool AsksToClose(TIdHTTPProtocolVersion AClientVersion) const;
  TIdHTTPProtocolVersion ResponseVersion() const { return FResponseVersion; }
  TStream* ContentStream() const { return FContentStream; }
  void SetContentStream(TStream* AValue) { FContentStream = AValue; }
  TIdMetaHTTPEquiv& MetaHTTPEquiv() { return *FMetaHTTPEquiv; }

 private:
  int FResponseCode = -1;
  std::string FResponseText;
  bool FKeepAlive = false;
  TStream* FContentStream = nullptr;
  TIdHTTPProtocolVersion FResponseVersion = pv1_0;
  std::unique_ptr<TIdMetaHTTPEquiv> FMetaHTTPEquiv;
};
