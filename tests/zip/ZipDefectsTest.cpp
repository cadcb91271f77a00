// Archives named after their defect, each opened and extracted as the downloader does it, by one
// driver against one table: the exception (exact class and message) or none, what the target
// folder holds afterwards, every file compared byte for byte, and nothing anywhere else. The
// good archives in the table are the ones that look suspicious and are not.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <typeindex>
#include <typeinfo>

#include "ZipTestSupport.h"
#include "zip/ZStream.h"
#include "zip/ZipFile.h"

using namespace ziptest;

namespace {

constexpr const char* kZip64Missing = "Zip64 end of central directory record is missing or damaged";

struct TDefect {
  std::string Defect;
  std::function<std::string()> Archive;
  // typeid(void) when the archive extracts without a failure.
  std::type_index Class = typeid(void);
  std::string Message{};
  bool FailsAtOpen = false;
  // Exactly what the target folder holds afterwards.
  TTree Left{};
  // Tens of thousands of files: under Wine, where making and removing them takes minutes, the
  // entries are read into memory and compared instead of extracted.
  bool ManyFiles = false;
};

std::function<std::string()> Zip(std::vector<TTestEntry> entries) {
  return [entries = std::move(entries)] {
    TTestArchive a;
    a.Entries = entries;
    return BuildZip(a);
  };
}

std::function<std::string()> ZipOf(TTestArchive archive) {
  return [archive = std::move(archive)] { return BuildZip(archive); };
}

std::string Flipped(std::string data, size_t at) {
  data[at] = static_cast<char>(data[at] ^ 0x20);
  return data;
}

// "ok.txt", then an entry with a name that is refused before anything of it is created.
TDefect BadName(std::string defect, std::string name, std::string message, uint16_t flag = 0) {
  return {.Defect = std::move(defect),
          .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                          {.Name = std::move(name), .Data = "bad", .Flag = flag},
                          {.Name = "later.txt", .Data = "later"}}),
          .Class = typeid(EZipException),
          .Message = std::move(message),
          .Left = {.Files = {{"ok.txt", "ok"}}}};
}

// Python's zipfile with 70001 entries (see make_many_entries.py): Zip64 end record, count in
// the end record all ones.
constexpr int kManyEntries = 70000;

std::string ManyEntriesInstaller() {
  std::string s(100000, '\0');
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return s;
}

TTree ManyEntriesTree() {
  TTree tree;
  char name[32];
  for (int i = 0; i < kManyEntries; ++i) {
    std::snprintf(name, sizeof name, "tree/d%03d/f%05d.txt", i / 100, i);
    tree.Files[name] = std::to_string(i) + "\n";
  }
  for (int d = 0; d < kManyEntries / 100; ++d) {
    std::snprintf(name, sizeof name, "tree/d%03d", d);
    tree.Folders.insert(name);
  }
  tree.Folders.insert("tree");
  tree.Files["Install.exe"] = ManyEntriesInstaller();
  return tree;
}

// 65536 entries whose count the end record gives as 0xFFFF, without any Zip64 record.
std::string CountMarkerWithoutZip64() {
  TTestArchive a;
  char name[16];
  for (int i = 0; i < 65536; ++i) {
    std::snprintf(name, sizeof name, "e%05d", i);
    a.Entries.push_back({.Name = name});
  }
  a.TotalEntries = 0xFFFF;
  return BuildZip(a);
}

