// The TLS session of the Windows program: SChannel through the security package interface,
// with the server's certificate checked by the system's chain engine.
//
// Encrypted bytes are received into one buffer and decrypted in place there; the decrypted
// bytes are copied out once, into the caller's memory. Everything SChannel produces for the
// peer goes out through the transport at once.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/Format.h"
#include "base/Utf.h"
#include "net/IdSSPI.h"
#include "net/IdTLSExceptions.h"
#include "net/IdTLSSession.h"

namespace {

constexpr ULONG kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                           ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_EXTENDED_ERROR | ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kAllowedProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
// Room for several records per receive; grown only for a handshake message that needs more.
constexpr size_t kInputSize = 64 * 1024;
constexpr size_t kInputLimit = 1024 * 1024;

class TIdTLSSessionSChannel final : public TIdTLSSession {
 public:
  TIdTLSSessionSChannel(TIdTLSTransport& ATransport, const std::string& AHost);
  ~TIdTLSSessionSChannel() override;

  bool Handshake(bool AMayReceive) override;
  bool Pump(bool AMayReceive) override;
  int Read(uint8_t* ADest, int ALength) override;
  void Write(const uint8_t* AData, int ALength) override;
  void Shutdown() noexcept override;
  bool CutOff() const override { return FCutOff; }
  TIdTLSFacts Facts() const override { return FFacts; }

 private:
  void AcquireCredentials();
  // One InitializeSecurityContextW on the encrypted bytes at hand (none for the first call);
  // sends what it produced and drops the bytes it consumed.
  SECURITY_STATUS Step();
  // Sends a token SChannel allocated, and frees it.
  void SendToken(SecBuffer& AToken);
  // One receive after the bytes at hand; false when the peer has closed.
  bool ReceiveMore();
  // Decrypts one record of the bytes at hand.
  void DecryptRecord();
  void CheckProtocol();
  void CheckCertificate();
  [[noreturn]] void HandshakeFailed() const;
  [[noreturn]] void ConnectionFailed() const;

  TIdTLSTransport& FTransport;
  std::string FHost;
  std::wstring FTarget;
  const SecurityFunctionTableW& FSSPI;
  CredHandle FCredentials{};
  bool FHaveCredentials = false;
  CtxtHandle FContext{};
  bool FHaveContext = false;
  bool FEstablished = false;
  SecPkgContext_StreamSizes FSizes{};
  // Encrypted bytes not yet used: [FInStart, FInEnd) of FIn. Decrypted bytes not yet read lie
  // before them: [FPlainStart, FPlainStart + FPlainLength).
  std::vector<uint8_t> FIn = std::vector<uint8_t>(kInputSize);
  size_t FInStart = 0;
  size_t FInEnd = 0;
  size_t FPlainStart = 0;
  size_t FPlainLength = 0;
  bool FIncomplete = false;     // the bytes at hand end inside a record
  bool FRenegotiating = false;  // a handshake message after the handshake is being taken in
  bool FClosed = false;
  bool FCutOff = false;  // closed without the peer's goodbye
  // The last record decrypted to nothing: Wine's SChannel reports the peer's goodbye so (where
  // Windows answers SEC_I_CONTEXT_EXPIRED), and a close of the transport right after it is the
  // end the peer meant.
  bool FEmptyRecord = false;
  std::vector<uint8_t> FOut;
  // Read once the handshake is through.
  TIdTLSFacts FFacts;
};

TIdTLSSessionSChannel::TIdTLSSessionSChannel(TIdTLSTransport& ATransport, const std::string& AHost)
    : FTransport(ATransport),
      FHost(AHost),
      FTarget(ToWide(AHost)),
      FSSPI(IdSSPI::SecurityFunctions()) {
  IdSSPI::CertificateFunctions();  // fails here, before a byte is sent, when it is missing
  AcquireCredentials();
}

TIdTLSSessionSChannel::~TIdTLSSessionSChannel() {
  if (FHaveContext) FSSPI.DeleteSecurityContext(&FContext);
  if (FHaveCredentials) FSSPI.FreeCredentialsHandle(&FCredentials);
}

void TIdTLSSessionSChannel::HandshakeFailed() const {
  throw EIdTLSHandshakeFailed(Format(RSTLSHandshakeFailed, FHost.c_str()));
}

void TIdTLSSessionSChannel::ConnectionFailed() const {
  throw EIdTLSError(Format(RSTLSConnectionFailed, FHost.c_str()));
}

void TIdTLSSessionSChannel::AcquireCredentials() {
  // The certificate is checked by CheckCertificate, against the host, after the handshake.
  const DWORD flags =
      SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  TimeStamp expiry;
  // Windows 10 1809 and later: the current form, which is needed for TLS 1.3.
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols = static_cast<DWORD>(~kAllowedProtocols);
  SCH_CREDENTIALS current{};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = flags;
  current.cTlsParameters = 1;
  current.pTlsParameters = &parameters;
  SECURITY_STATUS status = FSSPI.AcquireCredentialsHandleW(
      nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &current,
      nullptr, nullptr, &FCredentials, &expiry);
  if (status != SEC_E_OK) {
    // Older systems know only the older form, and TLS 1.2 as the newest protocol.
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    older.dwFlags = flags;
    status = FSSPI.AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W),
                                             SECPKG_CRED_OUTBOUND, nullptr, &older, nullptr,
                                             nullptr, &FCredentials, &expiry);
  }
  if (status != SEC_E_OK) HandshakeFailed();
  FHaveCredentials = true;
}

