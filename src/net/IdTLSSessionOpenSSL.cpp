// The TLS session of the native build: OpenSSL with the system's trust store.
//
// Encrypted bytes come in through a BIO of our own whose reads go to the transport only when the
// session allows one receive, so OpenSSL never waits on the socket; the bytes it reads land in
// its record buffer and are decrypted from there straight into the caller's memory. What OpenSSL
// has to send collects in a memory BIO and goes out through the transport after every call.

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <exception>
#include <memory>
#include <string>

#include "base/Format.h"
#include "base/TryFinally.h"
#include "net/IdIPAddress.h"
#include "net/IdStack.h"
#include "net/IdTLSExceptions.h"
#include "net/IdTLSSession.h"

namespace {

struct TContextFree {
  void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};
struct TSSLFree {
  void operator()(SSL* s) const { SSL_free(s); }
};
struct TMethodFree {
  void operator()(BIO_METHOD* m) const { BIO_meth_free(m); }
};

// Encrypted bytes read ahead per receive: several records, so most reads need no system call.
constexpr int kReadAhead = 64 * 1024;

// Why a server's certificate was refused, gathered while OpenSSL checks it.
enum : unsigned { kUntrusted = 1, kExpired = 2, kNameMismatch = 4 };

class TIdTLSSessionOpenSSL final : public TIdTLSSession {
 public:
  TIdTLSSessionOpenSSL(TIdTLSTransport& ATransport, const std::string& AHost);

  bool Handshake(bool AMayReceive) override;
  bool Pump(bool AMayReceive) override;
  int Read(uint8_t* ADest, int ALength) override;
  void Write(const uint8_t* AData, int ALength) override;
  void Shutdown() noexcept override;
  bool CutOff() const override { return FCutOff; }
  TIdTLSFacts Facts() const override;

 private:
  static const BIO_METHOD* TransportMethod();
  static int ReceiveCallback(BIO* ABio, char* ABuffer, int ALength);
  static long ControlCallback(BIO* ABio, int ACommand, long, void*);
  static int VerifyCallback(int AOk, X509_STORE_CTX* AStore);

  // Sends what OpenSSL has queued for the peer.
  void SendQueued();
  // After a read that gave no bytes: true when the peer has closed, false when more bytes must
  // be received; raises on a failure.
  bool ReadEnded(int AResult);
  void RethrowTransportFailure();
  void CheckCertificate();

  TIdTLSTransport& FTransport;
  std::string FHost;
  std::unique_ptr<SSL_CTX, TContextFree> FContext;
  std::unique_ptr<SSL, TSSLFree> FSSL;
  BIO* FOutput = nullptr;  // owned by FSSL
  bool FMayReceive = false;
  bool FPeerClosed = false;  // the transport reported the close
  bool FClosed = false;      // no more decrypted bytes will come
  bool FCutOff = false;      // ... because the peer closed without the TLS goodbye
  unsigned FRefusals = 0;
  std::exception_ptr FTransportFailure;
};

bool IsAddress(const std::string& AHost) {
  uint16_t words[8];
  return TIdStack::IsIP(AHost) || ParseIPv6(AHost, words);
}

TIdTLSSessionOpenSSL::TIdTLSSessionOpenSSL(TIdTLSTransport& ATransport, const std::string& AHost)
    : FTransport(ATransport), FHost(AHost) {
  auto fail = [this] {
    ERR_clear_error();
    return EIdTLSHandshakeFailed(Format(RSTLSHandshakeFailed, FHost.c_str()));
  };
  FContext.reset(SSL_CTX_new(TLS_client_method()));
  if (!FContext) throw fail();
  SSL_CTX* context = FContext.get();
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  // A close without the TLS goodbye is told apart from one with it (CutOff): the HTTP layer
  // judges by its framing whether that cut the body short.
  SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION);
  SSL_CTX_set_read_ahead(context, 1);
  SSL_CTX_set_default_read_buffer_len(context, kReadAhead);
  // The system's trust store (or the files that SSL_CERT_FILE and SSL_CERT_DIR name).
  if (SSL_CTX_set_default_verify_paths(context) != 1) throw fail();
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, VerifyCallback);

  FSSL.reset(SSL_new(context));
  if (!FSSL) throw fail();
  SSL* ssl = FSSL.get();
  SSL_set_app_data(ssl, this);
  if (IsAddress(FHost)) {
    if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), FHost.c_str()) != 1) throw fail();
  } else {
    // The server name goes out for names only, never for addresses.
    if (SSL_set_tlsext_host_name(ssl, FHost.c_str()) != 1) throw fail();
    if (SSL_set1_host(ssl, FHost.c_str()) != 1) throw fail();
  }
  X509_VERIFY_PARAM_set_hostflags(SSL_get0_param(ssl), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);

  BIO* input = BIO_new(TransportMethod());
  BIO* output = BIO_new(BIO_s_mem());
  if (!input || !output) {
    BIO_free(input);
    BIO_free(output);
    throw fail();
  }
  BIO_set_data(input, this);
  BIO_set_init(input, 1);
  SSL_set_bio(ssl, input, output);
  FOutput = output;
  SSL_set_connect_state(ssl);
}

