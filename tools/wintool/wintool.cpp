// Looks at the windows of another program the way a user would, for the end-to-end runs:
//
//   wintool find   <caption> <timeout-ms>   wait for a visible top-level window; print its
//                                            class, frame buttons, client size, place on the
//                                            screen, and each child's text and place in the
//                                            client area
//   wintool dialog <caption> <timeout-ms> [button]
//                                            wait for a dialog; print every text it shows
//                                            (line breaks as \r and \n) and every button, then
//                                            press the button (by its label, "&" ignored;
//                                            "OK" when none is named)
//   wintool close  <caption>                ask the window to close (WM_CLOSE)
//   wintool gone   <caption> <timeout-ms>   wait until no visible window has that caption
//   wintool watch  <caption> <timeout-ms> [bar]
//                                            wait for the window, then print each new text of
//                                            its status line with the Unix time it was first
//                                            seen (polled every 5 ms), until the window hides;
//                                            with "bar" also each new position of its progress
//                                            bar (asked of the program, so it must answer)
//   wintool closeon <caption> <text> <delay-ms> <timeout-ms>
//                                            wait until the window's status line shows the
//                                            text, wait delay-ms more, then print whether the
//                                            window answers a message within 2 s
//                                            (answered=yes|no) and ask it to close (WM_CLOSE)
//   wintool version <program>                print the program's version resource as the
//                                            system reads it: fixed versions, translation and
//                                            the strings of its first string table
//   wintool credentials <caption> <timeout-ms> <user> <password> <remember:0|1> <ok|cancel>
//                                            wait for the system's credential dialog (a dialog
//                                            box with that caption); print its texts, type the
//                                            user name and password, set "remember", and press
//                                            OK or Cancel
//   wintool run <timeout-ms> <command line>  start a program with exactly that command line (its
//                                            file first) in the current folder; print the caption
//                                            of every window of it that becomes visible
//                                            (window=..., polled every 5 ms) and, once it has
//                                            ended, its whole exit code (exitcode=...); exit code
//                                            1 when it has not ended in time (it is ended then)
//   wintool credwrite <target> <user> <password>
//                                            keep a generic credential in the Credential Manager
//   wintool credread <target>                print its user and password (exit code 1: none)
//   wintool creddelete <target>              remove it (exit code 0 also when there was none)
//
// Exit code 0 on success, 1 when the window did not appear (or did not go) in time, or the
// program has no readable version resource.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <wincred.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

// One line of output per text: line breaks and backslashes are written as \r, \n and \\.
std::string Escaped(const std::wstring& text) {
  std::string out;
  for (char c : Utf8(text)) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[4096];
  DWORD_PTR len = 0;
  if (!::SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 2000, &len))
    return {};
  return std::wstring(buffer, static_cast<size_t>(len));
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[256];
  const int n = ::GetClassNameW(hwnd, buffer, 256);
  return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

struct Search {
  const wchar_t* caption;
  HWND found;
};

// A top-level window's caption, read without sending it a message: a program busy in a
// blocking call must not stall the search.
std::wstring CaptionOf(HWND hwnd) {
  wchar_t buffer[1024];
  const int n = ::GetWindowTextW(hwnd, buffer, 1024);
  return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

BOOL CALLBACK FindTop(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!::IsWindowVisible(hwnd)) return TRUE;
  if (CaptionOf(hwnd) == search->caption) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND WaitFor(const wchar_t* caption, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    Search search{caption, nullptr};
    ::EnumWindows(FindTop, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (::GetTickCount64() >= end) return nullptr;
    ::Sleep(50);
  }
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND hwnd) {
  std::vector<HWND> children;
  ::EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

int Find(const wchar_t* caption, DWORD timeoutMs) {
  HWND hwnd = WaitFor(caption, timeoutMs);
  if (!hwnd) return 1;
  const LONG style = ::GetWindowLongW(hwnd, GWL_STYLE);
  RECT client{};
  ::GetClientRect(hwnd, &client);
  std::printf("class=%s\nminimizebox=%d\nmaximizebox=%d\nsysmenu=%d\nclient=%ldx%ld\n",
              Utf8(ClassOf(hwnd)).c_str(), (style & WS_MINIMIZEBOX) ? 1 : 0,
              (style & WS_MAXIMIZEBOX) ? 1 : 0, (style & WS_SYSMENU) ? 1 : 0,
              client.right - client.left, client.bottom - client.top);
  RECT window{};
  ::GetWindowRect(hwnd, &window);
  std::printf("window=%ld,%ld,%ld,%ld\n", window.left, window.top, window.right - window.left,
              window.bottom - window.top);
  for (HWND child : ChildrenOf(hwnd))
    std::printf("child=%s|%s\n", Utf8(ClassOf(child)).c_str(), Escaped(TextOf(child)).c_str());
  // Where each child sits in the client area.
  for (HWND child : ChildrenOf(hwnd)) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    std::printf("rect=%s|%ld,%ld,%ld,%ld\n", Utf8(ClassOf(child)).c_str(), r.left, r.top,
                r.right - r.left, r.bottom - r.top);
  }
  return 0;
}

// A button's label as it reads, without the "&" that marks its access key.
std::wstring Label(const std::wstring& text) {
  std::wstring label;
  for (wchar_t c : text)
    if (c != L'&') label += c;
  return label;
}

int Dialog(const wchar_t* caption, DWORD timeoutMs, const wchar_t* button) {
  HWND hwnd = WaitFor(caption, timeoutMs);
  if (!hwnd) return 1;
  ::Sleep(200);  // let the dialog finish creating its controls
  HWND pressed = nullptr;
  for (HWND child : ChildrenOf(hwnd)) {
    const std::wstring text = TextOf(child);
    if (text.empty()) continue;
    const std::wstring cls = ClassOf(child);
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
      std::printf("button=%s\n", Escaped(text).c_str());
      if (Label(text) == button) pressed = child;
    } else {
      std::printf("text=%s\n", Escaped(text).c_str());
    }
  }
  std::fflush(stdout);
  if (pressed)
    ::PostMessageW(pressed, BM_CLICK, 0, 0);
  else if (std::wcscmp(button, L"OK") == 0)
    ::PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
  else
    return 1;
  return 0;
}

