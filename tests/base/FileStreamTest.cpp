#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#ifdef _WIN32
#include <direct.h>
#define rmdir _rmdir
#else
#include <unistd.h>
#endif

#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"

namespace {
std::string TempName(const char* leaf) {
  return GetCurrentDir() + "\\" + leaf +
         std::to_string(::testing::UnitTest::GetInstance()->random_seed());
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
