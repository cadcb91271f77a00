#pragma once

// Libraries of the operating system loaded at run time (Windows only): one loader and one owner
// for the socket, TLS, proxy and window libraries alike.

#include <windows.h>

#include "base/UniqueHandle.h"

using TUniqueModule = TUniqueHandle<TNullHandleTraits<HMODULE, ::FreeLibrary>>;

// Loads a library from the system folder only, never from the program's folder or the current
// directory where a planted copy could wait, with the system's error box for a missing file
// suppressed. Side-by-side redirection still applies, so "comctl32.dll" gives the version the
// manifest asks for. Empty when it cannot be loaded (GetLastError tells why).
TUniqueModule LoadSystemLibrary(const wchar_t* AName);

// An entry point of a loaded library as a function pointer of type Fn; null when the library
// lacks it or is not loaded.
template <typename Fn>
Fn GetProcedure(HMODULE AModule, const char* AName) {
  if (!AModule) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(AModule, AName)));
}

// A system library loaded for as long as the object lives, for code that uses one only for a
// while (the proxy settings, the proxy script).
class TSystemLibrary {
 public:
  explicit TSystemLibrary(const wchar_t* AName) : FModule(LoadSystemLibrary(AName)) {}

  bool Loaded() const { return FModule.valid(); }
  template <typename Fn>
  Fn Function(const char* AName) const {
    return GetProcedure<Fn>(FModule.get(), AName);
  }

 private:
  TUniqueModule FModule;
};
