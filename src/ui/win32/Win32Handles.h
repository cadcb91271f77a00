#pragma once

#include <windows.h>

#include "base/UniqueHandle.h"

// RAII owners of the window-system objects the window services create.
struct THwndTraits {
  using Type = HWND;
  static HWND Invalid() { return nullptr; }
  static void Close(HWND h) { ::DestroyWindow(h); }
};
using TUniqueHwnd = TUniqueHandle<THwndTraits>;

struct TGdiObjectTraits {
  using Type = HGDIOBJ;
  static HGDIOBJ Invalid() { return nullptr; }
  static void Close(HGDIOBJ h) { ::DeleteObject(h); }
};
using TUniqueGdiObject = TUniqueHandle<TGdiObjectTraits>;

struct TModuleTraits {
  using Type = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE h) { ::FreeLibrary(h); }
};
using TUniqueModule = TUniqueHandle<TModuleTraits>;

// Loads a library of the operating system from the system folder only (never from the
// program's folder or the current directory). Side-by-side redirection still applies, so
// "comctl32.dll" gives the version the manifest asks for.
TUniqueModule LoadSystemLibrary(const wchar_t* name);
