#pragma once

#include <cstdint>
#include <string>

#include "base/Texts.h"
#include "net/IdExceptionCore.h"

// The HTTP client's messages that a user can see are in the program's text table (RSHTTP...);
// these few only a misuse by code raises.
inline constexpr const char* RSIOHandlerPropInvalid = "IOHandler value is not valid";
inline constexpr const char* RSHTTPMethodRequiresVersion =
    "Request method requires HTTP version 1.1";
inline constexpr const char* RSHTTPChunkStarted = "Chunk Started";

// A message built around another text (a status line, a socket error) ends with a period all
// the same.
inline std::string WithFinalPeriod(std::string AText) {
  if (AText.empty() || AText.back() != '.') AText += '.';
  return AText;
}

// A reply that the protocol treats as a failure.
PLENWICK_DECLARE_EXCEPTION(EIdReplyError, EIdException)

// A failure reply with its numeric code.
class EIdReplyRFCError : public EIdReplyError {
 public:
  EIdReplyRFCError(int AAnErrCode, std::string AAsReplyMessage)
      : EIdReplyError(std::move(AAsReplyMessage)), FErrorCode(AAnErrCode) {}
  int ErrorCode() const noexcept { return FErrorCode; }

 private:
  int FErrorCode;
};

// An HTTP answer outside 2xx: the message is the status line, ErrorMessage the body as text.
class EIdHTTPProtocolException : public EIdReplyRFCError {
 public:
  static EIdHTTPProtocolException CreateError(int AAnErrCode, std::string AAsReplyMessage,
                                              std::string AAsErrorMessage) {
    return EIdHTTPProtocolException(AAnErrCode, std::move(AAsReplyMessage),
                                    std::move(AAsErrorMessage));
  }
  EIdHTTPProtocolException(int AAnErrCode, std::string AAsReplyMessage, std::string AAsErrorMessage)
      : EIdReplyRFCError(AAnErrCode, std::move(AAsReplyMessage)),
        FErrorMessage(std::move(AAsErrorMessage)) {}
  const std::string& ErrorMessage() const noexcept { return FErrorMessage; }

 private:
  std::string FErrorMessage;
};

// The server closed the connection before its answer was complete: inside the header block
// (Received 0, Expected -1) or inside a body whose framing says how far it goes (a length, or
// chunks: Expected -1). Received counts the body bytes that arrived. The connection is closed.
class EIdHTTPCutOff : public EIdConnClosedGracefully {
 public:
  EIdHTTPCutOff(std::string AMessage, int64_t AReceived, int64_t AExpected)
      : EIdConnClosedGracefully(std::move(AMessage)), FReceived(AReceived), FExpected(AExpected) {}
  int64_t Received() const noexcept { return FReceived; }
  int64_t Expected() const noexcept { return FExpected; }

 private:
  int64_t FReceived;
  int64_t FExpected;
};

PLENWICK_DECLARE_EXCEPTION(EIdUnknownProtocol, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdIOHandlerPropInvalid, EIdException)
// A redirect from a secure URL to one that is not: never followed.
PLENWICK_DECLARE_EXCEPTION(EIdHTTPInsecureRedirect, EIdException)
// A redirect to a URL the client cannot fetch (a scheme other than http and https, or no host):
// never followed.
PLENWICK_DECLARE_EXCEPTION(EIdHTTPUnsupportedRedirect, EIdException)
// A response the client does not read on: its head or framing cannot be read safely (too many
// header lines, a NUL or a bare CR in the head, no status line after an interim answer, a chunk
// size out of range or not a number, chunk data without its line end after it, an invalid
// Content-Length or lengths that disagree, a transfer coding other than chunked) or its body
// passes the client's bound. The connection is closed, since its remaining bytes have no known
// meaning.
PLENWICK_DECLARE_EXCEPTION(EIdHTTPMalformedResponse, EIdException)

// The proxy server failed the request: it could not be reached, asked for credentials, or would
// not open a tunnel; or the proxy settings name one that the client cannot use. The message says
// so, with the proxy's own answer; ErrorCode is the status code of that answer, 0 when the proxy
// gave none.
class EIdHTTPProxyError : public EIdException {
 public:
  explicit EIdHTTPProxyError(std::string AMessage, int AErrorCode = 0)
      : EIdException(std::move(AMessage)), FErrorCode(AErrorCode) {}
  int ErrorCode() const noexcept { return FErrorCode; }

 private:
  int FErrorCode;
};
