#pragma once

#include <cstdint>

#include "net/IdException.h"

// The failures of a secure (TLS) connection. The texts are the same on every platform; "%s" is
// the host name the server was checked against.
inline constexpr const char* RSTLSCertificateUntrusted =
    "The certificate of %s is not trusted: no authority this system trusts issued it.";
inline constexpr const char* RSTLSCertificateNameMismatch =
    "The certificate of %s was issued for another name.";
inline constexpr const char* RSTLSCertificateExpired =
    "The certificate of %s has expired or is not yet valid.";
inline constexpr const char* RSTLSHandshakeFailed =
    "The secure connection to %s failed: the TLS handshake did not succeed.";
inline constexpr const char* RSTLSConnectionFailed =
    "The secure connection to %s failed: the data received could not be decrypted.";
inline constexpr const char* RSTLSLibraryLoadError = "Error on loading the TLS library (%s)";
inline constexpr const char* RSTLSCutOff =
    "The secure connection was cut off before the server ended it.";

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
  explicit EIdTLSCutOff(int64_t AReceived) : EIdTLSError(RSTLSCutOff), FReceived(AReceived) {}
  int64_t Received() const noexcept { return FReceived; }

 private:
  int64_t FReceived;
};
