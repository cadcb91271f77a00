#include "ZipTestSupport.h"

#include <zlib.h>

#include <atomic>
#include <fstream>
#include <iterator>

#include "base/FileSystem.h"

namespace ziptest {

std::filesystem::path FsPath(std::string_view path) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
#else
  return std::filesystem::path(ToNativePath(path));
#endif
}

std::string ProgramFormOf(std::string dir) {
#ifdef _WIN32
  // Wine shows the Linux file system as drive Z:.
  for (char& c : dir)
    if (c == '/') c = '\\';
  return "Z:" + dir;
#else
  return FromNativePath(dir);
#endif
}

std::string FixtureDir() {
  return ProgramFormOf(PLENWICK_ZIP_FIXTURES);
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

int CountFiles(const std::string& folder) {
  int n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(FsPath(folder), ec);
       it != std::filesystem::recursive_directory_iterator(); ++it)
    if (it->is_regular_file()) ++n;
  return n;
}

int CountEntries(const std::string& folder) {
  int n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(FsPath(folder), ec);
       it != std::filesystem::directory_iterator(); ++it)
    ++n;
  return n;
}

TTree ReadTree(const std::string& folder) {
  TTree tree;
  const std::filesystem::path root = FsPath(folder);
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    const std::u8string rel = e.path().lexically_relative(root).generic_u8string();
    const std::string name(rel.begin(), rel.end());
    if (e.is_directory()) {
      tree.Folders.insert(name);
    } else {
      std::ifstream in(e.path(), std::ios::binary);
      tree.Files[name] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return tree;
}

TTempFolder::TTempFolder() {
  static std::atomic<int> counter{0};
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  FPath = std::string("ziptmp_") + (test ? test->name() : "x") + "_" + std::to_string(counter++);
  for (char& c : FPath)
    if (c == '/') c = '_';
  std::filesystem::remove_all(FsPath(FPath));
  std::filesystem::create_directories(FsPath(FPath));
}

TTempFolder::~TTempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(FsPath(FPath), ec);
}

std::unique_ptr<TMemoryStream> MemoryStreamOf(std::string_view bytes) {
  auto s = std::make_unique<TMemoryStream>();
  if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i)
    s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
  return s;
}

std::string RawDeflate(std::string_view data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

namespace {
void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}
// A Zip64 extra field holding the given values.
std::string Zip64Extra(std::initializer_list<uint64_t> values) {
  std::string extra;
  Put16(extra, 0x0001);
  Put16(extra, static_cast<uint32_t>(8 * values.size()));
  for (const uint64_t v : values)
    Put64(extra, v);
  return extra;
}
constexpr uint32_t kAllOnes = 0xFFFFFFFF;
}  // namespace

std::string UnicodePathExtra(std::string_view raw, std::string_view name,
                             std::optional<uint32_t> nameCrc, uint8_t version) {
  const uint32_t crc =
      nameCrc ? *nameCrc
              : static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(raw.data()),
                                            static_cast<uInt>(raw.size())));
  std::string block;
  Put16(block, 0x7075);
  Put16(block, static_cast<uint32_t>(5 + name.size()));
  block += static_cast<char>(version);
  Put32(block, crc);
  block += name;
  return block;
}