std::vector<TDefect> Defects() {
  const std::string data = Pattern(100000);
  const auto zipError = std::type_index(typeid(EZipException));
  std::vector<TDefect> t = {
      // --- whole and good, though they look odd ---
      {.Defect = "crc-in-data-descriptor",
       .Archive = Zip({{.Name = "Install.exe",
                        .Data = data,
                        .Method = 8,
                        .Flag = 0x08,
                        .DataDescriptor = true},
                       {.Name = "readme.txt", .Data = "hi", .Flag = 0x08, .DataDescriptor = true}}),
       .Left = {.Files = {{"Install.exe", data}, {"readme.txt", "hi"}}}},
      {.Defect = "folders-by-attribute",
       .Archive = Zip(
           {{.Name = "tools", .MadeBy = 10 << 8 | 20, .ExternalAttributes = 0x10},
            {.Name = "tools/run.txt", .Data = "run"},
            {.Name = "FAT", .MadeBy = 20, .ExternalAttributes = 0x10},
            // A Unix host's attributes are its own: this one stays a file.
            {.Name = "unixfile", .Data = "u", .MadeBy = 3 << 8 | 20, .ExternalAttributes = 0x10}}),
       .Left = {.Files = {{"tools/run.txt", "run"}, {"unixfile", "u"}},
                .Folders = {"tools", "FAT"}}},
      {.Defect = "names-near-device-names",
       .Archive = Zip({{.Name = "CONSOLE.txt", .Data = "1"},
                       {.Name = "com10.txt", .Data = "2"},
                       {.Name = "xcon", .Data = "3"},
                       {.Name = "auxiliary/b.txt", .Data = "4"},
                       {.Name = "nul_/a.txt", .Data = "5"},
                       {.Name = "./dot-segment.txt", .Data = "6"},
                       // Not the same name to the file system: it folds case, not spellings.
                       {.Name = "stra\xC3\x9F"
                                "e.txt",
                        .Data = "7",
                        .Flag = 0x800},
                       {.Name = "STRASSE.TXT", .Data = "8"}}),
       .Left = {.Files = {{"CONSOLE.txt", "1"},
                          {"com10.txt", "2"},
                          {"xcon", "3"},
                          {"auxiliary/b.txt", "4"},
                          {"nul_/a.txt", "5"},
                          {"dot-segment.txt", "6"},
                          {"stra\xC3\x9F"
                           "e.txt",
                           "7"},
                          {"STRASSE.TXT", "8"}},
                .Folders = {"auxiliary", "nul_"}}},
      {.Defect = "zip64-sizes-and-offsets",
       .Archive = ZipOf(
           TTestArchive{.Entries = {{.Name = "big/a.bin", .Data = data, .Method = 8, .Zip64 = true},
                                    {.Name = "Install.exe", .Data = Pattern(70000), .Zip64 = true}},
                        .Zip64End = true}),
       .Left = {.Files = {{"big/a.bin", data}, {"Install.exe", Pattern(70000)}},
                .Folders = {"big"}}},
      {.Defect = "zip64-70001-entries-by-python",
       .Archive =
           [] {
             const auto bytes =
                 ReadFile(ProgramFormOf(PLENWICK_ZIP_GENERATED) + "\\python-zip64-70001.zip");
             EXPECT_TRUE(bytes) << "the build makes it";
             return bytes.value_or("");
           },
       .Left = ManyEntriesTree(),
       .ManyFiles = true},

      // --- damaged data: written, then refused ---
      {.Defect = "crc-wrong-stored-flipped-byte",
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "data.bin", .Data = data, .RawData = Flipped(data, 50000)},
                       {.Name = "later.txt", .Data = "later"}}),
       .Class = zipError,
       .Message = "Entry \"data.bin\" does not match its CRC-32",
       .Left = {.Files = {{"ok.txt", "ok"}, {"data.bin", Flipped(data, 50000)}}}},
      {.Defect = "crc-wrong-deflated",
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "data.bin", .Data = data, .Method = 8, .CRC = 0x12345678}}),
       .Class = zipError,
       .Message = "Entry \"data.bin\" does not match its CRC-32",
       .Left = {.Files = {{"ok.txt", "ok"}, {"data.bin", data}}}},
      {.Defect = "crc-wrong-in-directory-right-in-descriptor",
       .Archive = Zip({{.Name = "data.bin",
                        .Data = data,
                        .Method = 8,
                        .Flag = 0x08,
                        .CRC = 0x12345678,
                        .DataDescriptor = true}}),
       .Class = zipError,
       .Message = "Entry \"data.bin\" does not match its CRC-32",
       .Left = {.Files = {{"data.bin", data}}}},
      {.Defect = "crc-of-empty-entry-not-zero",
       .Archive = Zip({{.Name = "empty.txt", .CRC = 1}}),
       .Class = zipError,
       .Message = "Entry \"empty.txt\" does not match its CRC-32",
       .Left = {.Files = {{"empty.txt", ""}}}},
      {.Defect = "inflates-long",
       .Archive = Zip({{.Name = "data.bin",
                        .Data = Pattern(200000),
                        .Method = 8,
                        .UncompressedSize = 100000}}),
       .Class = zipError,
       .Message = "Entry \"data.bin\" is larger than its announced size",
       .Left = {.Files = {{"data.bin", Pattern(100000)}}}},
      {.Defect = "inflates-short",
       // Two whole 61440-byte blocks are written; the third comes up short.
       .Archive = Zip(
           {{.Name = "data.bin", .Data = Pattern(150000), .Method = 8, .UncompressedSize = 200000},
            {.Name = "later.txt", .Data = "later"}}),
       .Class = zipError,
       .Message = "Entry \"data.bin\" is smaller than its announced size",
       .Left = {.Files = {{"data.bin", Pattern(2 * 61440)}}}},
      {.Defect = "corrupt-deflate-data",
       .Archive = Zip({{.Name = "bad.bin",
                        .Method = 8,
                        .RawData = "\xFF\xFF\xFF\xFF",
                        .UncompressedSize = 10}}),
       .Class = typeid(EZDecompressionError),
       .Message = "data error",
       .Left = {.Files = {{"bad.bin", ""}}}},

      // --- refused before anything of the entry is created ---
      {.Defect = "stored-sizes-disagree",
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "sub/data.bin", .Data = data, .UncompressedSize = 200000}}),
       .Class = zipError,
       .Message = "Entry \"sub/data.bin\" is smaller than its announced size",
       .Left = {.Files = {{"ok.txt", "ok"}}}},
      {.Defect = "encrypted-entry",
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "keys/secret.txt", .Data = "ciphertext", .Flag = 0x01}}),
       .Class = zipError,
       .Message = "Entry \"keys/secret.txt\" is encrypted",
       .Left = {.Files = {{"ok.txt", "ok"}}}},
      {.Defect = "strong-encryption",
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "keys/secret.txt", .Data = "ciphertext", .Flag = 0x41}}),
       .Class = zipError,
       .Message = "Entry \"keys/secret.txt\" is encrypted",
       .Left = {.Files = {{"ok.txt", "ok"}}}},
      BadName("device-name", "CON", "Entry \"CON\" has a reserved device name"),
      BadName("device-name-with-extension", "nul.txt",
              "Entry \"nul.txt\" has a reserved device name"),
      BadName("device-name-as-folder", "aux/readme.txt",
              "Entry \"aux/readme.txt\" has a reserved device name"),
      BadName("device-name-mixed-case", "Com1.log",
              "Entry \"Com1.log\" has a reserved device name"),
      BadName("device-name-lpt9", "x/lpt9", "Entry \"x/lpt9\" has a reserved device name"),
      BadName("device-name-prn-space-before-extension", "prn .txt",
              "Entry \"prn .txt\" has a reserved device name"),
      BadName("device-name-conin", "CONIN$", "Entry \"CONIN$\" has a reserved device name"),
      BadName("device-name-conout-with-extension", "conout$.txt",
              "Entry \"conout$.txt\" has a reserved device name"),
      BadName("device-name-superscript-digit", "COM\xC2\xB9.txt",
              "Entry \"COM\xC2\xB9.txt\" has a reserved device name", 0x800),
      BadName("colon-stream", "readme.txt:hidden",
              "Entry \"readme.txt:hidden\" has a colon in its name"),
      BadName("colon-in-folder", "dir:x/f.txt", "Entry \"dir:x/f.txt\" has a colon in its name"),
      BadName("trailing-dot", "file.",
              "Entry \"file.\" has a name segment ending in a dot or a space"),
      BadName("trailing-space", "file ",
              "Entry \"file \" has a name segment ending in a dot or a space"),
      BadName("trailing-dot-in-folder", "dir./f.txt",
              "Entry \"dir./f.txt\" has a name segment ending in a dot or a space"),
      BadName("control-character", "a\x01.txt",
              "Entry \"a\xEF\xBF\xBD.txt\" has a control character in its name"),
      BadName("wildcard", "what?.txt", "Entry \"what?.txt\" has a wildcard character in its name"),
      BadName("invalid-utf8-flagged-name", "bad\xC3(.txt",
              "Entry \"bad\xEF\xBF\xBD(.txt\" has a name that is not valid UTF-8", 0x800),

      // --- refused before anything at all is written ---
      {.Defect = "case-duplicate",
       .Archive =
           Zip({{.Name = "Install.exe", .Data = "real"}, {.Name = "INSTALL.EXE", .Data = "fake"}}),
       .Class = zipError,
       .Message = "Entries \"Install.exe\" and \"INSTALL.EXE\" name the same file"},
      {.Defect = "exact-duplicate",
       .Archive = Zip({{.Name = "a.txt", .Data = "first"},
                       {.Name = "b.txt", .Data = "b"},
                       {.Name = "a.txt", .Data = "second"}}),
       .Class = zipError,
       .Message = "Entries \"a.txt\" and \"a.txt\" name the same file"},
      {.Defect = "duplicate-by-folder-case-and-separators",
       .Archive = Zip({{.Name = "Dir/Sub/File.txt", .Data = "1"},
                       {.Name = "dir\\sub//./FILE.TXT", .Data = "2"}}),
       .Class = zipError,
       .Message = "Entries \"Dir/Sub/File.txt\" and \"dir\\sub//./FILE.TXT\" name the same file"},
      {.Defect = "duplicate-by-non-ascii-case",
       .Archive = Zip({{.Name = "\xC3\x84rger.txt", .Data = "1", .Flag = 0x800},
                       {.Name = "\xC3\xA4rger.txt", .Data = "2", .Flag = 0x800}}),
       .Class = zipError,
       .Message = "Entries \"\xC3\x84rger.txt\" and \"\xC3\xA4rger.txt\" name the same file"},
      // The checks read the names as they decode: UTF-8 from a Unix host without bit 11, and the
      // name of a Unicode Path extra field.
      {.Defect = "duplicate-by-case-of-a-unix-hosts-utf8-name",
       .Archive = Zip({{.Name = "\xC3\x84rger.txt", .Data = "1", .MadeBy = 3 << 8 | 30},
                       {.Name = "\xC3\xA4rger.txt", .Data = "2", .Flag = 0x800}}),
       .Class = zipError,
       .Message = "Entries \"\xC3\x84rger.txt\" and \"\xC3\xA4rger.txt\" name the same file"},
      {.Defect = "duplicate-through-unicode-path",
       .Archive = Zip({{.Name = "Install.exe", .Data = "real"},
                       {.Name = "setup.exe",
                        .Data = "fake",
                        .CentralExtra = UnicodePathExtra("setup.exe", "INSTALL.EXE")}}),
       .Class = zipError,
       .Message = "Entries \"Install.exe\" and \"INSTALL.EXE\" name the same file"},
      {.Defect = "device-name-through-unicode-path",
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "safe.txt",
                        .Data = "bad",
                        .CentralExtra = UnicodePathExtra("safe.txt", "con.txt")}}),
       .Class = zipError,
       .Message = "Entry \"con.txt\" has a reserved device name",
       .Left = {.Files = {{"ok.txt", "ok"}}}},
      {.Defect = "escape-through-unicode-path",
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "safe.txt",
                        .Data = "bad",
                        .CentralExtra = UnicodePathExtra("safe.txt", "../evil.txt")}}),
       .Class = zipError,
       .Message = "Entry \"../evil.txt\" would be written outside the target folder",
       .Left = {.Files = {{"ok.txt", "ok"}}}},
      // Whole and good: a stale Unicode Path field (another name's CRC-32) does not count, not
      // even with a name that would be refused.
      {.Defect = "unicode-path-of-a-renamed-entry",
       .Archive = Zip({{.Name = "renamed.txt",
                        .Data = "r",
                        .CentralExtra = UnicodePathExtra("old.txt", "con.txt")}}),
       .Left = {.Files = {{"renamed.txt", "r"}}}},
      {.Defect = "utf8-names-of-unix-and-osx-hosts",
       .Archive = Zip({{.Name = "data/\xC3\xBC\xE6\x97\xA5\xE6\x9C\xAC/na\xC3\xAFve.txt",
                        .Data = "u",
                        .MadeBy = 3 << 8 | 30},
                       {.Name = "\xCE\x95\xCE\xBB.bin", .Data = "o", .MadeBy = 19 << 8 | 20}}),
       .Left = {.Files = {{"data/\xC3\xBC\xE6\x97\xA5\xE6\x9C\xAC/na\xC3\xAFve.txt", "u"},
                          {"\xCE\x95\xCE\xBB.bin", "o"}},
                .Folders = {"data", "data/\xC3\xBC\xE6\x97\xA5\xE6\x9C\xAC"}}},
      {.Defect = "stored-overrun-into-next-entry",
       // Claims 5000 bytes where 1000 are: the rest would be the next entry's header.
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "short.bin",
                        .Data = Pattern(1000),
                        .CompressedSize = 5000,
                        .UncompressedSize = 5000},
                       {.Name = "later.txt", .Data = "later"}}),
       .Class = zipError,
       .Message = "Entries \"short.bin\" and \"later.txt\" overlap"},
      {.Defect = "stored-overrun-into-directory",
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "short.bin",
                        .Data = Pattern(1000),
                        .CompressedSize = 1100,
                        .UncompressedSize = 1100}}),
       .Class = zipError,
       .Message = "Entry \"short.bin\" overlaps the central directory"},
      {.Defect = "overlap-shared-data",
       // Two central records, one local header and one stream of data: a 100 KB file twice.
       .Archive =
           Zip({{.Name = "a.bin", .Data = data, .Method = 8},
                {.Name = "b.bin", .Data = data, .Method = 8, .Offset = 0, .CentralOnly = true}}),
       .Class = zipError,
       .Message = "Entries \"a.bin\" and \"b.bin\" overlap"},
      {.Defect = "local-header-signature-damaged",
       .Archive = Zip({{.Name = "ok.txt", .Data = "ok"},
                       {.Name = "x.bin", .Data = "x", .LocalSignature = 0x04034B51}}),
       .Class = zipError,
       .Message = "Invalid Zip Local Header signature"},

      // --- refused by Open ---
      {.Defect = "zip64-extra-field-missing",
       .Archive = Zip({{.Name = "big.bin", .Data = data, .Zip64 = true, .CentralExtra = ""}}),
       .Class = zipError,
       .Message = "Entry \"big.bin\" has no usable Zip64 extra field",
       .FailsAtOpen = true},
      {.Defect = "zip64-extra-field-too-short",
       // Sizes and offset all ones, but only the two sizes in the extra field.
       .Archive = Zip({{.Name = "big.bin",
                        .Data = "x",
                        .Zip64 = true,
                        .CentralExtra = std::string("\x01\x00\x10\x00", 4) +
                                        std::string("\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0", 16)}}),
       .Class = zipError,
       .Message = "Entry \"big.bin\" has no usable Zip64 extra field",
       .FailsAtOpen = true},
      {.Defect = "zip64-locator-points-nowhere",
       .Archive = ZipOf(TTestArchive{
           .Entries = {{.Name = "a.txt", .Data = "a"}}, .Zip64End = true, .Zip64EndOffset = 3}),
       .Class = zipError,
       .Message = kZip64Missing,
       .FailsAtOpen = true},
      {.Defect = "zip64-offset-marker-without-records",
       .Archive = ZipOf(TTestArchive{.Entries = {{.Name = "a.txt", .Data = "a"}},
                                     .DirectoryOffset = 0xFFFFFFFF}),
       .Class = zipError,
       .Message = kZip64Missing,
       .FailsAtOpen = true},
      {.Defect = "zip64-count-marker-without-records",
       .Archive = CountMarkerWithoutZip64,
       .Class = zipError,
       .Message = kZip64Missing,
       .FailsAtOpen = true},
  };
  return t;
}

