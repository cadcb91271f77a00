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
  int BorderWidth = 0;            // forms: the inner border, in screen pixels
  int PixelsPerInch = 0;          // forms: the density the system last announced (0: none yet)
  bool FollowingDensity = false;  // forms: laying out for WM_DPICHANGED, which places them
  TForm* Form = nullptr;
};

void TControl::TPeerDeleter::operator()(TControl::TPeer* APeer) const noexcept {
  delete APeer;
}

namespace {

constexpr wchar_t kFormClass[] = L"TPlenwickForm";
// A dialog frame with only the close button: no minimise or maximise box, no sizing border.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;

// What newer systems offer for windows on screens of different densities; nullptr where they
// are missing (before Windows 10), and the system-wide density serves instead.
struct TDensityFunctions {
  UINT(WINAPI* GetDpiForWindow)(HWND) = nullptr;
  BOOL(WINAPI* AdjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
  BOOL(WINAPI* SystemParametersInfoForDpi)(UINT, UINT, void*, UINT, UINT) = nullptr;
  int(WINAPI* GetSystemMetricsForDpi)(int, UINT) = nullptr;
};

const TDensityFunctions& DensityFunctions() {
  static const TDensityFunctions functions = [] {
    TDensityFunctions f;
    if (HMODULE user = ::GetModuleHandleW(L"user32.dll")) {
      f.GetDpiForWindow = GetProcedure<decltype(f.GetDpiForWindow)>(user, "GetDpiForWindow");
      f.AdjustWindowRectExForDpi =
          GetProcedure<decltype(f.AdjustWindowRectExForDpi)>(user, "AdjustWindowRectExForDpi");
      f.SystemParametersInfoForDpi =
          GetProcedure<decltype(f.SystemParametersInfoForDpi)>(user, "SystemParametersInfoForDpi");
      f.GetSystemMetricsForDpi =
          GetProcedure<decltype(f.GetSystemMetricsForDpi)>(user, "GetSystemMetricsForDpi");
    }
    return f;
  }();
  return functions;
}

int SystemPixelsPerInch() {
  HDC dc = ::GetDC(nullptr);
  const int ppi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ::ReleaseDC(nullptr, dc);
  return ppi > 0 ? ppi : 96;
}

int WindowPixelsPerInch(const TControl::TPeer& AForm) {
  if (AForm.PixelsPerInch > 0) return AForm.PixelsPerInch;
  if (auto get = DensityFunctions().GetDpiForWindow)
    if (const UINT dpi = get(AForm.Wnd.get())) return static_cast<int>(dpi);
  return SystemPixelsPerInch();
}

int MetricAt(int AIndex, int APixelsPerInch) {
  if (auto get = DensityFunctions().GetSystemMetricsForDpi)
    return get(AIndex, static_cast<UINT>(APixelsPerInch));
  return ::GetSystemMetrics(AIndex);
}

// The outer size of a client area at the window's density.
RECT FrameAround(int AClientWidth, int AClientHeight, int APixelsPerInch) {
  RECT r{0, 0, AClientWidth, AClientHeight};
  if (auto adjust = DensityFunctions().AdjustWindowRectExForDpi)
    adjust(&r, kFormStyle, FALSE, kFormExStyle, static_cast<UINT>(APixelsPerInch));
  else
    ::AdjustWindowRectEx(&r, kFormStyle, FALSE, kFormExStyle);
  return r;
}

// The width of a line of text in a font, in pixels.
int LineWidth(HWND AWnd, HGDIOBJ AFont, const std::string& AText) {
  HDC dc = ::GetDC(AWnd);
  if (!dc) return 0;
  HGDIOBJ old = ::SelectObject(dc, AFont ? AFont : ::GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring text = ToWide(AText);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(AWnd, dc);
  return size.cx;
}

// The window and its children follow the system's colours (a high-contrast theme among them):
// the controls of the common controls library are told of the change, and all is drawn anew.
void SystemColoursChanged(HWND AWnd) {
  ::EnumChildWindows(
      AWnd,
      [](HWND AChild, LPARAM) -> BOOL {
        ::SendMessageW(AChild, WM_SYSCOLORCHANGE, 0, 0);
        return TRUE;
      },
      0);
  ::RedrawWindow(AWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

TControl::TPeer* PeerOf(HWND AWnd) {
  return reinterpret_cast<TControl::TPeer*>(::GetWindowLongPtrW(AWnd, GWLP_USERDATA));
}

// Fills the inner border (between the frame and the client area) in the dialog colour.
void PaintBorder(HWND AWnd, int ABorder) {
  if (ABorder <= 0) return;
  RECT window, client;
  ::GetWindowRect(AWnd, &window);
  ::GetClientRect(AWnd, &client);
  ::MapWindowPoints(AWnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  ::OffsetRect(&client, -window.left, -window.top);
  RECT band = client;
  ::InflateRect(&band, ABorder, ABorder);
  HDC dc = ::GetWindowDC(AWnd);
  if (!dc) return;
  ::ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
  ::FillRect(dc, &band, ::GetSysColorBrush(COLOR_BTNFACE));
  ::ReleaseDC(AWnd, dc);
}

LRESULT CALLBACK FormProc(HWND AWnd, UINT AMsg, WPARAM AWp, LPARAM ALp) {
  if (AMsg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(ALp);
    ::SetWindowLongPtrW(AWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    return ::DefWindowProcW(AWnd, AMsg, AWp, ALp);
  }
  TControl::TPeer* peer = PeerOf(AWnd);
  if (!peer) return ::DefWindowProcW(AWnd, AMsg, AWp, ALp);
  switch (AMsg) {
    case WM_NCCALCSIZE: {
      const LRESULT r = ::DefWindowProcW(AWnd, AMsg, AWp, ALp);
      RECT* client =
          AWp ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(ALp)->rgrc[0] : reinterpret_cast<RECT*>(ALp);
      ::InflateRect(client, -peer->BorderWidth, -peer->BorderWidth);
      return r;
    }
    case WM_NCPAINT: {
      const LRESULT r = ::DefWindowProcW(AWnd, AMsg, AWp, ALp);
      PaintBorder(AWnd, peer->BorderWidth);
      return r;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(AWp);
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
      GuardedCall([&] { peer->Form->Close(); });
      return 0;
    case WM_KEYDOWN:
      // Esc closes the window as its close button does.
      if (AWp == VK_ESCAPE) {
        ::SendMessageW(AWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
      }
      return ::DefWindowProcW(AWnd, AMsg, AWp, ALp);
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      SystemColoursChanged(AWnd);
      return ::DefWindowProcW(AWnd, AMsg, AWp, ALp);
    case WM_DPICHANGED: {
      // Moved to a screen of another density: lay out anew at it, then take the place and size
      // the system suggests.
      // (Centring it meanwhile could move it back to the screen it came from.)
      peer->PixelsPerInch = HIWORD(AWp);
      peer->FollowingDensity = true;
      GuardedCall([&] { peer->Form->DensityChanged(); });
      peer->FollowingDensity = false;
      const RECT* suggested = reinterpret_cast<const RECT*>(ALp);
      ::SetWindowPos(AWnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
      return 0;
    }
    default:
      return ::DefWindowProcW(AWnd, AMsg, AWp, ALp);
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

TControl::TPeer* CreateChild(const wchar_t* ACls, DWORD AStyle, TForm& AParent) {
  auto* peer = new TControl::TPeer;
  HWND wnd = ::CreateWindowExW(0, ACls, L"", WS_CHILD | WS_VISIBLE | AStyle, 0, 0, 0, 0,
                               static_cast<HWND>(AParent.Handle()), nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  peer->Wnd.reset(wnd);
  return peer;
}

}  // namespace

namespace uipeer {

TControl::TPeer* CreateForm(TForm& AForm) {
  RegisterFormClass();
  auto* peer = new TControl::TPeer;
  peer->Form = &AForm;
  HWND wnd =
      ::CreateWindowExW(kFormExStyle, kFormClass, L"", kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0,
                        0, nullptr, nullptr, ::GetModuleHandleW(nullptr), peer);
  peer->Wnd.reset(wnd);
  return peer;
}

TControl::TPeer* CreateLabel(TLabel&, TForm& AParent) {
  return CreateChild(L"STATIC", SS_LEFT | SS_NOPREFIX, AParent);
}

TControl::TPeer* CreateProgressBar(TProgressBar&, TForm& AParent) {
  return CreateChild(PROGRESS_CLASSW, PBS_SMOOTH, AParent);
}

TWinHandle Handle(const TControl::TPeer& APeer) {
  return APeer.Wnd.get();
}

void SetText(TControl::TPeer& APeer, const std::string& AText) {
  ::SetWindowTextW(APeer.Wnd.get(), ToWide(AText).c_str());
  // Screen readers hear a control's new text (the status line's "Extracting...") without the
  // focus moving to it.
  if (!APeer.Form)
    ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, APeer.Wnd.get(), OBJID_CLIENT, CHILDID_SELF);
}

void SetBounds(TControl::TPeer& APeer, int ALeft, int ATop, int AWidth, int AHeight) {
  if (APeer.Form) return;  // a form's outer bounds come from SetFrame
  ::SetWindowPos(APeer.Wnd.get(), nullptr, ALeft, ATop, AWidth, AHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetFont(TControl::TPeer& APeer, const TFont& AFont, int APixelsPerInch) {
  LOGFONTW lf{};
  lf.lfHeight = ::MulDiv(AFont.Height, APixelsPerInch, 96);
  lf.lfWeight = AFont.Bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  const std::wstring name = ToWide(AFont.Name);
  lstrcpynW(lf.lfFaceName, name.c_str(), LF_FACESIZE);
  TUniqueGdiObject f(::CreateFontIndirectW(&lf));
  ::SendMessageW(APeer.Wnd.get(), WM_SETFONT, reinterpret_cast<WPARAM>(f.get()), TRUE);
  APeer.Font = std::move(f);
}

int TextHeight(const TControl::TPeer& APeer) {
  HDC dc = ::GetDC(APeer.Wnd.get());
  if (!dc) return 0;
  HGDIOBJ old =
      ::SelectObject(dc, APeer.Font ? APeer.Font.get() : ::GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);
  ::SelectObject(dc, old);
  ::ReleaseDC(APeer.Wnd.get(), dc);
  return tm.tmHeight;
}

void Repaint(TControl::TPeer& APeer) {
  ::InvalidateRect(APeer.Wnd.get(), nullptr, TRUE);
  ::UpdateWindow(APeer.Wnd.get());
}

void PaintPending(TControl::TPeer& APeer) {
  ::UpdateWindow(APeer.Wnd.get());
}

void SetRange(TControl::TPeer& APeer, int AMin, int AMax) {
  ::SendMessageW(APeer.Wnd.get(), PBM_SETRANGE32, static_cast<WPARAM>(AMin),
                 static_cast<LPARAM>(AMax));
}

void SetPosition(TControl::TPeer& APeer, int APosition) {
  ::SendMessageW(APeer.Wnd.get(), PBM_SETPOS, static_cast<WPARAM>(APosition), 0);
}

int TextWidth(const TControl::TPeer& APeer, const std::string& AText) {
  return LineWidth(APeer.Wnd.get(), APeer.Font.get(), AText);
}

int PixelsPerInch(const TControl::TPeer& AForm) {
  return WindowPixelsPerInch(AForm);
}

int CaptionClientWidth(const TControl::TPeer& AForm, const std::string& ACaption,
                       int ABorderWidth) {
  const int ppi = WindowPixelsPerInch(AForm);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  bool got = false;
  if (auto get = DensityFunctions().SystemParametersInfoForDpi)
    got = get(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, static_cast<UINT>(ppi));
  if (!got) {
    got = ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    metrics.lfCaptionFont.lfHeight =
        ::MulDiv(metrics.lfCaptionFont.lfHeight, ppi, SystemPixelsPerInch());
  }
  if (!got) return 0;
  TUniqueGdiObject font(::CreateFontIndirectW(&metrics.lfCaptionFont));
  const int text = LineWidth(AForm.Wnd.get(), font.get(), ACaption);
  // Beside the text: the icon, the close button, and a margin of an icon's width around them.
  const int decoration = 2 * MetricAt(SM_CXSMICON, ppi) + 2 * MetricAt(SM_CXSIZE, ppi);
  const RECT frame = FrameAround(0, 0, ppi);
  return text + decoration - (frame.right - frame.left) - 2 * ABorderWidth;
}

uint64_t Milliseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void SetFrame(TControl::TPeer& AForm, int AClientWidth, int AClientHeight, int ABorderWidth,
              bool ACentre) {
  AForm.BorderWidth = ABorderWidth;
  if (AForm.FollowingDensity) return;  // the system's suggestion places it
  const RECT r = FrameAround(AClientWidth + 2 * ABorderWidth, AClientHeight + 2 * ABorderWidth,
                             WindowPixelsPerInch(AForm));
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  // Centred on the screen, not on the work area.
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  ::SetWindowPos(AForm.Wnd.get(), nullptr, x, y, w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | (ACentre ? 0 : SWP_NOMOVE));
}

void Show(TControl::TPeer& AForm) {
  ::ShowWindow(AForm.Wnd.get(), SW_SHOWNORMAL);
  ::UpdateWindow(AForm.Wnd.get());
}

void Hide(TControl::TPeer& AForm) {
  ::ShowWindow(AForm.Wnd.get(), SW_HIDE);
}

bool Visible(const TControl::TPeer& AForm) {
  return ::IsWindowVisible(AForm.Wnd.get()) != 0;
}

}  // namespace uipeer
