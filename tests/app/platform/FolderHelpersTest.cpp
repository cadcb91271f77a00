// The folder existence test, deletion and path kinds on the real file system: under Wine and
// natively. Links are made natively only (a Windows program under Wine cannot make the host's
// links; the end-to-end runs make them).

#include <gtest/gtest.h>

#ifndef _WIN32
#include <filesystem>
#endif

#include "app/platform/FolderHelpers.h"
#include "app/platform/TestFiles.h"

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

// The path as the system takes it at any depth and with names that end in dots or spaces.
std::string Verbatim(const std::string& path) {
#ifdef _WIN32
  return "\\\\?\\" + path;
#else
  return path;
#endif
}

// What an installer may leave behind: names that end in spaces or dots, read-only files and
// folders, and a path of more than 400 characters. Each is seen where it is (not taken for a
// link), and the deletion removes them all.
TEST(FolderHelpers, DeletesWhatAnInstallerLeavesBehind) {
  const std::string root = FreshTestFolder("delete-left-behind");
  const std::string folder = root + "setup\\";
  ASSERT_TRUE(CreateDir(folder));
  std::string deep = folder;
  for (char c = 'a'; deep.size() <= 420; ++c) {
    deep += std::string(45, c) + "\\";
    ASSERT_TRUE(CreateDir(Verbatim(deep))) << deep.size();
  }
  const struct {
    std::string path;  // below the folder
    bool isFolder;
    bool readOnly;
  } items[] = {
      {"trailing space ", false, false}, {"trailing dot.", false, false},
      {"folder. ", true, false},         {"folder. \\inner ", false, false},
      {"locked.txt", false, true},       {"sealed", true, false},
      {"sealed\\kept.", false, true},    {deep.substr(folder.size()) + "leaf ", false, true},
  };
  for (const auto& item : items) {
    const std::string path = Verbatim(folder + item.path);
    if (item.isFolder) {
      ASSERT_TRUE(CreateDir(path)) << item.path;
    } else {
      WriteTextFile(path, "left behind");
    }
    if (item.readOnly) MakeReadOnly(path);
  }
  MakeReadOnly(Verbatim(folder + "sealed"));
  for (const auto& item : items)
    EXPECT_EQ(PathKind(Verbatim(folder + item.path)),
              item.isFolder ? TPathKind::pkFolder : TPathKind::pkOther)
        << item.path;
  EXPECT_EQ(PathKind(Verbatim(deep)), TPathKind::pkFolder);

  EXPECT_TRUE(DeleteFolder(folder));
  EXPECT_EQ(PathKind(folder), TPathKind::pkMissing);
  EXPECT_TRUE(DeleteFolder(root));
}

TEST(FolderHelpers, PathKinds) {
  const std::string root = FreshTestFolder("path-kinds");
  ASSERT_TRUE(CreateDir(root + "folder"));
  WriteTextFile(root + "file", "x");
  EXPECT_EQ(PathKind(root + "missing"), TPathKind::pkMissing);
  EXPECT_EQ(PathKind(root + "missing\\deeper\\"), TPathKind::pkMissing);
  EXPECT_EQ(PathKind(root + "folder"), TPathKind::pkFolder);
  EXPECT_EQ(PathKind(root + "folder\\"), TPathKind::pkFolder);
  EXPECT_EQ(PathKind(root + "file"), TPathKind::pkOther);
#ifndef _WIN32
  namespace fs = std::filesystem;
  fs::create_directory_symlink(ToNativePath(root + "folder"), ToNativePath(root + "dirlink"));
  fs::create_symlink(ToNativePath(root + "file"), ToNativePath(root + "filelink"));
  fs::create_symlink(ToNativePath(root + "missing"), ToNativePath(root + "dangling"));
  // A trailing separator must not make the link count as what it leads to.
  EXPECT_EQ(PathKind(root + "dirlink\\"), TPathKind::pkLink);
  EXPECT_EQ(PathKind(root + "filelink"), TPathKind::pkLink);
  EXPECT_EQ(PathKind(root + "dangling"), TPathKind::pkLink);
#endif
  EXPECT_TRUE(DeleteFolder(root));
}

#ifndef _WIN32
// Links inside the folder go themselves; what they lead to stays. A folder that is itself a
// link loses the link only.
TEST(FolderHelpers, DeletionRemovesLinksAndNeverFollowsThem) {
  namespace fs = std::filesystem;
  const std::string root = FreshTestFolder("delete-links");
  ASSERT_TRUE(CreateDir(root + "outside"));
  ASSERT_TRUE(CreateDir(root + "outside\\sub"));
  WriteTextFile(root + "outside\\keep.txt", "keep");
  WriteTextFile(root + "outside\\sub\\deep.txt", "deep");
  // Write-protected: a deletion through the link would open it up.
  ::chmod(ToNativePath(root + "outside\\sub").c_str(), 0555);
  const std::string folder = root + "setup\\";
  ASSERT_TRUE(CreateDir(folder));
  WriteTextFile(folder + "old.txt", "old");
  fs::create_directory_symlink(ToNativePath(root + "outside"), ToNativePath(folder + "dirlink"));
  fs::create_symlink(ToNativePath(root + "outside\\keep.txt"), ToNativePath(folder + "filelink"));
  fs::create_directory_symlink(ToNativePath(root + "outside"), ToNativePath(root + "linked"));

  EXPECT_TRUE(DeleteFolder(folder));
  EXPECT_EQ(PathKind(folder), TPathKind::pkMissing);
  EXPECT_TRUE(DeleteFolder(root + "linked\\"));
  EXPECT_EQ(PathKind(root + "linked"), TPathKind::pkMissing);

  EXPECT_TRUE(FileExists(root + "outside\\keep.txt"));
  EXPECT_TRUE(FileExists(root + "outside\\sub\\deep.txt"));
  const auto perms = fs::status(ToNativePath(root + "outside\\sub")).permissions();
  EXPECT_EQ(perms & fs::perms::owner_write, fs::perms::none);
  fs::permissions(ToNativePath(root + "outside\\sub"), fs::perms::owner_all, fs::perm_options::add);
  EXPECT_TRUE(DeleteFolder(root));
}
#endif

}  // namespace
