// A library planted beside the program under a system library's name is not loaded once the
// search path is restricted; without the restriction it would be (which shows that the test
// can see a planted library at all).

#include <windows.h>

#include <gtest/gtest.h>

#include "app/platform/FolderHelpers.h"
#include "base/FileSystem.h"
#include "base/Utf.h"

namespace {

DWORD RunProbe(const std::wstring& arguments) {
  const std::string exe = ExtractFilePath(GetModuleFileName()) + "planting\\dll_probe.exe";
  std::wstring command = L"\"" + ToWide(exe) + L"\" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
    return 0xFFFFFFFF;
  ::WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 0xFFFFFFFF;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return code;
}

TEST(DllPlanting, PlantedLibrariesAreNotLoadedOnceTheSearchPathIsRestricted) {
  // Wine prefers its own built-in libraries; let a library found on the search path win, as
  // it does on Windows for libraries that are not known to the system.
  wchar_t old[512] = L"";
  ::GetEnvironmentVariableW(L"WINEDLLOVERRIDES", old, 512);
  std::wstring overrides = old;
  overrides += std::wstring(overrides.empty() ? L"" : L";") + L"uxtheme,version=n,b";
  ::SetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides.c_str());

  EXPECT_EQ(RunProbe(L""), 3u) << "without the restriction the planted libraries load";
  EXPECT_EQ(RunProbe(L"restrict"), 0u);

  ::SetEnvironmentVariableW(L"WINEDLLOVERRIDES", old);
}

}  // namespace
