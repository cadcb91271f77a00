// Reading the proxy's challenges, and the scheme taken from them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/IdAuthChallenges.h"
#include "http/IdAuthentication.h"

namespace {

using TParams = std::vector<std::pair<std::string, std::string>>;

struct ChallengeCase {
  const char* name;
  std::vector<std::string> fields;  // one value per field received
  std::vector<TIdAuthChallenge> expected;
};

const ChallengeCase kChallengeCases[] = {
    {"OneSchemeAlone", {"NTLM"}, {{"NTLM", "", {}}}},
    {"SeveralFields",
     {"Negotiate", "NTLM", "Basic realm=\"office\""},
     {{"Negotiate", "", {}}, {"NTLM", "", {}}, {"Basic", "", TParams{{"realm", "office"}}}}},
    {"SeveralChallengesInOneField",
     {"Negotiate, NTLM, Basic realm=\"office\", charset=UTF-8"},
     {{"Negotiate", "", {}},
      {"NTLM", "", {}},
      {"Basic", "", TParams{{"realm", "office"}, {"charset", "UTF-8"}}}}},
    {"ATokenWithPadding",
     {"NTLM TlRMTVNTUAACAAAAAAAAAA=="},
     {{"NTLM", "TlRMTVNTUAACAAAAAAAAAA==", {}}}},
    {"ATokenBeforeTheNextChallenge",
     {"Negotiate YIIB+w==, Basic realm=x"},
     {{"Negotiate", "YIIB+w==", {}}, {"Basic", "", TParams{{"realm", "x"}}}}},
    {"QuotedCommasAndEscapes",
     {"Basic realm=\"a, \\\"b\\\"\", Digest realm=\"c\", qop=\"auth\""},
     {{"Basic", "", TParams{{"realm", "a, \"b\""}}},
      {"Digest", "", TParams{{"realm", "c"}, {"qop", "auth"}}}}},
    {"SpacesAroundTheEqualsSign",
     {"Basic realm = \"x\" ,  Bearer"},
     {{"Basic", "", TParams{{"realm", "x"}}}, {"Bearer", "", {}}}},
    {"NamesAreReadInLowerCase", {"basic REALM=x"}, {{"basic", "", TParams{{"realm", "x"}}}}},
    {"EmptyElementsArePassedOver", {", ,NTLM,, Basic", ""}, {{"NTLM", "", {}}, {"Basic", "", {}}}},
    {"WhatCannotBeReadIsPassedOverToTheNextComma", {"=bad, \"quoted\", NTLM"}, {{"NTLM", "", {}}}},
};

class Challenges : public ::testing::TestWithParam<ChallengeCase> {};

TEST_P(Challenges, AreReadWhole) {
  TIdHeaderList fields(QuoteHTTP);
  for (const std::string& field : GetParam().fields)
    fields.Add(field);
  EXPECT_EQ(ParseAuthChallenges(fields), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(ProxyAuthenticate, Challenges, ::testing::ValuesIn(kChallengeCases),
                         [](const ::testing::TestParamInfo<ChallengeCase>& info) {
                           return info.param.name;
                         });

TEST(AuthSchemes, NegotiateIsStrongestThenNTLMThenBasic) {
  EXPECT_GT(AuthSchemeStrength("Negotiate"), AuthSchemeStrength("ntlm"));
  EXPECT_GT(AuthSchemeStrength("NTLM"), AuthSchemeStrength("BASIC"));
  EXPECT_GT(AuthSchemeStrength("Basic"), 0);
  EXPECT_EQ(AuthSchemeStrength("Digest"), 0);
  EXPECT_EQ(AuthSchemeStrength("Bearer"), 0);
}

TEST(AuthSchemes, Base64DecodesWhatItEncodes) {
  for (const std::string text : {"", "a", "ab", "abc", "abcd", "user:p\xc3\xa4ss\x01\xff"}) {
    std::string back;
    ASSERT_TRUE(Base64Decode(Base64Encode(text), back)) << text;
    EXPECT_EQ(back, text);
  }
  std::string bytes;
  EXPECT_TRUE(Base64Decode("dXNlcg", bytes)) << "padding may be left out";
  EXPECT_EQ(bytes, "user");
  for (const char* bad : {"dXNlcg=x", "d", "dX*l", "dX Nl", "dXNlcg==="})
    EXPECT_FALSE(Base64Decode(bad, bytes)) << bad;
}

}  // namespace
