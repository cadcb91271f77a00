// Loads an archive into memory, as the downloader holds it, and times Open + ExtractAll + Close.
// Usage: zip_extract_bench <archive.zip> <target folder>
// Prints: extract_seconds=<wall s> extract_cpu_seconds=<user + system s> rss_growth_kib=<KiB>,
// the last being how much the peak resident size grew during extraction, beyond the archive
// already in memory.
#include <chrono>
#include <cstdio>
#include <string>

#include "ProcessUsage.h"
#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"
#include "base/MemoryStream.h"
#include "zip/ZipFile.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <archive.zip> <target folder>\n", argv[0]);
    return 2;
  }
  try {
    TMemoryStream archive;
    {
      TFileStream file(FromNativePath(argv[1]), TFileStream::TMode::fmOpenRead);
      archive.SetSize(file.Size());
      file.ReadBuffer(archive.Memory(), archive.Size());
    }
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
