// Opening archives: the end record search, the central directory and the queries.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "zip/ZipFile.h"

using namespace ziptest;

namespace {
TTestArchive TwoEntries() {
  TTestArchive a;
  a.Entries.push_back({.Name = "readme.txt", .Data = "hello"});
  a.Entries.push_back({.Name = "sub/data.bin", .Data = std::string(3000, 'x'), .Method = 8});
  return a;
}

// An end record that a comment carries: 22 bytes saying the archive is empty.
std::string EmptyEndRecord() {
  return BuildZip(TTestArchive{});
}

struct TOpenFailure {
  const char* Case;
  std::string Bytes;
  const char* Message;
};

// Entries ahead of the end record fill more than three search windows, so that no window is
// clamped to the start of the stream.
std::string WithComment(size_t commentSize) {
  TTestArchive a = TwoEntries();
  a.Entries.push_back({.Name = "pad.bin", .Data = std::string(5000, 'p')});
  a.Comment = std::string(commentSize, 'c');
  return BuildZip(a);
}

std::string BadCentralSignature() {
  TTestArchive a = TwoEntries();
  a.Entries[1].CentralSignature = 0x02014B51;
  return BuildZip(a);
}

std::string DirectoryPastTheEnd() {
  TTestArchive a = TwoEntries();
  a.DirectoryOffset = 0x00100000;
  return BuildZip(a);
}

std::string NameCutShort() {
  // The last central header claims a name longer than what is left of the stream.
  std::string zip = BuildZip(TwoEntries());
  const size_t central = zip.rfind(std::string("PK\1\2", 4));
  zip[central + 28] = '\xFF';
  zip[central + 29] = '\x7F';
  return zip;
}

std::string MoreEntriesThanHeaders() {
  TTestArchive a = TwoEntries();
  a.TotalEntries = 3;
  return BuildZip(a);
}
}  // namespace

TEST(ZipOpen, FailuresLeaveTheObjectClosed) {
  const std::vector<TOpenFailure> cases = {
      {"empty stream", "", "Stream read error"},
      {"1 byte", "P", "Error reading zip file"},
      {"2 bytes", "PK", "Error reading zip file"},
      {"3 bytes", std::string("PK\5", 3), "Error reading zip file"},
      {"4 bytes, a bare signature", std::string("PK\5\6", 4), "Error reading zip file"},
      {"end record cut short", std::string("PK\5\6\0\0\0\0\0\0", 10), "Error reading zip file"},
      {"no end record", std::string(5000, 'z'), "Error reading zip file"},
      {"end record 65536 bytes before the end", WithComment(65514), "Error reading zip file"},
      {"bad central signature", BadCentralSignature(), "Invalid Zip Central Header signature"},
      {"directory offset past the end", DirectoryPastTheEnd(),
       "Invalid Zip Central Header signature"},
      {"more entries counted than present", MoreEntriesThanHeaders(),
       "Invalid Zip Central Header signature"},
      {"name cut short by the end", NameCutShort(), "Error reading zip file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    auto stream = MemoryStreamOf(c.Bytes);
    TZipFile zip;
    EXPECT_RAISES(zip.Open(*stream, TZipMode::zmRead), EZipException, c.Message);
    EXPECT_EQ(zip.Mode(), TZipMode::zmClosed);
    EXPECT_RAISES(zip.FileCount(), EZipException, "File must be open");
    EXPECT_RAISES(zip.ExtractAll("never"), EZipException, "File must be open for reading");
  }
}

TEST(ZipOpen, ClosedModeIsAnInvalidArgumentAndClosesFirst) {
  auto stream = MemoryStreamOf(BuildZip(TwoEntries()));
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmRead);
  EXPECT_RAISES(zip.Open(*stream, TZipMode::zmClosed), EZipException, "Invalid argument");
  EXPECT_EQ(zip.Mode(), TZipMode::zmClosed);
}

