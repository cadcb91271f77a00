#include <gtest/gtest.h>

#include "http/IdURI.h"

TEST(IdURIEncoding, PathAndParamsEncodersEscapeTheirUnsafeCharacters) {
  const std::string ascii = "a b*<>#%\"{}|\\^[]`+~!$&'()=/?:@\x7F";
  EXPECT_EQ(TIdURI::PathEncode(ascii),
            "a%20b%2A%3C%3E%23%25%22%7B%7D%7C%5C%5E%5B%5D%60%2B~!$&'()=/?:@\x7F");
  // The same, except that "+" stays.
  EXPECT_EQ(TIdURI::ParamsEncode(ascii),
            "a%20b%2A%3C%3E%23%25%22%7B%7D%7C%5C%5E%5B%5D%60+~!$&'()=/?:@\x7F");
  EXPECT_EQ(TIdURI::PathEncode(""), "");
  EXPECT_EQ(TIdURI::ParamsEncode(""), "");
  EXPECT_EQ(TIdURI::PathEncode("\t\r\n"), "%09%0D%0A");
}

TEST(IdURIEncoding, NonAsciiCharactersBecomeTheirEncodedBytes) {
  struct {
    const char* input;
    const char* path;
    const char* params;
  } cases[] = {
      {"\xC3\xA9", "%C3%A9", "%C3%A9"},                      // e-acute
      {"\xE2\x82\xAC", "%E2%82%AC", "%E2%82%AC"},            // euro sign
      {"\xF0\x9F\x98\x80", "%F0%9F%98%80", "%F0%9F%98%80"},  // a surrogate pair: one character
      {"\xC2\x80", "%C2%80", "\xC2\x80"},                    // U+0080 stays in parameters
      {"\xC2\x81", "%C2%81", "%C2%81"},
      {"\xFF", "%EF%BF%BD", "%EF%BF%BD"},  // malformed input: U+FFFD
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TIdURI::PathEncode(c.input), c.path) << c.input;
    EXPECT_EQ(TIdURI::ParamsEncode(c.input), c.params) << c.input;
  }
  EXPECT_EQ(TIdURI::PathEncode("\xC3\xA9", TIdURIByteEncoding::Latin1), "%E9");
  EXPECT_EQ(TIdURI::PathEncode("\xE2\x82\xAC", TIdURIByteEncoding::Latin1), "%3F");
  EXPECT_EQ(TIdURI::ParamsEncode("\xC3\xA9 x", TIdURIByteEncoding::ASCII), "%3F%20x");
}

TEST(IdURIEncoding, URLEncodeEncodesPathDocumentAndParamsOnly) {
  EXPECT_EQ(TIdURI::URLEncode("http://u:p@h:8080/a b/c+d.zip?x=1+2 3#frag"),
            "http://h:8080/a%20b/c%2Bd.zip?x=1+2%203");
  EXPECT_EQ(TIdURI::URLEncode("http://h/\xC3\xA9"), "http://h/%C3%A9");
  EXPECT_THROW(TIdURI::URLEncode("relative/path"), EIdURIException);
}

TEST(IdURIEncoding, URLDecodeReadsBothEscapeForms) {
  struct {
    const char* input;
    const char* decoded;
  } cases[] = {
      {"a%20b%2fc", "a b/c"},
      {"%C3%A9", "\xC3\xA9"},
      {"%u00E9%U20ac", "\xC3\xA9\xE2\x82\xAC"},
      {"%uD83D%uDE00", "\xF0\x9F\x98\x80"},  // a surrogate pair written as two escapes
      {"%uD83Dx", "\xEF\xBF\xBDx"},          // a lone surrogate
      {"a%zzb%u12G4c", "abc"},               // malformed escapes are dropped
      {"x%4", "x"},
      {"x%", "x"},
      {"x%u12", "x"},
      {"%C3", "\xEF\xBF\xBD"},  // an incomplete UTF-8 sequence
      {"\xC3\xA9%21", "\xC3\xA9!"},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TIdURI::URLDecode(c.input), c.decoded) << c.input;
  EXPECT_EQ(TIdURI::URLDecode("%E9t%E9", TIdURIByteEncoding::Latin1), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(TIdURI::URLDecode("%E9t", TIdURIByteEncoding::ASCII), "?t");
}

TEST(IdURIEncoding, DecodeUndoesEncode) {
  const std::string text = "a b%c+d\xC3\xA9\xF0\x9F\x98\x80";
  EXPECT_EQ(TIdURI::URLDecode(TIdURI::PathEncode(text)), text);
  EXPECT_EQ(TIdURI::URLDecode(TIdURI::ParamsEncode(text)), text);
}