// Made once per process: OpenSSL has only a few type numbers for BIOs of its users.
const BIO_METHOD* TIdTLSSessionOpenSSL::TransportMethod() {
  static const std::unique_ptr<BIO_METHOD, TMethodFree> method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "transport");
    if (m) {
      BIO_meth_set_read(m, ReceiveCallback);
      BIO_meth_set_ctrl(m, ControlCallback);
    }
    return std::unique_ptr<BIO_METHOD, TMethodFree>(m);
  }();
  if (!method) throw EIdTLSError("OpenSSL could not make its transport");
  return method.get();
}

int TIdTLSSessionOpenSSL::ReceiveCallback(BIO* ABio, char* ABuffer, int ALength) {
  auto* self = static_cast<TIdTLSSessionOpenSSL*>(BIO_get_data(ABio));
  BIO_clear_retry_flags(ABio);
  if (self->FPeerClosed) return 0;
  if (!self->FMayReceive) {
    BIO_set_retry_read(ABio);
    return -1;
  }
  self->FMayReceive = false;
  int n = 0;
  // Nothing may unwind through OpenSSL's frames: the failure is raised once it has returned.
  try {
    n = self->FTransport.TLSReceive(reinterpret_cast<uint8_t*>(ABuffer), ALength);
  } catch (...) {
    self->FTransportFailure = std::current_exception();
    return -1;
  }
  if (n <= 0) {
    self->FPeerClosed = true;
    return 0;
  }
  return n;
}

long TIdTLSSessionOpenSSL::ControlCallback(BIO* ABio, int ACommand, long, void*) {
  switch (ACommand) {
    case BIO_CTRL_FLUSH:
      return 1;
    case BIO_CTRL_EOF:
      return static_cast<TIdTLSSessionOpenSSL*>(BIO_get_data(ABio))->FPeerClosed ? 1 : 0;
    default:
      return 0;
  }
}

int TIdTLSSessionOpenSSL::VerifyCallback(int AOk, X509_STORE_CTX* AStore) {
  if (AOk) return 1;
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(AStore, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* self = static_cast<TIdTLSSessionOpenSSL*>(SSL_get_app_data(ssl));
  switch (X509_STORE_CTX_get_error(AStore)) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      self->FRefusals |= kExpired;
      break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      self->FRefusals |= kNameMismatch;
      break;
    default:
      self->FRefusals |= kUntrusted;
      break;
  }
  // The check goes on so that every reason is known; the server is refused as soon as the
  // handshake is through, before anything is sent to it. SChannel works the same way.
  return 1;
}

void TIdTLSSessionOpenSSL::SendQueued() {
  char* data = nullptr;
  const long n = BIO_get_mem_data(FOutput, &data);
  if (n <= 0) return;
  TryFinally(
      [&] { FTransport.TLSSend(reinterpret_cast<const uint8_t*>(data), static_cast<int>(n)); },
      [&] { (void)BIO_reset(FOutput); });
}

void TIdTLSSessionOpenSSL::RethrowTransportFailure() {
  if (!FTransportFailure) return;
  std::exception_ptr failure = std::move(FTransportFailure);
  FTransportFailure = nullptr;
  ERR_clear_error();
  std::rethrow_exception(failure);
}

void TIdTLSSessionOpenSSL::CheckCertificate() {
  // Untrusted first: what an unknown issuer says about dates and names means nothing.
  if (!SSL_get0_peer_certificate(FSSL.get())) FRefusals |= kUntrusted;
  if (FRefusals & kUntrusted)
    throw EIdTLSCertificateUntrusted(Format(RSTLSCertificateUntrusted, FHost.c_str()));
  if (FRefusals & kExpired)
    throw EIdTLSCertificateExpired(Format(RSTLSCertificateExpired, FHost.c_str()));
  if (FRefusals & kNameMismatch)
    throw EIdTLSCertificateNameMismatch(Format(RSTLSCertificateNameMismatch, FHost.c_str()));
}

