// Extracting entries: local headers, handlers, exact sizes, output paths and folders, and the
// failures with what they leave behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "base/FileSystem.h"
#include "zip/StoredStream.h"
#include "zip/ZipFile.h"

using namespace ziptest;

namespace {
// Bytes that deflate poorly, so that the deflate data spans several 64 KiB input blocks.
std::string Noise(size_t size, uint32_t seed = 1) {
  std::string s(size, '\0');
  for (char& c : s) {
    seed = seed * 1103515245 + 12345;
    c = static_cast<char>(seed >> 24);
  }
  return s;
}

// An open archive object over a hand-made archive.
struct TOpenArchive {
  explicit TOpenArchive(const TTestArchive& a) : Stream(MemoryStreamOf(BuildZip(a))) {
    Zip.Open(*Stream, TZipMode::zmRead);
  }
  std::unique_ptr<TMemoryStream> Stream;
  TZipFile Zip;
};

TTestArchive Archive(std::vector<TTestEntry> entries) {
  TTestArchive a;
  a.Entries = std::move(entries);
  return a;
}
}  // namespace

TEST(ZipExtract, FoldersFromEntriesAndFromFileNames) {
  TOpenArchive z(Archive({{.Name = "sub/"},
                          {.Name = "sub/a.txt", .Data = "A"},
                          {.Name = "x/y/z.bin", .Data = Pattern(5000), .Method = 8},
                          {.Name = "win\\style.txt", .Data = "W"}}));
  TTempFolder temp;
  const std::string out = temp / "out\\";
  z.Zip.ExtractAll(out);
  EXPECT_TRUE(DirectoryExists(out + "sub"));
  EXPECT_EQ(ReadFile(out + "sub\\a.txt"), "A");
  EXPECT_TRUE(DirectoryExists(out + "x\\y"));
  EXPECT_EQ(ReadFile(out + "x\\y\\z.bin"), Pattern(5000));
  EXPECT_EQ(ReadFile(out + "win\\style.txt"), "W");
  EXPECT_EQ(CountFiles(out), 3);

  // Without sub-folders only the last name is kept, straight in the target folder.
  TTempFolder flat;
  z.Zip.Extract("X/Y/Z.BIN", flat.Path(), false);
  EXPECT_EQ(ReadFile(flat / "z.bin"), Pattern(5000));
  EXPECT_EQ(CountEntries(flat.Path()), 1);
}

TEST(ZipExtract, LargeDeflatedEntryThenTheNextOne) {
  // The inflater reads 64 KiB blocks past the end of the first entry's data and must give the
  // surplus back before the next entry is read.
  const std::string big = Noise(300000) + Pattern(200000);
  TOpenArchive z(Archive({{.Name = "big.bin", .Data = big, .Method = 8},
                          {.Name = "next.txt", .Data = Pattern(70000), .Method = 8},
                          {.Name = "stored.bin", .Data = Noise(130000, 7)}}));
  TTempFolder temp;
  z.Zip.ExtractAll(temp.Path());
  EXPECT_TRUE(ReadFile(temp / "big.bin") == big);
  EXPECT_TRUE(ReadFile(temp / "next.txt") == Pattern(70000));
  EXPECT_TRUE(ReadFile(temp / "stored.bin") == Noise(130000, 7));
  TBytes bytes;
  z.Zip.Read(0, bytes);
  EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == big);
}

TEST(ZipExtract, EmptyEntryReadsNoData) {
  // Nothing is read of an entry that announces no bytes, whatever its method, flags and data.
  TOpenArchive z(Archive({{.Name = "f", .Method = 8, .Flag = 0x08, .RawData = "\xFF\xFF\xFF"},
                          {.Name = "after.txt", .Data = "after"}}));
  TTempFolder temp;
  z.Zip.ExtractAll(temp.Path());
  EXPECT_EQ(ReadFile(temp / "f"), "");
  EXPECT_EQ(ReadFile(temp / "after.txt"), "after");
}

TEST(ZipExtract, UnknownMethodFailsBeforeAnythingOfTheEntryIsCreated) {
  TOpenArchive z(Archive(
      {{.Name = "ok.txt", .Data = "ok"}, {.Name = "sub/x.bin", .Data = "x", .Method = 12}}));
  TTempFolder temp;
  const std::string out = temp / "out\\";
  EXPECT_RAISES(z.Zip.ExtractAll(out), EListError, "Item not found");
  EXPECT_EQ(ReadFile(out + "ok.txt"), "ok");
  EXPECT_EQ(CountEntries(out), 1);
  EXPECT_EQ(z.Zip.Mode(), TZipMode::zmRead);
  EXPECT_RAISES(z.Zip.Extract(1, "never"), EListError, "Item not found");
  EXPECT_FALSE(DirectoryExists("never"));
}

