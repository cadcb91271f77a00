// The real window under Wine: what the user sees of the downloader's window before any work.

#include <windows.h>  // first: the other platform headers build on it

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/Main.h"
#include "base/FileSystem.h"

namespace {

RECT ChildRectInClient(HWND parent, HWND child) {
  RECT r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    app.Initialize();
    app.CreateForm(Main);
    wnd = static_cast<HWND>(Main->Handle());
  }
  TApplication app{GetModuleFileName()};
  HWND wnd = nullptr;
};

TEST_F(MainWindow, CaptionFrameAndSizeAsDesigned) {
  wchar_t caption[128];
  ::GetWindowTextW(wnd, caption, 128);
  EXPECT_STREQ(caption, L"Plenwick Suite Setup - Web Downloader");

  const LONG style = ::GetWindowLongW(wnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_TRUE(::GetWindowLongW(wnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);

  ASSERT_EQ(Main->ScreenPixelsPerInch(), 96) << "the sizes below are those at 96 pixels per inch";
  RECT client;
  ::GetClientRect(wnd, &client);
  EXPECT_EQ(client.right, 313);
  EXPECT_EQ(client.bottom, 41);

  // The 8-pixel inner border lies between the frame and the client area on every side.
  RECT window, bare = {0, 0, 313 + 16, 41 + 16};
  ::GetWindowRect(wnd, &window);
  ::AdjustWindowRectEx(&bare, style, FALSE, ::GetWindowLongW(wnd, GWL_EXSTYLE));
  EXPECT_EQ(window.right - window.left, bare.right - bare.left);
  EXPECT_EQ(window.bottom - window.top, bare.bottom - bare.top);
  POINT origin{0, 0};
  ::ClientToScreen(wnd, &origin);
  EXPECT_EQ(origin.x - window.left, -bare.left + 8);

  // Centred on the screen.
  const int cx = ::GetSystemMetrics(SM_CXSCREEN), cy = ::GetSystemMetrics(SM_CYSCREEN);
  EXPECT_LE(std::abs((window.left + window.right) - cx), 1);
  EXPECT_LE(std::abs((window.top + window.bottom) - cy), 1);
}

TEST_F(MainWindow, StatusLineAndBarInPlace) {
  HWND info = static_cast<HWND>(Main->Info->Handle());
  HWND bar = static_cast<HWND>(Main->ProgressBar->Handle());
  ASSERT_EQ(Main->ScreenPixelsPerInch(), 96);

  const RECT infoRect = ChildRectInClient(wnd, info);
  EXPECT_EQ(infoRect.left, 0);
  EXPECT_EQ(infoRect.top, 0);
  EXPECT_EQ(infoRect.right, 313);
  EXPECT_EQ(infoRect.bottom, 13);
  const RECT barRect = ChildRectInClient(wnd, bar);
  EXPECT_EQ(barRect.left, 0);
  EXPECT_EQ(barRect.top, 21);
  EXPECT_EQ(barRect.right, 313);
  EXPECT_EQ(barRect.bottom, 38);

  wchar_t text[64];
  ::GetWindowTextW(info, text, 64);
  EXPECT_STREQ(text, L"Initiating download...");
  LOGFONTW lf{};
  ASSERT_TRUE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(info, WM_GETFONT, 0, 0)),
                           sizeof(lf), &lf));
  EXPECT_STREQ(lf.lfFaceName, L"Tahoma");
  EXPECT_EQ(lf.lfHeight, -11);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);

  EXPECT_TRUE(::GetWindowLongW(bar, GWL_STYLE) & PBS_SMOOTH);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 0);  // Max 0
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
}

TEST_F(MainWindow, BarRangeAndPositionReachTheControl) {
  HWND bar = static_cast<HWND>(Main->ProgressBar->Handle());
  Main->ProgressBar->SetMax(500);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 500);
  Main->ProgressBar->SetPosition(900);
  EXPECT_EQ(Main->ProgressBar->Position(), 500);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 500);
  EXPECT_THROW(Main->ProgressBar->SetMax(-1), EInvalidOperation);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 500);
}

