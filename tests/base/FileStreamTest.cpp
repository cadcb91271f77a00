#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#ifdef _WIN32
#include <direct.h>
#define rmdir _rmdir
#else
#include <sys/mount.h>
#include <unistd.h>
#endif

#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"

namespace {
// Named after the test too: ctest runs the tests side by side.
std::string TempName(const char* leaf) {
  return GetCurrentDir() + "\\" + leaf +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}
}  // namespace

TEST(FileStream, CreateAlwaysReplacesAndReadsBack) {
  const std::string name = TempName("fs_test_");
  {
    TFileStream f(name, TFileStream::TMode::fmCreate);
    f.WriteBuffer("first version", 13);
  }
  {
    TFileStream f(name, TFileStream::TMode::fmCreate);
    f.WriteBuffer("second", 6);
  }
  {
    TFileStream f(name, TFileStream::TMode::fmOpenRead);
    EXPECT_EQ(f.Size(), 6);
    char buf[8] = {};
    f.ReadBuffer(buf, 6);
    EXPECT_STREQ(buf, "second");
  }
  EXPECT_TRUE(FileExists(name));
  EXPECT_FALSE(DirectoryExists(name));
  EXPECT_EQ(std::remove(ToNativePath(name).c_str()), 0);
}

TEST(FileStream, CreateFailureNamesThePath) {
  const std::string name = TempName("no_such_folder_") + "\\file.bin";
  try {
    TFileStream f(name, TFileStream::TMode::fmCreate);
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    const std::string prefix = "Cannot create file \"" + name + "\". ";
    ASSERT_GT(e.Message().size(), prefix.size());
    EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
    EXPECT_NE(e.Message().back(), '.');
  }
}

TEST(FileSystem, CreateDirMakesOneLevel) {
  const std::string dir = TempName("fs_dir_");
  EXPECT_FALSE(DirectoryExists(dir));
  EXPECT_TRUE(CreateDir(dir));
  EXPECT_TRUE(DirectoryExists(dir));
  EXPECT_FALSE(CreateDir(dir));
  EXPECT_FALSE(CreateDir(dir + "\\a\\b"));
  EXPECT_EQ(rmdir(ToNativePath(dir).c_str()), 0);
}

TEST(FileSystem, TheTemporaryFolderExists) {
  const std::string temp = GetTempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_NE(temp.back(), '\\');
  EXPECT_TRUE(DirectoryExists(temp)) << temp;
}

// The volume of a folder: its free space, its cluster and its name as the user knows it.
TEST(FileSystem, VolumeSpaceOfAFolder) {
  TVolumeSpace space;
  ASSERT_TRUE(GetVolumeSpace(GetCurrentDir(), space));
  EXPECT_GT(space.Free, 0);
  EXPECT_GT(space.ClusterSize, 0);
#ifdef _WIN32
  // A drive under Wine: "C:" or "Z:".
  ASSERT_EQ(space.Name.size(), 2u) << space.Name;
  EXPECT_EQ(space.Name[1], ':');
#else
  EXPECT_EQ(ToNativePath(GetCurrentDir()).compare(0, space.Name.size(), space.Name), 0)
      << space.Name;
  // On a volume of known size made for the test (as root), below its mount point too.
  const std::string dir = TempName("fs_volume_");
  ASSERT_TRUE(CreateDir(dir));
  const std::string native = ToNativePath(dir);
  if (::mount("tmpfs", native.c_str(), "tmpfs", 0, "size=16m") == 0) {
    ASSERT_TRUE(CreateDir(dir + "\\sub"));
    for (const std::string& path : {dir, dir + "\\sub"}) {
      TVolumeSpace scratch;
      ASSERT_TRUE(GetVolumeSpace(path, scratch));
      EXPECT_EQ(scratch.Free, int64_t{16} << 20);
      EXPECT_EQ(scratch.ClusterSize, 4096);
      EXPECT_EQ(scratch.Name, native);
    }
    ::umount2(native.c_str(), MNT_DETACH);
  }
  EXPECT_EQ(rmdir(native.c_str()), 0);
#endif
  EXPECT_FALSE(GetVolumeSpace(GetCurrentDir() + "\\no_such_folder", space));
}
