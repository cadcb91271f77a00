#pragma once

// The platform's TLS (SChannel, through the security package interface) and its certificate
// chain functions, loaded at run time from the system folder only, like the socket library:
// the program imports nothing from "secur32.dll" or "crypt32.dll", which the system would
// otherwise look for in the program's own folder first.

#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
// The current credential form (SCH_CREDENTIALS), which TLS 1.3 needs.
#ifndef SCHANNEL_USE_BLACKLISTS
#define SCHANNEL_USE_BLACKLISTS
#endif

// In this order: each header needs the ones before it.
#include <windows.h>

#include <wincrypt.h>

#include <subauth.h>

#include <security.h>

#include <schannel.h>

namespace IdSSPI {

inline constexpr const wchar_t* SECUR32_DLL = L"secur32.dll";
inline constexpr const wchar_t* CRYPT32_DLL = L"crypt32.dll";

// The security package interface of "secur32.dll", loaded at the first call. EIdTLSError
// "Error on loading the TLS library (secur32.dll)" when it cannot be.
const SecurityFunctionTableW& SecurityFunctions();

// The certificate functions of "crypt32.dll", loaded at the first call. EIdTLSError
// "Error on loading the TLS library (crypt32.dll)" when it or a function is missing.
struct TCertificateFunctions {
  decltype(&::CertGetCertificateChain) GetCertificateChain;
  decltype(&::CertVerifyCertificateChainPolicy) VerifyCertificateChainPolicy;
  decltype(&::CertFreeCertificateChain) FreeCertificateChain;
  decltype(&::CertFreeCertificateContext) FreeCertificateContext;
  decltype(&::CertNameToStrW) NameToStr;
};
const TCertificateFunctions& CertificateFunctions();

}  // namespace IdSSPI
