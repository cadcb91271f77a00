// Where the archive is held: bodies past the probe's length or the volume's room, archives
// past the memory limit in a temporary file, resumes across the move, full volumes.

#include "app/sequence/DownloadSequence.h"

#include <sys/mount.h>

namespace {

// A body may bring no more than its probe announced, or, when the probe gave no positive
// length, no more than the temporary folder's volume has free beyond the margin (played here).
// Either way the run fails with the client's message, and the folder goes.
TEST_F(DownloadSequence, ABodyPastTheProbesLengthFails) {
  const std::string length = std::to_string(archive.size());
  const std::string more = archive + std::string(5000, 'x');
  Run([length, more](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\n\r\n" + more);  // until the close
    peer.Close();
  });
  ASSERT_EQ(FailureBoxes(app).size(), 1u);
  EXPECT_EQ(FailureBoxes(app)[0].Text, "The server sent a body of more than " + length + " bytes.");
  EXPECT_EQ(platform->Launched, "");
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
}

TEST_F(DownloadSequence, ABodyPastTheTemporaryVolumesRoomFailsWhenTheProbeGaveNoLength) {
  const std::string more = archive + std::string(5000, 'x');
  beforeRun = [this] {
    Main->ArchiveStorage.MemoryLimit = 1000;
    platform->TempFree = TArchiveStorage::FreeSpaceMargin + static_cast<int64_t>(archive.size());
  };
  Run([more](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\n\r\n" + more);  // until the close
    peer.Close();
  });
  ASSERT_EQ(FailureBoxes(app).size(), 1u);
  EXPECT_EQ(FailureBoxes(app)[0].Text,
            "The server sent a body of more than " + std::to_string(archive.size()) + " bytes.");
  EXPECT_EQ(platform->TempFilesMade, 1);
  EXPECT_EQ(platform->Launched, "");
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
}

// The files this process has open below a folder (the temporary file has no name there, but
// the process holds it), natively from /proc.
int OpenFilesBelow(const std::filesystem::path& AFolder) {
  int count = 0;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
    if (!ec && target.starts_with(AFolder.string() + "/")) ++count;
  }
  return count;
}

// The archive, or a body without a length, goes past a lowered limit: it is downloaded into a
// temporary file in the temporary folder (held open while the body arrives, with no name
// there), installs from it, and nothing of it is left, open or on disk, after the run.
struct TemporaryFileCase {
  const char* name;
  bool announced;
};

class ArchivesPastTheLimit : public DownloadSequence,
                             public ::testing::WithParamInterface<TemporaryFileCase> {};

TEST_P(ArchivesPastTheLimit, InstallFromATemporaryFile) {
  const std::filesystem::path temp = std::filesystem::current_path() / "temp";
  std::filesystem::create_directories(temp);
  const std::string length = std::to_string(archive.size());
  const std::string probed = GetParam().announced ? length : "0";
  const std::string framing =
      GetParam().announced ? "Content-Length: " + length + "\r\n" : "Connection: close\r\n";
  beforeRun = [this, temp] {
    Main->ArchiveStorage.MemoryLimit = 20000;
    platform->TempDirectory = FromNativePath(temp.string());
    route->OnEachWork = [this, temp](int64_t count) {
      if (count > 40000)
        openWhileDownloading = std::max(openWhileDownloading, OpenFilesBelow(temp));
    };
  };
  Run([this, probed, framing](TLoopbackPeer& peer, int) {
    ReadRequestHead(peer);
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + probed + "\r\n\r\n");
    ReadRequestHead(peer);
    SendSlowly(peer, "HTTP/1.1 200 OK\r\n" + framing + "\r\n", archive);
    if (framing.starts_with("Connection"))
      peer.Close();
    else
      peer.ReceiveUntilClosed();
  });
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_EQ(platform->TempFilesMade, 1);
  EXPECT_EQ(openWhileDownloading, 1);
  EXPECT_EQ(platform->Installer, Installer());
  EXPECT_EQ(OpenFilesBelow(temp), 0);
  EXPECT_TRUE(std::filesystem::is_empty(temp));
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
}

const TemporaryFileCase kTemporaryFileCases[] = {
    {"Announced", true},
    {"WithoutALength", false},
};

