#include "app/platform/FolderHelpers.h"
#include "app/platform/InstallerLaunch.h"
#include "app/platform/SetupPlatform.h"
#include "base/DateTime.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"
#include "base/TemporaryFileStream.h"
#include "download/SystemClock.h"

namespace {

class TSystemPlatform final : public TSetupPlatform {
 public:
  std::string ModuleFileName() override { return GetModuleFileName(); }
  std::string CurrentDir() override { return GetCurrentDir(); }
  bool CreateFolder(const std::string& APath) override { return ::CreatePrivateFolder(APath); }
  void Sleep(unsigned AMilliseconds) override { SleepMilliseconds(AMilliseconds); }
  uint64_t TickCount() override { return TickCountMilliseconds(); }
  double Now() override { return ::Now(); }
  bool LaunchElevated(TWinHandle AParent, const std::string& AFile,
                      const std::vector<std::string>& AArguments, TProcess& AProcess,
                      int& AError) override {
    TProcessHandle handle = 0;
    const bool started = ::LaunchElevated(AParent, AFile, AArguments, handle, AError);
    AProcess = OwnProcess(handle);
    return started;
  }
  TProcessPoll PollProcess(TProcessHandle AProcess, uint32_t& AExitCode) override {
    return ::PollProcess(AProcess, AExitCode);
  }
  void CloseProcessHandle(TProcessHandle AProcess) override { ::CloseProcessHandle(AProcess); }
  bool FolderExists(const std::string& APath) override { return ::FolderExists(APath); }
  bool DeleteFolder(const std::string& APath) override { return ::DeleteFolder(APath); }
  TPathKind PathKind(const std::string& APath) override { return ::PathKind(APath); }
  std::unique_ptr<TStream> HoldFile(const std::string& APath) override {
    return std::make_unique<TFileStream>(APath, TFileStream::TMode::fmOpenRead);
  }
  std::string TempFolder() override { return GetTempFolder(); }
  std::unique_ptr<TStream> CreateTemporaryFile(const std::string& AFolder) override {
    return std::make_unique<TTemporaryFileStream>(AFolder);
  }
  bool VolumeSpace(const std::string& APath, TVolumeSpace& ASpace) override {
    return GetVolumeSpace(APath, ASpace);
  }
};

}  // namespace

std::unique_ptr<TSetupPlatform> CreateSystemPlatform() {
  return std::make_unique<TSystemPlatform>();
}
