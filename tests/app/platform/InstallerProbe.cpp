// A stand-in installer for the launch tests: it runs until a file named "release" appears in
// its own folder, then exits with the number written in it (42 when it holds none).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int ExitCodeIn(const std::wstring& file) {
  int code = 42;
  if (FILE* f = _wfopen(file.c_str(), L"rb")) {
    if (std::fscanf(f, "%d", &code) != 1) code = 42;
    std::fclose(f);
  }
  return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring release(self, n);
  release.resize(release.find_last_of(L'\\') + 1);
  release += L"release";
  for (int i = 0; i < 6000; ++i) {  // gives up after about a minute
    if (::GetFileAttributesW(release.c_str()) != INVALID_FILE_ATTRIBUTES) {
      ::Sleep(50);  // the file has been written by now
      return ExitCodeIn(release);
    }
    ::Sleep(10);
  }
  return 1;
}