INSTANTIATE_TEST_SUITE_P(Storage, ArchivesPastTheLimit, ::testing::ValuesIn(kTemporaryFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A body whose probe gave no length starts in memory and moves to a temporary file past the
// limit (20000 here): a retry continues it wherever its bytes are, across the move too, or
// takes it whole from 0 once they were moved.
struct UnannouncedResumeCase {
  const char* name;
  std::vector<TConnectionPlan> plans;  // the first answers HEAD without a length
  std::vector<std::string> requests;
};

void PrintTo(const UnannouncedResumeCase& c, std::ostream* os) {
  *os << c.name;
}

TConnectionPlan WithoutALength(TConnectionPlan APlan) {
  APlan.HeadStatus = "200 OK";  // and "Content-Length: 0"
  return APlan;
}

const UnannouncedResumeCase kUnannouncedResumes[] = {
    {"ContinuedAcrossTheMoveToTheFile",
     {WithoutALength(CutAfter(10000)), CutAfter(40000), {}},
     {"HEAD", "GET", "GET bytes=10000- If-Range=\"u1\"", "GET bytes=50000- If-Range=\"u1\""}},
    {"RestartedOnceInTheFile",
     {WithoutALength(CutAfter(40000)), RangeIgnored()},
     {"HEAD", "GET", "GET bytes=40000- If-Range=\"u1\""}},
};

class UnannouncedResumes : public DownloadSequence,
                           public ::testing::WithParamInterface<UnannouncedResumeCase> {};

TEST_P(UnannouncedResumes, InstallFromTheTemporaryFile) {
  const UnannouncedResumeCase& c = GetParam();
  TResumableScript served({{archive, "\"u1\"", "", ""}}, c.plans);
  const std::filesystem::path temp = std::filesystem::current_path() / "temp";
  std::filesystem::create_directories(temp);
  beforeRun = [this, temp] {
    Main->ArchiveStorage.MemoryLimit = 20000;
    platform->TempDirectory = FromNativePath(temp.string());
  };
  Run(served.Script(), TClose::Never, [](THTTPDownloadClient& http) {
    http.Retry.Waits = {10};
    http.Random = [] { return 0.0; };
  });

  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
  EXPECT_EQ(served.Requests(), c.requests);
  EXPECT_EQ(platform->Installer, Installer());
  EXPECT_EQ(platform->TempFilesMade, 1);
  EXPECT_TRUE(std::filesystem::is_empty(temp));
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
}

INSTANTIATE_TEST_SUITE_P(Storage, UnannouncedResumes, ::testing::ValuesIn(kUnannouncedResumes),
                         [](const auto& info) { return std::string(info.param.name); });

// A tmpfs of 8 MiB mounted on a folder for the length of a test (root only).
class TSmallVolume {
 public:
  explicit TSmallVolume(std::filesystem::path AFolder) : FFolder(std::move(AFolder)) {
    std::filesystem::create_directories(FFolder);
    FMounted = ::mount("tmpfs", FFolder.c_str(), "tmpfs", 0, "size=8m") == 0;
  }
  ~TSmallVolume() {
    if (FMounted) ::umount2(FFolder.c_str(), MNT_DETACH);
  }
  TSmallVolume(const TSmallVolume&) = delete;
  TSmallVolume& operator=(const TSmallVolume&) = delete;
  bool Mounted() const { return FMounted; }

 private:
  std::filesystem::path FFolder;
  bool FMounted = false;
};

// Too little room where the archive's file would go, or where its files would go: the user
// reads how much is needed on which volume, before anything is written there; the server sees
// no GET in the first case. Real volumes of 8 MiB, which hold less than the margin.
struct FullVolumeCase {
  const char* name;
  bool temporaryFolder;  // the volume is the temporary folder's, else the setup folder's
};

class FullVolumes : public DownloadSequence,
                    public ::testing::WithParamInterface<FullVolumeCase> {};

TEST_P(FullVolumes, AreToldBeforeAnythingIsWritten) {
  const std::filesystem::path disk = std::filesystem::current_path() / "disk";
  TSmallVolume volume(disk);
  if (!volume.Mounted()) GTEST_SKIP() << "cannot mount a scratch tmpfs here (needs root)";
  const bool temporary = GetParam().temporaryFolder;
  // The setup folder goes below the current directory: on the small volume, or not.
  if (!temporary) std::filesystem::current_path(disk);
  const std::string length = std::to_string(archive.size());
  beforeRun = [this, disk, temporary] {
    if (temporary) {
      Main->ArchiveStorage.MemoryLimit = 20000;
      platform->TempDirectory = FromNativePath(disk.string());
    }
  };
  Run([this, length](TLoopbackPeer& peer, int) {
    heads.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
    const std::string next = ReadRequestHead(peer);
    if (next.empty()) return;
    heads.Add(next);
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n" + archive);
    peer.ReceiveUntilClosed();
  });
  const int64_t needed =
      temporary ? static_cast<int64_t>(archive.size()) + TArchiveStorage::FreeSpaceMargin
                // Install.exe in 37 clusters, readme.txt in 1
                : 38 * 4096 + TArchiveStorage::FreeSpaceMargin;
  ASSERT_EQ(FailureBoxes(app).size(), 1u);
  EXPECT_EQ(FailureBoxes(app)[0].Text, "Setup needs " + SizeText(needed, true) + " free on " +
                                           disk.string() + ", but only 8.0 MB are free.");
  EXPECT_EQ(heads.Heads().size(), temporary ? 1u : 2u);
  EXPECT_EQ(platform->TempFilesMade, 0);
  EXPECT_EQ(platform->Launched, "");
  // Nothing on the small volume: no file there, and the empty setup folder went.
  EXPECT_TRUE(std::filesystem::is_empty(disk));
}

const FullVolumeCase kFullVolumes[] = {
    {"TheTemporaryFolderBeforeTheDownload", true},
    {"TheSetupFolderBeforeTheExtraction", false},
};

INSTANTIATE_TEST_SUITE_P(Storage, FullVolumes, ::testing::ValuesIn(kFullVolumes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