struct Watched {
  DWORD process;
  std::vector<HWND>* seen;
};

BOOL CALLBACK CollectVisible(HWND hwnd, LPARAM param) {
  auto* watched = reinterpret_cast<Watched*>(param);
  DWORD process = 0;
  ::GetWindowThreadProcessId(hwnd, &process);
  if (process != watched->process || !::IsWindowVisible(hwnd)) return TRUE;
  for (HWND known : *watched->seen)
    if (known == hwnd) return TRUE;
  watched->seen->push_back(hwnd);
  std::printf("window=%s\n", Escaped(CaptionOf(hwnd)).c_str());
  std::fflush(stdout);
  return TRUE;
}

int Run(DWORD timeoutMs, const wchar_t* commandLine) {
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    std::printf("error=%lu\n", ::GetLastError());
    return 2;
  }
  ::CloseHandle(info.hThread);
  // For a test that ends the program as the task manager would.
  std::printf("pid=%lu\n", info.dwProcessId);
  std::fflush(stdout);
  std::vector<HWND> seen;
  Watched watched{info.dwProcessId, &seen};
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    ::EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&watched));
    if (::WaitForSingleObject(info.hProcess, 5) == WAIT_OBJECT_0) break;
    if (::GetTickCount64() >= end) {
      ::TerminateProcess(info.hProcess, 1);
      ::CloseHandle(info.hProcess);
      std::printf("timeout\n");
      return 1;
    }
  }
  DWORD code = 0;
  ::GetExitCodeProcess(info.hProcess, &code);
  ::CloseHandle(info.hProcess);
  std::printf("exitcode=%lu\n", code);
  return 0;
}

int Close(const wchar_t* caption) {
  HWND hwnd = WaitFor(caption, 0);
  if (!hwnd) return 1;
  ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
  return 0;
}

int Gone(const wchar_t* caption, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (WaitFor(caption, 0)) {
    if (::GetTickCount64() >= end) return 1;
    ::Sleep(50);
  }
  return 0;
}

// Seconds since 1970, to be set beside the times in the distribution server's log.
double UnixSeconds() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  const ULONGLONG t = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<double>(t - 116444736000000000ULL) / 1e7;
}

// The window's status line: its first static control.
HWND StatusLineOf(HWND hwnd) {
  for (HWND child : ChildrenOf(hwnd))
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) return child;
  return nullptr;
}

