#include <windows.h>  // first: the other platform headers build on it

#include <shellapi.h>

#include "app/InstallerLaunch.h"
#include "base/Utf.h"

bool LaunchElevated(TWinHandle parent, const std::string& file, TProcessHandle& process) {
  const std::wstring wideFile = ToWide(file);
  SHELLEXECUTEINFOW info;
  ::ZeroMemory(&info, sizeof(info));
  info.cbSize = sizeof(info);
  info.hwnd = static_cast<HWND>(parent);
  // Return the process handle, finish the launch before returning, and show no error
  // dialog of the platform's when it fails.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"runas";
  info.lpFile = wideFile.c_str();
  info.nShow = SW_SHOWNORMAL;
  const bool started = ::ShellExecuteExW(&info) != FALSE;
  process = reinterpret_cast<TProcessHandle>(info.hProcess);
  return started;
}

bool GetProcessExitCode(TProcessHandle process, uint32_t& exitCode) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &code)) return false;
  exitCode = code;
  return true;
}

void CloseProcessHandle(TProcessHandle process) {
  ::CloseHandle(reinterpret_cast<HANDLE>(process));
}