TEST(ZipExtract, NameErrors) {
  struct TCase {
    const char* Case;
    std::string Name;
    std::string Path;
  };
  const std::vector<TCase> invalid = {
      {"bar in the name", "a|b.txt", "out"},
      {"bar in a folder name", "x|y/b.txt", "out"},
      {"quote in the target folder", "a.txt", "o\"ut"},
      {"angle bracket in the target folder", "a.txt", "o<ut"},
  };
  for (const auto& c : invalid) {
    SCOPED_TRACE(c.Case);
    TOpenArchive z(Archive({{.Name = c.Name, .Data = "x"}}));
    TTempFolder temp;
    EXPECT_RAISES(z.Zip.ExtractAll(temp / c.Path), EArgumentException,
                  "Invalid characters in path");
    EXPECT_EQ(CountEntries(temp.Path()), 0);
  }

  TTempFolder temp;
  {
    TOpenArchive z(Archive({{.Name = std::string(300, 'd') + "/f.txt", .Data = "x"}}));
    EXPECT_RAISES(z.Zip.ExtractAll(temp.Path()), EPathTooLongException,
                  "The specified path is too long");
  }
  {
    // A ":" in the target folder (names with one are refused before this).
    TOpenArchive z(Archive({{.Name = "f/g.txt", .Data = "x"}}));
    EXPECT_RAISES(z.Zip.ExtractAll(temp / "ab:c"), ENotSupportedException,
                  "The path format is not supported");
  }
  {
    std::string drive;
    for (char c = 'Q'; c <= 'Y' && drive.empty(); ++c)
      if (!DirectoryExists(std::string(1, c) + ":\\")) drive = std::string(1, c) + ":\\";
    ASSERT_FALSE(drive.empty());
    TOpenArchive z(Archive({{.Name = "f/g.txt", .Data = "x"}}));
    EXPECT_RAISES(z.Zip.ExtractAll(drive + "setup\\"), EDirectoryNotFoundException,
                  "The drive cannot be found");
  }
  EXPECT_EQ(CountEntries(temp.Path()), 0);
  {
    // A file stands where a folder is needed: the folder step passes, the file cannot be made.
    WriteFile(temp / "blocked", "in the way");
    TOpenArchive z(Archive({{.Name = "blocked/x.txt", .Data = "x"}}));
    const std::string prefix = "Cannot create file \"" + (temp / "blocked\\x.txt") + "\". ";
    try {
      z.Zip.ExtractAll(temp.Path());
      ADD_FAILURE() << "no exception";
    } catch (const EFCreateError& e) {
      ASSERT_GT(e.Message().size(), prefix.size());
      EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
    }
  }
}

TEST(ZipExtract, NamesThatLeaveTheTargetFolderAreRejected) {
  const std::vector<std::string> names = {
      "../x",         "a/../../x",    "/etc/x", "\\\\server\\share\\x",
      "\\\\?\\C:\\x", "C:\\x",        "C:x",    "c:/x",
      "..\\x",        "a/b/..",       ".. /x",  ".../x",
      "\\x",          "a\\..\\..\\x",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    TOpenArchive z(Archive({{.Name = "ok.txt", .Data = "ok"}, {.Name = name, .Data = "evil"}}));
    TTempFolder temp;
    const std::string inner = temp / "inner\\";
    EXPECT_RAISES(z.Zip.ExtractAll(inner), EZipException,
                  "Entry \"" + name + "\" would be written outside the target folder");
    EXPECT_EQ(ReadFile(inner + "ok.txt"), "ok");
    EXPECT_EQ(CountFiles(temp.Path()), 1);
    EXPECT_EQ(CountEntries(temp.Path()), 1);
    EXPECT_FALSE(FileExists("x"));
    EXPECT_FALSE(FileExists("C:x"));
  }
}

TEST(ZipExtract, ExtractingAgainReplacesEveryFile) {
  TOpenArchive z(Archive({{.Name = "a.txt", .Data = "second"},
                          {.Name = "d/b.txt", .Data = Pattern(9000), .Method = 8}}));
  TTempFolder temp;
  WriteFile(temp / "a.txt", "an older and longer file");
  z.Zip.ExtractAll(temp.Path());
  z.Zip.ExtractAll(temp.Path());
  EXPECT_EQ(ReadFile(temp / "a.txt"), "second");
  EXPECT_EQ(ReadFile(temp / "d\\b.txt"), Pattern(9000));
  EXPECT_EQ(CountFiles(temp.Path()), 2);
}

