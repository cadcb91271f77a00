#pragma once

#include <cstdint>

#include "base/Texts.h"
#include "net/IdException.h"

// The failures of a secure (TLS) connection. Their texts (RSTLS...) are the same on every
// platform; "%s" is the host name the server was checked against.

// Any failure of the secure layer; raised as such when an established connection breaks.
PLENWICK_DECLARE_EXCEPTION(EIdTLSError, EIdException)
// No secure connection could be agreed on: no common protocol version (1.2 or 1.3) or cipher,
// an answer that is not TLS, or a close during the handshake.
PLENWICK_DECLARE_EXCEPTION(EIdTLSHandshakeFailed, EIdTLSError)
// The server's certificate was refused; each reason has its own class.
PLENWICK_DECLARE_EXCEPTION(EIdTLSCertificateError, EIdTLSError)
PLENWICK_DECLARE_EXCEPTION(EIdTLSCertificateUntrusted, EIdTLSCertificateError)
PLENWICK_DECLARE_EXCEPTION(EIdTLSCertificateNameMismatch, EIdTLSCertificateError)
PLENWICK_DECLARE_EXCEPTION(EIdTLSCertificateExpired, EIdTLSCertificateError)

// A body that only the close could end came to a close without the server's TLS goodbye: it may
// have been cut short by anyone on the way. Received counts the body bytes that arrived.
class EIdTLSCutOff : public EIdTLSError {
 public:
  explicit EIdTLSCutOff(int64_t AReceived) : EIdTLSError(Text(RSTLSCutOff)), FReceived(AReceived) {}
  int64_t Received() const noexcept { return FReceived; }

 private:
  int64_t FReceived;
};