// The text as the system keeps it, read without a message to the (possibly busy) program.
std::wstring KeptTextOf(HWND hwnd) {
  wchar_t buffer[1024];
  const int n = ::InternalGetWindowText(hwnd, buffer, 1024);
  return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// The window's progress bar.
HWND ProgressBarOf(HWND hwnd) {
  for (HWND child : ChildrenOf(hwnd))
    if (_wcsicmp(ClassOf(child).c_str(), L"msctls_progress32") == 0) return child;
  return nullptr;
}

int Watch(const wchar_t* caption, DWORD timeoutMs, bool withBar) {
  HWND hwnd = WaitFor(caption, timeoutMs);
  if (!hwnd) return 1;
  HWND status = StatusLineOf(hwnd);
  if (!status) return 1;
  HWND bar = withBar ? ProgressBarOf(hwnd) : nullptr;
  if (withBar && !bar) return 1;
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  std::wstring last;
  DWORD_PTR lastPosition = 0;
  bool first = true;
  // The text is read as the system keeps it, without a message to the busy program.
  while (::IsWindow(hwnd) && ::IsWindowVisible(hwnd)) {
    const std::wstring text = KeptTextOf(status);
    if (first || text != last) {
      std::printf("time=%.3f text=%s\n", UnixSeconds(), Escaped(text).c_str());
      std::fflush(stdout);
      last = text;
    }
    DWORD_PTR position = 0;
    if (bar && ::SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 100, &position) &&
        (first || position != lastPosition)) {
      std::printf("time=%.3f position=%lu\n", UnixSeconds(), static_cast<unsigned long>(position));
      std::fflush(stdout);
      lastPosition = position;
    }
    first = false;
    if (::GetTickCount64() >= end) return 1;
    ::Sleep(5);
  }
  std::printf("time=%.3f hidden\n", UnixSeconds());
  return 0;
}

int CloseOn(const wchar_t* caption, const wchar_t* text, DWORD delayMs, DWORD timeoutMs) {
  HWND hwnd = WaitFor(caption, timeoutMs);
  if (!hwnd) return 1;
  HWND status = StatusLineOf(hwnd);
  if (!status) return 1;
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (KeptTextOf(status) != text) {
    if (!::IsWindow(hwnd) || ::GetTickCount64() >= end) return 1;
    ::Sleep(5);
  }
  ::Sleep(delayMs);
  DWORD_PTR ignored = 0;
  const bool answered =
      ::SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored) != 0;
  std::printf("answered=%s\n", answered ? "yes" : "no");
  std::fflush(stdout);
  ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
  return 0;
}

std::string VersionText(DWORD high, DWORD low) {
  char text[64];
  std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(high)),
                static_cast<unsigned long>(LOWORD(high)), static_cast<unsigned long>(HIWORD(low)),
                static_cast<unsigned long>(LOWORD(low)));
  return text;
}

int Version(const wchar_t* program) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(program, &ignored);
  if (size == 0) return 1;
  std::vector<BYTE> info(size);
  if (!::GetFileVersionInfoW(program, 0, size, info.data())) return 1;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO))
    return 1;
  std::printf(
      "fileversion=%s\nproductversion=%s\nflagsmask=0x%lX\nflags=0x%lX\nos=0x%lX\n"
      "type=%lu\n",
      VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str(),
      VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str(),
      static_cast<unsigned long>(fixed->dwFileFlagsMask),
      static_cast<unsigned long>(fixed->dwFileFlags), static_cast<unsigned long>(fixed->dwFileOS),
      static_cast<unsigned long>(fixed->dwFileType));

  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translation = nullptr;
  if (!::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation))
    return 1;
  wchar_t table[16];
  std::swprintf(table, 16, L"%04X%04X", translation->language, translation->codePage);
  std::printf("translation=%s\n", Utf8(table).c_str());

  // The names a version resource commonly carries; those the program lacks are not printed.
  const wchar_t* const names[] = {L"CompanyName",  L"FileDescription", L"FileVersion",
                                  L"InternalName", L"LegalCopyright",  L"OriginalFilename",
                                  L"ProductName",  L"ProductVersion",  L"Comments"};
  for (const wchar_t* name : names) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
    wchar_t* value = nullptr;
    if (::VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) &&
        length > 0)
      std::printf("%s=%s\n", Utf8(name).c_str(), Escaped(value).c_str());
  }
  return 0;
}

// A visible dialog box (not the program's own window of the same caption).
BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!::IsWindowVisible(hwnd) || ClassOf(hwnd) != L"#32770") return TRUE;
  if (CaptionOf(hwnd) == search->caption) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

int Credentials(const wchar_t* caption, DWORD timeoutMs, const wchar_t* user,
                const wchar_t* password, bool remember, bool ok) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  Search search{caption, nullptr};
  for (;;) {
    ::EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) break;
    if (::GetTickCount64() >= end) return 1;
    ::Sleep(50);
  }
  HWND dialog = search.found;
  ::Sleep(300);  // let the dialog finish creating its controls
  HWND userEdit = nullptr, passwordEdit = nullptr, check = nullptr;
  for (HWND child : ChildrenOf(dialog)) {
    const std::wstring cls = ClassOf(child);
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(cls.c_str(), L"Edit") == 0) {
      if (style & ES_PASSWORD)
        passwordEdit = child;
      else if (!userEdit)
        userEdit = child;
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
      const LONG kind = style & BS_TYPEMASK;
      if (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX) check = child;
      const std::wstring text = TextOf(child);
      if (!text.empty()) std::printf("button=%s\n", Escaped(text).c_str());
    } else if (_wcsicmp(cls.c_str(), L"Static") == 0) {
      const std::wstring text = TextOf(child);
      if (!text.empty()) std::printf("text=%s\n", Escaped(text).c_str());
    }
  }
  std::fflush(stdout);
  if (!userEdit || !passwordEdit) return 1;
  ::SendMessageW(userEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(user));
  ::SendMessageW(passwordEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password));
  if (check) ::SendMessageW(check, BM_SETCHECK, remember ? BST_CHECKED : BST_UNCHECKED, 0);
  ::PostMessageW(dialog, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
  return 0;
}

