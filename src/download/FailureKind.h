#pragma once

#include <exception>

// What kind of failure stopped a request or the run, told once for everyone who acts on it:
// the download's retries (RetryPolicy.h), the run's outcome and its offer to try again
// (app/FailureClass.h). The kinds are those a user or an administrator would act on differently.
enum class TFailureKind {
  // The connection.
  fkNameNotResolved,  // the resolver does not know the host's name, or failed for good
  fkResolverBusy,     // the resolver asked to try again (a temporary failure)
  fkRefused,          // nobody accepts connections at the host's port
  fkUnreachable,      // the network is down, or has no way to the host
  fkTimedOut,         // the connection could not be made within its time
  fkCutOff,           // the connection broke, or closed before the answer or its body was whole
  fkSlow,             // nothing arrived within the read time-out
  fkConnection,       // any other failure of the socket layer
  // Secure connections.
  fkTLSTrust,  // the server's certificate was refused
  fkTLS,       // no secure connection could be agreed on, or it failed on the way
  // The proxy.
  fkProxyNotReached,  // the proxy could not be reached or used
  fkProxySignIn,      // the proxy asked who the user is, and no answer satisfied it
  fkProxyRefusal,     // the proxy answered with a failure (Status)
  // The server.
  fkStatus,     // the server answered with a failure (Status)
  fkBadAnswer,  // an answer that cannot be read safely, or a redirect that is not followed
  fkClient,     // the client could not make the request (its socket library, its settings)
  fkPortal,     // a web page came where the archive was expected
  // What the run does with the download.
  fkArchive,  // the archive or its signature was refused, or cannot be extracted
  fkDisk,     // a folder or file could not be made or written, or room is missing
  fkOther,    // anything else
};

struct TFailureCause {
  TFailureKind Kind = TFailureKind::fkOther;
  // The status code of the answer that was the failure (fkStatus, fkProxyRefusal, and
  // fkProxySignIn), else 0.
  int Status = 0;
};

// The kind of the failure AFailure (an exception, as std::current_exception gives it) as far as
// the download's layers tell it: the connection, TLS, the proxy, the server, the disks. A failure
// of the layers above (the archive, its checks, the setup folder) is fkOther here; the run asks
// FailureCauseOf (app/FailureClass.h), which tells those too and asks this for the rest.
TFailureCause DownloadFailureCauseOf(const std::exception_ptr& AFailure);
