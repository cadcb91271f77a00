// Writing archives (not used by the downloader, but the class offers it) and the file-name
// conveniences, each checked by reading the result back.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "base/FileSystem.h"
#include "zip/ZipFile.h"

using namespace ziptest;

namespace {
std::string Text(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i)
    s[i] = static_cast<char>('A' + (i * 31 + i / 7) % 23);
  return s;
}

TBytes Bytes(const std::string& s) {
  return TBytes(s.begin(), s.end());
}

std::string EntryText(TZipFile& zip, int index) {
  TBytes b;
  zip.Read(index, b);
  return std::string(b.begin(), b.end());
}
}  // namespace

TEST(ZipWrite, WrittenArchiveReadsBack) {
  const std::string big = Text(300000);
  TMemoryStream archive;
  {
    TZipFile zip;
    zip.Open(archive, TZipMode::zmWrite);
    zip.Add(Bytes("hello"), "docs\\readme.txt", TZipCompression::zcStored);
    zip.Add(Bytes(big), "data/big.bin");
    zip.Add(TBytes{}, "empty.dat");
    zip.Add(Bytes("umlaut"),
            "Gr\xC3\xB6\xC3\x9F"
            "e.txt");
    zip.SetComment("written by the test");
    zip.SetFileComment(0, "first");
    EXPECT_RAISES(zip.Add(Bytes("x"), "x.bz2", TZipCompression::zcBZIP2), EListError,
                  "Item not found");
    zip.Close();
  }
  archive.SetPosition(0);
  TZipFile zip;
  zip.Open(archive, TZipMode::zmRead);
  EXPECT_EQ(zip.FileNames(),
            (std::vector<std::string>{"docs/readme.txt", "data/big.bin", "empty.dat",
                                      "Gr\xC3\xB6\xC3\x9F"
                                      "e.txt"}));
  EXPECT_EQ(zip.Comment(), "written by the test");
  EXPECT_EQ(zip.FileComment(0), "first");
  EXPECT_EQ(EntryText(zip, 0), "hello");
  EXPECT_TRUE(EntryText(zip, 1) == big);
  EXPECT_EQ(EntryText(zip, 2), "");
  const TZipHeader h = zip.FileInfo(1);
  EXPECT_EQ(h.CompressionMethod, 8);
  EXPECT_LT(h.CompressedSize, h.UncompressedSize);
  EXPECT_EQ(h.UncompressedSize, big.size());
  EXPECT_EQ(h.CRC32,
            crc32(0, reinterpret_cast<const Bytef*>(big.data()), static_cast<uInt>(big.size())));
  EXPECT_EQ(h.Flag & 0x800, 0x800);
  // The local header carries the same sizes and CRC as the central one.
  std::unique_ptr<TStream> stream;
  TZipHeader local;
  zip.Read(1, stream, local);
  EXPECT_EQ(local.CRC32, h.CRC32);
  EXPECT_EQ(local.CompressedSize, h.CompressedSize);
  EXPECT_EQ(local.UncompressedSize, h.UncompressedSize);
}

TEST(ZipWrite, ReadWriteAppendsToAnExistingArchive) {
  const auto fixture = ReadFile(FixtureDir() + "\\infozip-deflated.zip");
  ASSERT_TRUE(fixture);
  auto archive = MemoryStreamOf(*fixture);
  TZipFile zip;
  zip.Open(*archive, TZipMode::zmReadWrite);
  const int before = zip.FileCount();
  zip.Add(Bytes(Text(5000)), "added/new.txt");
  zip.Close();

  archive->SetPosition(0);
  zip.Open(*archive, TZipMode::zmRead);
  ASSERT_EQ(zip.FileCount(), before + 1);
  EXPECT_EQ(zip.FileName(before), "added/new.txt");
  EXPECT_EQ(EntryText(zip, before), Text(5000));
  EXPECT_EQ(EntryText(zip, zip.IndexOf("docs/guide.txt")),
            ReadFile(FixtureDir() + "\\content\\text100k.txt"));
  EXPECT_EQ(zip.Comment(), "Plenwick test archive\r\nmade by Info-ZIP");
}

TEST(ZipWrite, CodePage437NamesWhenUtf8IsOff) {
  TMemoryStream archive;
  TZipFile zip;
  zip.Open(archive, TZipMode::zmWrite);
  zip.SetUTF8Support(false);
  zip.Add(Bytes("x"),
          "Gr\xC3\xB6\xC3\x9F"
          "e \xE2\x82\xAC.txt");  // the euro sign is not in it
  EXPECT_RAISES(zip.SetUTF8Support(true), EZipException, "Zip file must be empty");
  zip.Close();

  archive.SetPosition(0);
  zip.Open(archive, TZipMode::zmRead);
  const TZipHeader h = zip.FileInfo(0);
  EXPECT_EQ(h.Flag & 0x800, 0);
  EXPECT_EQ(std::string(h.FileName.begin(), h.FileName.end()),
            "Gr\x94\xE1"
            "e ?.txt");
  EXPECT_EQ(zip.FileName(0),
            "Gr\xC3\xB6\xC3\x9F"
            "e ?.txt");
  EXPECT_RAISES(zip.Add(Bytes("x"), "y"), EZipException, "File must be open for writing");
}

TEST(ZipWrite, ByFileName) {
  TTempFolder temp;
  const std::string name = temp / "made.zip";
  {
    TZipFile zip;
    zip.Open(name, TZipMode::zmWrite);
    zip.Add(Bytes(Text(70000)), "a/b.txt");
    zip.Close();
  }
  EXPECT_TRUE(TZipFile::IsValid(name));
  EXPECT_TRUE(TZipFile::IsValid(FixtureDir() + "\\python-utf8.zip"));
  EXPECT_FALSE(TZipFile::IsValid(FixtureDir() + "\\python-utf8.list"));
  EXPECT_FALSE(TZipFile::IsValid(temp / "missing.zip"));

  TZipFile::ExtractZipFile(name, temp / "out");
  EXPECT_EQ(ReadFile(temp / "out\\a\\b.txt"), Text(70000));

  TZipFile zip;
  zip.Open(name, TZipMode::zmReadWrite);
  zip.Add(Bytes("second"), "c.txt", TZipCompression::zcStored);
  zip.Close();
  zip.Open(name, TZipMode::zmRead);
  EXPECT_EQ(zip.FileNames(), (std::vector<std::string>{"a/b.txt", "c.txt"}));
  EXPECT_EQ(EntryText(zip, 1), "second");
  zip.Close();
  EXPECT_RAISES(zip.Open(name, TZipMode::zmClosed), EZipException, "Invalid argument");
  EXPECT_THROW(zip.Open(temp / "missing.zip", TZipMode::zmRead), EFOpenError);
}