// Counts the position messages that reach the bar's control.
struct TPositionMessages {
  static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = static_cast<TPositionMessages*>(::GetPropW(wnd, L"PlenwickTest"));
    if (msg == PBM_SETPOS) ++self->Count;
    return ::CallWindowProcW(self->Original, wnd, msg, wp, lp);
  }
  explicit TPositionMessages(HWND wnd) : Wnd(wnd) {
    ::SetPropW(wnd, L"PlenwickTest", this);
    Original = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
  }
  ~TPositionMessages() {
    ::SetWindowLongPtrW(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Original));
    ::RemovePropW(Wnd, L"PlenwickTest");
  }
  HWND Wnd;
  WNDPROC Original = nullptr;
  int Count = 0;
};

// A download's worth of small moves reaches the real control about once per pixel, and the
// control ends at the exact position.
TEST_F(MainWindow, AMovingBarTouchesTheControlPerPixelAndEndsExactly) {
  HWND bar = static_cast<HWND>(Main->ProgressBar->Handle());
  Main->Show();
  const int max = 300 * 1048576, last = 100 * 1048576 + 1000;
  Main->ProgressBar->SetMax(max);
  TPositionMessages messages(bar);
  const ULONGLONG start = ::GetTickCount64();
  int moves = 0;
  for (int p = 32768; p < 100 * 1048576; p += 32768, ++moves)
    Main->ProgressBar->ShowPosition(p);
  Main->ProgressBar->ShowPosition(last);
  const ULONGLONG elapsed = ::GetTickCount64() - start;
  EXPECT_EQ(Main->ProgressBar->Position(), last);
  // 311 pixels inside the frame: a third of the range moves 104 of them; add one touch per
  // 30 ms that the loop took.
  EXPECT_LE(messages.Count, 105 + static_cast<int>(elapsed / 30)) << moves << " moves";

  Main->ProgressBar->ShowHeldBackPosition();
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), last);
  EXPECT_FALSE(::GetUpdateRect(bar, nullptr, FALSE)) << "painted at once";
  Main->ProgressBar->ShowPosition(max);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), max);
  EXPECT_FALSE(::GetUpdateRect(bar, nullptr, FALSE)) << "painted at once";
}

TEST_F(MainWindow, CloseButtonEndsTheLoopWithTheWindowStillShown) {
  Main->Timer->SetEnabled(false);
  ::PostMessageW(wnd, WM_CLOSE, 0, 0);
  app.Run();
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(::IsWindowVisible(wnd));
}

TEST_F(MainWindow, HideHidesTheWindow) {
  Main->Show();
  EXPECT_TRUE(::IsWindowVisible(wnd));
  Main->Hide();
  EXPECT_FALSE(::IsWindowVisible(wnd));
}

// What a screen reader hears: a change of the status text raises the name-change event of the
// label, so "Extracting..." is announced without the focus moving there.
std::vector<HWND>* gNameChanges = nullptr;
void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD AEvent, HWND AWnd, LONG AObject, LONG AChild, DWORD,
                         DWORD) {
  if (gNameChanges && AEvent == EVENT_OBJECT_NAMECHANGE && AObject == OBJID_CLIENT &&
      AChild == CHILDID_SELF)
    gNameChanges->push_back(AWnd);
}