void TIdTLSSessionSChannel::SendToken(SecBuffer& AToken) {
  if (!AToken.pvBuffer) return;
  struct TFree {
    const SecurityFunctionTableW& SSPI;
    void* Buffer;
    ~TFree() { SSPI.FreeContextBuffer(Buffer); }
  } free{FSSPI, AToken.pvBuffer};
  if (AToken.cbBuffer > 0)
    FTransport.TLSSend(static_cast<const uint8_t*>(AToken.pvBuffer),
                       static_cast<int>(AToken.cbBuffer));
}

SECURITY_STATUS TIdTLSSessionSChannel::Step() {
  SecBuffer in[2] = {
      {static_cast<unsigned long>(FInEnd - FInStart), SECBUFFER_TOKEN, FIn.data() + FInStart},
      {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
  SecBuffer out[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_ALERT, nullptr}};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 2, out};
  ULONG attributes = 0;
  TimeStamp expiry;
  const SECURITY_STATUS status = FSSPI.InitializeSecurityContextW(
      &FCredentials, FHaveContext ? &FContext : nullptr, FTarget.data(), kRequest, 0, 0,
      FHaveContext ? &inDesc : nullptr, 0, FHaveContext ? nullptr : &FContext, &outDesc,
      &attributes, &expiry);
  if (!FHaveContext && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) FHaveContext = true;
  // An alert (with an error) or the next handshake message goes out; both are freed.
  try {
    SendToken(out[0]);
  } catch (...) {
    if (out[1].pvBuffer) FSSPI.FreeContextBuffer(out[1].pvBuffer);
    throw;
  }
  if (out[1].pvBuffer) FSSPI.FreeContextBuffer(out[1].pvBuffer);
  if (status == SEC_E_INCOMPLETE_MESSAGE) {
    FIncomplete = true;
  } else if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer <= FInEnd - FInStart) {
    FInStart = FInEnd - in[1].cbBuffer;
  } else {
    FInStart = FInEnd;
  }
  return status;
}

bool TIdTLSSessionSChannel::ReceiveMore() {
  if (FPlainLength == 0 && FInStart > 0) {
    // Nothing decrypted is waiting: the unused bytes move to the front.
    std::memmove(FIn.data(), FIn.data() + FInStart, FInEnd - FInStart);
    FInEnd -= FInStart;
    FInStart = 0;
  }
  if (FInEnd == FIn.size()) {
    // A record or handshake message larger than the buffer: only while nothing decrypted waits.
    if (FPlainLength > 0 || FIn.size() >= kInputLimit) ConnectionFailed();
    FIn.resize(FIn.size() * 2);
  }
  const int n = FTransport.TLSReceive(FIn.data() + FInEnd, static_cast<int>(FIn.size() - FInEnd));
  if (n <= 0) return false;
  FInEnd += static_cast<size_t>(n);
  FIncomplete = false;
  return true;
}

bool TIdTLSSessionSChannel::Handshake(bool AMayReceive) {
  if (!FHaveContext) {
    // The first call: the client's hello, from no input.
    if (Step() != SEC_I_CONTINUE_NEEDED) HandshakeFailed();
  }
  // Asked for a client certificate, SChannel goes on without one when called again at once.
  int againWithoutInput = 0;
  for (;;) {
    if ((FInStart == FInEnd || FIncomplete) && againWithoutInput == 0) {
      if (!AMayReceive) return false;
      AMayReceive = false;
      // A close before the handshake is through.
      if (!ReceiveMore()) HandshakeFailed();
    }
    const SECURITY_STATUS status = Step();
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
      if (++againWithoutInput > 2) HandshakeFailed();
      continue;
    }
    againWithoutInput = 0;
    switch (status) {
      case SEC_E_OK:
        FEstablished = true;
        if (FSSPI.QueryContextAttributesW(&FContext, SECPKG_ATTR_STREAM_SIZES, &FSizes) != SEC_E_OK)
          HandshakeFailed();
        CheckProtocol();
        CheckCertificate();
        return true;
      case SEC_E_INCOMPLETE_MESSAGE:
      case SEC_I_CONTINUE_NEEDED:
        break;
      default:
        HandshakeFailed();
    }
  }
}