TEST(ZipOpen, EndRecordIsFoundUpTo65535BytesBackAndAcrossWindowBorders) {
  // Comment sizes that put the signature at the far limit, and 1 to 3 bytes before the start
  // of the first and of the second search window (windows of 1027 bytes, 1023 apart).
  for (size_t comment :
       {size_t{0}, size_t{1}, size_t{1004}, size_t{1005}, size_t{1006}, size_t{1007}, size_t{1008},
        size_t{1009}, size_t{2029}, size_t{2030}, size_t{2031}, size_t{65513}}) {
    SCOPED_TRACE(comment);
    auto stream = MemoryStreamOf(WithComment(comment));
    TZipFile zip;
    zip.Open(*stream, TZipMode::zmRead);
    EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"readme.txt", "sub/data.bin", "pad.bin"}));
    EXPECT_EQ(zip.Comment(), std::string(comment, 'c'));
  }
}

TEST(ZipOpen, RecordNearestTheEndWinsEvenInsideTheComment) {
  // The comment ends with a complete end record of an empty archive: that one is taken.
  TTestArchive a = TwoEntries();
  a.Comment = "see " + EmptyEndRecord();
  auto stream = MemoryStreamOf(BuildZip(a));
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmRead);
  EXPECT_EQ(zip.FileCount(), 0);
  EXPECT_EQ(zip.Comment(), "");
}

TEST(ZipOpen, ArchiveWithoutEntriesOpensEmpty) {
  TTestArchive a;
  a.Comment = "nothing here";
  auto stream = MemoryStreamOf(BuildZip(a));
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmRead);
  EXPECT_EQ(zip.FileCount(), 0);
  EXPECT_EQ(zip.Comment(), "nothing here");
  TTempFolder temp;
  zip.ExtractAll(temp / "out\\");
  EXPECT_EQ(CountEntries(temp.Path()), 0);
}

TEST(ZipOpen, ArchiveAfterOtherDataOpensAtItsStart) {
  TTestArchive a = TwoEntries();
  a.Prefix = std::string(777, '#');
  auto stream = MemoryStreamOf(BuildZip(a));
  stream->SetPosition(777);
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmRead);
  TBytes bytes;
  zip.Read("sub/data.bin", bytes);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(3000, 'x'));
}

TEST(ZipOpen, SecondOpenReplacesTheFirstArchive) {
  auto first = MemoryStreamOf(BuildZip(TwoEntries()));
  TTestArchive b;
  b.Entries.push_back({.Name = "other.txt", .Data = "x"});
  auto second = MemoryStreamOf(BuildZip(b));
  TZipFile zip;
  zip.Open(*first, TZipMode::zmRead);
  zip.Open(*second, TZipMode::zmRead);
  EXPECT_EQ(zip.FileNames(), std::vector<std::string>{"other.txt"});
}

