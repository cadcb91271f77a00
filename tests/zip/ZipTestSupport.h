#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
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

// The folder of the committed fixtures, in the program's own form.
std::string FixtureDir();

// Contents of a file, or std::nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);
// Regular files below a folder, recursively.
int CountFiles(const std::string& folder);
// Files and folders directly in a folder.
int CountEntries(const std::string& folder);

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
std::string RawDeflate(std::string_view data);

// Hand-made archives: one entry as its headers will say.
struct TTestEntry {
  std::string Name{};  // raw name bytes
  std::string Data{};  // the entry's content (deflated by the builder when Method is 8)
  uint16_t Method = 0;
  uint16_t Flag = 0;
  std::optional<std::string> RawData{};  // the stored bytes as they are, instead of Data
  std::optional<uint32_t> CompressedSize{};
  std::optional<uint32_t> UncompressedSize{};
  std::optional<uint32_t> CRC{};
  uint32_t LocalSignature = 0x04034B50;
  uint32_t CentralSignature = 0x02014B50;
  std::string Comment{};
};

struct TTestArchive {
  std::vector<TTestEntry> Entries;
  std::string Comment{};
  std::string Prefix;  // bytes before the archive; offsets count from its start
  std::optional<uint32_t> DirectoryOffset;
  std::optional<uint16_t> TotalEntries;
};

std::string BuildZip(const TTestArchive& archive);

}  // namespace ziptest
