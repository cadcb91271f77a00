#include "app/FolderHelpers.h"
#include "app/InstallerLaunch.h"
#include "app/SetupPlatform.h"
#include "app/SystemClock.h"
#include "base/DateTime.h"
#include "base/FileSystem.h"

namespace {

class TSystemPlatform final : public TSetupPlatform {
 public:
  std::string ModuleFileName() override { return GetModuleFileName(); }
  std::string CurrentDir() override { return GetCurrentDir(); }
  bool CreateFolder(const std::string& path) override { return CreateDir(path); }
  void Sleep(unsigned milliseconds) override { SleepMilliseconds(milliseconds); }
  double Now() override { return ::Now(); }
  bool LaunchElevated(TWinHandle parent, const std::string& file, TProcess& process,
                      int& error) override {
    TProcessHandle handle = 0;
    const bool started = ::LaunchElevated(parent, file, handle, error);
    process = OwnProcess(handle);
    return started;
  }
  bool GetProcessExitCode(TProcessHandle process, uint32_t& exitCode) override {
    return ::GetProcessExitCode(process, exitCode);
  }
  void CloseProcessHandle(TProcessHandle process) override { ::CloseProcessHandle(process); }
  bool FolderExists(const std::string& path) override { return ::FolderExists(path); }
  bool DeleteFolder(const std::string& path) override { return ::DeleteFolder(path); }
  TPathKind PathKind(const std::string& path) override { return ::PathKind(path); }
};

}  // namespace

std::unique_ptr<TSetupPlatform> CreateSystemPlatform() {
  return std::make_unique<TSystemPlatform>();
}
