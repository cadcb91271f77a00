#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"
#include "base/MemoryStream.h"

// Expects stmt to raise exactly Class with the message text.
#define EXPECT_RAISES(stmt, Class, text)                               \
  do {                                                                 \
    try {                                                              \
      stmt;                                                            \
      ADD_FAILURE() << "no exception from " #stmt;                     \
    } catch (const Class& e) {                                         \
      EXPECT_EQ(e.Message(), text) << #stmt;                           \
    } catch (const Exception& e) {                                     \
      ADD_FAILURE() << #stmt " raised another class: " << e.Message(); \
    }                                                                  \
  } while (0)

namespace ziptest {

// A path of the program's own form ("\" separators, UTF-8) as the C++ library takes it.
std::filesystem::path FsPath(std::string_view path);

// A folder of the build machine in the program's own form (under Wine, on drive Z:).
std::string ProgramFormOf(std::string dir);
// The folder of the committed fixtures, in the program's own form.
std::string FixtureDir();

// Contents of a file, or std::nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);
// Regular files below a folder, recursively.
int CountFiles(const std::string& folder);
// Files and folders directly in a folder.
int CountEntries(const std::string& folder);
// Every file below a folder with its contents, and every folder, by their paths relative to it
// with "/" separators (UTF-8).
struct TTree {
  std::map<std::string, std::string> Files{};
  std::set<std::string> Folders{};
};
TTree ReadTree(const std::string& folder);

// A fresh folder below the current directory (a relative path, without a trailing "\"),
// removed with everything in it at the end of the test.
class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::string& Path() const { return FPath; }
  std::string operator/(std::string_view name) const { return FPath + "\\" + std::string(name); }

 private:
  std::string FPath;
};

std::unique_ptr<TMemoryStream> MemoryStreamOf(std::string_view bytes);
// Text that deflates well, the same for the same size.
std::string Pattern(size_t size);
std::string RawDeflate(std::string_view data);

// Hand-made archives: one entry as its headers will say.
struct TTestEntry {
  std::string Name{};  // raw name bytes
  std::string Data{};  // the entry's content (deflated by the builder when Method is 8)
  uint16_t Method = 0;
  uint16_t Flag = 0;
  std::optional<std::string> RawData{};  // the stored bytes as they are, instead of Data
  std::optional<uint64_t> CompressedSize{};
  std::optional<uint64_t> UncompressedSize{};
  std::optional<uint32_t> CRC{};  // in both headers (a data descriptor keeps the true one)
  uint32_t LocalSignature = 0x04034B50;
  uint32_t CentralSignature = 0x02014B50;
  std::string Comment{};
  uint16_t MadeBy = 20;  // host in the high byte: 0 MS-DOS, 3 Unix, 10 Windows NTFS
  uint32_t ExternalAttributes = 0;
  // The local header carries CRC and sizes 0, and a data descriptor with the true ones follows
  // the data.
  bool DataDescriptor = false;
  // Sizes (and in the central header the offset) as 0xFFFFFFFF, the values in Zip64 extra
  // fields; CentralExtra, when set, is the central header's extra field instead.
  bool Zip64 = false;
  std::optional<std::string> CentralExtra{};
  // Where the central header says the local header is, instead of where it was written.
  std::optional<uint64_t> Offset{};
  // Only a central header: no local header or data is written for the entry.
  bool CentralOnly = false;
  // Bytes of the stored data after Data that the archive leaves out for the caller to send
  // (BuildZipPieces); its sizes count them, and its CRC must be given.
  uint64_t Gap = 0;
};

struct TTestArchive {
  std::vector<TTestEntry> Entries;
  std::string Comment{};
  std::string Prefix{};  // bytes before the archive; offsets count from its start
  std::optional<uint32_t> DirectoryOffset{};
  std::optional<uint16_t> TotalEntries{};
  // A Zip64 end record and locator before the end record, whose fields then hold all ones.
  bool Zip64End = false;
  // Where the locator says the Zip64 end record is, instead of where it was written.
  std::optional<uint64_t> Zip64EndOffset{};
};

std::string BuildZip(const TTestArchive& archive);

// Info-ZIP's Unicode Path extra field (0x7075) for an entry stored as raw: the version, the
// CRC-32 of raw (or nameCrc instead), and name.
std::string UnicodePathExtra(std::string_view raw, std::string_view name,
                             std::optional<uint32_t> nameCrc = std::nullopt, uint8_t version = 1);

// An archive with gaps: Bytes[0], then Gaps[0] bytes of the caller's, then Bytes[1], and so on;
// one more piece of bytes than gaps.
struct TZipPieces {
  std::vector<std::string> Bytes;
  std::vector<uint64_t> Gaps;
};
TZipPieces BuildZipPieces(const TTestArchive& archive);

}  // namespace ziptest
