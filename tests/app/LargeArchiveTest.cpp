// A 5 GiB suite through the whole sequence, natively with the real components: the size probe, the
// download into a temporary file (the archive is past the memory limit), the Zip64 directory,
// the extraction of a stored 5 GiB entry, the launch and the removal. The archive is made while
// it is sent and the extracted file is compared byte for byte with what was sent; the process's
// peak memory stays within 64 MiB, and nothing of the archive is left on disk.
//
// About 10 GiB go through the page cache: the test has a CTest label of its own ("large"), run
// once by CI (not under the sanitizers).

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "app/ComponentWiring.h"
#include "app/LoopbackSequence.h"
#include "app/Main.h"
#include "app/ShownFailures.h"
#include "base/FileSystem.h"
#include "download/HTTPDownloadClient.h"
#include "http/HTTPTestSupport.h"
#include "ui/headless/HeadlessApplication.h"
#include "zip/ZipTestSupport.h"

namespace {

constexpr uint64_t kBlock = 65536;
constexpr uint64_t kSuiteSize = uint64_t{5} << 30;
constexpr uint64_t kBlocks = kSuiteSize / kBlock;

// The suite's bytes: block after block of 64 KiB, each starting with its number (so that a
// block out of place shows) followed by the same random bytes.
class TSuiteData {
 public:
  TSuiteData() : FTail(kBlock - 8) {
    uint32_t seed = 77;
    for (uint8_t& b : FTail) {
      seed = seed * 1103515245 + 12345;
      b = static_cast<uint8_t>(seed >> 24);
    }
  }
  // Block n into out (kBlock bytes).
  void Fill(uint64_t n, uint8_t* out) const {
    for (int i = 0; i < 8; ++i)
      out[i] = static_cast<uint8_t>(n >> (8 * i));
    std::copy(FTail.begin(), FTail.end(), out + 8);
  }
  // The CRC-32 of all blocks, from the CRC of the shared part, without going through 5 GiB.
  uint32_t Crc() const {
    const uLong tail = crc32(0, FTail.data(), static_cast<uInt>(FTail.size()));
    uLong crc = crc32(0, Z_NULL, 0);
    for (uint64_t n = 0; n < kBlocks; ++n) {
      uint8_t head[8];
      for (int i = 0; i < 8; ++i)
        head[i] = static_cast<uint8_t>(n >> (8 * i));
      const uLong block =
          crc32_combine(crc32(0, head, 8), tail, static_cast<z_off_t>(FTail.size()));
      crc = crc32_combine(crc, block, static_cast<z_off_t>(kBlock));
    }
    return static_cast<uint32_t>(crc);
  }

 private:
  std::vector<uint8_t> FTail;
};

// The offset of the first byte of the file that differs from the suite's (its size when the
// file is shorter), or -1 when the two are the same.
int64_t FirstDifference(const std::string& file, const TSuiteData& data) {
  std::ifstream in(ziptest::FsPath(file), std::ios::binary);
  std::vector<uint8_t> expected(kBlock), got(kBlock);
  for (uint64_t n = 0; n < kBlocks; ++n) {
    data.Fill(n, expected.data());
    in.read(reinterpret_cast<char*>(got.data()), static_cast<std::streamsize>(kBlock));
    if (static_cast<uint64_t>(in.gcount()) != kBlock || got != expected) {
      const auto at = std::mismatch(expected.begin(), expected.end(), got.begin()).first;
      return static_cast<int64_t>(n * kBlock + static_cast<uint64_t>(at - expected.begin()));
    }
  }
  return in.peek() == std::char_traits<char>::eof() ? -1 : static_cast<int64_t>(kSuiteSize);
}

// The peak resident memory since the last reset, from /proc.
int64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) return std::stoll(line.substr(6)) * 1024;
  return -1;
}
void ResetPeakResident() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

TEST(LargeArchive, A5GiBSuiteGoesThroughATemporaryFileByteForByteInLittleMemory) {
  const std::filesystem::path home = std::filesystem::current_path();
  const std::filesystem::path dir = home / "large_archive_run";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "temp");
  std::filesystem::current_path(dir);

  const TSuiteData data;
  ziptest::TTestArchive zip;
  zip.Entries = {{.Name = "Install.exe", .Data = "the installer"},
                 {.Name = "suite/data.bin", .CRC = data.Crc(), .Zip64 = true, .Gap = kSuiteSize}};
  zip.Zip64End = true;
  const ziptest::TZipPieces pieces = ziptest::BuildZipPieces(zip);
  ASSERT_EQ(pieces.Gaps.size(), 1u);
  const uint64_t total = pieces.Bytes[0].size() + kSuiteSize + pieces.Bytes[1].size();

  TLoopbackServer server([&](TLoopbackPeer& peer, int) {
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(total) + "\r\n\r\n";
    ReadRequestHead(peer);
    peer.Send(head);
    ReadRequestHead(peer);
    peer.Send(head + pieces.Bytes[0]);
    std::vector<uint8_t> chunk(16 * kBlock);
    for (uint64_t n = 0; n < kBlocks; n += 16) {
      for (uint64_t k = 0; k < 16; ++k)
        data.Fill(n + k, chunk.data() + k * kBlock);
      peer.Send(std::string(reinterpret_cast<const char*>(chunk.data()), chunk.size()));
    }
    peer.Send(pieces.Bytes[1]);
    peer.ReceiveUntilClosed();
  });

  TApplication app("C:\\Downloads\\Plenwick-setup_x64-stable.exe");
  app.CreateForm(Main);
  PlugInComponents(*Main);
  Main->HTTP = std::make_unique<TLoopbackRoute>(std::move(Main->HTTP), server.Port());
  Main->ConnectHTTP();
  auto played = std::make_unique<TPlayedLaunchPlatform>();
  TPlayedLaunchPlatform* platform = played.get();
  Main->Platform = std::move(played);
  platform->TempDirectory = FromNativePath((dir / "temp").string());
  int64_t difference = -2;
  platform->OnLaunch = [&](const std::string& installer) {
    const std::string folder = installer.substr(0, installer.rfind('\\') + 1);
    difference = FirstDifference(folder + "suite\\data.bin", data);
  };
  ASSERT_LT(Main->ArchiveStorage.MemoryLimit, static_cast<int64_t>(total));
  headless::SetIdleHandler(app, [] { Main->Close(); });
  ResetPeakResident();
  app.Run();
  const int64_t peak = PeakResidentBytes();

  for (const auto& box : FailureBoxes(app))
    ADD_FAILURE() << "shown: " << box.Text;
  EXPECT_EQ(platform->TempFilesMade, 1);
  EXPECT_EQ(platform->Installer, "the installer");
  EXPECT_EQ(difference, -1) << "the extracted suite differs from what was sent there";
  EXPECT_GT(peak, 0);
  EXPECT_LE(peak, int64_t{64} << 20);
  // The bar went forward only, in a unit that fits its range, and ended full.
  const std::vector<int>& positions = headless::PaintedPositions(*Main->ProgressBar);
  ASSERT_FALSE(positions.empty());
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_GT(Main->ProgressBar->Max(), std::numeric_limits<int>::max() / 2);
  EXPECT_EQ(positions.back(), Main->ProgressBar->Max());
  // Nothing of the archive or the suite is left.
  EXPECT_TRUE(std::filesystem::is_empty(dir / "temp"));
  EXPECT_FALSE(std::filesystem::exists(dir / "Plenwick Setup (64-bit)"));
  std::filesystem::current_path(home);
  std::filesystem::remove_all(dir);
}

}  // namespace
