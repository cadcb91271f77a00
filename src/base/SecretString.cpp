#include "base/SecretString.h"

#ifdef _WIN32
#include <windows.h>
#endif

void SecureWipe(void* AData, size_t ASize) noexcept {
  if (!AData || ASize == 0) return;
#ifdef _WIN32
  SecureZeroMemory(AData, ASize);
#else
  volatile unsigned char* p = static_cast<volatile unsigned char*>(AData);
  while (ASize--)
    *p++ = 0;
#endif
}

void SecureWipe(std::string& AText) noexcept {
  // The whole buffer: a shorter text may have been written over a longer one.
  AText.resize(AText.capacity());
  SecureWipe(AText.data(), AText.size());
  AText.clear();
}

void SecureWipe(std::wstring& AText) noexcept {
  AText.resize(AText.capacity());
  SecureWipe(AText.data(), AText.size() * sizeof(wchar_t));
  AText.clear();
}