void TIdTLSSessionSChannel::CheckProtocol() {
  // The credentials allow only these; a library that ignores that must not get away with it.
  SecPkgContext_ConnectionInfo info{};
  if (FSSPI.QueryContextAttributesW(&FContext, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK)
    return;
  if ((info.dwProtocol & kAllowedProtocols) == 0) HandshakeFailed();
  FFacts.Protocol = (info.dwProtocol & SP_PROT_TLS1_3_CLIENT) ? "TLS 1.3" : "TLS 1.2";
}

namespace {

// A name most specific part first, as RFC 2253 writes it, with a space after each comma.
std::string NameText(const IdSSPI::TCertificateFunctions& ACrypt, const CERT_NAME_BLOB& AName) {
  DWORD type = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;
  CERT_NAME_BLOB name = AName;
  const DWORD n = ACrypt.NameToStr(X509_ASN_ENCODING, &name, type, nullptr, 0);
  if (n <= 1) return {};
  std::wstring text(n, L'\0');
  ACrypt.NameToStr(X509_ASN_ENCODING, &name, type, text.data(), n);
  text.resize(n - 1);
  return FromWide(text);
}

std::string TimeText(const FILETIME& ATime) {
  SYSTEMTIME time{};
  if (!::FileTimeToSystemTime(&ATime, &time)) return {};
  return Format("%04u-%02u-%02u %02u:%02u:%02u UTC", time.wYear, time.wMonth, time.wDay, time.wHour,
                time.wMinute, time.wSecond);
}

}  // namespace

void TIdTLSSessionSChannel::CheckCertificate() {
  const IdSSPI::TCertificateFunctions& crypt = IdSSPI::CertificateFunctions();
  auto untrusted = [this] {
    return EIdTLSCertificateUntrusted(Format(RSTLSCertificateUntrusted, FHost.c_str()));
  };
  auto expired = [this] {
    return EIdTLSCertificateExpired(Format(RSTLSCertificateExpired, FHost.c_str()));
  };

  PCCERT_CONTEXT certificate = nullptr;
  if (FSSPI.QueryContextAttributesW(&FContext, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
          SEC_E_OK ||
      !certificate)
    throw untrusted();
  std::unique_ptr<const CERT_CONTEXT, decltype(crypt.FreeCertificateContext)> certificateOwner(
      certificate, crypt.FreeCertificateContext);
  FFacts.Subject = NameText(crypt, certificate->pCertInfo->Subject);
  FFacts.Issuer = NameText(crypt, certificate->pCertInfo->Issuer);
  FFacts.NotAfter = TimeText(certificate->pCertInfo->NotAfter);

  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!crypt.GetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore,
                                 &parameters, 0, nullptr, &chain) ||
      !chain)
    throw untrusted();
  std::unique_ptr<const CERT_CHAIN_CONTEXT, decltype(crypt.FreeCertificateChain)> chainOwner(
      chain, crypt.FreeCertificateChain);

  // The chain's own verdict first: the SSL policy alone has been seen to pass a chain whose
  // root nobody trusts (Wine). Revocation is not asked for, so its "unknown" does not count.
  constexpr DWORD kTime = CERT_TRUST_IS_NOT_TIME_VALID;
  const DWORD trust = chain->TrustStatus.dwErrorStatus &
                      ~(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (trust & ~kTime) throw untrusted();
  if (trust & kTime) throw expired();

  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = FTarget.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS verdict{};
  verdict.cbSize = sizeof verdict;
  if (!crypt.VerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &verdict))
    throw untrusted();
  switch (static_cast<HRESULT>(verdict.dwError)) {
    case S_OK:
      return;
    case CERT_E_CN_NO_MATCH:
      throw EIdTLSCertificateNameMismatch(Format(RSTLSCertificateNameMismatch, FHost.c_str()));
    case CERT_E_EXPIRED:
      throw expired();
    default:
      throw untrusted();
  }
}

