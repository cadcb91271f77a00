// The whole sequence with the real components, and a close at each of its long steps:
// the download (of a known length or chunked) and the extraction.

#include "app/sequence/DownloadSequence.h"

namespace {

TEST_F(DownloadSequence, TheArchiveIsFetchedExtractedLaunchedAndTheBarEndsFull) {
  const std::string length = std::to_string(archive.size());
  Run([this, length](TLoopbackPeer& peer, int) {
    heads.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
    heads.Add(ReadRequestHead(peer));
    SendSlowly(peer, "HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n", archive);
    peer.ReceiveUntilClosed();
  });
  const std::string target = "/periodic/Archive_x64-stable.zip";
  const std::string host = "127.0.0.1:" + std::to_string(server->Port());
  EXPECT_EQ(heads.Heads(), (std::vector<std::string>{DownloaderHead("HEAD", target, host),
                                                     DownloaderHead("GET", target, host)}));
  EXPECT_EQ(Main->ProgressBar->Max(), static_cast<int>(archive.size()));
  EXPECT_EQ(Main->ProgressBar->Position(), static_cast<int>(archive.size()));
  EXPECT_GT(headless::PaintedPositions(*Main->ProgressBar).size(), 1u);
  // The installer launched is the one just extracted below the current directory, wherever the
  // executable lies.
  EXPECT_EQ(platform->Launched, GetCurrentDir() + "\\" + kFolder + "Install.exe");
  EXPECT_EQ(platform->Installer, Installer());
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
  EXPECT_EQ(server->Accepted(), 1);
}

TEST_F(DownloadSequence, ACloseDuringAKnownLengthDownloadEndsQuietly) {
  const std::string length = std::to_string(archive.size());
  Run(
      [this, length](TLoopbackPeer& peer, int) {
        ReadRequestHead(peer);
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
        ReadRequestHead(peer);
        SendSlowly(peer, "HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n", archive);
      },
      TClose::AtTheFirstWorkEvent);
  EXPECT_TRUE(closePosted);
  EXPECT_LT(Main->ProgressBar->Position(), static_cast<int>(archive.size()));
  EXPECT_EQ(platform->Installer, "");  // never launched
  EXPECT_EQ(platform->Deletes, 1);
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
}

// The close ends a chunked download as quietly as one of known length: the user asked to quit.
TEST_F(DownloadSequence, ACloseDuringAChunkedDownloadEndsQuietly) {
  const std::string length = std::to_string(archive.size());
  std::string chunked;
  for (size_t at = 0; at < archive.size(); at += 10000) {
    const std::string piece = archive.substr(at, 10000);
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    chunked += size + piece + "\r\n";
  }
  chunked += "0\r\n\r\n";
  Run(
      [this, length, chunked](TLoopbackPeer& peer, int) {
        ReadRequestHead(peer);
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
        ReadRequestHead(peer);
        SendSlowly(peer, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", chunked);
      },
      TClose::AtTheFirstWorkEvent);
  EXPECT_EQ(platform->Installer, "");
  EXPECT_EQ(platform->Deletes, 1);
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
}

// A close while a large entry is written is taken between its blocks, once the window's
// messages are due (blocks are slow here, as on a slow disk): the extraction stops there, the
// folder goes, nothing is launched and nothing is shown, since the user asked to quit.
TEST_F(DownloadSequence, ACloseDuringTheExtractionStopsItBetweenBlocks) {
  std::string big(6'000'000, '\0');  // about a hundred blocks of 61440 bytes
  uint32_t seed = 5;
  for (char& c : big) {
    seed = seed * 1103515245 + 12345;
    c = static_cast<char>(seed >> 24);
  }
  ziptest::TTestArchive zip;
  zip.Entries = {{"Install.exe", Installer(), 0}, {"data/big.bin", big, 0}};
  const std::string large = ziptest::BuildZip(zip);
  const std::string length = std::to_string(large.size());
  constexpr int kCloseAt = 10;  // in the middle of big.bin
  onExtractionAsked = [this](int asked) {
    if (asked == kCloseAt) PostClose();
    if (asked >= kCloseAt) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  };
  Run([large, length](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n" + large);
    peer.ReceiveUntilClosed();
  });
  EXPECT_TRUE(closePosted);
  // Stopped soon after the close, long before the entry's last block.
  EXPECT_GE(extractionAsked, kCloseAt);
  EXPECT_LT(extractionAsked, kCloseAt + 30);
  EXPECT_EQ(Main->Info->Caption(), "Extracting...");
  EXPECT_EQ(platform->Launched, "");
  EXPECT_EQ(platform->Deletes, 1);
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
}

}  // namespace