// An entry's name as other extractors read it: bit 11 first, then a Unicode Path extra field
// whose CRC-32 matches the name, then UTF-8 for the names of Unix and OS X hosts, else code
// page 437.
TEST(ZipQueries, EntryNamesDecodeAsOtherExtractorsReadThem) {
  const std::string naive = "na\xC3\xAFve.txt";  // naïve.txt in UTF-8
  const std::string cafe437 = "caf\x82.txt";     // café.txt in code page 437
  const std::string cafe = "caf\xC3\xA9.txt";
  const uint16_t unixHost = 3 << 8 | 30, osx = 19 << 8 | 20, dos = 20, ntfs = 10 << 8 | 20;
  const std::string timeBlock = std::string("UT\x05\x00\x03", 5) + "abcd";
  struct {
    const char* Case;
    std::string Raw;
    uint16_t MadeBy;
    uint16_t Flag;
    std::string Extra;
    std::string Name;
  } cases[] = {
      {"unix-utf8", naive, unixHost, 0, "", naive},
      {"osx-utf8", naive, osx, 0, "", naive},
      {"dos-utf8-bytes-are-cp437", naive, dos, 0, "", "na\xE2\x94\x9C\xC2\xBBve.txt"},
      {"ntfs-utf8-bytes-are-cp437", naive, ntfs, 0, "", "na\xE2\x94\x9C\xC2\xBBve.txt"},
      {"unix-not-utf8-is-cp437", cafe437, unixHost, 0, "", cafe},
      {"unix-flagged", naive, unixHost, 0x800, "", naive},
      {"flagged-invalid-utf8-is-empty", cafe437, unixHost, 0x800, "", ""},
      {"unicode-path", cafe437, dos, 0, UnicodePathExtra(cafe437, cafe), cafe},
      {"unicode-path-after-another-block", "___.txt", dos, 0,
       timeBlock + UnicodePathExtra("___.txt", "\xE6\x97\xA5.txt"), "\xE6\x97\xA5.txt"},
      {"unicode-path-over-unix-name", "a.txt", unixHost, 0, UnicodePathExtra("a.txt", naive),
       naive},
      {"unicode-path-stale-crc", cafe437, dos, 0, UnicodePathExtra("old.txt", cafe, 0), cafe},
      {"unicode-path-crc-of-another-name", "new.txt", dos, 0,
       UnicodePathExtra("old.txt", "old.txt"), "new.txt"},
      {"unicode-path-version-2", cafe437, dos, 0, UnicodePathExtra(cafe437, "x.txt", {}, 2), cafe},
      {"unicode-path-not-utf8", cafe437, dos, 0, UnicodePathExtra(cafe437, "\xC3(.txt"), cafe},
      {"unicode-path-empty", cafe437, dos, 0, UnicodePathExtra(cafe437, ""), cafe},
      {"unicode-path-cut-short", cafe437, dos, 0, UnicodePathExtra(cafe437, cafe).substr(0, 12),
       cafe},
      {"unicode-path-behind-a-block-that-runs-over", cafe437, dos, 0,
       std::string("UT\xFF\x00", 4) + UnicodePathExtra(cafe437, "x.txt"), cafe},
      {"flag-wins-over-unicode-path", naive, dos, 0x800, UnicodePathExtra(naive, "x.txt"), naive},
  };
  TTestArchive a;
  for (const auto& c : cases)
    a.Entries.push_back({.Name = c.Raw,
                         .Data = c.Case,
                         .Flag = c.Flag,
                         .MadeBy = c.MadeBy,
                         .CentralExtra = c.Extra});
  auto stream = MemoryStreamOf(BuildZip(a));
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmRead);
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i)
    EXPECT_EQ(zip.FileName(i), cases[i].Name) << cases[i].Case;
  // Lookups go by the decoded name too.
  EXPECT_EQ(zip.IndexOf(naive), 0);
  EXPECT_EQ(zip.IndexOf("\xE6\x97\xA5.TXT"), 8);
}

