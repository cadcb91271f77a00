#include <gtest/gtest.h>

#include "base/Utf.h"

TEST(Utf, RoundTripsBmpAndSurrogatePairs) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, e-acute, euro, emoji
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_TRUE(IsValidUtf8(text));
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    const char* input;
    std::u16string expected;
  } cases[] = {
      {"\x80z", u"\xFFFDz"},                    // stray continuation byte
      {"\xC0\xAF", u"\xFFFD\xFFFD"},            // overlong "/"
      {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},  // encoded surrogate
      {"\xE2\x82", u"\xFFFD\xFFFD"},            // truncated
      {"\xF5\x80\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.input), c.expected) << c.input;
    EXPECT_FALSE(IsValidUtf8(c.input));
  }
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // lone high surrogate
}
