// Extraction when the disk refuses: a read-only target, entries standing in each other's way, a
// full disk and a disk without free inodes. Each failure carries its message, the files written
// before it stay intact, and nothing lands outside the target folder.
//
// The read-only and full disks are small tmpfs mounts made and removed by the test (native
// build, as root); where mounting is not allowed those tests are skipped.
#ifdef _WIN32
#include <windows.h>  // before base/FileSystem.h, which takes back GetModuleFileName
#else
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "base/FileSystem.h"
#include "base/Utf.h"
#include "zip/ZipFile.h"

using namespace ziptest;

namespace {

struct TOpenArchive {
  explicit TOpenArchive(std::vector<TTestEntry> entries) {
    TTestArchive a;
    a.Entries = std::move(entries);
    Stream = MemoryStreamOf(BuildZip(a));
    Zip.Open(*Stream, TZipMode::zmRead);
  }
  std::unique_ptr<TMemoryStream> Stream;
  TZipFile Zip;
};

// Expects EFCreateError for path; the system's reason (after the fixed part) is returned.
std::string CreateErrorReason(TZipFile& zip, const std::string& target, const std::string& path) {
  const std::string prefix = "Cannot create file \"" + path + "\". ";
  try {
    zip.ExtractAll(target);
    ADD_FAILURE() << "no exception";
  } catch (const EFCreateError& e) {
    if (e.Message().starts_with(prefix) && e.Message().size() > prefix.size())
      return e.Message().substr(prefix.size());
    ADD_FAILURE() << e.Message();
  } catch (const Exception& e) {
    ADD_FAILURE() << "another failure: " << e.Message();
  }
  return {};
}

#ifndef _WIN32

// A tmpfs mounted on a fresh folder for the length of a test.
class TScratchDisk {
 public:
  TScratchDisk(const std::string& folder, unsigned long flags, const std::string& options)
      : FNative(ToNativePath(folder)) {
    std::filesystem::create_directories(FNative);
    if (::mount("tmpfs", FNative.c_str(), "tmpfs", flags, options.c_str()) == 0)
      FMounted = true;
    else
      FError = std::strerror(errno);
  }
  ~TScratchDisk() {
    if (FMounted) ::umount2(FNative.c_str(), MNT_DETACH);
  }
  TScratchDisk(const TScratchDisk&) = delete;
  TScratchDisk& operator=(const TScratchDisk&) = delete;

  bool Mounted() const { return FMounted; }
  const std::string& Error() const { return FError; }

 private:
  std::string FNative;
  bool FMounted = false;
  std::string FError;
};

#define SKIP_UNLESS_MOUNTED(disk)                                         \
  if (!(disk).Mounted())                                                  \
  GTEST_SKIP() << "cannot mount a scratch tmpfs here (" << (disk).Error() \
               << "); these disk faults need root or CAP_SYS_ADMIN"
#endif

}  // namespace

