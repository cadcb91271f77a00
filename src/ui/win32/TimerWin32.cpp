#include <windows.h>

#include "ui/ControlPeer.h"
#include "ui/win32/Win32Handles.h"

struct TTimer::TPeer {
  TTimer* Owner = nullptr;
  TUniqueHwnd Wnd;  // the timer's own hidden window
  bool Armed = false;
};

void TTimer::TPeerDeleter::operator()(TTimer::TPeer* APeer) const noexcept {
  delete APeer;
}

namespace {

constexpr wchar_t kTimerClass[] = L"TPlenwickTimerWindow";
constexpr UINT_PTR kTimerId = 1;

LRESULT CALLBACK TimerProc(HWND AWnd, UINT AMsg, WPARAM AWp, LPARAM ALp) {
  if (AMsg == WM_TIMER) {
    auto* peer = reinterpret_cast<TTimer::TPeer*>(::GetWindowLongPtrW(AWnd, GWLP_USERDATA));
    if (peer && peer->Armed) peer->Owner->Tick();
    return 0;
  }
  return ::DefWindowProcW(AWnd, AMsg, AWp, ALp);
}

void RegisterTimerClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = TimerProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kTimerClass;
    return ::RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

}  // namespace

namespace uipeer {

TTimer::TPeer* CreateTimer(TTimer& ATimer) {
  RegisterTimerClass();
  auto* peer = new TTimer::TPeer;
  peer->Owner = &ATimer;
  peer->Wnd.reset(::CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr));
  ::SetWindowLongPtrW(peer->Wnd.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
  return peer;
}

bool StartTimer(TTimer::TPeer& APeer, unsigned AInterval) {
  APeer.Armed = APeer.Wnd && ::SetTimer(APeer.Wnd.get(), kTimerId, AInterval, nullptr) != 0;
  return APeer.Armed;
}

void StopTimer(TTimer::TPeer& APeer) {
  if (APeer.Armed) ::KillTimer(APeer.Wnd.get(), kTimerId);
  APeer.Armed = false;
}

bool TimerArmed(const TTimer::TPeer& APeer) {
  return APeer.Armed;
}

}  // namespace uipeer
