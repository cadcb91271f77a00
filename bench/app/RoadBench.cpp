// The whole road of one archive as the program takes it, timed: size probe (Head), download
// into memory (Get; with "file" into a temporary file in the temporary folder, as the program
// takes an archive past its memory limit), extraction below the current directory into the
// setup folder, and removal of that folder. Responsive waiting is active, as in the window. With
// a file of archive keys, the road of a program built with them: the signature "<url>.sig"
// fetched and accepted after the probe, and the downloaded archive checked against it (SHA-256)
// before it is opened.
// Usage: road_bench <url> [memory|file] [<archive keys file>]
// Prints: road_seconds=<s> head=<s> signature=<s> get=<s> check=<s> extract=<s> remove=<s>
//         bytes=<n> cpu_seconds=<s> peak_rss_kib=<KiB>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "ProcessUsage.h"
#include "app/IdAntiFreeze.h"
#include "app/platform/FolderHelpers.h"
#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/MemoryStream.h"
#include "base/TemporaryFileStream.h"
#include "http/IdHTTP.h"
#include "trust/ArchiveVerifier.h"
#include "ui/Application.h"
#include "zip/ZipFile.h"

namespace {

const std::string kSetupFolder = "Plenwick Setup (64-bit)\\";

}  // namespace

int main(int argc, char** argv) {
  bool toFile = false;
  const char* keysFile = nullptr;
  bool usage = argc < 2;
  for (int i = 2; i < argc && !usage; ++i) {
    if (std::strcmp(argv[i], "file") == 0 || std::strcmp(argv[i], "memory") == 0)
      toFile = std::strcmp(argv[i], "file") == 0;
    else if (!keysFile)
      keysFile = argv[i];
    else
      usage = true;
  }
  if (usage) {
    std::fprintf(stderr, "usage: %s <url> [memory|file] [<archive keys file>]\n", argv[0]);
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
    std::optional<TArchiveVerifier> verifier;
    if (keysFile) {
      std::ifstream keys(keysFile, std::ios::binary);
      verifier.emplace(ParseArchiveKeys(std::string(std::istreambuf_iterator<char>(keys), {})));
    }
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();

    http.Head(argv[1]);
    const int64_t announced = http.Response().ContentLength;
    const double head = since(start);

    auto t = Clock::now();
    std::optional<TArchiveSignature> signature;
    if (verifier) {
      TMemoryStream file;
      http.Get(std::string(argv[1]) + ".sig", &file);
      const std::string url = argv[1];
      signature = verifier->Accept(std::string_view(reinterpret_cast<const char*>(file.Memory()),
                                                    static_cast<size_t>(file.Size())),
                                   url.substr(url.find_last_of('/') + 1), announced);
    }
    const double signatureTime = since(t);

    t = Clock::now();
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
    if (verifier) verifier->Check(*signature, stream);
    const double check = since(t);

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
        "road_seconds=%.4f head=%.4f signature=%.4f get=%.4f check=%.4f extract=%.4f "
        "remove=%.4f bytes=%lld cpu_seconds=%.4f peak_rss_kib=%ld\n",
        since(start), head, signatureTime, get, check, extract, remove,
        static_cast<long long>(stream.Size()), CpuSeconds() - cpuBefore, PeakRssKiB());
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
