#include "base/Utf.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i], advancing i; returns U+FFFD for a malformed sequence
// (consuming one byte, so decoding resynchronises on the next byte).
char32_t DecodeOne(std::string_view AText, size_t& i, bool& AOk) {
  const auto b0 = static_cast<unsigned char>(AText[i]);
  AOk = true;
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len;
  char32_t cp;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    AOk = false;
    return kReplacement;
  }
  if (i + static_cast<size_t>(len) > AText.size()) {
    ++i;
    AOk = false;
    return kReplacement;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(AText[i + static_cast<size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      AOk = false;
      return kReplacement;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    AOk = false;
    return kReplacement;
  }
  i += static_cast<size_t>(len);
  return cp;
}

}  // namespace

void AppendUtf8(std::string& AOut, char32_t ACp) {
  if (ACp > 0x10FFFF || (ACp >= 0xD800 && ACp <= 0xDFFF)) ACp = kReplacement;
  if (ACp < 0x80) {
    AOut += static_cast<char>(ACp);
  } else if (ACp < 0x800) {
    AOut += static_cast<char>(0xC0 | (ACp >> 6));
    AOut += static_cast<char>(0x80 | (ACp & 0x3F));
  } else if (ACp < 0x10000) {
    AOut += static_cast<char>(0xE0 | (ACp >> 12));
    AOut += static_cast<char>(0x80 | ((ACp >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACp & 0x3F));
  } else {
    AOut += static_cast<char>(0xF0 | (ACp >> 18));
    AOut += static_cast<char>(0x80 | ((ACp >> 12) & 0x3F));
    AOut += static_cast<char>(0x80 | ((ACp >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACp & 0x3F));
  }
}

bool IsValidUtf8(std::string_view AText) {
  size_t i = 0;
  bool ok = true;
  while (i < AText.size()) {
    DecodeOne(AText, i, ok);
    if (!ok) return false;
  }
  return true;
}

std::u16string Utf8ToUtf16(std::string_view AUtf8) {
  std::u16string out;
  out.reserve(AUtf8.size());
  size_t i = 0;
  bool ok;
  while (i < AUtf8.size()) {
    const char32_t cp = DecodeOne(AUtf8, i, ok);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view AUtf16) {
  std::string out;
  out.reserve(AUtf16.size());
  for (size_t i = 0; i < AUtf16.size(); ++i) {
    char32_t cp = AUtf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < AUtf16.size() && AUtf16[i + 1] >= 0xDC00 &&
        AUtf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (AUtf16[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

#ifdef _WIN32
std::wstring ToWide(std::string_view AUtf8) {
  const std::u16string s = Utf8ToUtf16(AUtf8);
  return std::wstring(s.begin(), s.end());
}

std::string FromWide(std::wstring_view AUtf16) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(AUtf16.data()), AUtf16.size()));
}
#endif
