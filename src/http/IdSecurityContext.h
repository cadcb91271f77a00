#pragma once

#include <functional>
#include <memory>
#include <string>

#include "http/IdCredentials.h"
#include "net/IdBytes.h"
#include "net/IdException.h"

// The client's side of a handshake that one of the system's security packages runs (Negotiate,
// NTLM): the server's token in, the client's next token out, leg by leg, on one connection.
class TIdSecurityContext {
 public:
  virtual ~TIdSecurityContext() = default;
  // The next token for the server, made from its last one (empty at the first leg). AComplete
  // is set when the package needs nothing more from the server. Raises EIdSecurityContextError
  // when the package refuses the server's token.
  virtual TIdBytes Step(const TIdBytes& AServerToken, bool& AComplete) = 0;
};

// Makes a context of the package APackage ("Negotiate", "NTLM") for the service ATarget (such
// as "HTTP/proxy.example"), with AIdentity's credentials or, when it is null, the signed-in
// user's. Raises EIdSecurityPackageMissing when the system has no such package, and
// EIdSecurityContextError when it refuses the credentials.
using TIdSecurityContextFactory = std::function<std::unique_ptr<TIdSecurityContext>(
    const std::string& APackage, const std::string& ATarget, const TIdCredentials* AIdentity)>;

// The system's security packages: SSPI through secur32 (loaded at run time) on Windows; none
// elsewhere (an empty function).
TIdSecurityContextFactory SystemSecurityContexts();

// A security package refused to start or to take the server's token. The message names the
// package and the system's status, never a credential.
PLENWICK_DECLARE_EXCEPTION(EIdSecurityContextError, EIdException)
// The system has no such security package.
PLENWICK_DECLARE_EXCEPTION(EIdSecurityPackageMissing, EIdSecurityContextError)
