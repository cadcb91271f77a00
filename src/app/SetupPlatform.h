#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/ProcessHandle.h"
#include "ui/Control.h"

// The platform operations the download-and-install sequence makes, in one place so that tests
// can play the platform.
class TSetupPlatform {
 public:
  virtual ~TSetupPlatform() = default;

  // The running executable's full path.
  virtual std::string ModuleFileName() = 0;
  // Creates one folder level; whether it worked is not looked at.
  virtual void CreateFolder(const std::string& path) = 0;
  virtual void Sleep(unsigned milliseconds) = 0;
  // The current local date and time: days since 1899-12-30, the time of day as the fraction.
  virtual double Now() = 0;

  // The installer launch and folder helpers (InstallerLaunch.h, FolderHelpers.h).
  virtual bool LaunchElevated(TWinHandle parent, const std::string& file,
                              TProcessHandle& process) = 0;
  virtual bool GetProcessExitCode(TProcessHandle process, uint32_t& exitCode) = 0;
  virtual void CloseProcessHandle(TProcessHandle process) = 0;
  virtual bool FolderExists(const std::string& path) = 0;
  virtual bool DeleteFolder(const std::string& path) = 0;
};

// The real platform of this build.
std::unique_ptr<TSetupPlatform> CreateSystemPlatform();
