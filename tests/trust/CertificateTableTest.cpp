// Whether a program file has a certificate table: the one fact by which a file whose signature
// the system could not verify still counts as unsigned. Headers made in memory, field by field.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "trust/CertificateTable.h"

namespace {

struct TPeHeaders {
  bool mz = true;
  bool peSignature = true;
  uint16_t magic = 0x20B;  // PE32+
  uint32_t directories = 16;
  uint32_t securityAddress = 0;
  uint32_t securitySize = 0;
  // The optional header's declared size; 0: the standard size for the magic and directories.
  uint16_t optionalSize = 0;
  // The file ends after this many bytes; 0: after the headers.
  size_t length = 0;
};

void Put(std::vector<uint8_t>& AFile, size_t AAt, uint32_t AValue, int ABytes) {
  for (int i = 0; i < ABytes; ++i)
    AFile[AAt + i] = static_cast<uint8_t>(AValue >> (8 * i));
}

std::vector<uint8_t> Build(const TPeHeaders& AHeaders) {
  const size_t pe = 0x80;
  const uint32_t countAt = AHeaders.magic == 0x10B ? 92 : 108;
  const uint32_t standard = countAt + 4 + 16 * 8;
  std::vector<uint8_t> file(pe + 24 + standard, 0);
  if (AHeaders.mz) file[0] = 'M', file[1] = 'Z';
  Put(file, 0x3C, pe, 4);
  if (AHeaders.peSignature) Put(file, pe, 0x00004550, 4);
  Put(file, pe + 20, AHeaders.optionalSize ? AHeaders.optionalSize : standard, 2);
  Put(file, pe + 24, AHeaders.magic, 2);
  Put(file, pe + 24 + countAt, AHeaders.directories, 4);
  Put(file, pe + 24 + countAt + 4 + 4 * 8, AHeaders.securityAddress, 4);
  Put(file, pe + 24 + countAt + 4 + 4 * 8 + 4, AHeaders.securitySize, 4);
  if (AHeaders.length) file.resize(AHeaders.length);
  return file;
}

TEST(CertificateTable, IsReadFromTheSecurityDirectory) {
  struct Case {
    const char* name;
    TPeHeaders headers;
    std::optional<bool> expected;
  } cases[] = {
      {"PE32+ without a table", {}, false},
      {"PE32+ with a table", {.securityAddress = 0x6000, .securitySize = 0x1000}, true},
      {"PE32 without a table", {.magic = 0x10B}, false},
      {"PE32 with a table", {.magic = 0x10B, .securityAddress = 0x6000, .securitySize = 8}, true},
      {"a table of no size at an address", {.securityAddress = 0x6000}, true},
      {"four directories: none for security",
       {.directories = 4, .securityAddress = 0x6000, .securitySize = 8},
       false},
      {"no MZ", {.mz = false}, std::nullopt},
      {"no PE signature", {.peSignature = false}, std::nullopt},
      {"an unknown optional header", {.magic = 0x107}, std::nullopt},
      {"an optional header too short for its directories", {.optionalSize = 120}, std::nullopt},
      {"cut off before the directory",
       {.securitySize = 8, .length = 0x80 + 24 + 140},
       std::nullopt},
      {"cut off inside the DOS header", {.length = 40}, std::nullopt},
      {"cut off before the PE header", {.length = 0x70}, std::nullopt},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes = Build(c.headers);
    TMemoryStream file;
    if (!bytes.empty()) file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(HasCertificateTable(file), c.expected) << c.name;
  }
}

}  // namespace
