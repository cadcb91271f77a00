#include "http/IdCharsets.h"

#include <array>

#include "base/StrUtils.h"
#include "base/Utf.h"

namespace {

// Windows-1252 0x80..0x9F; 0 marks the five unassigned codes, read as their Latin-1 controls.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool IsOneOf(std::string_view AName, std::initializer_list<const char*> ANames) {
  for (const char* n : ANames)
    if (SameText(AName, n)) return true;
  return false;
}

std::string Utf16(const uint8_t* p, size_t n, bool ABigEndian) {
  std::u16string units;
  units.reserve(n / 2);
  for (size_t i = 0; i + 1 < n; i += 2)
    units.push_back(ABigEndian ? static_cast<char16_t>(p[i] << 8 | p[i + 1])
                               : static_cast<char16_t>(p[i + 1] << 8 | p[i]));
  return Utf16ToUtf8(units);
}

}  // namespace

std::string DecodeCharset(const uint8_t* ABytes, size_t ACount, std::string_view ACharSet) {
  const std::string_view name = Trim(ACharSet);
  std::string out;
  if (IsOneOf(name, {"utf-8", "utf8"})) {
    // Through UTF-16 and back, so malformed sequences become U+FFFD.
    return Utf16ToUtf8(
        Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(ABytes), ACount)));
  }
  if (IsOneOf(name, {"utf-16", "utf-16le", "utf-16be", "unicode", "unicodefffe"})) {
    bool bigEndian = SameText(name, "utf-16be") || SameText(name, "unicodefffe");
    if (ACount >= 2 &&
        ((ABytes[0] == 0xFE && ABytes[1] == 0xFF) || (ABytes[0] == 0xFF && ABytes[1] == 0xFE))) {
      bigEndian = ABytes[0] == 0xFE;
      ABytes += 2;
      ACount -= 2;
    }
    return Utf16(ABytes, ACount, bigEndian);
  }
  const bool ascii = IsOneOf(name, {"us-ascii", "ascii", "ansi_x3.4-1968"});
  const bool cp1252 = IsOneOf(name, {"windows-1252", "cp1252", "x-cp1252"});
  out.reserve(ACount);
  for (size_t i = 0; i < ACount; ++i) {
    const uint8_t b = ABytes[i];
    char32_t c = b;
    if (ascii && b >= 0x80)
      c = 0xFFFD;
    else if (cp1252 && b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80] != 0)
      c = kCp1252High[b - 0x80];
    AppendUtf8(out, c);
  }
  return out;
}

std::string XmlBodyCharset(const uint8_t* ABytes, size_t ACount) {
  if (ACount >= 3 && ABytes[0] == 0xEF && ABytes[1] == 0xBB && ABytes[2] == 0xBF) return "utf-8";
  if (ACount >= 2 && ABytes[0] == 0xFE && ABytes[1] == 0xFF) return "utf-16be";
  if (ACount >= 2 && ABytes[0] == 0xFF && ABytes[1] == 0xFE) return "utf-16le";
  // <?xml version="1.0" encoding="..."?> at the very start.
  const std::string_view text(reinterpret_cast<const char*>(ABytes), ACount);
  if (text.substr(0, 5) == "<?xml") {
    const size_t end = text.find("?>");
    const std::string_view decl = text.substr(0, end);
    const size_t at = decl.find("encoding");
    if (at != std::string_view::npos) {
      size_t i = at + 8;
      while (i < decl.size() && (decl[i] == ' ' || decl[i] == '='))
        ++i;
      if (i < decl.size() && (decl[i] == '"' || decl[i] == '\'')) {
        const char quote = decl[i];
        const size_t close = decl.find(quote, i + 1);
        if (close != std::string_view::npos) return std::string(decl.substr(i + 1, close - i - 1));
      }
    }
  }
  return "utf-8";
}
