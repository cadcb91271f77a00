#pragma once

// The platform's Authenticode check for the installer's publisher: "wintrust.dll" (the
// signature and its signer) and "crypt32.dll" (the signer's names), loaded at run time from the
// system folder only, like the other system libraries.

// In this order: each header needs the ones before it.
#include <windows.h>

#include <wincrypt.h>

#include <wintrust.h>

#include <softpub.h>

namespace WinTrustLibrary {

inline constexpr const wchar_t* WINTRUST_DLL = L"wintrust.dll";
inline constexpr const wchar_t* CRYPT32_DLL = L"crypt32.dll";

struct TFunctions {
  decltype(&::WinVerifyTrust) VerifyTrust;
  decltype(&::WTHelperProvDataFromStateData) ProvDataFromStateData;
  decltype(&::WTHelperGetProvSignerFromChain) GetProvSignerFromChain;
  decltype(&::CertGetNameStringW) GetNameString;
};

// Loaded at the first call and kept for the process. ETrustError "Error on loading the system
// library ..." when a library or one of the functions is missing.
const TFunctions& Functions();

}  // namespace WinTrustLibrary
