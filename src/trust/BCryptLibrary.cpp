#include "trust/BCryptLibrary.h"

#include <type_traits>

#include "base/Format.h"
#include "base/SystemLibrary.h"
#include "base/Texts.h"
#include "base/Utf.h"
#include "trust/TrustError.h"

namespace BCryptLibrary {

namespace {

// Kept loaded once loaded; a failed load is tried again at the next call (a static whose
// initialisation throws is not made).
struct TLibrary {
  TUniqueModule Module;
  TFunctions Functions{};

  TLibrary() : Module(LoadSystemLibrary(BCRYPT_DLL)) {
    HMODULE m = Module.get();
    auto get = [m](auto& AFunction, const char* AName) {
      AFunction = GetProcedure<std::remove_reference_t<decltype(AFunction)>>(m, AName);
      return AFunction != nullptr;
    };
    const bool complete = get(Functions.OpenAlgorithmProvider, "BCryptOpenAlgorithmProvider") &&
                          get(Functions.CloseAlgorithmProvider, "BCryptCloseAlgorithmProvider") &&
                          get(Functions.CreateHash, "BCryptCreateHash") &&
                          get(Functions.HashData, "BCryptHashData") &&
                          get(Functions.FinishHash, "BCryptFinishHash") &&
                          get(Functions.DestroyHash, "BCryptDestroyHash") &&
                          get(Functions.ImportKeyPair, "BCryptImportKeyPair") &&
                          get(Functions.DestroyKey, "BCryptDestroyKey") &&
                          get(Functions.VerifySignature, "BCryptVerifySignature");
    if (!complete) throw ETrustError(Format(RSTrustLibraryLoadError, FromWide(BCRYPT_DLL).c_str()));
  }
};

}  // namespace

const TFunctions& Functions() {
  static const TLibrary library;
  return library.Functions;
}

TAlgorithm OpenAlgorithm(const wchar_t* AName) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(Functions().OpenAlgorithmProvider(&algorithm, AName, nullptr, 0)))
    return TAlgorithm();
  return TAlgorithm(algorithm);
}

}  // namespace BCryptLibrary
