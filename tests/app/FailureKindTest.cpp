// The kind of a failure, as the retries and the run's outcome both ask it.

#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "app/FailureClass.h"
#include "app/SetupErrors.h"
#include "base/Exception.h"
#include "http/IdHTTPExceptions.h"
#include "net/IdExceptionCore.h"
#include "net/IdSocketErrors.h"
#include "net/IdTLSExceptions.h"
#include "trust/TrustError.h"
#include "zip/ZStream.h"
#include "zip/ZipFile.h"

namespace {

using K = TFailureKind;

template <typename E>
std::exception_ptr Failure(E AException) {
  return std::make_exception_ptr(std::move(AException));
}

std::exception_ptr Socket(int ACode) {
  return Failure(EIdSocketError(ACode, "Socket Error # " + std::to_string(ACode)));
}

struct KindCase {
  const char* name;
  std::exception_ptr failure;
  TFailureKind kind;
  int status = 0;
};

void PrintTo(const KindCase& c, std::ostream* os) {
  *os << c.name;
}

const KindCase kKinds[] = {
    // Socket errors by what went wrong, whichever stack named them.
    {"HostNotFound", Socket(Id_WSAHOST_NOT_FOUND), K::fkNameNotResolved},
    {"ResolverFailedForGood", Socket(Id_WSANO_RECOVERY), K::fkNameNotResolved},
    {"NoAddressOfTheKind", Socket(Id_WSANO_DATA), K::fkNameNotResolved},
    {"ResolverAsksToTryAgain", Socket(Id_WSATRY_AGAIN), K::fkResolverBusy},
    {"Refused", Socket(Id_WSAECONNREFUSED), K::fkRefused},
    {"NetworkDown", Socket(Id_WSAENETDOWN), K::fkUnreachable},
    {"NetworkUnreachable", Socket(Id_WSAENETUNREACH), K::fkUnreachable},
    {"HostDown", Socket(Id_WSAEHOSTDOWN), K::fkUnreachable},
    {"NoRoute", Socket(Id_WSAEHOSTUNREACH), K::fkUnreachable},
    {"SocketTimedOut", Socket(Id_WSAETIMEDOUT), K::fkTimedOut},
    {"NetworkReset", Socket(Id_WSAENETRESET), K::fkCutOff},
    {"Aborted", Socket(Id_WSAECONNABORTED), K::fkCutOff},
    {"Reset", Socket(Id_WSAECONNRESET), K::fkCutOff},
    {"AddressFamilyUnsupported", Socket(Id_WSAEAFNOSUPPORT), K::fkConnection},
    {"NoBufferSpace", Socket(Id_WSAENOBUFS), K::fkConnection},
    {"NotASocket", Failure(EIdNotASocket(Id_WSAENOTSOCK, "x")), K::fkConnection},
    // The connection layer's own exceptions.
    {"ConnectTimeout", Failure(EIdConnectTimeout("x")), K::fkTimedOut},
    {"ConnectFailed", Failure(EIdConnectException("x")), K::fkConnection},
    {"ClosedSocket", Failure(EIdClosedSocket("x")), K::fkConnection},
    {"NotConnected", Failure(EIdNotConnected("x")), K::fkConnection},
    {"ClosedByTheServer", Failure(EIdConnClosedGracefully("x")), K::fkCutOff},
    {"BodyCutOff", Failure(EIdHTTPCutOff("x", 5, 10)), K::fkCutOff},
    {"TLSGoodbyeMissing", Failure(EIdTLSCutOff(5)), K::fkCutOff},
    {"ReadTimeout", Failure(EIdReadTimeout("x")), K::fkSlow},
    {"CertificateUntrusted", Failure(EIdTLSCertificateUntrusted("x")), K::fkTLSTrust},
    {"CertificateExpired", Failure(EIdTLSCertificateExpired("x")), K::fkTLSTrust},
    {"CertificateForAnotherName", Failure(EIdTLSCertificateNameMismatch("x")), K::fkTLSTrust},
    {"HandshakeFailed", Failure(EIdTLSHandshakeFailed("x")), K::fkTLS},
    {"SecureConnectionBroke", Failure(EIdTLSError("x")), K::fkTLS},
    // The proxy: not reached, not signed in to, refusing with its status.
    {"ProxyNotReached", Failure(EIdHTTPProxyError("x")), K::fkProxyNotReached},
    {"ProxySignIn", Failure(EIdHTTPProxyError("x", 407)), K::fkProxySignIn, 407},
    {"ProxyRefusesTheWay", Failure(EIdHTTPProxyError("x", 403)), K::fkProxyRefusal, 403},
    {"ProxyFailed", Failure(EIdHTTPProxyError("x", 502)), K::fkProxyRefusal, 502},
    // The server's answers.
    {"Status404", Failure(EIdHTTPProtocolException(404, "x", "")), K::fkStatus, 404},
    {"Status503", Failure(EIdHTTPProtocolException(503, "x", "")), K::fkStatus, 503},
    {"Malformed", Failure(EIdHTTPMalformedResponse("x")), K::fkBadAnswer},
    {"LineTooLong", Failure(EIdReadLnMaxLineLengthExceeded("x")), K::fkBadAnswer},
    {"InsecureRedirect", Failure(EIdHTTPInsecureRedirect("x")), K::fkBadAnswer},
    {"UnsupportedRedirect", Failure(EIdHTTPUnsupportedRedirect("x")), K::fkBadAnswer},
    {"NoHost", Failure(EIdHostRequired("x")), K::fkClient},
    {"WebPageInstead", Failure(EWebPageInstead("x")), K::fkPortal},
    // What the run does with the archive.
    {"SignatureRefused", Failure(ETrustError("x")), K::fkArchive},
    {"SignatureNotDownloaded", Failure(ESignatureNotDownloaded("x", Failure(EIdReadTimeout("x")))),
     K::fkArchive},
    {"ZipDamaged", Failure(EZipException("x")), K::fkArchive},
    {"DeflateDamaged", Failure(EZDecompressionError("x")), K::fkArchive},
    {"NoRoom", Failure(ENotEnoughSpace("x")), K::fkDisk},
    {"FolderNotMade", Failure(ESetupFolderError("x")), K::fkDisk},
    {"FileNotMade", Failure(EFCreateError("x")), K::fkDisk},
    {"WriteFailed", Failure(EWriteError("x")), K::fkDisk},
    {"SystemCallFailed", Failure(EOSError("x")), K::fkDisk},
    {"PathTooLong", Failure(EPathTooLongException("x")), K::fkDisk},
    {"FolderMissing", Failure(EDirectoryNotFoundException("x")), K::fkDisk},
    // Everything else, and nothing at all.
    {"AnyOtherException", Failure(Exception("x")), K::fkOther},
    {"NotAnException", Failure(5), K::fkOther},
    {"NoFailure", nullptr, K::fkOther},
};

class FailureKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(FailureKinds, TellTheKindAndTheStatus) {
  const KindCase& c = GetParam();
  const TFailureCause cause = FailureCauseOf(c.failure);
  EXPECT_EQ(cause.Kind, c.kind);
  EXPECT_EQ(cause.Status, c.status);
}

INSTANTIATE_TEST_SUITE_P(FailureCauseOf, FailureKinds, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
