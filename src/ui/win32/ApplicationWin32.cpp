#include <windows.h>  // first: the other platform headers build on it

#include <commctrl.h>

#include "base/Utf.h"
#include "ui/ApplicationPlatform.h"
#include "ui/win32/Win32Handles.h"

struct TApplication::TPlatform::TState {
  TUniqueModule CommonControls;
};

TApplication::TPlatform::TPlatform() : FState(std::make_unique<TState>()) {}
TApplication::TPlatform::~TPlatform() = default;

void TApplication::TPlatform::Initialize() {
  // Version 6 of the common controls (the manifest's dependency) gives the window, the bar
  // and the dialogs the platform's visual styles.
  FState->CommonControls = LoadSystemLibrary(L"comctl32.dll");
  if (!FState->CommonControls) return;
  using TInit = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = GetProcedure<TInit>(FState->CommonControls.get(), "InitCommonControlsEx");
  if (!init) return;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  init(&icc);
}

bool TApplication::TPlatform::DispatchOne(bool& AQuit) {
  MSG msg;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    AQuit = true;
    return true;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
  return true;
}

bool TApplication::TPlatform::MessagePending() {
  MSG msg;
  return ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != 0;
}

void TApplication::TPlatform::WaitMessage() {
  ::WaitMessage();
}

void TApplication::TPlatform::PostQuit() {
  ::PostQuitMessage(0);
}

void TApplication::TPlatform::ShowErrorBox(const std::string& AText, const std::string& ACaption) {
  HWND owner = ::GetActiveWindow();
  ::MessageBoxW(owner, ToWide(AText).c_str(), ToWide(ACaption).c_str(),
                MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}
