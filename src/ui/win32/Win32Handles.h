#pragma once

#include <windows.h>

#include "base/SystemLibrary.h"
#include "base/UniqueHandle.h"

// RAII owners of the window-system objects the window services create.
using TUniqueHwnd = TUniqueHandle<TNullHandleTraits<HWND, ::DestroyWindow>>;
using TUniqueGdiObject = TUniqueHandle<TNullHandleTraits<HGDIOBJ, ::DeleteObject>>;
