#include <gtest/gtest.h>

#include "app/ArchiveSuffix.h"
#include "app/FolderHelpers.h"

TEST(ArchiveSuffix, FromTheExecutablePath) {
  struct Case {
    const char* exe;
    const char* suffix;
  } cases[] = {
      {"C:\\Downloads\\Plenwick-setup_x64-stable.exe", "_x64-stable.zip"},
      {"C:\\Downloads\\Plenwick-develop_x64-nightly.exe", "_x64-nightly.zip"},
      {"C:\\Work-develop\\Setup_x64.exe", "_x64.zip"},  // the marker only in a folder
      {"C:\\Builds_x1\\Setup-develop_x64.exe", "_x1\\Setup-develop_x64.zip"},  // "_x" in a folder
      {"C:\\Tools\\setup-develop.exe", "C:\\Tools\\setup-develop.zip"},        // no "_x"
      {"C:\\Downloads\\Plenwick-Develop_x64-nightly.exe", "_x64-stable.zip"},  // case matters
      {"C:\\a.b\\x-develop_x64", "_x64.zip"},           // no extension: ".zip" appended
      {"C:\\a.b-develop\\_x64\\run", "_x64\\run.zip"},  // a "." before the last "\" is no extension
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
