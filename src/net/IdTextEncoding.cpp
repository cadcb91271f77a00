#include "net/IdTextEncoding.h"

#include "base/Utf.h"

TIdBytes TIdASCIIEncoding::GetBytes(std::string_view AText) const {
  bool ascii = true;
  for (char c : AText)
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
  if (ascii) return TIdBytes(AText.begin(), AText.end());
  TIdBytes out;
  for (char16_t unit : Utf8ToUtf16(AText))
    out.push_back(unit < 0x80 ? static_cast<uint8_t>(unit) : uint8_t('?'));
  return out;
}

std::string TIdASCIIEncoding::GetString(const uint8_t* ABytes, size_t ACount) const {
  std::string out;
  out.reserve(ACount);
  for (size_t i = 0; i < ACount; ++i) {
    if (ABytes[i] < 0x80)
      out.push_back(static_cast<char>(ABytes[i]));
    else
      AppendUtf8(out, 0xFFFD);
  }
  return out;
}

const TIdTextEncoding& TextEncodingASCII() {
  static const TIdASCIIEncoding encoding;
  return encoding;
}
