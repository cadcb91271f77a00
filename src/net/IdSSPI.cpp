#include "net/IdSSPI.h"

#include "base/Format.h"
#include "base/SystemLibrary.h"
#include "base/Utf.h"
#include "net/IdTLSExceptions.h"

namespace IdSSPI {

namespace {

[[noreturn]] void RaiseLoadError(const wchar_t* AName) {
  throw EIdTLSError(Format(RSTLSLibraryLoadError, FromWide(AName).c_str()));
}

// Each library stays loaded for the life of the process once it has been loaded; a failed
// load is tried again at the next call (a static whose initialisation throws is not made).
struct TSecur32 {
  TUniqueModule Module;
  const SecurityFunctionTableW* Table = nullptr;

  TSecur32() : Module(LoadSystemLibrary(SECUR32_DLL)) {
    if (!Module) RaiseLoadError(SECUR32_DLL);
    auto init = GetProcedure<INIT_SECURITY_INTERFACE_W>(Module.get(), SECURITY_ENTRYPOINT_ANSIW);
    Table = init ? init() : nullptr;
    if (!Table || !Table->AcquireCredentialsHandleW || !Table->InitializeSecurityContextW ||
        !Table->DecryptMessage || !Table->EncryptMessage || !Table->QueryContextAttributesW ||
        !Table->ApplyControlToken || !Table->DeleteSecurityContext ||
        !Table->FreeCredentialsHandle || !Table->FreeContextBuffer)
      RaiseLoadError(SECUR32_DLL);
  }
};

struct TCrypt32 {
  TUniqueModule Module;
  TCertificateFunctions Functions{};

  TCrypt32() : Module(LoadSystemLibrary(CRYPT32_DLL)) {
    if (!Module) RaiseLoadError(CRYPT32_DLL);
    HMODULE m = Module.get();
    Functions.GetCertificateChain =
        GetProcedure<decltype(Functions.GetCertificateChain)>(m, "CertGetCertificateChain");
    Functions.VerifyCertificateChainPolicy =
        GetProcedure<decltype(Functions.VerifyCertificateChainPolicy)>(
            m, "CertVerifyCertificateChainPolicy");
    Functions.FreeCertificateChain =
        GetProcedure<decltype(Functions.FreeCertificateChain)>(m, "CertFreeCertificateChain");
    Functions.FreeCertificateContext =
        GetProcedure<decltype(Functions.FreeCertificateContext)>(m, "CertFreeCertificateContext");
    Functions.NameToStr = GetProcedure<decltype(Functions.NameToStr)>(m, "CertNameToStrW");
    if (!Functions.GetCertificateChain || !Functions.VerifyCertificateChainPolicy ||
        !Functions.FreeCertificateChain || !Functions.FreeCertificateContext ||
        !Functions.NameToStr)
      RaiseLoadError(CRYPT32_DLL);
  }
};

}  // namespace

const SecurityFunctionTableW& SecurityFunctions() {
  static const TSecur32 library;
  return *library.Table;
}

const TCertificateFunctions& CertificateFunctions() {
  static const TCrypt32 library;
  return library.Functions;
}

}  // namespace IdSSPI
