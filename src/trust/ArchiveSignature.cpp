#include "trust/ArchiveSignature.h"

#include <array>
#include <cstdint>
#include <optional>

#include "base/Format.h"
#include "base/Texts.h"
#include "base/Utf.h"
#include "trust/TrustError.h"

namespace {

constexpr std::string_view kFormat = "plenwick-archive-signature";
// The longest name taken: far beyond any archive's, far below the file's bound.
constexpr size_t kMaxName = 1024;

std::string Hex(const uint8_t* AData, size_t ALength) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(ALength * 2);
  for (size_t i = 0; i < ALength; ++i) {
    text += kDigits[AData[i] >> 4];
    text += kDigits[AData[i] & 0x0F];
  }
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is not the canonical form
}

template <size_t N>
std::optional<std::array<uint8_t, N>> FromHex(std::string_view AText) {
  if (AText.size() != N * 2) return std::nullopt;
  std::array<uint8_t, N> bytes{};
  for (size_t i = 0; i < N; ++i) {
    const int high = HexValue(AText[2 * i]);
    const int low = HexValue(AText[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return bytes;
}

// A decimal count without sign or leading zeros that fits in 63 bits.
std::optional<int64_t> FromDecimal(std::string_view AText) {
  if (AText.empty() || AText.size() > 19 || (AText.size() > 1 && AText[0] == '0'))
    return std::nullopt;
  uint64_t value = 0;
  for (char c : AText) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
  return static_cast<int64_t>(value);
}

// A name of printable text: UTF-8 without control characters.
bool IsName(std::string_view AText) {
  if (AText.empty() || AText.size() > kMaxName || !IsValidUtf8(AText)) return false;
  for (unsigned char c : AText)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

[[noreturn]] void Malformed(const std::string& AWhat) {
  throw ETrustError(Format(RSSignatureMalformed, AWhat.c_str()));
}

[[noreturn]] void MalformedLine(std::string_view AField) {
  Malformed(Format(RSSignatureLine, std::string(AField).c_str()));
}

// Reads the file's lines one at a time, each "<field>: <value>\n" with the field expected next.
class TLineReader {
 public:
  explicit TLineReader(std::string_view AText) : FText(AText) {}

  std::string_view Value(std::string_view AField) {
    const size_t end = FText.find('\n', FAt);
    if (end == std::string_view::npos) {
      // The last line lacks its line feed, or the file ends before this field.
      if (FAt < FText.size()) Malformed(Text(RSSignatureLineEnds));
      MalformedLine(AField);
    }
    const std::string_view line = FText.substr(FAt, end - FAt);
    FAt = end + 1;
    if (line.size() < AField.size() + 2 || line.compare(0, AField.size(), AField) != 0 ||
        line.compare(AField.size(), 2, ": ") != 0)
      MalformedLine(AField);
    return line.substr(AField.size() + 2);
  }
  bool AtEnd() const { return FAt == FText.size(); }

 private:
  std::string_view FText;
  size_t FAt = 0;
};

}  // namespace

std::string TArchiveSignature::Statement() const {
  return std::string(kFormat) + ": " + std::to_string(kVersion) + "\n" + "name: " + Name + "\n" +
         "size: " + std::to_string(Size) + "\n" + "sha256: " + Hex(Sha256.data(), Sha256.size()) +
         "\n" + "key: " + Hex(KeyId.data(), KeyId.size()) + "\n";
}

std::string TArchiveSignature::Text() const {
  return Statement() + "signature: " + Hex(Signature.data(), Signature.size()) + "\n";
}

TArchiveSignature ParseArchiveSignature(std::string_view AText) {
  // Carriage returns (a file saved with Windows line ends) would hide in the values.
  if (AText.find('\r') != std::string_view::npos) Malformed(Text(RSSignatureLineEnds));
  TLineReader lines(AText);
  TArchiveSignature signature;
  if (lines.Value(kFormat) != std::to_string(TArchiveSignature::kVersion)) MalformedLine(kFormat);
  signature.Name = std::string(lines.Value("name"));
  if (!IsName(signature.Name)) MalformedLine("name");
  const std::optional<int64_t> size = FromDecimal(lines.Value("size"));
  if (!size) MalformedLine("size");
  signature.Size = *size;
  const auto sha256 = FromHex<32>(lines.Value("sha256"));
  if (!sha256) MalformedLine("sha256");
  signature.Sha256 = *sha256;
  const auto key = FromHex<32>(lines.Value("key"));
  if (!key) MalformedLine("key");
  signature.KeyId = *key;
  const auto rs = FromHex<64>(lines.Value("signature"));
  if (!rs) MalformedLine("signature");
  signature.Signature = *rs;
  if (!lines.AtEnd()) Malformed(Text(RSSignatureAfterEnd));
  return signature;
}
