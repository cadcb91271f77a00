#include "net/IdSSPI.h"

#include "base/Format.h"
#include "base/UniqueHandle.h"
#include "base/Utf.h"
#include "net/IdTLSExceptions.h"
#include "net/IdWinsock2.h"

namespace IdSSPI {

namespace {

struct TModuleTraits {
  using Type = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE h) { ::FreeLibrary(h); }
};
using TModule = TUniqueHandle<TModuleTraits>;

template <typename Fn>
Fn As(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

[[noreturn]] void RaiseLoadError(const wchar_t* name) {
  throw EIdTLSError(Format(RSTLSLibraryLoadError, FromWide(name).c_str()));
}

// Each library stays loaded for the life of the process once it has been loaded; a failed
// load is tried again at the next call (a static whose initialisation throws is not made).
struct TSecur32 {
  TModule Module;
  const SecurityFunctionTableW* Table = nullptr;

  TSecur32() : Module(IdWinsock2::LoadSystemLibrary(SECUR32_DLL)) {
    if (!Module) RaiseLoadError(SECUR32_DLL);
    auto init =
        As<INIT_SECURITY_INTERFACE_W>(::GetProcAddress(Module.get(), SECURITY_ENTRYPOINT_ANSIW));
    Table = init ? init() : nullptr;
    if (!Table || !Table->AcquireCredentialsHandleW || !Table->InitializeSecurityContextW ||
        !Table->DecryptMessage || !Table->EncryptMessage || !Table->QueryContextAttributesW ||
        !Table->ApplyControlToken || !Table->DeleteSecurityContext ||
        !Table->FreeCredentialsHandle || !Table->FreeContextBuffer)
      RaiseLoadError(SECUR32_DLL);
  }
};

struct TCrypt32 {
  TModule Module;
  TCertificateFunctions Functions{};

  TCrypt32() : Module(IdWinsock2::LoadSystemLibrary(CRYPT32_DLL)) {
    if (!Module) RaiseLoadError(CRYPT32_DLL);
    HMODULE m = Module.get();
    Functions.GetCertificateChain =
        As<decltype(Functions.GetCertificateChain)>(::GetProcAddress(m, "CertGetCertificateChain"));
    Functions.VerifyCertificateChainPolicy = As<decltype(Functions.VerifyCertificateChainPolicy)>(
        ::GetProcAddress(m, "CertVerifyCertificateChainPolicy"));
    Functions.FreeCertificateChain = As<decltype(Functions.FreeCertificateChain)>(
        ::GetProcAddress(m, "CertFreeCertificateChain"));
    Functions.FreeCertificateContext = As<decltype(Functions.FreeCertificateContext)>(
        ::GetProcAddress(m, "CertFreeCertificateContext"));
    if (!Functions.GetCertificateChain || !Functions.VerifyCertificateChainPolicy ||
        !Functions.FreeCertificateChain || !Functions.FreeCertificateContext)
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
