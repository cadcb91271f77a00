// A stand-in installer for the launch tests: it runs until a file named "release" appears in
// its own folder, then exits with code 42.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring release(self, n);
  release.resize(release.find_last_of(L'\\') + 1);
  release += L"release";
  for (int i = 0; i < 6000; ++i) {  // gives up after about a minute
    if (::GetFileAttributesW(release.c_str()) != INVALID_FILE_ATTRIBUTES) return 42;
    ::Sleep(10);
  }
  return 1;
}
