// The text table over all its languages, and the lookup that serves the program from it.

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "base/TextTable.h"
#include "base/Texts.h"
#include "base/Utf.h"

namespace {

const TTextTableLanguage& English() {
  return kTextTableLanguages[0];
}

const char* TextOf(const TTextTableLanguage& ALanguage, int AId) {
  return ALanguage.Texts[AId - kFirstTextId];
}

// What a translation must keep of its English text, in order: the printf conversions (with
// their flags, width, precision and length), the line breaks and the tabs (which keep a table's
// columns). Returns false when a "%"
// starts no conversion the formatter knows.
bool Structure(const std::string& AText, std::vector<std::string>& AOut) {
  static const std::regex conversion(
      "^%[-+ #0]*([0-9]+|\\*)?(\\.([0-9]+|\\*))?(hh|h|ll|l|L|z|j|t)?[diouxXeEfgGcsp%]");
  AOut.clear();
  for (size_t i = 0; i < AText.size(); ++i) {
    if (AText.compare(i, 2, "\r\n") == 0) {
      AOut.push_back("CRLF");
      ++i;
    } else if (AText[i] == '\r' || AText[i] == '\n') {
      AOut.push_back(AText[i] == '\r' ? "CR" : "LF");
    } else if (AText[i] == '\t') {
      AOut.push_back("TAB");
    } else if (AText[i] == '%') {
      std::smatch m;
      const std::string rest = AText.substr(i);
      if (!std::regex_search(rest, m, conversion)) return false;
      AOut.push_back(m.str());
      i += m.length() - 1;
    }
  }
  return true;
}

std::string Joined(const std::vector<std::string>& AParts) {
  std::string out;
  for (const std::string& p : AParts)
    out += "[" + p + "]";
  return out;
}

// Letters folded to lower case where a sentence may capitalise a stem: ASCII and Cyrillic.
std::u16string Folded(const std::string& AText) {
  std::u16string text = Utf8ToUtf16(AText);
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    if (c >= 0x0410 && c <= 0x042F) c = static_cast<char16_t>(c + 32);
    if (c == 0x0401) c = 0x0451;
  }
  return text;
}

TEST(TextTable, EveryTextIsThereInEveryLanguage) {
  ASSERT_STREQ(English().Tag, "en");
  ASSERT_EQ(English().Id, 0x0409);
  for (int l = 0; l < kTextTableLanguageCount; ++l) {
    const TTextTableLanguage& language = kTextTableLanguages[l];
    for (int id = kFirstTextId; id <= kLastTextId; ++id) {
      const char* text = TextOf(language, id);
      EXPECT_TRUE(text && *text) << language.Tag << " lacks " << EnglishText(TTextId(id));
      if (text) {
        EXPECT_TRUE(IsValidUtf8(text)) << language.Tag << ": " << text;
      }
    }
  }
}

TEST(TextTable, EveryLanguageKeepsTheEnglishPlaceholdersLineBreaksAndTabsInOrder) {
  std::vector<std::string> english, translated;
  for (int id = kFirstTextId; id <= kLastTextId; ++id) {
    ASSERT_TRUE(Structure(TextOf(English(), id), english)) << TextOf(English(), id);
    for (int l = 1; l < kTextTableLanguageCount; ++l) {
      const char* text = TextOf(kTextTableLanguages[l], id);
      if (!text) continue;  // told by the test above
      ASSERT_TRUE(Structure(text, translated)) << kTextTableLanguages[l].Tag << ": " << text;
      EXPECT_EQ(Joined(translated), Joined(english))
          << kTextTableLanguages[l].Tag << ": " << text << "\n   en: " << TextOf(English(), id);
    }
  }
}

// One term per language for setup, installer, archive, proxy and server.
TEST(TextTable, EveryTranslationUsesTheGlossarysTerm) {
  ASSERT_GE(std::size(kTextTableTerms), 5u);
  for (const TTextTableTerm& term : kTextTableTerms) {
    const std::u16string word = Folded(term.Word);
    int uses = 0;
    for (int id = kFirstTextId; id <= kLastTextId; ++id) {
      if (Folded(TextOf(English(), id)).find(word) == std::u16string::npos) continue;
      ++uses;
      for (int l = 1; l < kTextTableLanguageCount; ++l) {
        const char* stem = term.Stems[l];
        ASSERT_TRUE(stem) << term.Word << " has no term in " << kTextTableLanguages[l].Tag;
        const char* text = TextOf(kTextTableLanguages[l], id);
        if (!text) continue;
        EXPECT_NE(Folded(text).find(Folded(stem)), std::u16string::npos)
            << kTextTableLanguages[l].Tag << " says \"" << text << "\" without \"" << stem
            << "\" for \"" << term.Word << "\"";
      }
    }
    EXPECT_GT(uses, 0) << term.Word << " is in no English text";
  }
}

