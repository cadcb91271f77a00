// What holding many extracted files costs: N small files (default 20,000, in folders of 10) are
// written untimed, then each is held as the sequence holds it (the platform's HoldFile, read
// back against its CRC-32 through THeldFiles), and then let go. Builds natively and for Windows
// (run under Wine by hand: wine hold_bench.exe <folder> [files]).
// Prints: files=<n> hold_s=<s> release_s=<s> handles_before=<n> handles_held=<n>
#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/HeldFiles.h"
#include "app/platform/FolderHelpers.h"
#include "app/platform/SetupPlatform.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"

namespace {

// The process's open handles (Windows) or descriptors (natively).
long OpenHandles() {
#ifdef _WIN32
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return static_cast<long>(count);
#else
  long count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir))
      ++count;
    ::closedir(dir);
  }
  return count - 3;  // ".", ".." and the listing's own
#endif
}

double Since(std::chrono::steady_clock::time_point AStart) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - AStart).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [files]\n", argv[0]);
    return 2;
  }
  const std::string root = std::string(argv[1]) + "\\";
  const int files = argc > 2 ? std::atoi(argv[2]) : 20000;
  DeleteFolder(root);
  if (!CreatePrivateFolder(root)) {
    std::fprintf(stderr, "cannot create %s\n", root.c_str());
    return 1;
  }
  struct TFile {
    std::string Path;
    uint32_t Crc;
    uint64_t Size;
  };
  std::vector<TFile> written;
  for (int i = 0; i < files; ++i) {
    const std::string folder = root + "d" + std::to_string(i / 10) + "\\";
    if (i % 10 == 0) CreateDir(folder);
    const std::string path = folder + "f" + std::to_string(i) + ".dat";
    const std::string content = "file " + std::to_string(i) + std::string(200, 'x');
    TFileStream out(path, TFileStream::TMode::fmCreate);
    out.WriteBuffer(content.data(), static_cast<int64_t>(content.size()));
    written.push_back({path,
                       static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0),
                                                   reinterpret_cast<const Bytef*>(content.data()),
                                                   static_cast<uInt>(content.size()))),
                       content.size()});
  }
  const std::unique_ptr<TSetupPlatform> platform = CreateSystemPlatform();
  const long before = OpenHandles();
  THeldFiles held;
  const auto start = std::chrono::steady_clock::now();
  for (const TFile& file : written)
    held.Hold(platform->HoldFile(file.Path), file.Path, file.Size, file.Crc);
  const double hold = Since(start);
  const long during = OpenHandles();
  const auto released = std::chrono::steady_clock::now();
  held.Release();
  const double release = Since(released);
  std::printf("files=%d hold_s=%.3f release_s=%.3f handles_before=%ld handles_held=%ld\n", files,
              hold, release, before, during);
  DeleteFolder(root);
  return 0;
}
