#include "download/FailureKind.h"

#include "base/Exception.h"
#include "download/DownloadErrors.h"
#include "http/IdHTTPExceptions.h"
#include "http/IdHTTPStatus.h"
#include "net/IdExceptionCore.h"
#include "net/IdSocketErrors.h"
#include "net/IdTLSExceptions.h"

namespace {

TFailureKind SocketErrorKind(int ACode) {
  switch (ACode) {
    case Id_WSAHOST_NOT_FOUND:
    case Id_WSANO_RECOVERY:
    case Id_WSANO_DATA:
      return TFailureKind::fkNameNotResolved;
    case Id_WSATRY_AGAIN:
      return TFailureKind::fkResolverBusy;
    case Id_WSAECONNREFUSED:
      return TFailureKind::fkRefused;
    case Id_WSAENETDOWN:
    case Id_WSAENETUNREACH:
    case Id_WSAEHOSTDOWN:
    case Id_WSAEHOSTUNREACH:
      return TFailureKind::fkUnreachable;
    case Id_WSAETIMEDOUT:
      return TFailureKind::fkTimedOut;
    // Dropped by a network reset, aborted on the way, reset by the peer.
    case Id_WSAENETRESET:
    case Id_WSAECONNABORTED:
    case Id_WSAECONNRESET:
      return TFailureKind::fkCutOff;
    default:
      // A request the system refused to make (a bad address, a missing protocol, no room).
      return TFailureKind::fkConnection;
  }
}

TFailureCause ProxyCause(const EIdHTTPProxyError& AFailure) {
  const int code = AFailure.ErrorCode();
  if (code == 0) return {TFailureKind::fkProxyNotReached, 0};
  if (code == Id_HTTP_PROXY_AUTHENTICATION_REQUIRED) return {TFailureKind::fkProxySignIn, code};
  return {TFailureKind::fkProxyRefusal, code};
}

}  // namespace

TFailureCause DownloadFailureCauseOf(const std::exception_ptr& AFailure) {
  if (!AFailure) return {};
  try {
    std::rethrow_exception(AFailure);
  } catch (const EWebPageInstead&) {
    return {TFailureKind::fkPortal};
  } catch (const ENotEnoughSpace&) {
    return {TFailureKind::fkDisk};
  } catch (const EFileStreamError&) {
    return {TFailureKind::fkDisk};
  } catch (const EWriteError&) {
    return {TFailureKind::fkDisk};
  } catch (const EOSError&) {
    return {TFailureKind::fkDisk};
  } catch (const EPathTooLongException&) {
    return {TFailureKind::fkDisk};
  } catch (const EDirectoryNotFoundException&) {
    return {TFailureKind::fkDisk};
  } catch (const EIdHTTPProtocolException& e) {
    return {TFailureKind::fkStatus, e.ErrorCode()};
  } catch (const EIdHTTPProxyError& e) {
    return ProxyCause(e);
  } catch (const EIdTLSCutOff&) {
    // The TLS goodbye missing at the end of a body: anyone on the way may have cut it.
    return {TFailureKind::fkCutOff};
  } catch (const EIdTLSCertificateError&) {
    return {TFailureKind::fkTLSTrust};
  } catch (const EIdTLSError&) {
    return {TFailureKind::fkTLS};
  } catch (const EIdConnClosedGracefully&) {
    // Closed by the server before the answer or its body was whole (a close of the program's
    // own never gets here: the window's close is looked at first).
    return {TFailureKind::fkCutOff};
  } catch (const EIdReadTimeout&) {
    return {TFailureKind::fkSlow};
  } catch (const EIdConnectTimeout&) {
    return {TFailureKind::fkTimedOut};
  } catch (const EIdSocketError& e) {
    return {SocketErrorKind(e.LastError())};
  } catch (const EIdConnectException&) {
    return {TFailureKind::fkConnection};
  } catch (const EIdClosedSocket&) {
    return {TFailureKind::fkConnection};
  } catch (const EIdNotConnected&) {
    return {TFailureKind::fkConnection};
  } catch (const EIdHTTPMalformedResponse&) {
    return {TFailureKind::fkBadAnswer};
  } catch (const EIdReadLnMaxLineLengthExceeded&) {
    return {TFailureKind::fkBadAnswer};
  } catch (const EIdHTTPInsecureRedirect&) {
    return {TFailureKind::fkBadAnswer};
  } catch (const EIdHTTPUnsupportedRedirect&) {
    return {TFailureKind::fkBadAnswer};
  } catch (const EIdException&) {
    return {TFailureKind::fkClient};
  } catch (...) {
  }
  return {};
}