TEST(ZipDiskFault, EntriesInEachOthersWay) {
  // A file where a later entry needs a folder, and a folder where a later entry is a file.
  struct TCase {
    const char* Case;
    std::vector<TTestEntry> Entries;
    const char* Failing;     // the entry whose file cannot be made
    const char* NativeText;  // the system's reason on the native build
  };
  const std::vector<TCase> cases = {
      {"file in the way of a folder",
       {{.Name = "a.txt", .Data = "A"}, {.Name = "d", .Data = "file d"}, {.Name = "d/x.txt"}},
       "d\\x.txt",
       "Not a directory"},
      {"folder in the way of a file",
       {{.Name = "a.txt", .Data = "A"}, {.Name = "d/"}, {.Name = "d", .Data = "file d"}},
       "d",
       "Is a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    TOpenArchive z(c.Entries);
    TTempFolder temp;
    const std::string out = temp / "out\\";
    const std::string reason = CreateErrorReason(z.Zip, out, out + c.Failing);
#ifndef _WIN32
    EXPECT_EQ(reason, c.NativeText);
#endif
    EXPECT_EQ(ReadFile(out + "a.txt"), "A");
    EXPECT_EQ(CountEntries(out), 2);
    EXPECT_EQ(CountEntries(temp.Path()), 1);
    EXPECT_EQ(z.Zip.Mode(), TZipMode::zmRead);
  }
}

// A file that is read-only for the length of a test (the folder can be removed afterwards).
class TReadOnlyFile {
 public:
  explicit TReadOnlyFile(std::string path) : FPath(std::move(path)) { SetReadOnly(true); }
  ~TReadOnlyFile() { SetReadOnly(false); }
  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;
  // False where the attribute does not stop writing (root, also under Wine).
  bool Protects() const { return !std::ofstream(FsPath(FPath), std::ios::app); }

 private:
  void SetReadOnly(bool on) {
#ifdef _WIN32
    ::SetFileAttributesW(ToWide(FPath).c_str(),
                         on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
    std::filesystem::permissions(
        FsPath(FPath), on ? std::filesystem::perms::owner_read : std::filesystem::perms::owner_all);
#endif
  }
  std::string FPath;
};

TEST(ZipDiskFault, ReadOnlyFileInTheWay) {
  TTempFolder temp;
  const std::string out = temp / "out\\";
  ASSERT_TRUE(CreateDir(temp / "out"));
  WriteFile(out + "b.txt", "kept");
  TReadOnlyFile readOnly(out + "b.txt");
  if (!readOnly.Protects())
    GTEST_SKIP() << "read-only files are writable here (root; under Wine too); see ReadOnlyTarget";
  TOpenArchive z({{.Name = "a.txt", .Data = "A"}, {.Name = "b.txt", .Data = "new"}});
  EXPECT_NE(CreateErrorReason(z.Zip, out, out + "b.txt"), "");
  EXPECT_EQ(ReadFile(out + "a.txt"), "A");
  EXPECT_EQ(ReadFile(out + "b.txt"), "kept");
}

#ifndef _WIN32

TEST(ZipDiskFault, ReadOnlyTarget) {
  TTempFolder temp;
  TScratchDisk disk(temp / "ro", MS_RDONLY, "size=64k");
  SKIP_UNLESS_MOUNTED(disk);
  TOpenArchive z({{.Name = "a.txt", .Data = "A"}, {.Name = "sub/b.txt", .Data = "B"}});
  // The target exists but takes no file.
  EXPECT_EQ(CreateErrorReason(z.Zip, temp / "ro\\", temp / "ro\\a.txt"), "Read-only file system");
  // The target cannot be made: folder creation passes over that, the file then cannot be made.
  EXPECT_EQ(CreateErrorReason(z.Zip, temp / "ro\\setup\\", temp / "ro\\setup\\a.txt"),
            "No such file or directory");
  EXPECT_EQ(CountEntries(temp / "ro"), 0);
  EXPECT_EQ(CountEntries(temp.Path()), 1);
}

TEST(ZipDiskFault, FullDiskFailsTheWriteAndKeepsEarlierFiles) {
  const std::string first = Pattern(40000);
  const std::string second = Pattern(1 << 20);
  for (uint16_t method : {uint16_t{0}, uint16_t{8}}) {
    SCOPED_TRACE(method);
    TTempFolder temp;
    TScratchDisk disk(temp / "disk", 0, "size=192k");
    SKIP_UNLESS_MOUNTED(disk);
    TOpenArchive z({{.Name = "first.bin", .Data = first, .Method = method},
                    {.Name = "big/second.bin", .Data = second, .Method = method},
                    {.Name = "third.txt", .Data = "never"}});
    const std::string out = temp / "disk\\setup\\";
    EXPECT_RAISES(z.Zip.ExtractAll(out), EWriteError, "Stream write error");
    EXPECT_EQ(ReadFile(out + "first.bin"), first);
    // What fitted of the failing entry stays, and is its beginning.
    const auto partial = ReadFile(out + "big\\second.bin");
    ASSERT_TRUE(partial);
    EXPECT_GT(partial->size(), 0u);
    EXPECT_LT(partial->size(), second.size());
    EXPECT_TRUE(second.starts_with(*partial));
    EXPECT_FALSE(ReadFile(out + "third.txt"));
    EXPECT_EQ(CountEntries(temp / "disk"), 1);
    EXPECT_EQ(CountEntries(temp.Path()), 1);
    EXPECT_EQ(z.Zip.Mode(), TZipMode::zmRead);
  }
}

TEST(ZipDiskFault, NoFreeInodeFailsTheFileCreation) {
  TTempFolder temp;
  // Four inodes: the disk's root, the setup folder, a.txt and b.txt.
  TScratchDisk disk(temp / "disk", 0, "size=64k,nr_inodes=4");
  SKIP_UNLESS_MOUNTED(disk);
  TOpenArchive z({{.Name = "a.txt", .Data = "A"},
                  {.Name = "b.txt", .Data = "B"},
                  {.Name = "c.txt", .Data = "C"}});
  const std::string out = temp / "disk\\setup\\";
  EXPECT_EQ(CreateErrorReason(z.Zip, out, out + "c.txt"), "No space left on device");
  EXPECT_EQ(ReadFile(out + "a.txt"), "A");
  EXPECT_EQ(ReadFile(out + "b.txt"), "B");
  EXPECT_EQ(CountEntries(out), 2);
  EXPECT_EQ(CountEntries(temp / "disk"), 1);
}

#endif
