#include <windows.h>

#include "ui/ControlPeer.h"
#include "ui/win32/Win32Handles.h"

struct TTimer::TPeer {
  TTimer* Owner = nullptr;
  TUniqueHwnd Wnd;  // the timer's own hidden window
  bool Armed = false;
};

void TTimer::TPeerDeleter::operator()(TTimer::TPeer* peer) const noexcept {
  delete peer;
}

namespace {

constexpr wchar_t kTimerClass[] = L"TPlenwickTimerWindow";
constexpr UINT_PTR kTimerId = 1;

LRESULT CALLBACK TimerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER) {
    auto* peer = reinterpret_cast<TTimer::TPeer*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (peer && peer->Armed) peer->Owner->Tick();
    return 0;
  }
  return ::DefWindowProcW(wnd, msg, wp, lp);
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

TTimer::TPeer* CreateTimer(TTimer& timer) {
  RegisterTimerClass();
  auto* peer = new TTimer::TPeer;
  peer->Owner = &timer;
  peer->Wnd.reset(::CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr));
  ::SetWindowLongPtrW(peer->Wnd.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
  return peer;
}

bool StartTimer(TTimer::TPeer& peer, unsigned interval) {
  peer.Armed = peer.Wnd && ::SetTimer(peer.Wnd.get(), kTimerId, interval, nullptr) != 0;
  return peer.Armed;
}

void StopTimer(TTimer::TPeer& peer) {
  if (peer.Armed) ::KillTimer(peer.Wnd.get(), kTimerId);
  peer.Armed = false;
}

bool TimerArmed(const TTimer::TPeer& peer) {
  return peer.Armed;
}

}  // namespace uipeer
