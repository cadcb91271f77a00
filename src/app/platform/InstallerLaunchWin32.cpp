#include <windows.h>  // first: the other platform headers build on it

#include <shellapi.h>

#include "app/CommandLine.h"
#include "app/platform/InstallerLaunch.h"
#include "base/Utf.h"

namespace {

// The system's error code for a failed launch. The shell sets the thread's last error; should
// it not, its own result code says what went wrong: the small values (file or path not found,
// access denied, out of memory, bad format) are the system's codes already.
int LaunchError(const SHELLEXECUTEINFOW& AInfo) {
  if (const DWORD error = ::GetLastError()) return static_cast<int>(error);
  const INT_PTR result = reinterpret_cast<INT_PTR>(AInfo.hInstApp);
  switch (result) {
    case 0:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SE_ERR_SHARE:
      return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
      return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
      return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND:
      return ERROR_DLL_NOT_FOUND;
    default:
      return static_cast<int>(result);
  }
}

}  // namespace

bool LaunchElevated(TWinHandle AParent, const std::string& AFile,
                    const std::vector<std::string>& AArguments, TProcessHandle& AProcess,
                    int& AError) {
  const std::wstring wideFile = ToWide(AFile);
  const std::wstring parameters = ToWide(JoinArguments(AArguments));
  SHELLEXECUTEINFOW info;
  ::ZeroMemory(&info, sizeof(info));
  info.cbSize = sizeof(info);
  info.hwnd = static_cast<HWND>(AParent);
  // Return the process handle, finish the launch before returning, and show no error
  // dialog of the platform's when it fails.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"runas";
  info.lpFile = wideFile.c_str();
  if (!parameters.empty()) info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  ::SetLastError(ERROR_SUCCESS);
  const bool started = ::ShellExecuteExW(&info) != FALSE;
  AProcess = reinterpret_cast<TProcessHandle>(info.hProcess);
  if (!started) AError = LaunchError(info);
  return started;
}

TProcessPoll PollProcess(TProcessHandle AProcess, uint32_t& AExitCode) {
  const auto process = reinterpret_cast<HANDLE>(AProcess);
  switch (::WaitForSingleObject(process, 0)) {
    case WAIT_TIMEOUT:
      return TProcessPoll::ppRunning;
    case WAIT_OBJECT_0: {
      DWORD code = 0;
      if (!::GetExitCodeProcess(process, &code)) return TProcessPoll::ppFailed;
      AExitCode = code;
      return TProcessPoll::ppEnded;
    }
    default:
      return TProcessPoll::ppFailed;
  }
}

void CloseProcessHandle(TProcessHandle AProcess) {
  ::CloseHandle(reinterpret_cast<HANDLE>(AProcess));
}
