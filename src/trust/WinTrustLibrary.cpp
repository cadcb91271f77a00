#include "trust/WinTrustLibrary.h"

#include <type_traits>

#include "base/Format.h"
#include "base/SystemLibrary.h"
#include "base/Texts.h"
#include "base/Utf.h"
#include "trust/TrustError.h"

namespace WinTrustLibrary {

namespace {

[[noreturn]] void RaiseLoadError(const wchar_t* AName) {
  throw ETrustError(Format(RSTrustLibraryLoadError, FromWide(AName).c_str()));
}

template <typename Fn>
void Resolve(Fn& AFunction, HMODULE AModule, const char* AName, const wchar_t* ALibrary) {
  AFunction = GetProcedure<Fn>(AModule, AName);
  if (!AFunction) RaiseLoadError(ALibrary);
}

// Kept loaded once loaded; a failed load is tried again at the next call (a static whose
// initialisation throws is not made).
struct TLibraries {
  TUniqueModule WinTrust;
  TUniqueModule Crypt32;
  TFunctions Functions{};

  TLibraries()
      : WinTrust(LoadSystemLibrary(WINTRUST_DLL)), Crypt32(LoadSystemLibrary(CRYPT32_DLL)) {
    if (!WinTrust) RaiseLoadError(WINTRUST_DLL);
    if (!Crypt32) RaiseLoadError(CRYPT32_DLL);
    Resolve(Functions.VerifyTrust, WinTrust.get(), "WinVerifyTrust", WINTRUST_DLL);
    Resolve(Functions.ProvDataFromStateData, WinTrust.get(), "WTHelperProvDataFromStateData",
            WINTRUST_DLL);
    Resolve(Functions.GetProvSignerFromChain, WinTrust.get(), "WTHelperGetProvSignerFromChain",
            WINTRUST_DLL);
    Resolve(Functions.GetNameString, Crypt32.get(), "CertGetNameStringW", CRYPT32_DLL);
  }
};

}  // namespace

const TFunctions& Functions() {
  static const TLibraries libraries;
  return libraries.Functions;
}

}  // namespace WinTrustLibrary
