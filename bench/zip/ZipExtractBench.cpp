// Loads an archive into memory, as the downloader holds it (or, with "file", into a temporary
// file in the temporary folder, as it holds one past its memory limit), and times Open +
// ExtractAll + Close.
// Usage: zip_extract_bench <archive.zip> <target folder> [memory|file]
// Prints: extract_seconds=<wall s> extract_cpu_seconds=<user + system s> rss_growth_kib=<KiB>,
// the last being how much the peak resident size grew during extraction, beyond the archive
// already in memory.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ProcessUsage.h"
#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"
#include "base/MemoryStream.h"
#include "base/TemporaryFileStream.h"
#include "zip/ZipFile.h"

int main(int argc, char** argv) {
  const bool toFile = argc == 4 && std::strcmp(argv[3], "file") == 0;
  if (argc < 3 || argc > 4 || (argc == 4 && !toFile && std::strcmp(argv[3], "memory") != 0)) {
    std::fprintf(stderr, "usage: %s <archive.zip> <target folder> [memory|file]\n", argv[0]);
    return 2;
  }
  try {
    std::unique_ptr<TStream> held;
    {
      TFileStream file(FromNativePath(argv[1]), TFileStream::TMode::fmOpenRead);
      if (toFile) {
        held = std::make_unique<TTemporaryFileStream>(GetTempFolder());
        held->CopyFrom(file, file.Size());
      } else {
        auto memory = std::make_unique<TMemoryStream>();
        memory->SetSize(file.Size());
        file.ReadBuffer(memory->Memory(), memory->Size());
        held = std::move(memory);
      }
      held->SetPosition(0);
    }
    TStream& archive = *held;
    std::string target = FromNativePath(argv[2]);
    if (target.back() != '\\') target += '\\';

    const long rssBefore = PeakRssKiB();
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    TZipFile zip;
    zip.Open(archive, TZipMode::zmRead);
    zip.ExtractAll(target);
    zip.Close();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("extract_seconds=%.4f extract_cpu_seconds=%.4f rss_growth_kib=%ld\n", took.count(),
                CpuSeconds() - cpuBefore, PeakRssKiB() - rssBefore);
    return 0;
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
}
