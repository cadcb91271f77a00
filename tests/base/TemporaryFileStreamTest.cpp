// The temporary file that backs a large archive: a stream like any file, open to this process
// alone, and gone with the stream or with the process, also when the process is killed. A
// helper program (TempFileHolder.cpp) holds one until the test kills it.
#ifdef _WIN32
#include <windows.h>  // before base/FileSystem.h, which takes back GetModuleFileName
#else
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/TemporaryFileStream.h"
#include "base/Utf.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace {

// A fresh, empty folder below the current directory, removed with what is left in it.
class TTestFolder {
 public:
  explicit TTestFolder(const std::string& leaf)
      // Named after the test too: ctest runs the tests side by side.
      : FPath(GetCurrentDir() + "\\" + leaf + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name()) {
    std::filesystem::remove_all(Native());
    std::filesystem::create_directories(Native());
  }
  ~TTestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(Native(), ignored);
  }
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;

  const std::string& Path() const { return FPath; }
  std::filesystem::path Native() const {
#ifdef _WIN32
    return std::filesystem::path(ToWide(FPath));
#else
    return std::filesystem::path(ToNativePath(FPath));
#endif
  }
  // The names in the folder, in no particular order.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Native()))
      names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  std::string FPath;
};

TEST(TemporaryFileStream, IsAStreamLikeAnyFile) {
  TTestFolder folder("tmpfile_stream");
  TTemporaryFileStream file(folder.Path());
  const std::string data = "the archive's bytes";
  file.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  EXPECT_EQ(file.Size(), static_cast<int64_t>(data.size()));
  file.SetPosition(4);
  char part[7] = {};
  file.ReadBuffer(part, 7);
  EXPECT_EQ(std::string(part, 7), "archive");
  file.SetSize(3);
  EXPECT_EQ(file.Size(), 3);
  EXPECT_EQ(file.Position(), 3);
  // Past the end: what lies between reads as zeros.
  file.SetPosition(10);
  file.WriteBuffer("!", 1);
  file.SetPosition(0);
  std::string all(11, '?');
  file.ReadBuffer(all.data(), 11);
  EXPECT_EQ(all, std::string("the") + std::string(7, '\0') + "!");
}

// While it lives, nothing else may open it (Windows: its name is in the folder, and opening it
// fails; natively it has no name at all); afterwards the folder is as empty as before.
TEST(TemporaryFileStream, IsThisProcesssAloneAndGoesWithTheStream) {
  TTestFolder folder("tmpfile_alone");
  {
    TTemporaryFileStream file(folder.Path());
    file.WriteBuffer("x", 1);
#ifdef _WIN32
    const std::vector<std::string> names = folder.Names();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(file.FileName(), folder.Path() + "\\" + names[0]);
    for (const DWORD share :
         {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
      const HANDLE other = ::CreateFileW(ToWide(file.FileName()).c_str(), GENERIC_READ, share,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
      EXPECT_EQ(other, INVALID_HANDLE_VALUE);
      if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
    }
#else
    EXPECT_TRUE(folder.Names().empty());
    EXPECT_EQ(file.FileName(), folder.Path());
#endif
  }
  EXPECT_TRUE(folder.Names().empty());
}

TEST(TemporaryFileStream, AFolderThatIsNotThereIsNamedInTheFailure) {
  const std::string missing = GetCurrentDir() + "\\no_such_folder_for_temporary_files";
  try {
    TTemporaryFileStream file(missing);
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    const std::string prefix = "Cannot create file \"" + missing + "\". ";
    EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(e.Message().size(), prefix.size());
  }
}

// The helper program beside this test program.
std::string HolderProgram() {
  const std::string self = GetModuleFileName();
#ifdef _WIN32
  return self.substr(0, self.rfind('\\') + 1) + "temp_file_holder.exe";
#else
  return ToNativePath(self.substr(0, self.rfind('\\') + 1) + "temp_file_holder");
#endif
}

// A started holder, killed at the latest when the test ends.
class THolder {
 public:
  THolder(const std::string& AFolder, int64_t ABytes, const std::string& AMarker) {
#ifdef _WIN32
    std::wstring command = L"\"" + ToWide(HolderProgram()) + L"\" \"" + ToWide(AFolder) + L"\" " +
                           std::to_wstring(ABytes) + L" \"" + ToWide(AMarker) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &info)) {
      ::CloseHandle(info.hThread);
      FProcess = info.hProcess;
    }
#else
    const std::string bytes = std::to_string(ABytes);
    const std::string program = HolderProgram();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(AFolder.c_str()),
                    const_cast<char*>(bytes.c_str()), const_cast<char*>(AMarker.c_str()), nullptr};
    if (::posix_spawn(&FPid, program.c_str(), nullptr, nullptr, argv, environ) != 0) FPid = 0;
#endif
  }
  ~THolder() {
    Kill();
  }
  THolder(const THolder&) = delete;
  THolder& operator=(const THolder&) = delete;

  bool Started() const {
#ifdef _WIN32
    return FProcess != nullptr;
#else
    return FPid > 0;
#endif
  }
  // Kills it as a crash or the task manager would, and waits until it is gone.
  void Kill() {
#ifdef _WIN32
    if (!FProcess) return;
    ::TerminateProcess(FProcess, 9);
    ::WaitForSingleObject(FProcess, 30000);
    ::CloseHandle(FProcess);
    FProcess = nullptr;
#else
    if (FPid <= 0) return;
    ::kill(FPid, SIGKILL);
    int status = 0;
    ::waitpid(FPid, &status, 0);
    FPid = 0;
#endif
  }

 private:
