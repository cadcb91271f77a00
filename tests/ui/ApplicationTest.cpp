#include <gtest/gtest.h>

#include <memory>

#include "ui/Application.h"

TEST(Application, TitleFromFileName) {
  struct Case {
    const char* file;
    const char* title;
  } cases[] = {
      {"C:\\Downloads\\Setup_x64-stable.exe", "Setup_x64-stable"},
      {"C:\\Downloads\\SETUP.EXE", "Setup"},
      {"my.setup.tool.exe", "my"},
      {"/opt/x/Plenwick-Develop_x64-nightly.exe", "Plenwick-develop_x64-nightly"},
      {"noext", "noext"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ApplicationTitleFromFileName(c.file), c.title) << c.file;
}

TEST(Application, ExceptionDisplayTextFullStopRule) {
  struct Case {
    const char* message;
    const char* shown;
  } cases[] = {
      {"Connection Closed Gracefully.", "Connection Closed Gracefully."},
      {"HTTP/1.1 404 Not Found", "HTTP/1.1 404 Not Found."},
      {"Code 7", "Code 7."},
      {"Done!", "Done!"},
      {"Ends with space ", "Ends with space "},
      {"(x)", "(x)"},
      {"a,", "a,"},
      {"a-", "a-"},
      {"slash/", "slash/."},
      {"", ""},
      // Translations: the sentence's own ending counts, whatever its script.
      {"\xE6\x8E\xA5\xE7\xB6\x9A\xE3\x80\x82", "\xE6\x8E\xA5\xE7\xB6\x9A\xE3\x80\x82"},  // "。"
      {"(%s\xEF\xBC\x89", "(%s\xEF\xBC\x89"},                                            // "）"
      {"\xEF\xBC\x81", "\xEF\xBC\x81"},                                                  // "！"
      {"\xE6\x8E\xA5\xE7\xB6\x9A", "\xE6\x8E\xA5\xE7\xB6\x9A."},  // no ending
      {"\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0",
       "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0."},  // Cyrillic letter
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExceptionDisplayText(Exception(c.message)), c.shown) << c.message;
}

TEST(Application, ExceptionDisplayUsesInnermostNonEmptyMessage) {
  Exception outer("outer");
  auto middle = std::make_shared<Exception>("middle");
  middle->SetInnerException(std::make_shared<Exception>("innermost"));
  outer.SetInnerException(middle);
  EXPECT_EQ(ExceptionDisplayText(outer), "innermost.");

  Exception withEmptyInner("outer");
  withEmptyInner.SetInnerException(std::make_shared<Exception>(""));
  EXPECT_EQ(ExceptionDisplayText(withEmptyInner), "outer.");
}
