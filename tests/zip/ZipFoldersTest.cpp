// The folders of one extraction are made once: a new folder costs one creation, a file in a
// known folder none, and a folder that is already there one creation and one look.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "base/FileSystem.h"
#include "zip/ZipFolders.h"
#include "zip/ZipPaths.h"

using namespace ziptest;

namespace {

// The real calls, written down.
class TWatchedFolders : public TZipFolders {
 public:
  std::vector<std::string> Calls;

 protected:
  bool CreateLevel(const std::string& path) override {
    Calls.push_back("create " + path);
    return TZipFolders::CreateLevel(path);
  }
  bool LevelExists(const std::string& path) override {
    Calls.push_back("exists " + path);
    return TZipFolders::LevelExists(path);
  }
};

TEST(ZipFolders, EachFolderIsMadeOnceAndKnownFoldersCostNothing) {
  TTempFolder temp;
  const std::string out = ExpandPath(temp / "out");
  TWatchedFolders folders;
  // The first file's folder: the levels above the target exist (a creation and a look each,
  // once), the new ones are made.
  folders.Force(out + "\\a\\b");
  EXPECT_EQ(std::vector<std::string>(folders.Calls.end() - 3, folders.Calls.end()),
            (std::vector<std::string>{"create " + out, "create " + out + "\\a",
                                      "create " + out + "\\a\\b"}));
  EXPECT_TRUE(DirectoryExists(out + "\\a\\b"));
  // More files there, and in the folders on the way: no call at all.
  folders.Calls.clear();
  for (int file = 0; file < 5; ++file) {
    folders.Force(out + "\\a\\b");
    folders.Force(out + "\\a");
    folders.Force(out);
  }
  EXPECT_TRUE(folders.Calls.empty());
  // A sibling: one creation.
  folders.Force(out + "\\a\\c");
  folders.Force(out + "\\a\\c");
  EXPECT_EQ(folders.Calls, std::vector<std::string>{"create " + out + "\\a\\c"});
  // A folder that is there already (made by someone else): one creation that fails, one look,
  // and then it is known.
  folders.Calls.clear();
  ASSERT_TRUE(CreateDir(out + "\\d"));
  folders.Force(out + "\\d");
  folders.Force(out + "\\d");
  EXPECT_EQ(folders.Calls,
            (std::vector<std::string>{"create " + out + "\\d", "exists " + out + "\\d"}));
}

// A file where a folder must go: the level cannot be made, nothing below it is tried, and it is
// not taken as known (the file's creation then fails with the system's reason).
TEST(ZipFolders, AFileInTheWayIsNotTakenForAFolder) {
  TTempFolder temp;
  const std::string out = ExpandPath(temp / "out");
  ASSERT_TRUE(CreateDir(out));
  WriteFile(out + "\\f", "a file");
  TWatchedFolders folders;
  folders.Force(out);
  folders.Calls.clear();
  folders.Force(out + "\\f\\g");
  EXPECT_EQ(folders.Calls,
            (std::vector<std::string>{"create " + out + "\\f", "exists " + out + "\\f"}));
  folders.Calls.clear();
  folders.Force(out + "\\f\\g");
  EXPECT_EQ(folders.Calls.size(), 2u);
  EXPECT_EQ(ReadFile(out + "\\f"), "a file");
}

// The checks of the path stay those of ForceFolders, for a folder not yet known.
TEST(ZipFolders, PathsAreCheckedAsBefore) {
  TWatchedFolders folders;
  EXPECT_THROW(folders.Force(GetCurrentDir() + "\\bad|name"), EArgumentException);
  EXPECT_THROW(folders.Force(GetCurrentDir() + "\\" + std::string(300, 'x')),
               EPathTooLongException);
  EXPECT_THROW(folders.Force(GetCurrentDir() + "\\a:b"), ENotSupportedException);
  EXPECT_TRUE(folders.Calls.empty());
}

}  // namespace