int CredWrite(const wchar_t* target, const wchar_t* user, const wchar_t* password) {
  CREDENTIALW credential{};
  credential.Type = CRED_TYPE_GENERIC;
  credential.TargetName = const_cast<wchar_t*>(target);
  credential.UserName = const_cast<wchar_t*>(user);
  credential.CredentialBlob = reinterpret_cast<LPBYTE>(const_cast<wchar_t*>(password));
  credential.CredentialBlobSize = static_cast<DWORD>(std::wcslen(password) * sizeof(wchar_t));
  credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
  return ::CredWriteW(&credential, 0) ? 0 : 1;
}

int CredRead(const wchar_t* target) {
  PCREDENTIALW credential = nullptr;
  if (!::CredReadW(target, CRED_TYPE_GENERIC, 0, &credential)) return 1;
  const std::wstring password(reinterpret_cast<const wchar_t*>(credential->CredentialBlob),
                              credential->CredentialBlobSize / sizeof(wchar_t));
  std::printf("user=%s\npassword=%s\n",
              Escaped(credential->UserName ? credential->UserName : L"").c_str(),
              Escaped(password).c_str());
  ::CredFree(credential);
  return 0;
}

int CredDelete(const wchar_t* target) {
  if (::CredDeleteW(target, CRED_TYPE_GENERIC, 0)) return 0;
  return ::GetLastError() == ERROR_NOT_FOUND ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wcscmp(argv[1], L"find") == 0)
    return Find(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
  if (argc >= 4 && std::wcscmp(argv[1], L"dialog") == 0)
    return Dialog(argv[2], static_cast<DWORD>(_wtoi(argv[3])), argc >= 5 ? argv[4] : L"OK");
  if (argc >= 4 && std::wcscmp(argv[1], L"run") == 0)
    return Run(static_cast<DWORD>(_wtoi(argv[2])), argv[3]);
  if (argc >= 3 && std::wcscmp(argv[1], L"close") == 0) return Close(argv[2]);
  if (argc >= 4 && std::wcscmp(argv[1], L"gone") == 0)
    return Gone(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
  if (argc >= 4 && std::wcscmp(argv[1], L"watch") == 0)
    return Watch(argv[2], static_cast<DWORD>(_wtoi(argv[3])),
                 argc >= 5 && std::wcscmp(argv[4], L"bar") == 0);
  if (argc >= 6 && std::wcscmp(argv[1], L"closeon") == 0)
    return CloseOn(argv[2], argv[3], static_cast<DWORD>(_wtoi(argv[4])),
                   static_cast<DWORD>(_wtoi(argv[5])));
  if (argc >= 3 && std::wcscmp(argv[1], L"version") == 0) return Version(argv[2]);
  if (argc >= 8 && std::wcscmp(argv[1], L"credentials") == 0)
    return Credentials(argv[2], static_cast<DWORD>(_wtoi(argv[3])), argv[4], argv[5],
                       std::wcscmp(argv[6], L"1") == 0, std::wcscmp(argv[7], L"ok") == 0);
  if (argc >= 5 && std::wcscmp(argv[1], L"credwrite") == 0)
    return CredWrite(argv[2], argv[3], argv[4]);
  if (argc >= 3 && std::wcscmp(argv[1], L"credread") == 0) return CredRead(argv[2]);
  if (argc >= 3 && std::wcscmp(argv[1], L"creddelete") == 0) return CredDelete(argv[2]);
  std::fprintf(stderr,
               "usage: wintool find|dialog|close|gone <caption> [timeout-ms] [button]\n"
               "       wintool watch <caption> <timeout-ms> [bar]\n"
               "       wintool run <timeout-ms> <command line>\n"
               "       wintool closeon <caption> <text> <delay-ms> <timeout-ms>\n"
               "       wintool version <program>\n"
               "       wintool credentials <caption> <timeout-ms> <user> <password> <0|1> "
               "<ok|cancel>\n"
               "       wintool credwrite <target> <user> <password>\n"
               "       wintool credread|creddelete <target>\n");
  return 2;
}
