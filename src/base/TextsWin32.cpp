#include <windows.h>

#include <cwchar>
#include <vector>

#include "base/Texts.h"
#include "base/Utf.h"

namespace {
// Texts are read while error messages are made, often before the caller reads the failed call's
// error code: reading them must not replace it (a missing string table sets 1812).
struct TKeepLastError {
  DWORD Saved = ::GetLastError();
  ~TKeepLastError() { ::SetLastError(Saved); }
};
}  // namespace

uint16_t TextLanguage() {
  const TKeepLastError keep;
  // The user's display languages in their order of preference, as language ids ("0407").
  ULONG count = 0;
  ULONG size = 0;
  if (::GetUserPreferredUILanguages(MUI_LANGUAGE_ID, &count, nullptr, &size) && size > 0) {
    std::vector<wchar_t> ids(size);
    if (::GetUserPreferredUILanguages(MUI_LANGUAGE_ID, &count, ids.data(), &size)) {
      for (const wchar_t* id = ids.data(); *id; id += std::wcslen(id) + 1) {
        const auto language = static_cast<uint16_t>(std::wcstoul(id, nullptr, 16));
        if (const uint16_t table = TableLanguageFor(language)) return table;
      }
    }
  }
  if (const uint16_t table = TableLanguageFor(::GetUserDefaultUILanguage())) return table;
  return 0x0409;
}

// Read from the string table of exactly that language: LoadStringW would pick by the thread's
// language and the system's fallbacks, which may end in a language that is not English.
std::string ResourceText(uint16_t ALanguage, TTextId AId) {
  const TKeepLastError keep;
  HMODULE module = ::GetModuleHandleW(nullptr);
  // Strings are kept in blocks of 16; block n holds the ids 16 (n - 1) to 16 n - 1.
  HRSRC found = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(AId / 16 + 1), ALanguage);
  if (!found) return {};
  HGLOBAL loaded = ::LoadResource(module, found);
  const auto* at = loaded ? static_cast<const wchar_t*>(::LockResource(loaded)) : nullptr;
  if (!at) return {};
  const wchar_t* const end = at + ::SizeofResource(module, found) / sizeof(wchar_t);
  // Each string: its length, then its characters (no terminating zero).
  for (unsigned index = 0; at < end; ++index) {
    const size_t length = static_cast<uint16_t>(*at++);
    if (length > static_cast<size_t>(end - at)) return {};
    if (index == AId % 16u) return FromWide(std::wstring(at, length));
    at += length;
  }
  return {};
}
