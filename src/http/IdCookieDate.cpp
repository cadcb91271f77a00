#include "http/IdCookieDate.h"

#include <string>
#include <vector>

#include "base/StrUtils.h"

namespace {

bool IsDelimiter(unsigned char c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
         (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::vector<std::string_view> Tokens(std::string_view AText) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < AText.size()) {
    while (i < AText.size() && IsDelimiter(static_cast<unsigned char>(AText[i])))
      ++i;
    const size_t start = i;
    while (i < AText.size() && !IsDelimiter(static_cast<unsigned char>(AText[i])))
      ++i;
    if (i > start) tokens.push_back(AText.substr(start, i - start));
  }
  return tokens;
}

// What a recogniser made of a token: not its pattern, its pattern with a valid value, or its
// pattern with a value out of range (which makes the whole date invalid).
enum class TMatch { No, Yes, Invalid };

// One or two digits at pos; returns the count read (0 when none).
size_t ReadDigits(std::string_view s, size_t APos, int& AValue) {
  size_t n = 0;
  AValue = 0;
  while (n < 2 && APos + n < s.size() && IsDigit(s[APos + n])) {
    AValue = AValue * 10 + (s[APos + n] - '0');
    ++n;
  }
  return n;
}

TMatch MatchTime(std::string_view AToken, int& AHour, int& AMinute, int& ASecond) {
  size_t pos = 0;
  int* parts[3] = {&AHour, &AMinute, &ASecond};
  for (int k = 0; k < 3; ++k) {
    const size_t n = ReadDigits(AToken, pos, *parts[k]);
    if (n == 0) return TMatch::No;
    pos += n;
    if (k < 2) {
      if (pos >= AToken.size() || AToken[pos] != ':') return TMatch::No;
      ++pos;
    }
  }
  if (pos < AToken.size() && IsDigit(AToken[pos])) return TMatch::Invalid;
  if (AHour > 23 || AMinute > 59 || ASecond > 59) return TMatch::Invalid;
  return TMatch::Yes;
}

// One or two leading digits; a digit as the token's third character (after more than the
// digits read) makes the value invalid, so "2026" is no day and no month.
TMatch MatchLeadingNumber(std::string_view AToken, int ALow, int AHigh, int& AValue) {
  const size_t n = ReadDigits(AToken, 0, AValue);
  if (n == 0) return TMatch::No;
  if (AToken.size() > n && AToken.size() > 2 && IsDigit(AToken[2])) return TMatch::Invalid;
  return AValue >= ALow && AValue <= AHigh ? TMatch::Yes : TMatch::Invalid;
}

TMatch MatchMonth(std::string_view AToken, int& AMonth) {
  static const char* const kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
  if (AToken.size() >= 3) {
    for (int m = 0; m < 12; ++m) {
      if (SameText(AToken.substr(0, 3), kMonths[m])) {
        AMonth = m + 1;
        return TMatch::Yes;
      }
    }
  }
  return MatchLeadingNumber(AToken, 1, 12, AMonth);
}

TMatch MatchYear(std::string_view AToken, int& AYear) {
  if (AToken.size() < 2 || AToken.size() > 4) return TMatch::No;
  AYear = 0;
  for (char c : AToken) {
    if (!IsDigit(c)) return TMatch::No;
    AYear = AYear * 10 + (c - '0');
  }
  if (AYear >= 70 && AYear <= 99)
    AYear += 1900;
  else if (AYear <= 69)
    AYear += 2000;
  return AYear < 1601 ? TMatch::Invalid : TMatch::Yes;
}

}  // namespace

std::optional<TDateTime> ParseCookieDate(std::string_view AText) {
  bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;

  for (std::string_view token : Tokens(AText)) {
    TMatch m = TMatch::No;
    if (!haveTime) {
      m = MatchTime(token, hour, minute, second);
      haveTime = m == TMatch::Yes;
    }
    if (m == TMatch::No && !haveDay) {
      m = MatchLeadingNumber(token, 1, 31, day);
      haveDay = m == TMatch::Yes;
    }
    if (m == TMatch::No && !haveMonth) {
      m = MatchMonth(token, month);
      haveMonth = m == TMatch::Yes;
    }
    if (m == TMatch::No && !haveYear) {
      m = MatchYear(token, year);
      haveYear = m == TMatch::Yes;
    }
    if (m == TMatch::Invalid) return std::nullopt;
  }

  TDateTime utc;
  if (!haveTime || !haveDay || !haveMonth || !haveYear ||
      !TryEncodeDateTime(year, month, day, hour, minute, second, 0, utc))
    return std::nullopt;
  return UTCToLocal(utc);
}