TEST(ZipQueries, HeadersNamesCommentsAndLookup) {
  TTestArchive a;
  a.Entries.push_back({.Name = "Docs/ReadMe.TXT", .Data = "abc", .Comment = "first"});
  a.Entries.push_back({.Name = "", .Data = ""});
  a.Entries.push_back({.Name = "\xC3\x84rger.txt", .Data = "d", .Flag = 0x800});
  a.Entries.push_back({.Name = "\x8Erger.txt", .Data = "e", .Comment = "\x94"});
  a.Entries.push_back({.Name = "bad\xC3(.txt", .Data = "f", .Flag = 0x800});
  a.Comment = "archive \x81";  // not UTF-8: code page 437
  auto stream = MemoryStreamOf(BuildZip(a));
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmRead);

  EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"Docs/ReadMe.TXT", "", "\xC3\x84rger.txt",
                                                       "\xC3\x84rger.txt", ""}));
  EXPECT_EQ(zip.FileName(2), zip.FileName(3));  // UTF-8 flagged, code page 437 unflagged
  EXPECT_EQ(zip.FileComment(0), "first");
  EXPECT_EQ(zip.FileComment(3), "\xC3\xB6");
  EXPECT_EQ(zip.Comment(), "archive \xC3\xBC");

  const TZipHeader h = zip.FileInfo(0);
  EXPECT_EQ(h.FileNameLength, 15);
  EXPECT_EQ(std::string(h.FileName.begin(), h.FileName.end()), "Docs/ReadMe.TXT");
  EXPECT_EQ(h.UncompressedSize, 3u);
  EXPECT_EQ(h.FileCommentLength, 5);
  EXPECT_TRUE(zip.FileInfo(1).FileName.empty());
  EXPECT_EQ(zip.FileInfo(1).FileNameLength, 0);

  EXPECT_EQ(zip.IndexOf("docs/readme.txt"), 0);
  EXPECT_EQ(zip.IndexOf("\xC3\x84RGER.TXT"), 2);
  EXPECT_EQ(zip.IndexOf("\xC3\xA4rger.txt"), -1);  // only ASCII letters ignore case
  EXPECT_EQ(zip.IndexOf("missing"), -1);

  EXPECT_RAISES(zip.FileName(5), EListError, "Argument out of range");
  EXPECT_RAISES(zip.FileInfo(-1), EListError, "Argument out of range");
  EXPECT_RAISES(zip.FileComment(99), EListError, "Argument out of range");

  EXPECT_TRUE(zip.UTF8Support());
  zip.SetUTF8Support(true);
  EXPECT_RAISES(zip.SetUTF8Support(false), EZipException, "File must be open for writing");
  EXPECT_RAISES(zip.SetComment("x"), EZipException, "File must be open for writing");

  zip.Close();
  EXPECT_RAISES(zip.FileNames(), EZipException, "File must be open");
  EXPECT_RAISES(zip.FileName(0), EZipException, "File must be open");
  EXPECT_RAISES(zip.FileInfo(0), EZipException, "File must be open");
  EXPECT_RAISES(zip.FileComment(0), EZipException, "File must be open");
  EXPECT_RAISES(zip.Comment(), EZipException, "File must be open");
}

TEST(ZipOpen, Zip64ValuesReplaceTheMarkersInTheHeaders) {
  TTestArchive a;
  a.Entries.push_back(
      {.Name = "a.bin", .Data = std::string(3000, 'a'), .Method = 8, .Zip64 = true});
  a.Entries.push_back({.Name = "b.txt", .Data = "bee", .Zip64 = true});
  a.Zip64End = true;
  a.Comment = "sixty-four";
  auto stream = MemoryStreamOf(BuildZip(a));
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmRead);
  EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"a.bin", "b.txt"}));
  EXPECT_EQ(zip.Comment(), "sixty-four");
  EXPECT_EQ(zip.FileInfo(0).UncompressedSize, 3000u);
  EXPECT_LT(zip.FileInfo(0).CompressedSize, 3000u);
  EXPECT_EQ(zip.FileInfo(0).LocalHeaderOffset, 0u);
  EXPECT_EQ(zip.FileInfo(1).UncompressedSize, 3u);
  EXPECT_EQ(zip.FileInfo(1).CompressedSize, 3u);
  // Local header (30), name (5), Zip64 extra (4 + 16), data.
  EXPECT_EQ(zip.FileInfo(1).LocalHeaderOffset, 30 + 5 + 20 + zip.FileInfo(0).CompressedSize);
  TBytes bytes;
  zip.Read(1, bytes);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "bee");
}

TEST(ZipOpen, ExactlyFFFFEntriesNeedNoZip64Record) {
  // 65535 fits the end record's count; only a directory that goes on after it needs Zip64.
  TTestArchive a;
  char name[16];
  for (int i = 0; i < 0xFFFF; ++i) {
    std::snprintf(name, sizeof name, "e%05d", i);
    a.Entries.push_back({.Name = name});
  }
  auto stream = MemoryStreamOf(BuildZip(a));
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmRead);
  EXPECT_EQ(zip.FileCount(), 0xFFFF);
  EXPECT_EQ(zip.FileName(0xFFFE), "e65534");
}
