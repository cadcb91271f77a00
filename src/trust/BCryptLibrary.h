#pragma once

// The platform's cryptography (CNG) for the archive's signature: "bcrypt.dll", loaded at run
// time from the system folder only, like the other system libraries, so no library of the
// program's folder can stand in for it.

#include <windows.h>

#include <bcrypt.h>

#include "base/UniqueHandle.h"

namespace BCryptLibrary {

inline constexpr const wchar_t* BCRYPT_DLL = L"bcrypt.dll";

struct TFunctions {
  decltype(&::BCryptOpenAlgorithmProvider) OpenAlgorithmProvider;
  decltype(&::BCryptCloseAlgorithmProvider) CloseAlgorithmProvider;
  decltype(&::BCryptCreateHash) CreateHash;
  decltype(&::BCryptHashData) HashData;
  decltype(&::BCryptFinishHash) FinishHash;
  decltype(&::BCryptDestroyHash) DestroyHash;
  decltype(&::BCryptImportKeyPair) ImportKeyPair;
  decltype(&::BCryptDestroyKey) DestroyKey;
  decltype(&::BCryptVerifySignature) VerifySignature;
};

// Loaded at the first call and kept for the process. ETrustError "Error on loading the system
// library bcrypt.dll" when it or one of the functions is missing.
const TFunctions& Functions();

// Owners of the library's handles, closed through the loaded functions.
struct TAlgorithmTraits {
  using Type = BCRYPT_ALG_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type AHandle) { Functions().CloseAlgorithmProvider(AHandle, 0); }
};
struct THashTraits {
  using Type = BCRYPT_HASH_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type AHandle) { Functions().DestroyHash(AHandle); }
};
struct TKeyTraits {
  using Type = BCRYPT_KEY_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type AHandle) { Functions().DestroyKey(AHandle); }
};
using TAlgorithm = TUniqueHandle<TAlgorithmTraits>;
using THash = TUniqueHandle<THashTraits>;
using TKey = TUniqueHandle<TKeyTraits>;

// An algorithm provider of the library by its name (BCRYPT_SHA256_ALGORITHM, ...); empty when
// the system has none.
TAlgorithm OpenAlgorithm(const wchar_t* AName);

}  // namespace BCryptLibrary