TZipPieces BuildZipPieces(const TTestArchive& archive) {
  TZipPieces pieces;
  std::string zip = archive.Prefix;
  std::string directory;
  const size_t base = archive.Prefix.size();
  // The bytes of the pieces before this one and of the gaps between them: offsets count them.
  uint64_t gaps = 0;
  for (const TTestEntry& e : archive.Entries) {
    const std::string stored =
        e.RawData ? *e.RawData : (e.Method == 8 ? RawDeflate(e.Data) : e.Data);
    const auto trueCrc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(e.Data.data()), static_cast<uInt>(e.Data.size())));
    const uint32_t crc = e.CRC.value_or(trueCrc);
    const uint64_t csize = e.CompressedSize.value_or(stored.size() + e.Gap);
    const uint64_t usize = e.UncompressedSize.value_or(e.Data.size() + e.Gap);
    const uint64_t offset = e.Offset.value_or(zip.size() + gaps - base);

    if (!e.CentralOnly) {
      const std::string localExtra = e.Zip64 ? Zip64Extra({usize, csize}) : "";
      Put32(zip, e.LocalSignature);
      Put16(zip, 20);
      Put16(zip, e.Flag);
      Put16(zip, e.Method);
      Put32(zip, 0x5C8A3000);  // 2026-04-10 06:00
      Put32(zip, e.DataDescriptor ? 0 : crc);
      Put32(zip, e.DataDescriptor ? 0 : e.Zip64 ? kAllOnes : static_cast<uint32_t>(csize));
      Put32(zip, e.DataDescriptor ? 0 : e.Zip64 ? kAllOnes : static_cast<uint32_t>(usize));
      Put16(zip, static_cast<uint32_t>(e.Name.size()));
      Put16(zip, static_cast<uint32_t>(localExtra.size()));
      zip += e.Name;
      zip += localExtra;
      zip += stored;
      if (e.Gap > 0) {
        gaps += zip.size() + e.Gap;
        pieces.Bytes.push_back(std::move(zip));
        pieces.Gaps.push_back(e.Gap);
        zip.clear();
      }
      if (e.DataDescriptor) {
        Put32(zip, 0x08074B50);
        Put32(zip, trueCrc);
        Put32(zip, static_cast<uint32_t>(csize));
        Put32(zip, static_cast<uint32_t>(usize));
      }
    }

    const std::string centralExtra = e.CentralExtra ? *e.CentralExtra
                                     : e.Zip64      ? Zip64Extra({usize, csize, offset})
                                                    : "";
    Put32(directory, e.CentralSignature);
    Put16(directory, e.MadeBy);
    Put16(directory, 20);
    Put16(directory, e.Flag);
    Put16(directory, e.Method);
    Put32(directory, 0x5C8A3000);
    Put32(directory, crc);
    Put32(directory, e.Zip64 ? kAllOnes : static_cast<uint32_t>(csize));
    Put32(directory, e.Zip64 ? kAllOnes : static_cast<uint32_t>(usize));
    Put16(directory, static_cast<uint32_t>(e.Name.size()));
    Put16(directory, static_cast<uint32_t>(centralExtra.size()));
    Put16(directory, static_cast<uint32_t>(e.Comment.size()));
    Put16(directory, 0);
    Put16(directory, 0);
    Put32(directory, e.ExternalAttributes);
    Put32(directory, e.Zip64 ? kAllOnes : static_cast<uint32_t>(offset));
    directory += e.Name;
    directory += centralExtra;
    directory += e.Comment;
  }
  const uint64_t directoryOffset = zip.size() + gaps - base;
  zip += directory;
  const auto count = static_cast<uint32_t>(archive.Entries.size());
  if (archive.Zip64End) {
    const uint64_t recordOffset = zip.size() + gaps - base;
    Put32(zip, 0x06064B50);
    Put64(zip, 44);  // the record's size after this field
    Put16(zip, 45);
    Put16(zip, 45);
    Put32(zip, 0);
    Put32(zip, 0);
    Put64(zip, count);
    Put64(zip, count);
    Put64(zip, directory.size());
    Put64(zip, directoryOffset);
    Put32(zip, 0x07064B50);
    Put32(zip, 0);
    Put64(zip, archive.Zip64EndOffset.value_or(recordOffset));
    Put32(zip, 1);
  }
  Put32(zip, 0x06054B50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, archive.Zip64End ? 0xFFFF : count);
  Put16(zip,
        archive.TotalEntries.value_or(archive.Zip64End ? 0xFFFF : static_cast<uint16_t>(count)));
  Put32(zip, archive.Zip64End ? kAllOnes : static_cast<uint32_t>(directory.size()));
  Put32(zip, archive.DirectoryOffset.value_or(
                 archive.Zip64End ? kAllOnes : static_cast<uint32_t>(directoryOffset)));
  Put16(zip, static_cast<uint32_t>(archive.Comment.size()));
  zip += archive.Comment;
  pieces.Bytes.push_back(std::move(zip));
  return pieces;
}

std::string BuildZip(const TTestArchive& archive) {
  TZipPieces pieces = BuildZipPieces(archive);
  EXPECT_TRUE(pieces.Gaps.empty()) << "an archive with gaps is sent in pieces";
  return pieces.Bytes.back();
}

}  // namespace ziptest
