#pragma once

#include <windows.h>

#include "base/SystemLibrary.h"
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
