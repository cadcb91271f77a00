#include "http/IdSSPIAuthentication.h"

#include "base/StrUtils.h"
#include "http/IdAuthChallenges.h"

TIdSSPIAuthentication::TIdSSPIAuthentication(std::string APackage,
                                             TIdSecurityContextFactory AContexts)
    : FPackage(std::move(APackage)), FContexts(std::move(AContexts)) {}

std::string TIdSSPIAuthentication::Authentication() {
  if (FToken.empty()) return {};
  return FPackage + " " +
         Base64Encode(
             std::string_view(reinterpret_cast<const char*>(FToken.data()), FToken.size()));
}

TIdAuthWhatsNext TIdSSPIAuthentication::Next() {
  FFailure.clear();
  FPackageMissing = false;
  std::string serverToken;
  for (const TIdAuthChallenge& challenge : ParseAuthChallenges(AuthParams))
    if (SameText(challenge.Scheme, FPackage)) {
      serverToken = challenge.Token;
      break;
    }
  TIdBytes input;
  if (!serverToken.empty()) {
    std::string bytes;
    if (!Base64Decode(serverToken, bytes)) {
      FFailure = "the server's token is no base64 text";
      return wnFail;
    }
    input.assign(bytes.begin(), bytes.end());
  }
  // A context that has finished, or one that waits for a token the server did not send: the
  // server refused what it was given.
  if (FContext && (FComplete || input.empty())) {
    FToken.clear();
    return wnFail;
  }
  try {
    if (!FContext) {
      if (!FContexts) throw EIdSecurityPackageMissing("no security packages");
      const TIdCredentials identity{Username(), Password()};
      const bool explicitCredentials = !identity.Username.empty() || !identity.Password.empty();
      FContext = FContexts(FPackage, FTarget, explicitCredentials ? &identity : nullptr);
      FComplete = false;
    }
    FToken = FContext->Step(input, FComplete);
  } catch (const EIdSecurityPackageMissing& e) {
    FPackageMissing = true;
    FFailure = e.Message();
    FToken.clear();
    return wnFail;
  } catch (const EIdSecurityContextError& e) {
    FFailure = e.Message();
    FToken.clear();
    return wnFail;
  }
  if (FToken.empty()) return wnFail;
  ++FCurrentStep;
  return wnDoRequest;
}

void TIdSSPIAuthentication::Reset() {
  TIdAuthentication::Reset();
  FContext.reset();
  FToken.clear();
  FComplete = false;
  FFailure.clear();
}
