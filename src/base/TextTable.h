#pragma once

#include <cstdint>

#include "base/TextIds.h"

// Every language's texts as the table holds them, for the checks of the table itself (the
// program reads its texts through base/Texts.h).
struct TTextTableLanguage {
  const char* Tag;  // "en", "de", "pt-BR" ...
  uint16_t Id;      // the Windows language id of its string table
  const char* Name;
  const char* const* Texts;  // in the order of the ids, from kFirstTextId; nullptr: missing
};

inline constexpr int kMaxTextTableLanguages = 16;

// A glossary entry: the word of the English texts and the stem each language writes for it
// (in the order of the languages).
struct TTextTableTerm {
  const char* Word;
  const char* Stems[kMaxTextTableLanguages];
};

#include "base/TextTable.inc"

static_assert(kTextTableLanguageCount <= kMaxTextTableLanguages);
