#include <windows.h>  // first: the other platform headers build on it

#include <shellapi.h>

#include <string>

#include "app/FolderHelpers.h"
#include "base/Utf.h"

bool FolderExists(const std::string& path) {
  const std::wstring wide = ToWide(path);
  const DWORD attr = ::GetFileAttributesW(wide.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) {
    switch (::GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_NOT_READY:
      case ERROR_BAD_NETPATH:
      case ERROR_BAD_NET_NAME:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_PATHNAME:
        return false;
      default:
        // Something is there that cannot be looked at (access denied and the like).
        return true;
    }
  }
  if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (attr & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A link counts only when its target can be opened.
    HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
  }
  return true;
}

bool DeleteFolder(const std::string& path) {
  bool result = false;
  if (!FolderExists(path)) return result;
  try {
    // The list of one name, ended by two zero characters. Sized to the path, so a path of any
    // length fits (a fixed buffer of 256 characters would be overrun past 254).
    std::wstring from = ToWide(path);
    from.append(2, L'\0');
    SHFILEOPSTRUCTW op;
    ::ZeroMemory(&op, sizeof(op));
    op.hwnd = nullptr;
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
    result = ::SHFileOperationW(&op) == 0;
  } catch (...) {
    // A failure inside leaves the result as it was.
  }
  return result;
}