void TIdTLSSessionSChannel::DecryptRecord() {
  SecBuffer buffers[4] = {
      {static_cast<unsigned long>(FInEnd - FInStart), SECBUFFER_DATA, FIn.data() + FInStart},
      {0, SECBUFFER_EMPTY, nullptr},
      {0, SECBUFFER_EMPTY, nullptr},
      {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
  const SECURITY_STATUS status = FSSPI.DecryptMessage(&FContext, &desc, 0, nullptr);
  if (status == SEC_E_INCOMPLETE_MESSAGE) {
    FIncomplete = true;
    return;
  }
  if (status == SEC_I_CONTEXT_EXPIRED) {
    // The peer's goodbye.
    FClosed = true;
    FInStart = FInEnd;
    return;
  }
  if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) ConnectionFailed();
  size_t extra = 0;
  for (const SecBuffer& b : buffers) {
    if (b.BufferType == SECBUFFER_DATA && b.pvBuffer && b.cbBuffer > 0) {
      FPlainStart = static_cast<size_t>(static_cast<uint8_t*>(b.pvBuffer) - FIn.data());
      FPlainLength = b.cbBuffer;
    } else if (b.BufferType == SECBUFFER_EXTRA) {
      extra = b.cbBuffer;
    }
  }
  if (extra > FInEnd - FInStart || FPlainStart + FPlainLength > FIn.size()) ConnectionFailed();
  FInStart = FInEnd - extra;
  FEmptyRecord = status == SEC_E_OK && FPlainLength == 0;
  // A handshake message after the handshake (a TLS 1.3 ticket, a key update): the bytes after
  // it go through InitializeSecurityContextW first.
  if (status == SEC_I_RENEGOTIATE) FRenegotiating = true;
}

bool TIdTLSSessionSChannel::Pump(bool AMayReceive) {
  for (;;) {
    if (FPlainLength > 0 || FClosed) return true;
    if (FInStart < FInEnd && !FIncomplete) {
      if (FRenegotiating) {
        const SECURITY_STATUS status = Step();
        if (status == SEC_E_OK)
          FRenegotiating = false;
        else if (status != SEC_I_CONTINUE_NEEDED && status != SEC_E_INCOMPLETE_MESSAGE)
          ConnectionFailed();
      } else {
        DecryptRecord();
      }
      continue;
    }
    if (!AMayReceive) return false;
    AMayReceive = false;
    if (!ReceiveMore()) {
      // A close without the goodbye: whatever part of a record came is dropped, and the stream
      // is known to have been cut off.
      FClosed = true;
      FCutOff = !(FEmptyRecord && FInStart == FInEnd);
      return true;
    }
  }
}

int TIdTLSSessionSChannel::Read(uint8_t* ADest, int ALength) {
  if (FPlainLength == 0 && !FClosed) Pump(false);
  if (FPlainLength == 0) return FClosed ? 0 : -1;
  const size_t n = std::min(FPlainLength, static_cast<size_t>(std::max(ALength, 0)));
  std::memcpy(ADest, FIn.data() + FPlainStart, n);
  FPlainStart += n;
  FPlainLength -= n;
  return static_cast<int>(n);
}

void TIdTLSSessionSChannel::Write(const uint8_t* AData, int ALength) {
  if (!FEstablished || FSizes.cbMaximumMessage == 0) ConnectionFailed();
  while (ALength > 0) {
    const size_t chunk =
        std::min(static_cast<size_t>(ALength), static_cast<size_t>(FSizes.cbMaximumMessage));
    FOut.resize(FSizes.cbHeader + chunk + FSizes.cbTrailer);
    std::memcpy(FOut.data() + FSizes.cbHeader, AData, chunk);
    SecBuffer buffers[4] = {
        {FSizes.cbHeader, SECBUFFER_STREAM_HEADER, FOut.data()},
        {static_cast<unsigned long>(chunk), SECBUFFER_DATA, FOut.data() + FSizes.cbHeader},
        {FSizes.cbTrailer, SECBUFFER_STREAM_TRAILER, FOut.data() + FSizes.cbHeader + chunk},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    if (FSSPI.EncryptMessage(&FContext, 0, &desc, 0) != SEC_E_OK) ConnectionFailed();
    const size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
    FTransport.TLSSend(FOut.data(), static_cast<int>(std::min(total, FOut.size())));
    AData += chunk;
    ALength -= static_cast<int>(chunk);
  }
}

void TIdTLSSessionSChannel::Shutdown() noexcept {
  if (!FEstablished) return;
  try {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
    if (FSSPI.ApplyControlToken(&FContext, &controlDesc) != SEC_E_OK) return;
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    ULONG attributes = 0;
    TimeStamp expiry;
    FSSPI.InitializeSecurityContextW(&FCredentials, &FContext, FTarget.data(), kRequest, 0, 0,
                                     nullptr, 0, nullptr, &outDesc, &attributes, &expiry);
    SendToken(out);
  } catch (...) {
    // Only a courtesy to the peer.
  }
  FEstablished = false;
}

}  // namespace

std::unique_ptr<TIdTLSSession> CreateTLSSession(TIdTLSTransport& ATransport,
                                                const std::string& AHost) {
  return std::make_unique<TIdTLSSessionSChannel>(ATransport, AHost);
}
