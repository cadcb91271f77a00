// Archives made by real tools (Info-ZIP zip, Python's zipfile, 7-Zip), committed under
// fixtures/ with a list of their entries; make_fixtures.py rebuilds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ZipTestSupport.h"
#include "base/FileSystem.h"
#include "zip/ZipFile.h"

using namespace ziptest;

namespace {
// The downloader's own target folder.
constexpr const char* kSetupFolder = "Plenwick Setup (64-bit)\\";

struct TListedEntry {
  std::string Name;     // as the entry's name should decode, "/" separated
  std::string Content;  // file under fixtures/content, "-" for a folder entry
};

std::vector<TListedEntry> ReadList(const std::string& fixture) {
  const auto text = ReadFile(FixtureDir() + "\\" + fixture + ".list");
  EXPECT_TRUE(text) << fixture;
  std::vector<TListedEntry> entries;
  std::istringstream in(text.value_or(""));
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    entries.push_back({line.substr(0, tab), line.substr(tab + 1)});
  }
  return entries;
}

std::unique_ptr<TMemoryStream> LoadFixture(const std::string& fixture) {
  const auto bytes = ReadFile(FixtureDir() + "\\" + fixture + ".zip");
  EXPECT_TRUE(bytes) << fixture;
  return MemoryStreamOf(bytes.value_or(""));
}

std::string WithBackslashes(std::string s) {
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

// Opens, lists and extracts a fixture as the downloader does, then compares every entry with
// the file it was made from.
void ExpectExtractsAsListed(TZipFile& zip, const std::string& fixture) {
  const auto listed = ReadList(fixture);
  ASSERT_FALSE(listed.empty());
  auto archive = LoadFixture(fixture);
  zip.Open(*archive, TZipMode::zmRead);
  std::vector<std::string> names;
  for (const auto& e : listed)
    names.push_back(e.Name);
  EXPECT_EQ(zip.FileNames(), names);

  TTempFolder temp;
  const std::string target = temp / kSetupFolder;
  zip.ExtractAll(target);
  zip.Close();

  int files = 0;
  for (const auto& e : listed) {
    const std::string path = target + WithBackslashes(e.Name);
    if (e.Content == "-") {
      EXPECT_TRUE(DirectoryExists(path)) << path;
      continue;
    }
    ++files;
    const auto expected = ReadFile(FixtureDir() + "\\content\\" + e.Content);
    ASSERT_TRUE(expected) << e.Content;
    const auto actual = ReadFile(path);
    ASSERT_TRUE(actual) << "not extracted: " << path;
    EXPECT_TRUE(*actual == *expected) << "content differs: " << e.Name;
  }
  EXPECT_EQ(CountFiles(target), files);
}

class ToolArchive : public ::testing::TestWithParam<const char*> {};
}  // namespace

TEST_P(ToolArchive, ExtractsEveryFileByteForByte) {
  TZipFile zip;
  ExpectExtractsAsListed(zip, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ToolArchive,
                         ::testing::Values("infozip-deflated", "infozip-stored-nodirs",
                                           "infozip-streamed", "infozip-cp437", "infozip-utf8",
                                           "python-utf8", "python-utf8-noflag",
                                           "python-unicode-path", "unicode-path-stale-crc",
                                           "7zip-utf8"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// The fixtures really hold what they are there for.
TEST(ToolArchives, CoverStoredDeflatedDescriptorsCommentAndMixedFlags) {
  auto methodsAndFlags = [](const std::string& fixture) {
    auto archive = LoadFixture(fixture);
    TZipFile zip;
    zip.Open(*archive, TZipMode::zmRead);
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < zip.FileCount(); ++i)
      out.emplace_back(zip.FileInfo(i).CompressionMethod, zip.FileInfo(i).Flag);
    return out;
  };
  auto any = [](const auto& v, auto pred) { return std::any_of(v.begin(), v.end(), pred); };
  const auto deflated = methodsAndFlags("infozip-deflated");
  EXPECT_TRUE(any(deflated, [](auto e) { return e.first == 8; }));
  EXPECT_TRUE(any(methodsAndFlags("infozip-stored-nodirs"), [](auto e) { return e.first == 0; }));
  EXPECT_TRUE(any(methodsAndFlags("infozip-streamed"), [](auto e) { return e.second & 0x08; }));
  for (const char* fixture : {"python-utf8", "7zip-utf8"}) {
    const auto entries = methodsAndFlags(fixture);
    EXPECT_TRUE(any(entries, [](auto e) { return e.second & 0x800; })) << fixture;
    EXPECT_TRUE(any(entries, [](auto e) { return !(e.second & 0x800); })) << fixture;
  }
  EXPECT_FALSE(any(methodsAndFlags("infozip-cp437"), [](auto e) { return e.second & 0x800; }));

  // The names without bit 11 that decode as UTF-8 all the same: from Unix hosts, or through
  // the Unicode Path extra field (0x7075) of a Windows host's entry.
  auto hostsAndExtras = [](const std::string& fixture) {
    auto archive = LoadFixture(fixture);
    TZipFile zip;
    zip.Open(*archive, TZipMode::zmRead);
    std::set<std::string> seen;
    for (int i = 0; i < zip.FileCount(); ++i) {
      const TZipHeader h = zip.FileInfo(i);
      if (h.Flag & 0x800) seen.insert("flag");
      seen.insert("host " + std::to_string(h.MadeByVersion >> 8));
      // The extra field's blocks: a 2-byte id, a 2-byte length, the data.
      const TBytes& x = h.ExtraField;
      for (size_t at = 0; at + 4 <= x.size(); at += 4 + (x[at + 2] | x[at + 3] << 8)) {
        const int id = x[at] | x[at + 1] << 8;
        if (id == 0x7075) seen.insert("unicode path");
        if (id == 0x5455) seen.insert("time");
      }
    }
    return seen;
  };
  using TSeen = std::set<std::string>;
  EXPECT_EQ(hostsAndExtras("infozip-utf8"), (TSeen{"host 3", "time"}));
  EXPECT_EQ(hostsAndExtras("python-utf8-noflag"), (TSeen{"host 3"}));
  EXPECT_EQ(hostsAndExtras("python-unicode-path"), (TSeen{"host 0", "unicode path"}));
  EXPECT_EQ(hostsAndExtras("unicode-path-stale-crc"), (TSeen{"host 0", "unicode path"}));
  EXPECT_EQ(hostsAndExtras("infozip-cp437"), (TSeen{"host 3"}));

  auto archive = LoadFixture("infozip-deflated");
  TZipFile zip;
  zip.Open(*archive, TZipMode::zmRead);
  EXPECT_EQ(zip.Comment(), "Plenwick test archive\r\nmade by Info-ZIP");
}

// One object reused for several archives (as the downloader does): every name decodes by its
// own entry's header, whatever was opened before.
TEST(ToolArchives, NamesDecodeByTheirOwnFlagAcrossArchivesOfOneObject) {
  TZipFile zip;
  ExpectExtractsAsListed(zip, "infozip-cp437");
  ExpectExtractsAsListed(zip, "python-utf8");
  ExpectExtractsAsListed(zip, "infozip-utf8");
  ExpectExtractsAsListed(zip, "7zip-utf8");
  ExpectExtractsAsListed(zip, "python-unicode-path");
  ExpectExtractsAsListed(zip, "infozip-cp437");
}