namespace {

// A name as RFC 2253 writes it, most specific part first, with a space after each comma as the
// Windows build writes it.
std::string NameText(const X509_NAME* AName) {
  std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
  if (!out || X509_NAME_print_ex(out.get(), AName, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
    return {};
  char* data = nullptr;
  const long n = BIO_get_mem_data(out.get(), &data);
  std::string text;
  for (long i = 0; i < n; ++i) {
    text += data[i];
    if (data[i] == ',' && (i == 0 || data[i - 1] != '\\')) text += ' ';
  }
  return text;
}

std::string TimeText(const ASN1_TIME* ATime) {
  tm parts{};
  if (!ATime || ASN1_TIME_to_tm(ATime, &parts) != 1) return {};
  return Format("%04d-%02d-%02d %02d:%02d:%02d UTC", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
}

}  // namespace

TIdTLSFacts TIdTLSSessionOpenSSL::Facts() const {
  TIdTLSFacts facts;
  switch (SSL_version(FSSL.get())) {
    case TLS1_2_VERSION:
      facts.Protocol = "TLS 1.2";
      break;
    case TLS1_3_VERSION:
      facts.Protocol = "TLS 1.3";
      break;
    default:
      facts.Protocol = SSL_get_version(FSSL.get());
      break;
  }
  if (const X509* certificate = SSL_get0_peer_certificate(FSSL.get())) {
    facts.Subject = NameText(X509_get_subject_name(certificate));
    facts.Issuer = NameText(X509_get_issuer_name(certificate));
    facts.NotAfter = TimeText(X509_get0_notAfter(certificate));
  }
  return facts;
}

bool TIdTLSSessionOpenSSL::Handshake(bool AMayReceive) {
  ERR_clear_error();
  FMayReceive = AMayReceive;
  const int result = SSL_do_handshake(FSSL.get());
  FMayReceive = false;
  if (result == 1) {
    SendQueued();
    CheckCertificate();
    return true;
  }
  const int error = SSL_get_error(FSSL.get(), result);
  ERR_clear_error();
  if (error == SSL_ERROR_WANT_READ && !FTransportFailure) {
    SendQueued();
    return false;
  }
  // The alert that tells the server why goes out if it can.
  try {
    SendQueued();
  } catch (...) {
    // The handshake's failure is the one to report.
  }
  RethrowTransportFailure();
  throw EIdTLSHandshakeFailed(Format(RSTLSHandshakeFailed, FHost.c_str()));
}

bool TIdTLSSessionOpenSSL::ReadEnded(int AResult) {
  const int error = SSL_get_error(FSSL.get(), AResult);
  // The end of the transport where a record or the goodbye was due. OpenSSL 3 reports it as
  // an error of its own, earlier versions as a system call that found the end.
  bool unexpectedEnd = FPeerClosed && error == SSL_ERROR_SYSCALL;
#ifdef SSL_R_UNEXPECTED_EOF_WHILE_READING
  if (FPeerClosed && error == SSL_ERROR_SSL &&
      ERR_GET_REASON(ERR_peek_last_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
    unexpectedEnd = true;
#endif
  ERR_clear_error();
  RethrowTransportFailure();
  // A message after the handshake may call for an answer (a key update).
  SendQueued();
  if (unexpectedEnd) {
    FClosed = true;
    FCutOff = true;
    return true;
  }
  switch (error) {
    case SSL_ERROR_WANT_READ:
      return false;
    case SSL_ERROR_ZERO_RETURN:
      FClosed = true;
      return true;
    default:
      break;
  }
  throw EIdTLSError(Format(RSTLSConnectionFailed, FHost.c_str()));
}

bool TIdTLSSessionOpenSSL::Pump(bool AMayReceive) {
  if (FClosed || SSL_pending(FSSL.get()) > 0) return true;
  ERR_clear_error();
  uint8_t probe;
  FMayReceive = AMayReceive;
  const int result = SSL_peek(FSSL.get(), &probe, 1);
  FMayReceive = false;
  if (result > 0) return true;
  return ReadEnded(result);
}

int TIdTLSSessionOpenSSL::Read(uint8_t* ADest, int ALength) {
  int total = 0;
  // Record after record as long as they are at hand, without receiving.
  while (total < ALength && !FClosed) {
    ERR_clear_error();
    const int result = SSL_read(FSSL.get(), ADest + total, ALength - total);
    if (result > 0) {
      total += result;
      continue;
    }
    if (total > 0) {
      ERR_clear_error();
      break;
    }
    return ReadEnded(result) ? 0 : -1;
  }
  return total;
}

void TIdTLSSessionOpenSSL::Write(const uint8_t* AData, int ALength) {
  while (ALength > 0) {
    ERR_clear_error();
    const int result = SSL_write(FSSL.get(), AData, ALength);
    if (result <= 0) {
      ERR_clear_error();
      RethrowTransportFailure();
      throw EIdTLSError(Format(RSTLSConnectionFailed, FHost.c_str()));
    }
    AData += result;
    ALength -= result;
    SendQueued();
  }
}

void TIdTLSSessionOpenSSL::Shutdown() noexcept {
  if (!SSL_is_init_finished(FSSL.get())) return;
  ERR_clear_error();
  SSL_shutdown(FSSL.get());
  ERR_clear_error();
  try {
    SendQueued();
  } catch (...) {
    // Only a courtesy to the peer.
  }
  FTransportFailure = nullptr;
}

}  // namespace

std::unique_ptr<TIdTLSSession> CreateTLSSession(TIdTLSTransport& ATransport,
                                                const std::string& AHost) {
  return std::make_unique<TIdTLSSessionOpenSSL>(ATransport, AHost);
}
