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
