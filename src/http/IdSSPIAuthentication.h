#pragma once

#include <memory>
#include <string>

#include "http/IdAuthentication.h"
#include "http/IdSecurityContext.h"

// "Negotiate" and "NTLM": a handshake of several legs that a security package runs, its tokens
// in base64 after the scheme's name. Without a user name and password the package uses the
// signed-in user's credentials (the program never sees them); with them, those. Every leg must
// go on the same connection, since the server ties the handshake to it.
class TIdSSPIAuthentication : public TIdAuthentication {
 public:
  // APackage: the scheme's and package's name. AContexts: where contexts come from (the
  // system's by default).
  explicit TIdSSPIAuthentication(std::string APackage,
                                 TIdSecurityContextFactory AContexts = SystemSecurityContexts());

  // The scheme and the current leg's token; empty before the first leg.
  std::string Authentication() override;
  // Takes the server's token from the challenge of this scheme in AuthParams (none at the first
  // leg) and makes the next one: wnDoRequest when there is one to send, wnFail when the package
  // refuses, is missing (PackageMissing) or has nothing more to say.
  TIdAuthWhatsNext Next() override;
  int Steps() const override { return 2; }
  void Reset() override;
  bool AwaitsChallenge() const override { return FContext && !FComplete; }

  // The service the context is for: "HTTP/" and the server's host, which Kerberos names the
  // ticket by.
  void SetServiceHost(const std::string& AHost) { FTarget = "HTTP/" + AHost; }
  // Why the last Next failed, for messages (no credential in it).
  const std::string& Failure() const { return FFailure; }
  const std::string& Package() const { return FPackage; }
  // Whether the last Next failed because the system has no such package.
  bool PackageMissing() const { return FPackageMissing; }

 private:
  std::string FPackage;
  TIdSecurityContextFactory FContexts;
  std::string FTarget;
  std::unique_ptr<TIdSecurityContext> FContext;
  TIdBytes FToken;
  bool FComplete = false;
  bool FPackageMissing = false;
  std::string FFailure;
};

class TIdNTLMAuthentication : public TIdSSPIAuthentication {
 public:
  TIdNTLMAuthentication() : TIdSSPIAuthentication("NTLM") {}
};

class TIdNegotiateAuthentication : public TIdSSPIAuthentication {
 public:
  TIdNegotiateAuthentication() : TIdSSPIAuthentication("Negotiate") {}
};
