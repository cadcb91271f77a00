// The whole road of one archive as the program takes it, timed: size probe (Head), download
// into memory (Get; with "file" into a temporary file in the temporary folder, as the program
// takes an archive past its memory limit), extraction below the current directory into the
// setup folder, and removal of that folder. Responsive waiting is active, as in the window.
// Usage: road_bench <url> [memory|file]
// Prints: road_seconds=<s> head=<s> get=<s> extract=<s> remove=<s> bytes=<n> cpu_seconds=<s>
//         peak_rss_kib=<KiB>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ProcessUsage.h"
#include "app/FolderHelpers.h"
#include "app/IdAntiFreeze.h"
#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/MemoryStream.h"
#include "base/TemporaryFileStream.h"
#include "http/IdHTTP.h"
#include "ui/Application.h"
#include "zip/ZipFile.h"

namespace {

const std::string kSetupFolder = "Plenwick Setup (64-bit)\\";

}  // namespace

int main(int argc, char** argv) {
  const bool toFile = argc == 3 && std::strcmp(argv[2], "file") == 0;
  if (argc < 2 || argc > 3 || (argc == 3 && !toFile && std::strcmp(argv[2], "memory") != 0)) {
    std::fprintf(stderr, "usage: %s <url> [memory|file]\n", argv[0]);
    return 2;
  }
  using Clock = std::chrono::steady_clock;
  auto since = [](Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
  };
  try {
    TApplication app("RoadBench.exe");
    TIdAntiFreeze antiFreeze;
    antiFreeze.IdleTimeOut = 10;
    TIdHTTP http;
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();

    http.Head(argv[1]);
    const int64_t announced = http.Response().ContentLength;
    const double head = since(start);

    auto t = Clock::now();
    std::unique_ptr<TStream> held;
    if (toFile)
      held = std::make_unique<TTemporaryFileStream>(GetTempFolder());
    else
      held = std::make_unique<TMemoryStream>();
    TStream& stream = *held;
    http.Get(argv[1], &stream);
    const double get = since(t);
    if (stream.Size() != announced) {
      std::fprintf(stderr, "received %lld of %lld bytes\n", static_cast<long long>(stream.Size()),
                   static_cast<long long>(announced));
      return 1;
    }

    t = Clock::now();
    stream.SetPosition(0);
    TZipFile zip;
    zip.Open(stream, TZipMode::zmRead);
    app.ProcessMessages();
    zip.ExtractAll(kSetupFolder);
    zip.Close();
    const double extract = since(t);

    t = Clock::now();
    if (!DeleteFolder(kSetupFolder) || FolderExists(kSetupFolder)) {
      std::fprintf(stderr, "the setup folder was not removed\n");
      return 1;
    }
    const double remove = since(t);

    std::printf(
        "road_seconds=%.4f head=%.4f get=%.4f extract=%.4f remove=%.4f bytes=%lld "
        "cpu_seconds=%.4f peak_rss_kib=%ld\n",
        since(start), head, get, extract, remove, static_cast<long long>(stream.Size()),
        CpuSeconds() - cpuBefore, PeakRssKiB());
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
