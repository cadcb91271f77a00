#include "net/IdTextEncoding.h"

#include "base/Utf.h"

TIdBytes TIdASCIIEncoding::GetBytes(std::string_view text) const {
  bool ascii = true;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
  if (ascii) return TIdBytes(text.begin(), text.end());
  TIdBytes out;
  for (char16_t unit : Utf8ToUtf16(text))
    out.push_back(unit < 0x80 ? static_cast<uint8_t>(unit) : uint8_t('?'));
  return out;
}

std::string TIdASCIIEncoding::GetString(const uint8_t* bytes, size_t count) const {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] < 0x80)
      out.push_back(static_cast<char>(bytes[i]));
    else
      AppendUtf8(out, 0xFFFD);
  }
  return out;
}

const TIdTextEncoding& TextEncodingASCII() {
  static const TIdASCIIEncoding encoding;
  return encoding;
}
