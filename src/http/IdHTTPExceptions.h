#pragma once

#include <string>

#include "base/IdException.h"

// The fixed message texts of the HTTP client.
inline constexpr const char* RSHTTPUnknownProtocol = "Unknown Protocol";
inline constexpr const char* RSIOHandlerPropInvalid = "IOHandler value is not valid";
inline constexpr const char* RSHTTPMethodRequiresVersion =
    "Request method requires HTTP version 1.1";
inline constexpr const char* RSHTTPChunkStarted = "Chunk Started";
inline constexpr const char* RSHTTPHeaderLinesExceeded =
    "The server sent more than %d header lines.";
inline constexpr const char* RSHTTPInsecureRedirect =
    "A redirect from HTTPS to an insecure URL was refused.";
inline constexpr const char* RSHTTPChunkSizeOutOfRange =
    "The server sent a chunk size that does not fit in 32 bits.";
inline constexpr const char* RSHTTPChunkSizeNotHex =
    "The server sent a chunk size that is not a hexadecimal number.";
inline constexpr const char* RSHTTPContentLengthsDiffer =
    "The server sent two different Content-Length values (\"%s\" and \"%s\").";
inline constexpr const char* RSHTTPTransferCodingUnknown =
    "The server sent the body in the transfer coding \"%s\", which the client cannot read.";
inline constexpr const char* RSHTTPBodyTooLarge = "The server sent a body of more than %lld bytes.";

// A reply that the protocol treats as a failure.
PLENWICK_DECLARE_EXCEPTION(EIdReplyError, EIdException)

// A failure reply with its numeric code.
class EIdReplyRFCError : public EIdReplyError {
 public:
  EIdReplyRFCError(int anErrCode, std::string asReplyMessage)
      : EIdReplyError(std::move(asReplyMessage)), FErrorCode(anErrCode) {}
  int ErrorCode() const noexcept { return FErrorCode; }

 private:
  int FErrorCode;
};

// An HTTP answer outside 2xx: the message is the status line, ErrorMessage the body as text.
class EIdHTTPProtocolException : public EIdReplyRFCError {
 public:
  static EIdHTTPProtocolException CreateError(int anErrCode, std::string asReplyMessage,
                                              std::string asErrorMessage) {
    return EIdHTTPProtocolException(anErrCode, std::move(asReplyMessage),
                                    std::move(asErrorMessage));
  }
  EIdHTTPProtocolException(int anErrCode, std::string asReplyMessage, std::string asErrorMessage)
      : EIdReplyRFCError(anErrCode, std::move(asReplyMessage)),
        FErrorMessage(std::move(asErrorMessage)) {}
  const std::string& ErrorMessage() const noexcept { return FErrorMessage; }

 private:
  std::string FErrorMessage;
};

PLENWICK_DECLARE_EXCEPTION(EIdUnknownProtocol, EIdException)
PLENWICK_DECLARE_EXCEPTION(EIdIOHandlerPropInvalid, EIdException)
// A redirect from a secure URL to one that is not: never followed.
PLENWICK_DECLARE_EXCEPTION(EIdHTTPInsecureRedirect, EIdException)
// A response the client does not read on: its framing cannot be read safely (too many header
// lines, a chunk size out of range or not a number, lengths that disagree, a transfer coding
// other than chunked) or its body passes the client's bound. The connection is closed, since
// its remaining bytes have no known meaning.
PLENWICK_DECLARE_EXCEPTION(EIdHTTPMalformedResponse, EIdException)
