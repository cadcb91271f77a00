#include <gtest/gtest.h>

#include "app/ArchiveSuffix.h"
#include "app/platform/FolderHelpers.h"

TEST(ArchiveSuffix, FromTheExecutablePath) {
  struct Case {
    const char* exe;
    const char* suffix;
  } cases[] = {
      {"C:\\Downloads\\Plenwick-setup_x64-stable.exe", "_x64-stable.zip"},
      {"C:\\Downloads\\Plenwick-develop_x64-nightly.exe", "_x64-nightly.zip"},
      {"C:\\Work-develop\\Setup_x64.exe", "_x64.zip"},  // the marker only in a folder
      {"C:\\Downloads\\Plenwick-Develop_x64-nightly.exe", "_x64-stable.zip"},  // case matters
      {"C:\\a.b\\x-develop_x64", "_x64.zip"},  // no extension: ".zip" appended
      // Only the file name makes the suffix: a folder's "_x", a name without "_x" and a "." in
      // a folder leave the folders (and the user's name in them) out of the URL.
      {"C:\\Builds_x1\\Setup-develop_x64.exe", "_x64.zip"},
      {"C:\\Users\\Ann_xu\\setup-develop.exe", "setup-develop.zip"},
      {"C:\\Tools\\setup-develop.exe", "setup-develop.zip"},
      {"C:\\a.b-develop\\_x64\\run", "run.zip"},
      {"C:/Users/Ann_x/Plenwick-develop_x64-nightly.exe", "_x64-nightly.zip"},
      {"C:Plenwick-develop_x64-nightly.exe", "_x64-nightly.zip"},
      {"Plenwick-develop_x64-nightly.exe", "_x64-nightly.zip"},
      // The number a browser adds to a second download of the same file.
      {"C:\\Downloads\\Setup-develop_x64-1.2 (1).exe", "_x64-1.2.zip"},
      {"C:\\Downloads\\Setup-develop_x64-1.2 (12).exe", "_x64-1.2.zip"},
      {"C:\\Downloads\\Setup-develop_x64-1.2(2).exe", "_x64-1.2.zip"},
      {"C:\\Downloads\\Setup-develop_x64-1.2 (1)", "_x64-1.zip"},  // no extension: ".2 (1)" is one
      {"C:\\Downloads\\setup-develop (3).exe", "setup-develop.zip"},
      // Not a copy number: kept as it is.
      {"C:\\Downloads\\Setup-develop_x64 (beta).exe", "_x64 (beta).zip"},
      {"C:\\Downloads\\Setup-develop_x64 ().exe", "_x64 ().zip"},
      {"C:\\Downloads\\Setup-develop_x64 (1) x.exe", "_x64 (1) x.zip"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ArchiveSuffix(c.exe), c.suffix) << c.exe;
}

TEST(FolderHelpers, FolderOfAPath) {
  struct Case {
    const char* path;
    const char* folder;
  } cases[] = {
      {"C:\\Downloads\\setup.exe", "C:\\Downloads\\"},
      {"C:/a/b/setup.exe", "C:/a/b/"},
      {"\\\\server\\share\\setup.exe", "\\\\server\\share\\"},
      {"setup.exe", ""},
      {"C:setup.exe", ""},
      {"C:\\a/b\\", "C:\\a/b\\"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExtractFilePath(c.path), c.folder) << c.path;
}
