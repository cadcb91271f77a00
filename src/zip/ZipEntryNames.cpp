#include "zip/ZipEntryNames.h"

#include <array>

#include "base/StrUtils.h"
#include "base/Utf.h"
#include "zip/ZipRecords.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Made-by hosts whose external attributes are DOS attributes: MS-DOS (FAT), Windows NTFS, VFAT.
constexpr uint8_t kHostDos = 0;
constexpr uint8_t kHostNtfs = 10;
constexpr uint8_t kHostVfat = 14;
constexpr uint32_t kDosDirectoryAttribute = 0x10;

// The names Windows opens as devices, whatever follows a dot. COM and LPT with the
// superscript digits one to three count too.
constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                      "NUL", "CONIN$", "CONOUT$"};
constexpr std::array<std::string_view, 2> kNumberedDevices = {"COM", "LPT"};
constexpr std::array<std::string_view, 3> kSuperscriptDigits = {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};

bool IsDeviceName(std::string_view ASegment) {
  // The device part is what stands before the first dot, without the spaces before that dot.
  std::string_view base = ASegment.substr(0, ASegment.find('.'));
  while (!base.empty() && base.back() == ' ')
    base.remove_suffix(1);
  for (const std::string_view device : kDevices)
    if (SameText(base, device)) return true;
  for (const std::string_view device : kNumberedDevices) {
    if (base.size() <= device.size() || !SameText(base.substr(0, device.size()), device)) continue;
    const std::string_view number = base.substr(device.size());
    if (number.size() == 1 && number[0] >= '1' && number[0] <= '9') return true;
    for (const std::string_view digit : kSuperscriptDigits)
      if (number == digit) return true;
  }
  return false;
}

// Simple upper-case mapping of one UTF-16 unit for the scripts listed in the header; the file
// system folds each unit on its own in the same way.
char16_t UpperUnit(char16_t c) {
  auto pairUpper = [](char16_t u, char16_t AFirst, char16_t ALast, bool AEvenIsUpper) {
    if (u < AFirst || u > ALast) return u;
    const bool even = (u - AFirst) % 2 == 0;
    return even == AEvenIsUpper ? u : static_cast<char16_t>(u - 1);
  };
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A: pairs, upper case first, with the dotted and dotless i left alone
    // (their mapping depends on the language).
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (c < 0x138) return pairUpper(c, 0x100, 0x137, true);
    if (c < 0x149) return pairUpper(c, 0x139, 0x148, true);
    if (c < 0x178) return pairUpper(c, 0x14A, 0x177, true);
    return pairUpper(c, 0x179, 0x17E, true);
  }
  if (c >= 0x3B1 && c <= 0x3CB)
    return c == 0x3C2 ? char16_t{0x3A3} : static_cast<char16_t>(c - 0x20);
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0x460 && c <= 0x481) return pairUpper(c, 0x460, 0x481, true);
  if (c >= 0x48A && c <= 0x4BF) return pairUpper(c, 0x48A, 0x4BF, true);
  if (c >= 0x4C1 && c <= 0x4CE) return pairUpper(c, 0x4C1, 0x4CE, true);
  if (c >= 0x4D0 && c <= 0x52F) return pairUpper(c, 0x4D0, 0x52F, true);
  if (c >= 0x561 && c <= 0x586) return static_cast<char16_t>(c - 0x30);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

}  // namespace

std::string PrintableEntryName(const TZipHeader& AHeader) {
  // A name that is not valid UTF-8 goes through UTF-16, which turns what is malformed into
  // U+FFFD.
  const std::string decoded = HasUndecodableName(AHeader)
                                  ? Utf16ToUtf8(Utf8ToUtf16(ZipRecords::AsText(AHeader.FileName)))
                                  : ZipRecords::EntryName(AHeader);
  std::string out;
  out.reserve(decoded.size());
  for (const char c : decoded) {
    if (static_cast<unsigned char>(c) < 0x20)
      out += kReplacement;
    else
      out += c;
  }
  return out;
}

bool HasUndecodableName(const TZipHeader& AHeader) {
  return (AHeader.Flag & kZipFlagUtf8) && !IsValidUtf8(ZipRecords::AsText(AHeader.FileName));
}

std::optional<TTextId> MisreadNameProblem(std::string_view AName) {
  for (const char c : AName) {
    if (static_cast<unsigned char>(c) < 0x20) return RSZipEntryControlChar;
    if (c == ':') return RSZipEntryColon;
    if (c == '*' || c == '?') return RSZipEntryWildcard;
  }
  size_t i = 0;
  while (i <= AName.size()) {
    size_t j = AName.find('\\', i);
    if (j == std::string_view::npos) j = AName.size();
    const std::string_view segment = AName.substr(i, j - i);
    i = j + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment.back() == '.' || segment.back() == ' ') return RSZipEntryDotOrSpace;
    if (IsDeviceName(segment)) return RSZipEntryDeviceName;
  }
  return std::nullopt;
}

std::u16string WindowsNameKey(std::string_view AName) {
  const std::u16string wide = Utf8ToUtf16(AName);
  std::u16string key;
  key.reserve(wide.size());
  size_t i = 0;
  while (i <= wide.size()) {
    size_t j = wide.find(u'\\', i);
    if (j == std::u16string::npos) j = wide.size();
    const std::u16string_view segment = std::u16string_view(wide).substr(i, j - i);
    i = j + 1;
    if (segment.empty() || segment == u".") continue;
    if (!key.empty()) key += u'\\';
    for (const char16_t c : segment)
      key += UpperUnit(c);
  }
  return key;
}

bool IsFolderByAttribute(const TZipHeader& AHeader) {
  const auto host = static_cast<uint8_t>(AHeader.MadeByVersion >> 8);
  return (host == kHostDos || host == kHostNtfs || host == kHostVfat) &&
         (AHeader.ExternalAttributes & kDosDirectoryAttribute) != 0;
}