// The English texts are the program's as specified, byte for byte.
TEST(TextTable, EnglishTextsAsSpecified) {
  struct Case {
    TTextId id;
    const char* text;
  } cases[] = {
      {RSMainCaption, "Plenwick Suite Setup - Web Downloader"},
      {RSStatusInitiating, "Initiating download..."},
      {RSStatusChecking, "Checking files to download..."},
      {RSStatusDownloading, "Downloading..."},
      {RSStatusExtracting, "Extracting..."},
      {RSStatusInstalling, "Initiating installation procedure..."},
      {RSProbeFailure,
       "Could not download files from distribution server.\r\n\r\nDownloader will now exit."},
      {RSProbeFailureTryAgain, "Could not download files from distribution server."},
      {RSCaptionError, "Error"},
      {RSConnectionClosedGracefully, "Connection Closed Gracefully."},
      {RSReadTimeout, "Read timed out."},
      {RSStackError, "Socket Error # %d\r\n%s"},
      {RSNoTimers, "Not enough timers available"},
      {RSDiskSpaceShort, "Setup needs %s free on %s, but only %s are free."},
      {RSWebPageInstead,
       "The network returned a web page instead of the setup archive. You may need to sign in to "
       "the network first."},
      {RSTryAgain, "Try again"},
      {RSDetails, "Details"},
      {RSUsageCaption, "Plenwick Suite Setup"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(EnglishText(c.id), c.text);
    EXPECT_STREQ(TextOf(English(), c.id), c.text);
  }
}

TEST(TextTable, EachLanguageHasItsOwnStringTable) {
  for (int l = 0; l < kTextTableLanguageCount; ++l) {
    EXPECT_EQ(kTextLanguages[l], kTextTableLanguages[l].Id);
    for (int k = 0; k < l; ++k)
      EXPECT_NE(kTextTableLanguages[l].Id & 0x3FF, kTextTableLanguages[k].Id & 0x3FF)
          << kTextTableLanguages[l].Tag << " and " << kTextTableLanguages[k].Tag
          << " would serve the same users";
  }
}

// Which of the table's languages serves a user's display language.
TEST(Texts, TableLanguageForTheUsersDisplayLanguage) {
  struct Case {
    uint16_t user;
    uint16_t table;
  } cases[] = {
      {0x0409, 0x0409},  // en-US
      {0x0809, 0x0409},  // en-GB
      {0x0407, 0x0407},  // de-DE
      {0x0807, 0x0407},  // de-CH
      {0x0C0C, 0x040C},  // fr-CA
      {0x080A, 0x0C0A},  // es-MX
      {0x0410, 0x0410},  // it-IT
      {0x0416, 0x0416},  // pt-BR
      {0x0816, 0x0416},  // pt-PT: the Brazilian table rather than English
      {0x0415, 0x0415},  // pl-PL
      {0x0419, 0x0419},  // ru-RU
      {0x0411, 0x0411},  // ja-JP
      {0x0412, 0x0412},  // ko-KR
      {0x0804, 0x0804},  // zh-CN
      {0x1004, 0x0804},  // zh-SG, simplified too
      {0x0004, 0x0804},  // zh-Hans
      {0x0404, 0},       // zh-TW: traditional script, not served
      {0x0C04, 0},       // zh-HK
      {0x7C04, 0},       // zh-Hant
      {0x0413, 0},       // nl-NL
      {0x041F, 0},       // tr-TR
  };
  for (const Case& c : cases)
    EXPECT_EQ(TableLanguageFor(c.user), c.table) << std::hex << c.user;
}

TEST(Texts, LookupGivesEnglishWhereTheProgramHasNoStringTable) {
  // A test program carries no string tables of its own unless it links them (Windows tests
  // that do run with the display language pinned to English).
  EXPECT_EQ(Text(RSReadTimeout), "Read timed out.");
  EXPECT_EQ(Format(RSStackError, 10061, "Connection refused"),
            "Socket Error # 10061\r\nConnection refused");
  EXPECT_EQ(Format(RSHTTPBodyCutOff, 5LL, 10LL),
            "The server closed the connection after 5 of 10 bytes.");
  EXPECT_STREQ(EnglishText(TTextId(0)), "");
  EXPECT_STREQ(EnglishText(TTextId(kLastTextId + 1)), "");
}

#ifdef _WIN32
// This test program links the string tables made from the table, as the downloader does: every
// language's every string reads back from them as the table has it.
TEST(TextResources, EveryStringOfEveryLanguageReadsAsTheTableHasIt) {
  for (int l = 0; l < kTextTableLanguageCount; ++l) {
    const TTextTableLanguage& language = kTextTableLanguages[l];
    for (int id = kFirstTextId; id <= kLastTextId; ++id)
      EXPECT_EQ(ResourceText(language.Id, TTextId(id)), TextOf(language, id))
          << language.Tag << " " << id;
  }
  EXPECT_EQ(ResourceText(0x0413, RSReadTimeout), "") << "no Dutch table";
}

TEST(TextResources, TheDisplayLanguageOfTheTestsIsEnglish) {
  EXPECT_EQ(TextLanguage(), 0x0409);
  EXPECT_EQ(Text(RSStatusDownloading), "Downloading...");
}
#endif

}  // namespace
