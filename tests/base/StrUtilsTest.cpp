#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "base/StrUtils.h"

TEST(StrUtils, CaseInsensitiveComparisons) {
  EXPECT_TRUE(SameText("Content-Length", "content-LENGTH"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_TRUE(StartsText("http", "HTTP/1.1"));
  EXPECT_TRUE(EndsText(".ZIP", "archive.zip"));
  EXPECT_EQ(PosText("CLOSE", "keep-alive, close"), 12u);
  EXPECT_EQ(PosText("x", "abc"), std::string_view::npos);
}

TEST(StrUtils, TrimRemovesControlCharactersAndSpaces) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_EQ(Trim("   "), "");
}

TEST(StrUtils, StrToInt64Def) {
  struct Case {
    const char* text;
    int64_t expected;
  } cases[] = {
      {"0", 0},
      {" 42 ", 42},
      {"-17", -17},
      {"+5", 5},
      {"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<int64_t>::min()},
      {"9223372036854775808", -1},
      {"12a", -1},
      {"", -1},
      {"-", -1},
      {"1 2", -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StrToInt64Def(c.text, -1), c.expected) << c.text;
  EXPECT_EQ(StrToIntDef("2147483647", 0), 2147483647);
  EXPECT_EQ(StrToIntDef("2147483648", 0), 0);
  EXPECT_EQ(StrToIntDef("-2147483648", 0), std::numeric_limits<int>::min());
}
