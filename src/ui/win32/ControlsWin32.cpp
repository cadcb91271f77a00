#include <windows.h>  // first: the other platform headers build on it

#include <commctrl.h>

#include <chrono>
#include <cstdlib>

#include "base/Utf.h"
#include "ui/ControlPeer.h"
#include "ui/Label.h"
#include "ui/ProgressBar.h"
#include "ui/win32/Win32Guard.h"
#include "ui/win32/Win32Handles.h"

struct TControl::TPeer {
  TUniqueHwnd Wnd;
  TUniqueGdiObject Font;
  int BorderWidth = 0;  // forms: the inner border, in screen pixels
  TForm* Form = nullptr;
};

void TControl::TPeerDeleter::operator()(TControl::TPeer* peer) const noexcept {
  delete peer;
}

namespace {

constexpr wchar_t kFormClass[] = L"TPlenwickForm";
// A dialog frame with only the close button: no minimise or maximise box, no sizing border.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;

TControl::TPeer* PeerOf(HWND wnd) {
  return reinterpret_cast<TControl::TPeer*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
}

// Fills the inner border (between the frame and the client area) in the dialog colour.
void PaintBorder(HWND wnd, int border) {
  if (border <= 0) return;
  RECT window, client;
  ::GetWindowRect(wnd, &window);
  ::GetClientRect(wnd, &client);
  ::MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  ::OffsetRect(&client, -window.left, -window.top);
  RECT band = client;
  ::InflateRect(&band, border, border);
  HDC dc = ::GetWindowDC(wnd);
  if (!dc) return;
  ::ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
  ::FillRect(dc, &band, ::GetSysColorBrush(COLOR_BTNFACE));
  ::ReleaseDC(wnd, dc);
}

LRESULT CALLBACK FormProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    return ::DefWindowProcW(wnd, msg, wp, lp);
  }
  TControl::TPeer* peer = PeerOf(wnd);
  if (!peer) return ::DefWindowProcW(wnd, msg, wp, lp);
  switch (msg) {
    case WM_NCCALCSIZE: {
      const LRESULT r = ::DefWindowProcW(wnd, msg, wp, lp);
      RECT* client =
          wp ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lp)->rgrc[0] : reinterpret_cast<RECT*>(lp);
      ::InflateRect(client, -peer->BorderWidth, -peer->BorderWidth);
      return r;
    }
    case WM_NCPAINT: {
      const LRESULT r = ::DefWindowProcW(wnd, msg, wp, lp);
      PaintBorder(wnd, peer->BorderWidth);
      return r;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
      GuardedCall([&] { peer->Form->Close(); });
      return 0;
    default:
      return ::DefWindowProcW(wnd, msg, wp, lp);
  }
}

void RegisterFormClass() {
  static const bool registered = [] {
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = FormProc;
    wc.hInstance = inst;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kFormClass;
    // The program's icon; programs without one get the platform's default.
    wc.hIcon = static_cast<HICON>(::LoadImageW(inst, L"MAINICON", IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXICON),
                                               ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(inst, L"MAINICON", IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    return ::RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

TControl::TPeer* CreateChild(const wchar_t* cls, DWORD style, TForm& parent) {
  auto* peer = new TControl::TPeer;
  HWND wnd = ::CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                               static_cast<HWND>(parent.Handle()), nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  peer->Wnd.reset(wnd);
  return peer;
}

}  // namespace

namespace uipeer {

TControl::TPeer* CreateForm(TForm& form) {
  RegisterFormClass();
  auto* peer = new TControl::TPeer;
  peer->Form = &form;
  HWND wnd =
      ::CreateWindowExW(kFormExStyle, kFormClass, L"", kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0,
                        0, nullptr, nullptr, ::GetModuleHandleW(nullptr), peer);
  peer->Wnd.reset(wnd);
  return peer;
}

TControl::TPeer* CreateLabel(TLabel&, TForm& parent) {
  return CreateChild(L"STATIC", SS_LEFT | SS_NOPREFIX, parent);
}

TControl::TPeer* CreateProgressBar(TProgressBar&, TForm& parent) {
  return CreateChild(PROGRESS_CLASSW, PBS_SMOOTH, parent);
}

TWinHandle Handle(const TControl::TPeer& peer) {
  return peer.Wnd.get();
}

void SetText(TControl::TPeer& peer, const std::string& text) {
  ::SetWindowTextW(peer.Wnd.get(), ToWide(text).c_str());
}

void SetBounds(TControl::TPeer& peer, int left, int top, int width, int height) {
  if (peer.Form) return;  // a form's outer bounds come from SetFrame
  ::SetWindowPos(peer.Wnd.get(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetFont(TControl::TPeer& peer, const TFont& font, int pixelsPerInch) {
  LOGFONTW lf{};
  lf.lfHeight = ::MulDiv(font.Height, pixelsPerInch, 96);
  lf.lfWeight = font.Bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  const std::wstring name = ToWide(font.Name);
  lstrcpynW(lf.lfFaceName, name.c_str(), LF_FACESIZE);
  TUniqueGdiObject f(::CreateFontIndirectW(&lf));
  ::SendMessageW(peer.Wnd.get(), WM_SETFONT, reinterpret_cast<WPARAM>(f.get()), TRUE);
  peer.Font = std::move(f);
}

int TextHeight(const TControl::TPeer& peer) {
  HDC dc = ::GetDC(peer.Wnd.get());
  if (!dc) return 0;
  HGDIOBJ old =
      ::SelectObject(dc, peer.Font ? peer.Font.get() : ::GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);
  ::SelectObject(dc, old);
  ::ReleaseDC(peer.Wnd.get(), dc);
  return tm.tmHeight;
}

void Repaint(TControl::TPeer& peer) {
  ::InvalidateRect(peer.Wnd.get(), nullptr, TRUE);
  ::UpdateWindow(peer.Wnd.get());
}

void PaintPending(TControl::TPeer& peer) {
  ::UpdateWindow(peer.Wnd.get());
}

void SetRange(TControl::TPeer& peer, int min, int max) {
  ::SendMessageW(peer.Wnd.get(), PBM_SETRANGE32, static_cast<WPARAM>(min),
                 static_cast<LPARAM>(max));
}

void SetPosition(TControl::TPeer& peer, int position) {
  ::SendMessageW(peer.Wnd.get(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int ScreenPixelsPerInch() {
  HDC dc = ::GetDC(nullptr);
  const int ppi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ::ReleaseDC(nullptr, dc);
  return ppi > 0 ? ppi : 96;
}

uint64_t Milliseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void SetFrame(TControl::TPeer& form, int clientWidth, int clientHeight, int borderWidth) {
  form.BorderWidth = borderWidth;
  RECT r{0, 0, clientWidth + 2 * borderWidth, clientHeight + 2 * borderWidth};
  ::AdjustWindowRectEx(&r, kFormStyle, FALSE, kFormExStyle);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  // Centred on the screen, not on the work area.
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  ::SetWindowPos(form.Wnd.get(), nullptr, x, y, w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void Show(TControl::TPeer& form) {
  ::ShowWindow(form.Wnd.get(), SW_SHOWNORMAL);
  ::UpdateWindow(form.Wnd.get());
}

void Hide(TControl::TPeer& form) {
  ::ShowWindow(form.Wnd.get(), SW_HIDE);
}

bool Visible(const TControl::TPeer& form) {
  return ::IsWindowVisible(form.Wnd.get()) != 0;
}

}  // namespace uipeer
