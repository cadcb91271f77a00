// Where the archive is held (memory or a temporary file) and whether the disks have room, first
// for TArchiveStorage alone, then in the sequence, with the test doubles of SequenceDoubles.h.

#include <gtest/gtest.h>

#include <limits>

#include "app/Main.h"
#include "app/SequenceDoubles.h"
#include "app/ShownFailures.h"
#include "base/SpillingStream.h"
#include "download/ArchiveStorage.h"
#include "ui/headless/HeadlessApplication.h"

namespace {

constexpr int64_t kMiB = int64_t{1} << 20;
constexpr int64_t kGiB = int64_t{1} << 30;
constexpr int64_t kMargin = TArchiveStorage::FreeSpaceMargin;

// The message of what the call raises; empty when it raises nothing.
template <typename TCall>
std::string Raised(TCall&& ACall) {
  try {
    ACall();
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

TEST(SizeText, KilobytesMegabytesAndGigabytesToOneDecimal) {
  const struct {
    int64_t bytes;
    bool up;
    const char* text;
  } cases[] = {
      {0, false, "0.0 KB"},
      {512, true, "0.5 KB"},
      {1536, false, "1.5 KB"},
      {65 * kMiB + 1, true, "65.1 MB"},   // the need, rounded up
      {65 * kMiB + 1, false, "65.0 MB"},  // the free space, rounded down
      {1024 * 1024 - 1, true, "1.0 MB"},  // not "1024.0 KB"
      {1024 * 1024 - 1, false, "1023.9 KB"},
      {5 * kGiB, true, "5.0 GB"},
      {3 * kGiB / 2 + 1, true, "1.6 GB"},
      {2048 * kGiB, false, "2048.0 GB"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SizeText(c.bytes, c.up), c.text) << c.bytes << (c.up ? " up" : " down");
}

class Storage : public ::testing::Test {
 protected:
  TWorld world;
  TFakePlatform platform{world};
  TArchiveStorage storage;
  void SetUp() override { storage.MemoryLimit = 100000; }
};

TEST_F(Storage, TheDefaultLimitIsAGibibyteOrAQuarterOfTheMemory) {
  EXPECT_GT(TArchiveStorage::DefaultMemoryLimit(), 0);
  EXPECT_LE(TArchiveStorage::DefaultMemoryLimit(), kGiB);
  EXPECT_EQ(TArchiveStorage().MemoryLimit, TArchiveStorage::DefaultMemoryLimit());
}

// Up to the limit the archive stays in memory, as the body reader's fastest path wants it;
// beyond it, a file made only once its volume was found to have room for it and the margin.
TEST_F(Storage, AnArchiveWithinTheLimitStaysInMemoryALargerOneGoesToATemporaryFile) {
  const std::unique_ptr<TStream> small = storage.CreateStream(platform, 100000);
  EXPECT_NE(dynamic_cast<TMemoryStream*>(small.get()), nullptr);
  EXPECT_EQ(dynamic_cast<TFakeTemporaryFile*>(small.get()), nullptr);
  EXPECT_TRUE(world.Log.empty());

  const std::unique_ptr<TStream> large = storage.CreateStream(platform, 100001);
  EXPECT_NE(dynamic_cast<TFakeTemporaryFile*>(large.get()), nullptr);
  EXPECT_EQ(world.Log, (std::vector<std::string>{"VolumeSpace " + platform.TempDirectory,
                                                 "TempFile made in " + platform.TempDirectory}));
}

TEST_F(Storage, ATemporaryVolumeWithoutRoomStopsBeforeTheFileIsMade) {
  const int64_t length = 5 * kGiB;
  struct {
    int64_t free;
    const char* failure;  // nullptr: the file is made
  } cases[] = {
      {length + kMargin, nullptr},
      {length + kMargin - 1, "Setup needs 5.1 GB free on D:, but only 5.0 GB are free."},
      {0, "Setup needs 5.1 GB free on D:, but only 0.0 KB are free."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.free);
    world.Log.clear();
    platform.TempVolume = TVolumeSpace{c.free, 4096, "D:"};
    if (c.failure) {
      EXPECT_EQ(Raised([&] { storage.CreateStream(platform, length); }), c.failure);
      EXPECT_EQ(world.Count("TempFile"), 0);
    } else {
      EXPECT_NE(storage.CreateStream(platform, length), nullptr);
      EXPECT_EQ(world.Count("TempFile made"), 1);
    }
  }
  // A volume that cannot tell its space is tried all the same.
  platform.TempVolume.reset();
  world.Log.clear();
  EXPECT_NE(storage.CreateStream(platform, length), nullptr);
  EXPECT_EQ(world.Count("TempFile made"), 1);
}

// A body without a length starts in memory and moves to a file only when it outgrows the limit.
TEST_F(Storage, ABodyWithoutALengthMovesToAFileWhenItPassesTheLimit) {
  for (const int64_t length : {int64_t{0}, int64_t{-1}}) {
    world.Log.clear();
    const std::unique_ptr<TStream> stream = storage.CreateStream(platform, length);
    auto* spilling = dynamic_cast<TSpillingStream*>(stream.get());
    ASSERT_NE(spilling, nullptr);
    const std::string block(60000, 'b');
    stream->WriteBuffer(block.data(), 60000);
    EXPECT_FALSE(spilling->InFile());
    EXPECT_EQ(world.Count("TempFile made"), 0);
    stream->WriteBuffer(block.data(), 60000);
    EXPECT_TRUE(spilling->InFile());
    EXPECT_EQ(world.Log, (std::vector<std::string>{"TempFile made in " + platform.TempDirectory}));
    EXPECT_EQ(stream->Size(), 120000);
  }
  EXPECT_EQ(world.TempFilesAlive, 0);
}

TEST_F(Storage, ABodyWithoutALengthMayFillTheTemporaryVolumeDownToTheMargin) {
  platform.TempVolume = TVolumeSpace{3 * kGiB, 4096, "D:"};
  EXPECT_EQ(storage.UnannouncedRoom(platform), 3 * kGiB - kMargin);
  // In memory it needs no disk: the memory limit when that is more.
  platform.TempVolume = TVolumeSpace{kMargin + 5, 4096, "D:"};
  EXPECT_EQ(storage.UnannouncedRoom(platform), 100000);
  platform.TempVolume = TVolumeSpace{0, 4096, "D:"};
  EXPECT_EQ(storage.UnannouncedRoom(platform), 100000);
  // When the system cannot tell: the client's fixed bound.
  platform.TempVolume.reset();
  EXPECT_EQ(storage.UnannouncedRoom(platform), TDownloadClient::DefaultUnannouncedBodyLimit);
}

// Every file takes whole clusters; the files and the margin must fit.
TEST_F(Storage, TheFilesMustFitInWholeClustersWithTheMargin) {
  const std::string folder = "C:\\Work\\Plenwick Setup (64-bit)\\";
  const std::vector<uint64_t> sizes = {1, 4096, 4097, 0, 10000};
  const int64_t needed = 4096 + 4096 + 8192 + 0 + 12288 + kMargin;
  platform.SetupVolume = TVolumeSpace{needed, 4096, "C:"};
  EXPECT_NO_THROW(storage.CheckRoomForFiles(platform, sizes, folder));
  EXPECT_EQ(world.Log, (std::vector<std::string>{"VolumeSpace " + folder}));
  platform.SetupVolume = TVolumeSpace{needed - 1, 4096, "C:"};
  EXPECT_EQ(Raised([&] { storage.CheckRoomForFiles(platform, sizes, folder); }),
            "Setup needs 64.1 MB free on C:, but only 64.0 MB are free.");
  // With a larger cluster the same files need more.
  platform.SetupVolume = TVolumeSpace{needed, 65536, "C:"};
  EXPECT_EQ(Raised([&] { storage.CheckRoomForFiles(platform, sizes, folder); }),
            "Setup needs 64.3 MB free on C:, but only 64.0 MB are free.");
  // Sizes that add up past what 64 bits hold cannot wrap round to a small need.
  const uint64_t huge = std::numeric_limits<uint64_t>::max() - 10;
  platform.SetupVolume = TVolumeSpace{int64_t{1} << 50, 4096, "C:"};
  EXPECT_THROW(storage.CheckRoomForFiles(platform, {huge, huge}, folder), Exception);
  EXPECT_THROW(storage.CheckRoomForFiles(platform, {uint64_t{1} << 62, uint64_t{1} << 62}, folder),
               Exception);
  // A volume that cannot tell its space is not checked.
  platform.SetupVolume.reset();
  EXPECT_NO_THROW(storage.CheckRoomForFiles(platform, {huge}, folder));
}

// The sequence with the storage: the whole run, told as the log shows it.
class StorageInTheSequence : public ::testing::Test {
 public:
  void SetUp() override {
    app.CreateForm(Main);
    http = PlugInFakeClient(*Main, world);
    Main->CreateArchive = [this] {
      auto archive = std::make_unique<TFakeArchive>(world, archiveScript);
      archive->Sizes = archiveSizes;
      return archive;
    };
    auto p = std::make_unique<TFakePlatform>(world);
    platform = p.get();
    Main->Platform = std::move(p);
    Main->ArchiveStorage.MemoryLimit = 50000;
  }
  void RunProgram() {
    headless::SetIdleHandler(app, [] { Main->Close(); });
    app.Run();
  }
  std::vector<headless::TShownBox> Boxes() { return FailureBoxes(app); }

  TApplication app{"C:\\Downloads\\Plenwick-setup_x64-stable.exe"};
  TWorld world;
  TFakeClient* http = nullptr;
  TFakePlatform* platform = nullptr;
  std::function<void(const std::string&)> archiveScript;
  std::vector<uint64_t> archiveSizes{150000, 5};
  const std::string folder = "C:\\Work\\Plenwick Setup (64-bit)\\";
};

// The file is made before the download, read by the archive, and gone before the installer runs.
TEST_F(StorageInTheSequence, AnArchivePastTheLimitInstallsFromATemporaryFile) {
  RunProgram();
  const auto at = [this](const std::string& entry) { return world.IndexOf(entry); };
  ASSERT_GE(at("TempFile made in " + platform->TempDirectory), 0);
  EXPECT_LT(at("VolumeSpace " + platform->TempDirectory), at("TempFile made"));
  EXPECT_LT(at("TempFile made"), at("Get "));
  EXPECT_EQ(world.Count("Open at 0 of 100000"), 1);
  EXPECT_LT(at("Close"), at("TempFile gone"));
  EXPECT_LT(at("TempFile gone"), at("Launch "));
  EXPECT_EQ(world.TempFilesAlive, 0);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(world.Folders.empty());
}

// However the run fails after the file was made, the file goes with it.
struct FailureCase {
  const char* name;
  std::function<void(StorageInTheSequence&)> arrange;
  const char* shown;
};

class FailuresWithATemporaryFile : public StorageInTheSequence,
                                   public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailuresWithATemporaryFile, TakeTheFileAlong) {
  GetParam().arrange(*this);
  RunProgram();
  EXPECT_EQ(world.Count("TempFile made"), 1);
  EXPECT_EQ(world.TempFilesAlive, 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, GetParam().shown);
  EXPECT_TRUE(world.Folders.empty());
}

const FailureCase kFailures[] = {
    {"InTheDownload",
     [](StorageInTheSequence& t) {
       t.http->OnGet = [](TStream&) { throw Exception("Read timed out."); };
     },
     "Read timed out."},
    {"InTheExtraction",
     [](StorageInTheSequence& t) {
       t.archiveScript = [](const std::string& step) {
         if (step == "Block 2") throw EWriteError("Stream write error");
       };
     },
     "Stream write error."},
};

INSTANTIATE_TEST_SUITE_P(Rows, FailuresWithATemporaryFile, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// Nothing is fetched when the file's volume has no room, and nothing is written when the setup
// folder's volume cannot take the files: the user reads what is needed where; the (empty) setup
// folder goes as after any failure.
struct FullDiskCase {
  const char* name;
  std::function<void(StorageInTheSequence&)> arrange;
  const char* shown;
  int gets;
  const char* status;  // the status line the failure is shown under
};

class FullDisks : public StorageInTheSequence,
                  public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(FullDisks, AreToldBeforeAnythingIsWritten) {
  GetParam().arrange(*this);
  RunProgram();
  EXPECT_EQ(world.Count("Get "), GetParam().gets);
  EXPECT_EQ(world.Count("ExtractAll"), 0);
  EXPECT_EQ(world.Count("Launch "), 0);
  EXPECT_EQ(world.TempFilesAlive, 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, GetParam().shown);
  EXPECT_EQ(Main->Info->Caption(), GetParam().status);
  EXPECT_TRUE(world.Folders.empty());
}

const FullDiskCase kFullDisks[] = {
    {"TheTemporaryVolumeBeforeTheDownload",
     [](StorageInTheSequence& t) {
       t.platform->TempVolume = TVolumeSpace{kMargin + 99999, 4096, "D:"};
     },
     "Setup needs 64.1 MB free on D:, but only 64.0 MB are free.", 0,
     "Checking files to download..."},
    // Stored entries may be larger than the archive says they are: the sizes count.
    {"TheSetupVolumeBeforeTheExtraction",
     [](StorageInTheSequence& t) {
       t.archiveSizes = {100 * kMiB, 1};
       t.platform->SetupVolume = TVolumeSpace{150 * kMiB, 4096, "E:"};
     },
     "Setup needs 164.1 MB free on E:, but only 150.0 MB are free.", 1, "Downloading..."},
};

INSTANTIATE_TEST_SUITE_P(Rows, FullDisks, ::testing::ValuesIn(kFullDisks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StorageInTheSequence, ATemporaryFileThatCannotBeMadeStopsTheRunBeforeTheDownload) {
  platform->TempFileFails = true;
  RunProgram();
  EXPECT_EQ(world.Count("Get "), 0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text,
            "Cannot create file \"" + platform->TempDirectory + "\". Access denied.");
  EXPECT_TRUE(world.Folders.empty());
}

// A probe without a length: the body may fill the temporary folder's volume down to the margin,
// starts in memory and moves to the file once it passes the limit; the run installs from there.
TEST_F(StorageInTheSequence, ABodyWithoutALengthIsBoundByTheTemporaryVolumeAndMovesToTheFile) {
  http->ContentLength = 0;
  platform->TempVolume = TVolumeSpace{7 * kGiB, 4096, "D:"};
  http->OnGet = [this](TStream& dest) {
    const std::string block(32768, 'z');
    for (int i = 1; i <= 4; ++i) {
      dest.WriteBuffer(block.data(), 32768);
      world.Log.push_back("Block " + std::to_string(i));
    }
  };
  RunProgram();
  EXPECT_EQ(http->BodyLimitAtGet, 7 * kGiB - kMargin);
  // The second block passes the limit of 50000 bytes: the file is made for it.
  EXPECT_EQ(world.IndexOf("TempFile made") - world.IndexOf("Block 1"), 1);
  EXPECT_EQ(world.Count("Open at 0 of 131072"), 1);
  EXPECT_EQ(world.TempFilesAlive, 0);
  EXPECT_EQ(world.Count("Launch "), 1);
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
