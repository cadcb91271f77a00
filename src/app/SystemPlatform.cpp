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
  void CreateFolder(const std::string& path) override { CreateDir(path); }
  void Sleep(unsigned milliseconds) override { SleepMilliseconds(milliseconds); }
  double Now() override { return ::Now(); }
  bool LaunchElevated(TWinHandle parent, const std::string& file,
                      TProcessHandle& process) override {
    return ::LaunchElevated(parent, file, process);
  }
  bool GetProcessExitCode(TProcessHandle process, uint32_t& exitCode) override {
    return ::GetProcessExitCode(process, exitCode);
  }
  void CloseProcessHandle(TProcessHandle process) override { ::CloseProcessHandle(process); }
  bool FolderExists(const std::string& path) override { return ::FolderExists(path); }
  bool DeleteFolder(const std::string& path) override { return ::DeleteFolder(path); }
};

}  // namespace

std::unique_ptr<TSetupPlatform> CreateSystemPlatform() {
  return std::make_unique<TSystemPlatform>();
}
