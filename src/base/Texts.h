#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "base/TextIds.h"  // generated from base/texts/Texts.txt

// The program's texts. Code names a text by its id (base/texts/Texts.txt holds every text in
// every language); the layers below the program get their messages here too, so they depend on
// no window or resource code.
//
// On Windows a text comes from the running program's string table in the user's display
// language (TextLanguage), falling back to English; a program without string tables (a test
// program) gets the English text. Natively every text is the English one.
std::string Text(TTextId AId);

// printf-style formatting of a text; the translations keep the English placeholders in order.
std::string FormatText(TTextId AId, ...);
// The same, refusing at compile time what printf cannot take: an id or a string object passed
// where its text was meant.
template <typename... TArgs>
std::string Format(TTextId AId, TArgs... AArgs) {
  static_assert(((std::is_arithmetic_v<TArgs> || std::is_pointer_v<TArgs>)&&...),
                "pass numbers and C strings (Text(id).c_str(), s.c_str())");
  return FormatText(AId, AArgs...);
}

// The English text, exactly as the program was specified with it.
const char* EnglishText(TTextId AId);

// Who reads a text: the user, in their language; or support staff, in the log, in English
// whatever the user's language.
enum class TTextReader { trUser, trLog };
std::string TextFor(TTextReader AReader, TTextId AId);
std::string FormatTextFor(TTextReader AReader, TTextId AId, ...);
template <typename... TArgs>
std::string FormatFor(TTextReader AReader, TTextId AId, TArgs... AArgs) {
  static_assert(((std::is_arithmetic_v<TArgs> || std::is_pointer_v<TArgs>)&&...),
                "pass numbers and C strings (Text(id).c_str(), s.c_str())");
  return FormatTextFor(AReader, AId, AArgs...);
}

// The language of the table that serves a user whose display language is ALanguage (a Windows
// language id): the table's language of the same primary language, Chinese only in its
// simplified script; 0 when the table has none.
uint16_t TableLanguageFor(uint16_t ALanguage);

// The table's language the texts are shown in: the first of the user's preferred display
// languages that the table serves, else English (0x0409). Natively English.
uint16_t TextLanguage();

// The text in that language from the running program's string table; empty when the program
// has no such string (natively always). Tests use it to read a language other than the user's.
std::string ResourceText(uint16_t ALanguage, TTextId AId);