void ExpectSameTree(const TTree& actual, const TTree& expected) {
  EXPECT_EQ(actual.Folders, expected.Folders);
  std::vector<std::string> missing, extra;
  for (const auto& [name, content] : expected.Files) {
    const auto it = actual.Files.find(name);
    if (it == actual.Files.end())
      missing.push_back(name);
    else
      EXPECT_TRUE(it->second == content) << "content differs: " << name;
  }
  for (const auto& [name, content] : actual.Files)
    if (!expected.Files.contains(name)) extra.push_back(name);
  EXPECT_TRUE(missing.empty()) << missing.size() << " missing, first " << missing.front();
  EXPECT_TRUE(extra.empty()) << extra.size() << " not expected, first " << extra.front();
}

#ifdef _WIN32
// Every file entry read into memory and compared, for an archive that extracts whole.
void ReadEveryEntry(const TDefect& c, TMemoryStream& stream) {
  TZipFile zip;
  zip.Open(stream, TZipMode::zmRead);
  size_t files = 0;
  for (int i = 0; i < zip.FileCount(); ++i) {
    const std::string name = zip.FileName(i);
    if (name.ends_with("/")) continue;
    TBytes bytes;
    zip.Read(i, bytes);
    const auto it = c.Left.Files.find(name);
    ASSERT_NE(it, c.Left.Files.end()) << name;
    EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == it->second) << name;
    ++files;
  }
  EXPECT_EQ(files, c.Left.Files.size());
}
#endif

