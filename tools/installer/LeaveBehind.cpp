#include "LeaveBehind.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

std::wstring Wide(const std::string& AText) {
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), out.data(), n);
  return out;
}

// Makes every folder on the way to path (the extended form makes them as named, at any depth).
void MakeParents(const std::wstring& APath, size_t AFrom) {
  for (size_t sep = APath.find(L'\\', AFrom); sep != std::wstring::npos;
       sep = APath.find(L'\\', sep + 1))
    ::CreateDirectoryW(APath.substr(0, sep).c_str(), nullptr);
}

}  // namespace

void LeaveBehind(const std::wstring& AFolder) {
  FILE* list = _wfopen((AFolder + L"leave-behind.txt").c_str(), L"rb");
  if (!list) return;
  const std::wstring base = L"\\\\?\\" + AFolder;
  std::vector<std::wstring> readOnly;
  char line[4096];
  while (std::fgets(line, sizeof line, list)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
      text.pop_back();
    const size_t space = text.find(' ');
    if (space == std::string::npos) continue;
    const std::string kind = text.substr(0, space);
    const std::wstring path = base + Wide(text.substr(space + 1));
    MakeParents(path, base.size());
    if (kind == "folder" || kind == "read-only-folder") {
      ::CreateDirectoryW(path.c_str(), nullptr);
    } else {
      const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, "left behind\r\n", 13, &written, nullptr);
        ::CloseHandle(file);
      }
    }
    if (kind.compare(0, 10, "read-only-") == 0) readOnly.push_back(path);
  }
  std::fclose(list);
  for (const std::wstring& path : readOnly)
    ::SetFileAttributesW(path.c_str(),
                         ::GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_READONLY);
}
