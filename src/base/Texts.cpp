#include "base/Texts.h"

#include <cstdarg>

#include "base/Format.h"

namespace {

constexpr const char* kEnglish[] = {
#include "base/TextEnglish.inc"
};
static_assert(sizeof(kEnglish) / sizeof(kEnglish[0]) == kLastTextId - kFirstTextId + 1);

constexpr uint16_t kEnglishLanguage = 0x0409;
constexpr uint16_t kLangChinese = 0x04;
// Sublanguages of Chinese written in the simplified script: none (zh-Hans), PRC, Singapore.
constexpr bool IsSimplifiedChinese(uint16_t ASub) {
  return ASub == 0x00 || ASub == 0x02 || ASub == 0x04;
}

}  // namespace

const char* EnglishText(TTextId AId) {
  if (AId < kFirstTextId || AId > kLastTextId) return "";
  return kEnglish[AId - kFirstTextId];
}

uint16_t TableLanguageFor(uint16_t ALanguage) {
  const uint16_t primary = ALanguage & 0x3FF;
  if (primary == kLangChinese && !IsSimplifiedChinese(ALanguage >> 10)) return 0;
  for (const uint16_t language : kTextLanguages)
    if ((language & 0x3FF) == primary) return language;
  return 0;
}

std::string Text(TTextId AId) {
  const uint16_t language = TextLanguage();
  std::string text = ResourceText(language, AId);
  if (text.empty() && language != kEnglishLanguage) text = ResourceText(kEnglishLanguage, AId);
  return text.empty() ? EnglishText(AId) : text;
}

std::string FormatText(TTextId AId, ...) {
  const std::string format = Text(AId);
  va_list args;
  va_start(args, AId);
  std::string out = FormatV(format.c_str(), args);
  va_end(args);
  return out;
}

std::string TextFor(TTextReader AReader, TTextId AId) {
  return AReader == TTextReader::trLog ? std::string(EnglishText(AId)) : Text(AId);
}

std::string FormatTextFor(TTextReader AReader, TTextId AId, ...) {
  const std::string format = TextFor(AReader, AId);
  va_list args;
  va_start(args, AId);
  std::string out = FormatV(format.c_str(), args);
  va_end(args);
  return out;
}