#ifdef _WIN32
  HANDLE FProcess = nullptr;
#else
  pid_t FPid = 0;
#endif
};

bool WaitFor(const std::string& AFile) {
  for (int i = 0; i < 3000 && !FileExists(AFile); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return FileExists(AFile);
}

#ifndef _WIN32
// A small tmpfs on the folder for the length of a test, so that its free space shows what the
// file takes (root only; elsewhere the test is skipped).
class TScratchVolume {
 public:
  explicit TScratchVolume(const std::string& AFolder) : FNative(ToNativePath(AFolder)) {
    FMounted = ::mount("tmpfs", FNative.c_str(), "tmpfs", 0, "size=32m") == 0;
  }
  ~TScratchVolume() {
    if (FMounted) ::umount2(FNative.c_str(), MNT_DETACH);
  }
  TScratchVolume(const TScratchVolume&) = delete;
  TScratchVolume& operator=(const TScratchVolume&) = delete;
  bool Mounted() const { return FMounted; }

 private:
  std::string FNative;
  bool FMounted = false;
};
#endif

// Killed while it holds 8 MiB in its temporary file, the process leaves nothing behind: the
// folder holds only the holder's marker, and (natively, on a volume of its own) the space is
// free again.
TEST(TemporaryFileStream, IsGoneAfterTheProcessIsKilled) {
  TTestFolder folder("tmpfile_kill");
#ifndef _WIN32
  TScratchVolume volume(folder.Path());
  if (!volume.Mounted()) GTEST_SKIP() << "cannot mount a scratch tmpfs here (needs root)";
#endif
  const std::string marker = folder.Path() + "\\ready";
  constexpr int64_t kBytes = int64_t{8} << 20;
  TVolumeSpace before, held, after;
  ASSERT_TRUE(GetVolumeSpace(folder.Path(), before));
  THolder holder(folder.Path(), kBytes, marker);
  ASSERT_TRUE(holder.Started()) << HolderProgram();
  ASSERT_TRUE(WaitFor(marker));
#ifdef _WIN32
  EXPECT_EQ(folder.Names().size(), 2u);  // the marker and the file
#else
  ASSERT_TRUE(GetVolumeSpace(folder.Path(), held));
  EXPECT_LE(held.Free, before.Free - kBytes);
#endif
  holder.Kill();
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"ready"});
  ASSERT_TRUE(GetVolumeSpace(folder.Path(), after));
#ifndef _WIN32
  EXPECT_GE(after.Free, before.Free - (int64_t{64} << 10));  // the marker's page or so
#endif
}

}  // namespace