TEST_F(MainWindow, AChangeOfTheStatusTextIsAnnounced) {
  HWND info = static_cast<HWND>(Main->Info->Handle());
  Main->Timer->SetEnabled(false);  // the messages below are the test's, not the sequence's
  Main->Show();
  std::vector<HWND> changes;
  gNameChanges = &changes;
  HWINEVENTHOOK hook =
      ::SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, OnWinEvent,
                        ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_TRUE(hook);
  Main->Info->SetCaption("Extracting...");
  // Out-of-context events arrive through the thread's messages.
  for (int i = 0; i < 50 && std::count(changes.begin(), changes.end(), info) == 0; ++i) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      ::DispatchMessageW(&msg);
    ::Sleep(10);
  }
  ::UnhookWinEvent(hook);
  gNameChanges = nullptr;
  EXPECT_EQ(std::count(changes.begin(), changes.end(), info), 1);
  wchar_t text[64];
  ::GetWindowTextW(info, text, 64);
  EXPECT_STREQ(text, L"Extracting...") << "the name a screen reader reads";
}

// Esc, typed while the window has the focus, closes it as the close button does.
TEST_F(MainWindow, EscClosesTheWindowAsTheCloseButtonDoes) {
  Main->Timer->SetEnabled(false);
  Main->Show();
  ::SetForegroundWindow(wnd);
  ::SetFocus(wnd);
  ASSERT_EQ(::GetFocus(), wnd);
  int closes = 0;
  Main->OnClose = [&](TComponent* Sender, TCloseAction& Action) {
    ++closes;
    Main->FormClose(Sender, Action);
  };
  INPUT keys[2] = {};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ASSERT_EQ(::SendInput(2, keys, sizeof(INPUT)), 2u);
  app.Run();
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(::IsWindowVisible(wnd)) << "the window stays until the program ends";
}

// The window's colours are the system's: a high-contrast theme's colours reach the status line
// and the background, and the bar is told of the change.
TEST_F(MainWindow, TheSystemsColoursAreTheWindows) {
  HWND info = static_cast<HWND>(Main->Info->Handle());
  const int elements[] = {COLOR_BTNFACE, COLOR_WINDOWTEXT};
  const COLORREF before[] = {::GetSysColor(COLOR_BTNFACE), ::GetSysColor(COLOR_WINDOWTEXT)};
  const COLORREF contrast[] = {RGB(0, 0, 0), RGB(255, 255, 0)};  // a high-contrast pair
  ASSERT_TRUE(::SetSysColors(2, elements, contrast));
  HDC dc = ::GetDC(info);
  const auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(
      wnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(info)));
  const COLORREF background = ::GetBkColor(dc), text = ::GetTextColor(dc);
  ::ReleaseDC(info, dc);
  LOGBRUSH lb{};
  ::GetObjectW(brush, sizeof(lb), &lb);
  ::SetSysColors(2, elements, before);
  EXPECT_EQ(background, contrast[0]);
  EXPECT_EQ(text, contrast[1]);
  EXPECT_EQ(lb.lbColor, contrast[0]);
}

// Moved to a screen of 144 pixels per inch (real Windows sends this; Wine never does): the
// fonts and the layout follow, and the window takes the rectangle the system suggests.
TEST_F(MainWindow, ADensityChangeScalesFontsAndLayoutToTheSuggestedRectangle) {
  HWND info = static_cast<HWND>(Main->Info->Handle());
  HWND bar = static_cast<HWND>(Main->ProgressBar->Handle());
  Main->Show();
  RECT window;
  ::GetWindowRect(wnd, &window);
  RECT suggested = {window.left + 20, window.top + 10, 0, 0};
  RECT outer = {0, 0, 470 + 24, 62 + 24};  // the client and the border at 150 %
  ::AdjustWindowRectEx(&outer, ::GetWindowLongW(wnd, GWL_STYLE), FALSE,
                       ::GetWindowLongW(wnd, GWL_EXSTYLE));
  suggested.right = suggested.left + (outer.right - outer.left);
  suggested.bottom = suggested.top + (outer.bottom - outer.top);
  ::SendMessageW(wnd, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));

  EXPECT_EQ(Main->ScreenPixelsPerInch(), 144);
  ::GetWindowRect(wnd, &window);
  EXPECT_TRUE(::EqualRect(&window, &suggested));
  LOGFONTW lf{};
  ASSERT_TRUE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(info, WM_GETFONT, 0, 0)),
                           sizeof(lf), &lf));
  EXPECT_EQ(lf.lfHeight, ::MulDiv(-11, 144, 96));
  const RECT infoRect = ChildRectInClient(wnd, info), barRect = ChildRectInClient(wnd, bar);
  EXPECT_EQ(infoRect.right - infoRect.left, 470);
  EXPECT_GE(infoRect.bottom - infoRect.top, 20);
  EXPECT_EQ(barRect.top, infoRect.bottom + 12);
  EXPECT_EQ(barRect.bottom - barRect.top, 26);
  EXPECT_EQ(barRect.right - barRect.left, 470);
}

