// Negotiate and NTLM through the system's security packages (SSPI of secur32, loaded at run time
// as for TLS).
#include <string>

#include "base/Format.h"
#include "base/SecretString.h"
#include "base/Texts.h"
#include "base/Utf.h"
#include "http/IdSecurityContext.h"
#include "net/IdSSPI.h"
#include "net/IdTLSExceptions.h"

namespace {

class TIdSSPIContext final : public TIdSecurityContext {
 public:
  TIdSSPIContext(const std::string& APackage, const std::string& ATarget,
                 const TIdCredentials* AIdentity);
  ~TIdSSPIContext() override;
  TIdSSPIContext(const TIdSSPIContext&) = delete;
  TIdSSPIContext& operator=(const TIdSSPIContext&) = delete;

  TIdBytes Step(const TIdBytes& AServerToken, bool& AComplete) override;

 private:
  [[noreturn]] void Fail(TTextId AWhat, SECURITY_STATUS AStatus) const;

  const SecurityFunctionTableW& FSSPI;
  std::string FPackage;
  std::wstring FTarget;
  CredHandle FCredentials{};
  bool FHaveCredentials = false;
  CtxtHandle FContext{};
  bool FHaveContext = false;
};

const SecurityFunctionTableW& LoadedFunctions() {
  try {
    return IdSSPI::SecurityFunctions();
  } catch (const EIdTLSError& e) {
    throw EIdSecurityPackageMissing(e.Message());
  }
}

TIdSSPIContext::TIdSSPIContext(const std::string& APackage, const std::string& ATarget,
                               const TIdCredentials* AIdentity)
    : FSSPI(LoadedFunctions()), FPackage(APackage), FTarget(ToWide(ATarget)) {
  std::wstring package = ToWide(APackage);
  SEC_WINNT_AUTH_IDENTITY_W identity{};
  std::wstring user, domain, password;
  if (AIdentity) {
    // "DOMAIN\user" names the domain apart; "user@domain" is a name of its own.
    user = ToWide(AIdentity->Username);
    if (const size_t slash = user.find(L'\\'); slash != std::wstring::npos) {
      domain = user.substr(0, slash);
      user.erase(0, slash + 1);
    }
    password = ToWide(AIdentity->Password.Text());
    identity.User = reinterpret_cast<unsigned short*>(user.data());
    identity.UserLength = static_cast<unsigned long>(user.size());
    identity.Domain = reinterpret_cast<unsigned short*>(domain.data());
    identity.DomainLength = static_cast<unsigned long>(domain.size());
    identity.Password = reinterpret_cast<unsigned short*>(password.data());
    identity.PasswordLength = static_cast<unsigned long>(password.size());
    identity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
  }
  TimeStamp expiry{};
  const SECURITY_STATUS status = FSSPI.AcquireCredentialsHandleW(
      nullptr, package.data(), SECPKG_CRED_OUTBOUND, nullptr, AIdentity ? &identity : nullptr,
      nullptr, nullptr, &FCredentials, &expiry);
  // The handle keeps its own copy.
  SecureWipe(password);
  if (status == SEC_E_SECPKG_NOT_FOUND)
    throw EIdSecurityPackageMissing(
        Format(RSSecurityPackageMissing, APackage.c_str(), (unsigned long)status));
  if (status != SEC_E_OK) Fail(RSSecurityCredentialsRefused, status);
  FHaveCredentials = true;
}

TIdSSPIContext::~TIdSSPIContext() {
  if (FHaveContext) FSSPI.DeleteSecurityContext(&FContext);
  if (FHaveCredentials) FSSPI.FreeCredentialsHandle(&FCredentials);
}

void TIdSSPIContext::Fail(TTextId AWhat, SECURITY_STATUS AStatus) const {
  throw EIdSecurityContextError(
      Format(AWhat, FPackage.c_str(), static_cast<unsigned long>(AStatus)));
}

TIdBytes TIdSSPIContext::Step(const TIdBytes& AServerToken, bool& AComplete) {
  TIdBytes input = AServerToken;
  SecBuffer in{static_cast<unsigned long>(input.size()), SECBUFFER_TOKEN, input.data()};
  SecBufferDesc inDesc{SECBUFFER_VERSION, 1, &in};
  SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
  ULONG attributes = 0;
  TimeStamp expiry{};
  SECURITY_STATUS status = FSSPI.InitializeSecurityContextW(
      &FCredentials, FHaveContext ? &FContext : nullptr, FTarget.empty() ? nullptr : FTarget.data(),
      ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_CONNECTION, 0, SECURITY_NATIVE_DREP,
      input.empty() ? nullptr : &inDesc, 0, &FContext, &outDesc, &attributes, &expiry);
  struct TFree {
    const SecurityFunctionTableW& SSPI;
    SecBuffer& Buffer;
    ~TFree() {
      if (Buffer.pvBuffer) SSPI.FreeContextBuffer(Buffer.pvBuffer);
    }
  } free{FSSPI, out};
  if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || status == SEC_I_COMPLETE_NEEDED ||
      status == SEC_I_COMPLETE_AND_CONTINUE)
    FHaveContext = true;
  if ((status == SEC_I_COMPLETE_NEEDED || status == SEC_I_COMPLETE_AND_CONTINUE) &&
      FSSPI.CompleteAuthToken) {
    const SECURITY_STATUS completed = FSSPI.CompleteAuthToken(&FContext, &outDesc);
    if (completed != SEC_E_OK) Fail(RSSecurityTokenIncomplete, completed);
  }
  if (!FHaveContext || (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED &&
                        status != SEC_I_COMPLETE_NEEDED && status != SEC_I_COMPLETE_AND_CONTINUE))
    Fail(input.empty() ? RSSecurityCouldNotStart : RSSecurityTokenRefused, status);
  AComplete = status == SEC_E_OK || status == SEC_I_COMPLETE_NEEDED;
  const uint8_t* bytes = static_cast<const uint8_t*>(out.pvBuffer);
  return bytes ? TIdBytes(bytes, bytes + out.cbBuffer) : TIdBytes{};
}

}  // namespace

TIdSecurityContextFactory SystemSecurityContexts() {
  return [](const std::string& APackage, const std::string& ATarget,
            const TIdCredentials* AIdentity) -> std::unique_ptr<TIdSecurityContext> {
    return std::make_unique<TIdSSPIContext>(APackage, ATarget, AIdentity);
  };
}
