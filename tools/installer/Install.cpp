// A stand-in for the real Plenwick installer, used by the demo and the end-to-end runs.
//
// It records how it was started (its command line, and the arguments CommandLineToArgvW reads
// from it: "argc" and "arg1", "arg2", ...), and the names in its own folder, in
// "install-report.txt" in the folder above its own (outside the setup folder, which the downloader
// removes), then exits with the code written in "exitcode.txt" beside it (0 when that file is
// missing). When "delay-ms.txt" lies beside it, it first waits that many milliseconds, so a run can
// be watched or interrupted. What "leave-behind.txt" lists is left in its folder (LeaveBehind.h).
// It also records whether its own file could be opened to be renamed or removed while it runs
// ("selfreplace"): the system keeps a running program from being written, but not from being
// renamed and replaced, and the downloader holds the installer against both from its check until
// the installer has ended.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "LeaveBehind.h"

namespace {

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

long ReadNumber(const std::wstring& file, long fallback) {
  FILE* f = _wfopen(file.c_str(), L"rb");
  if (!f) return fallback;
  long value = fallback;
  if (std::fscanf(f, "%ld", &value) != 1) value = fallback;
  std::fclose(f);
  return value;
}

bool IsElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool ok =
      ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
      elevation.TokenIsElevated;
  ::CloseHandle(token);
  return ok;
}

// Whether the file can be opened now to be renamed or removed (nothing is done to it): "allowed"
// or "denied".
const char* ReplaceAccess(const std::wstring& path) {
  const HANDLE file =
      ::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "denied";
  ::CloseHandle(file);
  return "allowed";
}

std::string Utf8(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

// The names in the folder (its top level), sorted, separated by ",".
std::wstring Listing(const std::wstring& folder) {
  std::wstring names;
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  std::vector<std::wstring> all;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") all.push_back(name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  std::sort(all.begin(), all.end());
  for (const std::wstring& name : all)
    names += (names.empty() ? L"" : L",") + name;
  return names;
}

// The files below the folder, sub-folders included, by their paths relative to it with "/"
// separators.
void CollectFiles(const std::wstring& folder, const std::wstring& prefix,
                  std::vector<std::wstring>& files) {
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      CollectFiles(folder + name + L"\\", prefix + name + L"/", files);
    else
      files.push_back(prefix + name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
}

// Every file below the folder, sorted, separated by ",": the names as Windows reads them.
std::wstring Tree(const std::wstring& folder) {
  std::vector<std::wstring> files;
  CollectFiles(folder, L"", files);
  std::sort(files.begin(), files.end());
  std::wstring names;
  for (const std::wstring& name : files)
    names += (names.empty() ? L"" : L",") + name;
  return names;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t buffer[32768];
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, 32768);
  const std::wstring self(buffer, n);
  const DWORD m = ::GetCurrentDirectoryW(32768, buffer);
  const std::wstring cwd(buffer, m);
  const std::wstring folder = FolderOf(self);

  const long delay = ReadNumber(folder + L"delay-ms.txt", 0);
  const long exitCode = ReadNumber(folder + L"exitcode.txt", 0);

  // Written before the wait, so a run that is cut short still shows that the installer started.
  const std::wstring parent =
      folder.size() > 1 ? FolderOf(folder.substr(0, folder.size() - 1)) : L"";
  const std::wstring reportName = parent + L"install-report.txt";
  if (FILE* report = _wfopen(reportName.c_str(), L"wb")) {
    std::fprintf(report,
                 "ran=yes\npath=%s\ncwd=%s\nelevated=%s\nexitcode=%ld\nfiles=%s\nselfreplace=%s\n",
                 Utf8(self).c_str(), Utf8(cwd).c_str(), IsElevated() ? "yes" : "no", exitCode,
                 Utf8(Listing(folder)).c_str(), ReplaceAccess(self));
    std::fprintf(report, "tree=%s\n", Utf8(Tree(folder)).c_str());
    const wchar_t* commandLine = ::GetCommandLineW();
    std::fprintf(report, "commandline=%s\n", Utf8(commandLine).c_str());
    int count = 0;
    if (wchar_t** arguments = ::CommandLineToArgvW(commandLine, &count)) {
      std::fprintf(report, "argc=%d\n", count - 1);
      for (int i = 1; i < count; ++i)
        std::fprintf(report, "arg%d=%s\n", i, Utf8(arguments[i]).c_str());
      ::LocalFree(arguments);
    }
    std::fclose(report);
  }
  if (delay > 0) ::Sleep(static_cast<DWORD>(delay));
  LeaveBehind(folder);
  if (FILE* report = _wfopen(reportName.c_str(), L"ab")) {
    std::fprintf(report, "finished=yes\n");
    std::fclose(report);
  }
  return static_cast<int>(exitCode);
}