void RunDefect(const TDefect& c) {
  SCOPED_TRACE(c.Defect);
  const auto stream = MemoryStreamOf(c.Archive());
#ifdef _WIN32
  if (c.ManyFiles) {
    ASSERT_EQ(c.Class, typeid(void));
    ReadEveryEntry(c, *stream);
    return;
  }
#endif
  TTempFolder temp;
  const std::string target = temp / "target\\";
  TZipFile zip;
  bool opened = false;
  try {
    zip.Open(*stream, TZipMode::zmRead);
    opened = true;
    zip.ExtractAll(target);
    EXPECT_EQ(c.Class, typeid(void)) << "no failure; expected: " << c.Message;
  } catch (const Exception& e) {
    EXPECT_EQ(std::type_index(typeid(e)), c.Class) << "failed with " << e.Message();
    EXPECT_EQ(e.Message(), c.Message);
    EXPECT_EQ(!opened, c.FailsAtOpen);
    // A failed Open leaves the object closed, a failed extraction leaves it open.
    EXPECT_EQ(zip.Mode(), opened ? TZipMode::zmRead : TZipMode::zmClosed);
  }
  // Nothing beside the target, and in it exactly what the case says.
  TTree all = ReadTree(temp.Path());
  TTree inTarget;
  const std::string prefix = "target/";
  for (auto& [name, content] : all.Files) {
    if (name.starts_with(prefix))
      inTarget.Files[name.substr(prefix.size())] = std::move(content);
    else
      ADD_FAILURE() << "written outside the target: " << name;
  }
  for (const std::string& folder : all.Folders) {
    if (folder.starts_with(prefix))
      inTarget.Folders.insert(folder.substr(prefix.size()));
    else if (folder != "target")
      ADD_FAILURE() << "made outside the target: " << folder;
  }
  ExpectSameTree(inTarget, c.Left);
}

}  // namespace

TEST(ZipDefects, EachArchiveEndsAsItsDefectDemands) {
  const std::vector<TDefect> cases = Defects();
  std::set<std::string> names;
  for (const TDefect& c : cases) {
    EXPECT_TRUE(names.insert(c.Defect).second) << "two cases named " << c.Defect;
    RunDefect(c);
  }
}
