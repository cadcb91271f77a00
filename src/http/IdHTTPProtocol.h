#pragma once

#include <memory>
#include <vector>

#include "http/IdHTTPRequest.h"
#include "http/IdHTTPResponse.h"
#include "http/IdHTTPTypes.h"
#include "http/IdURI.h"

class TIdCustomHTTP;

// The request/response pair of a client and the steps that act on both: sending the head,
// reading the header block, and deciding what follows a response.
class TIdHTTPProtocol {
 public:
  explicit TIdHTTPProtocol(TIdCustomHTTP* AConnection);
  ~TIdHTTPProtocol();

  // Composes the head and writes it in one send. AURI selects the cookies (none without it).
  void BuildAndSendRequest(TIdURI* AURI);
  // Clears the response, reads the header lines up to the empty one, and parses them.
  // EIdHTTPMalformedResponse (after a disconnect) when more than AMaxHeaderCount lines come.
  void RetrieveHeaders(int AMaxHeaderCount);
  // Decides on a complete header block: read the body, follow a redirect, send again with
  // credentials, or raise the status as a protocol error.
  TIdHTTPWhatsNext ProcessResponse(const std::vector<int16_t>& AIgnoreReplies);

  TIdCustomHTTP* FHTTP;
  std::unique_ptr<TIdHTTPRequest> FRequest;
  std::unique_ptr<TIdHTTPResponse> FResponse;

 private:
  // Reads the body with no stream.
  void SkipBody();
  // Reads the body into a scratch stream and raises EIdHTTPProtocolException with it, unless
  // the code is to be ignored.
  void RaiseProtocolError(int ACode, const std::vector<int16_t>& AIgnoreReplies);
};
