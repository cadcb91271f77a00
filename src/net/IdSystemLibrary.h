#pragma once

// A library of the operating system loaded at run time (Windows only), owned: loaded from the
// system folder only, as IdWinsock2::LoadSystemLibrary does, and freed with the owner.

// The socket library's header first: it must come before <windows.h>.
#include "net/IdWinsock2.h"

#include "base/UniqueHandle.h"

class TIdSystemLibrary {
 public:
  // Loads the library; Loaded() tells whether that worked.
  explicit TIdSystemLibrary(const wchar_t* AName) : FModule(IdWinsock2::LoadSystemLibrary(AName)) {}

  bool Loaded() const { return FModule.valid(); }
  // An entry point by name as a function pointer of type Fn; null when absent.
  template <typename Fn>
  Fn Function(const char* AName) const {
    if (!FModule) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(FModule.get(), AName)));
  }

 private:
  struct TTraits {
    using Type = HMODULE;
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE h) { ::FreeLibrary(h); }
  };
  TUniqueHandle<TTraits> FModule;
};
