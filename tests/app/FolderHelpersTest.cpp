// The folder existence test and deletion on the real file system: the shell's deletion under
// Wine, the POSIX equivalent natively.

#include <gtest/gtest.h>

#include "app/FolderHelpers.h"
#include "app/TestFiles.h"

namespace {

TEST(FolderHelpers, DeletesANestedFolderWithAReadOnlyFile) {
  const std::string root = FreshTestFolder("delete-nested");
  ASSERT_TRUE(CreateDir(root + "sub"));
  ASSERT_TRUE(CreateDir(root + "sub\\deeper"));
  WriteTextFile(root + "top.txt", "top");
  WriteTextFile(root + "sub\\deeper\\locked.txt", "read only");
  MakeReadOnly(root + "sub\\deeper\\locked.txt");
  ASSERT_TRUE(FolderExists(root));

  EXPECT_TRUE(DeleteFolder(root));
  EXPECT_FALSE(FolderExists(root));
  EXPECT_FALSE(DirectoryExists(root));
}

TEST(FolderHelpers, DeletingAMissingFolderReturnsFalse) {
  const std::string root = FreshTestFolder("delete-missing");
  EXPECT_FALSE(FolderExists(root + "nothing here"));
  EXPECT_FALSE(DeleteFolder(root + "nothing here\\"));
  EXPECT_TRUE(DeleteFolder(root));
}

TEST(FolderHelpers, AFileIsNoFolder) {
  const std::string root = FreshTestFolder("file-is-no-folder");
  WriteTextFile(root + "plain", "x");
  EXPECT_FALSE(FolderExists(root + "plain"));
  EXPECT_FALSE(DeleteFolder(root + "plain"));
  EXPECT_TRUE(FileExists(root + "plain"));
  EXPECT_TRUE(DeleteFolder(root));
}

// The relative setup folder name with its trailing separator, resolved against the current
// directory, as the sequence passes it.
TEST(FolderHelpers, RelativeNameWithTrailingSeparator) {
  const std::string name = "Plenwick Setup (64-bit)\\";
  FreshTestFolder("Plenwick Setup (64-bit)");
  WriteTextFile(name + "Install.exe", "MZ");
  EXPECT_TRUE(FolderExists(name));
  EXPECT_TRUE(DeleteFolder(name));
  EXPECT_FALSE(FolderExists(name));
}

// A folder whose name with its trailing separator is longer than 254 characters (the most a
// name list of 256 characters can hold with its two terminating zeros) but still within what
// the platform accepts.
TEST(FolderHelpers, DeletesAFolderWhoseNameFillsTheNameList) {
  const std::string root = FreshTestFolder("delete-long");
  std::string path = root;
  while (path.size() + 41 + 2 <= 257) {
    path += std::string(40, 'd') + "\\";
    ASSERT_TRUE(CreateDir(path)) << path.size();
  }
  path += std::string(257 - 1 - path.size(), 'e') + "\\";
  ASSERT_EQ(path.size(), 257u);
  ASSERT_TRUE(CreateDir(path));
  WriteTextFile(path + "f", "x");  // 258 characters: still within the platform's limit
  ASSERT_TRUE(FolderExists(path));
  EXPECT_TRUE(DeleteFolder(path));
  EXPECT_FALSE(FolderExists(path));
  EXPECT_TRUE(FolderExists(root));  // only the named folder went
  EXPECT_TRUE(DeleteFolder(root));
}

}  // namespace
