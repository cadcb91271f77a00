#include <windows.h>

#include "base/Utf.h"
#include "ui/ApplicationPlatform.h"

struct TApplication::TPlatform::TState {};

TApplication::TPlatform::TPlatform() : FState(std::make_unique<TState>()) {}
TApplication::TPlatform::~TPlatform() = default;

bool TApplication::TPlatform::DispatchOne(bool& quit) {
  MSG msg;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    quit = true;
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

void TApplication::TPlatform::ShowErrorBox(const std::string& text, const std::string& caption) {
  HWND owner = ::GetActiveWindow();
  ::MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption).c_str(),
                MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}