TEST(ZipExtract, OpenForReadingAndKnownEntriesOnly) {
  TTestArchive a = Archive({{.Name = "a.txt", .Data = "a"}});
  TOpenArchive z(a);
  std::unique_ptr<TStream> stream;
  TZipHeader local;
  TBytes bytes;
  EXPECT_RAISES(z.Zip.Extract(1, "never"), EZipException, "The specified file was not found");
  EXPECT_RAISES(z.Zip.Extract(-1, "never"), EZipException, "The specified file was not found");
  EXPECT_RAISES(z.Zip.Extract("b.txt", "never"), EZipException, "The specified file was not found");
  EXPECT_RAISES(z.Zip.Read("b.txt", bytes), EZipException, "The specified file was not found");
  EXPECT_FALSE(DirectoryExists("never"));

  z.Zip.Read("A.TXT", stream, local);
  EXPECT_EQ(local.FileNameLength, 5);
  EXPECT_EQ(std::string(local.FileName.begin(), local.FileName.end()), "a.txt");
  EXPECT_EQ(local.MadeByVersion, 0);
  EXPECT_EQ(local.LocalHeaderOffset, 0u);
  char bytes3[3];
  EXPECT_EQ(stream->Read(bytes3, 3), 1);  // the entry's one byte, and nothing after it
  EXPECT_EQ(bytes3[0], 'a');

  z.Zip.Close();
  EXPECT_RAISES(z.Zip.ExtractAll("never"), EZipException, "File must be open for reading");
  EXPECT_RAISES(z.Zip.Extract(0, "never"), EZipException, "File must be open for reading");
  EXPECT_RAISES(z.Zip.Read(0, stream, local), EZipException, "File must be open for reading");
  EXPECT_FALSE(DirectoryExists("never"));
}

TEST(ZipExtract, HandlersAreLookedUpByTheLowByteOfTheMethod) {
  // A handler of our own for method 98; 0x162 has 98 in its low byte.
  int made = 0;
  TZipFile::RegisterCompressionHandler(
      TZipCompression::zcPPMdI1, nullptr,
      [&made](TStream& in, TZipFile&, const TZipHeader& item) -> std::unique_ptr<TStream> {
        ++made;
        EXPECT_EQ(item.CompressionMethod, 0x162);
        return std::make_unique<TStoredStream>(in);
      });
  TOpenArchive z(Archive({{.Name = "p.bin", .Data = "ppmd?", .Method = 0x162}}));
  TTempFolder temp;
  z.Zip.ExtractAll(temp.Path());
  EXPECT_EQ(made, 1);
  EXPECT_EQ(ReadFile(temp / "p.bin"), "ppmd?");
}

// The hook is asked before each entry and after each block written; True abandons the
// extraction at once with EAbort, and what was written so far stays (the caller removes it).
TEST(ZipExtract, TheProgressHookIsAskedBetweenEntriesAndBlocksAndMayAbandon) {
  const std::string big = Noise(3 * 61440 + 10, 3);  // four blocks
  const std::string deflated = Pattern(100000);      // two blocks
  TOpenArchive z(Archive({{.Name = "a.txt", .Data = "A"},
                          {.Name = "big.bin", .Data = big},
                          {.Name = "c.txt", .Data = deflated, .Method = 8},
                          {.Name = "sub/"},
                          {.Name = "e"}}));
  // Entries and blocks: before a, its block; before big, 4 blocks; before c, 2 blocks; before
  // sub/; before e.
  constexpr int kAsked = 12;
  const struct {
    int abandonAt;  // 0: never
    std::vector<std::string> files;
    size_t bigSize;  // of big.bin, when it exists
  } cases[] = {
      {0, {"a.txt", "big.bin", "c.txt", "e"}, big.size()},
      {1, {}, 0},
      {5, {"a.txt", "big.bin"}, 2 * 61440},
      {7, {"a.txt", "big.bin"}, big.size()},
      {kAsked, {"a.txt", "big.bin", "c.txt"}, big.size()},
  };
  for (const auto& c : cases) {
    TTempFolder temp;
    const std::string out = temp / "out\\";
    int asked = 0;
    z.Zip.OnExtractProgress = [&] { return ++asked == c.abandonAt; };
    if (c.abandonAt == 0) {
      z.Zip.ExtractAll(out);
    } else {
      EXPECT_RAISES(z.Zip.ExtractAll(out), EAbort, "The extraction was abandoned.");
    }
    EXPECT_EQ(asked, c.abandonAt == 0 ? kAsked : c.abandonAt);
    const TTree tree = DirectoryExists(out) ? ReadTree(out) : TTree{};
    std::vector<std::string> files;
    for (const auto& [name, data] : tree.Files)
      files.push_back(name);
    EXPECT_EQ(files, c.files) << c.abandonAt;
    if (tree.Files.count("big.bin")) {
      EXPECT_EQ(tree.Files.at("big.bin").size(), c.bigSize) << c.abandonAt;
      EXPECT_TRUE(tree.Files.at("big.bin") == big.substr(0, c.bigSize)) << c.abandonAt;
    }
    if (tree.Files.count("c.txt")) {
      EXPECT_TRUE(tree.Files.at("c.txt") == deflated);
    }
  }
}
