#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/platform/FolderHelpers.h"
#include "app/platform/ProcessHandle.h"
#include "base/FileSystem.h"
#include "base/UniqueHandle.h"
#include "download/StorageVolumes.h"
#include "ui/Control.h"

class TSetupPlatform;
class TStream;

// A started process's handle, closed through the platform that gave it.
struct TProcessHandleTraits {
  using Type = TProcessHandle;
  static Type Invalid() { return 0; }
  void Close(Type AProcess) const;
  TSetupPlatform* Platform = nullptr;
};
using TProcess = TUniqueHandle<TProcessHandleTraits>;

// The platform operations the download-and-install sequence makes, in one place so that tests
// can play the platform.
class TSetupPlatform : public TStorageVolumes {
 public:
  virtual ~TSetupPlatform() = default;

  // The running executable's full path.
  virtual std::string ModuleFileName() = 0;
  // The process's current directory, absolute; empty when it cannot be told.
  virtual std::string CurrentDir() = 0;
  // Creates one folder level that only the user, SYSTEM and the Administrators may open, and
  // what is made below it inherits that (CreatePrivateFolder); False when it could not be
  // created (also when something is there).
  virtual bool CreateFolder(const std::string& APath) = 0;
  virtual void Sleep(unsigned AMilliseconds) = 0;
  // Milliseconds of a clock that only goes forward, for measuring waits.
  virtual uint64_t TickCount() = 0;
  // The current local date and time: days since 1899-12-30, the time of day as the fraction.
  virtual double Now() = 0;

  // The installer launch and folder helpers (InstallerLaunch.h, FolderHelpers.h). A launch
  // that fails leaves process empty and error set to the system's error code. The installer gets
  // AArguments as its parameters.
  virtual bool LaunchElevated(TWinHandle AParent, const std::string& AFile,
                              const std::vector<std::string>& AArguments, TProcess& AProcess,
                              int& AError) = 0;
  virtual TProcessPoll PollProcess(TProcessHandle AProcess, uint32_t& AExitCode) = 0;
  virtual void CloseProcessHandle(TProcessHandle AProcess) = 0;
  virtual bool FolderExists(const std::string& APath) = 0;
  virtual bool DeleteFolder(const std::string& APath) = 0;
  virtual TPathKind PathKind(const std::string& APath) = 0;
  // Opens a file for reading that nobody may write, rename or delete while it is open: the
  // system's own read sharing only (Windows). Natively a plain open for reading, which keeps
  // nobody out. Raises EFOpenError when it cannot be opened.
  virtual std::unique_ptr<TStream> HoldFile(const std::string& APath) = 0;

  // The temporary folder, its files and the volumes' space are TStorageVolumes'.

 protected:
  // The owner of a handle this platform started.
  TProcess OwnProcess(TProcessHandle AProcess) { return TProcess(AProcess, {this}); }
};

inline void TProcessHandleTraits::Close(Type AProcess) const {
  Platform->CloseProcessHandle(AProcess);
}

// The real platform of this build.
std::unique_ptr<TSetupPlatform> CreateSystemPlatform();