// A form whose content asks for more room once it is on the screen, as the downloader's does
// for a countdown longer than its texts.
class TGrowingForm : public TForm {
 public:
  TGrowingForm() {
    BorderWidth = 8;
    ClientWidth = 200;
    ClientHeight = 40;
    Info.Align = TAlign::alTop;
    Loaded();
  }
  void Need(int AWidth) {
    FNeeded = AWidth;
    ContentGrew();
  }
  TLabel Info{*this};

 protected:
  int ContentWidth() const override { return FNeeded; }

 private:
  int FNeeded = 0;
};

TEST(Win32Form, ContentThatGrowsWidensTheWindowWhereTheUserPutIt) {
  TApplication app{GetModuleFileName()};
  app.Initialize();
  TGrowingForm form;
  form.Show();
  HWND wnd = static_cast<HWND>(form.Handle());
  ::SetWindowPos(wnd, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  form.Need(260);
  RECT window, client;
  ::GetWindowRect(wnd, &window);
  ::GetClientRect(wnd, &client);
  EXPECT_EQ(window.left, 40) << "the window moved";
  EXPECT_EQ(window.top, 30);
  EXPECT_EQ(client.right, 260) << "the client (the border is the frame's)";
  EXPECT_EQ(ChildRectInClient(wnd, static_cast<HWND>(form.Info.Handle())).right, 260);
}

// A form of the test's own, with a label and a one-shot timer like the downloader's.
class TTickForm : public TForm {
 public:
  TTickForm() {
    ClientWidth = 200;
    ClientHeight = 40;
    Info.Align = TAlign::alTop;
    Info.SetCaption("waiting");
    Loaded();
  }
  TLabel Info{*this};
  TTimer Timer;
};

TEST(Win32Timer, FirstTickAfterTheWindowWasShownAndPainted) {
  TApplication app(GetModuleFileName());
  app.Initialize();
  TTickForm* f = nullptr;
  app.CreateForm(f);
  bool visible = false, formPending = true, labelPending = true;
  int ticks = 0;
  f->Timer.SetInterval(1);
  f->Timer.SetOnTimer([&](TComponent*) {
    ++ticks;
    HWND wnd = static_cast<HWND>(f->Handle());
    visible = ::IsWindowVisible(wnd);
    formPending = ::GetUpdateRect(wnd, nullptr, FALSE);
    labelPending = ::GetUpdateRect(static_cast<HWND>(f->Info.Handle()), nullptr, FALSE);
    f->Timer.SetEnabled(false);
    Application->Terminate();
  });
  app.Run();
  EXPECT_EQ(ticks, 1);
  EXPECT_TRUE(visible);
  EXPECT_FALSE(formPending);
  EXPECT_FALSE(labelPending);
}

TEST(Win32Timer, ASilentExceptionOfOnTimerDoesNotUnwindThroughTheLoop) {
  TApplication app(GetModuleFileName());
  TTimer timer;
  int ticks = 0;
  timer.SetInterval(1);
  timer.SetOnTimer([&](TComponent*) {
    if (++ticks == 1) throw EAbort("silent");
    timer.SetEnabled(false);
    Application->Terminate();
  });
  app.Run();
  EXPECT_EQ(ticks, 2);
}

}  // namespace
