#include "http/IdHTTPDate.h"

#include <array>
#include <cmath>
#include <vector>

#include "base/Format.h"
#include "base/StrUtils.h"

namespace {

constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// 30 December 1899, day 0, was a Saturday.
constexpr std::array<const char*, 7> kDays = {"Sat", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri"};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}
bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int MonthOf(std::string_view AToken) {
  if (AToken.size() < 3) return 0;
  for (size_t i = 0; i < kMonths.size(); ++i)
    if (StartsText(kMonths[i], AToken)) return static_cast<int>(i) + 1;
  return 0;
}

bool IsWeekday(std::string_view AToken) {
  static constexpr std::array<const char*, 7> names = {"Mon", "Tue", "Wed", "Thu",
                                                       "Fri", "Sat", "Sun"};
  for (const char* n : names)
    if (StartsText(n, AToken)) return true;
  return false;
}

// "hh:mm" or "hh:mm:ss".
bool ParseTime(std::string_view AToken, int& h, int& m, int& s) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  size_t start = 0;
  for (;;) {
    const size_t colon = AToken.find(':', start);
    const std::string_view piece = AToken.substr(start, colon - start);
    if (count == 3 || piece.empty() || piece.size() > 2 || !AllDigits(piece)) return false;
    parts[count++] = StrToIntDef(piece, 0);
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  if (count < 2) return false;
  h = parts[0];
  m = parts[1];
  s = parts[2];
  return h < 24 && m < 60 && s < 61;
}

// Splits at spaces, tabs and commas, and splits "06-Nov-94" at its dashes; a numeric zone
// ("+0100", "-0100") stays whole.
std::vector<std::string_view> Tokens(std::string_view AText) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < AText.size()) {
    while (i < AText.size() && (AText[i] == ' ' || AText[i] == '\t' || AText[i] == ','))
      ++i;
    size_t j = i;
    while (j < AText.size() && AText[j] != ' ' && AText[j] != '\t' && AText[j] != ',')
      ++j;
    std::string_view word = AText.substr(i, j - i);
    i = j;
    if (word.empty()) continue;
    const bool zone = (word[0] == '+' || word[0] == '-') && AllDigits(word.substr(1));
    if (zone || word.find('-') == std::string_view::npos) {
      out.push_back(word);
      continue;
    }
    size_t start = 0;
    for (;;) {
      const size_t dash = word.find('-', start);
      if (dash > start) out.push_back(word.substr(start, dash - start));
      if (dash == std::string_view::npos) break;
      start = dash + 1;
    }
  }
  return out;
}

}  // namespace

std::optional<TDateTime> GMTToLocalDateTime(std::string_view AText) {
  int day = -1, month = 0, year = -1, hour = 0, minute = 0, second = 0;
  bool haveTime = false;
  int offsetMinutes = 0;
  for (std::string_view token : Tokens(Trim(AText))) {
    if (!haveTime && token.find(':') != std::string_view::npos) {
      if (!ParseTime(token, hour, minute, second)) return std::nullopt;
      haveTime = true;
    } else if (AllDigits(token)) {
      if (token.size() > 4) return std::nullopt;
      const int v = StrToIntDef(token, -1);
      if (day < 0 && token.size() <= 2)
        day = v;
      else if (year < 0)
        year = token.size() <= 2 ? (v < 50 ? 2000 + v : 1900 + v) : v;
      else
        return std::nullopt;
    } else if ((token[0] == '+' || token[0] == '-') && token.size() == 5 &&
               AllDigits(token.substr(1))) {
      const int v = StrToIntDef(token.substr(1), 0);
      if (v % 100 >= 60) return std::nullopt;
      offsetMinutes = (v / 100 * 60 + v % 100) * (token[0] == '-' ? -1 : 1);
    } else if (SameText(token, "GMT") || SameText(token, "UTC") || SameText(token, "UT") ||
               SameText(token, "Z")) {
      // The zone of every HTTP date.
    } else if (month == 0 && MonthOf(token) != 0) {
      month = MonthOf(token);
    } else if (IsWeekday(token) && IsLetter(token[0])) {
      // The day name says nothing the date does not.
    } else {
      return std::nullopt;
    }
  }
  if (day < 1 || month == 0 || year < 1601) return std::nullopt;
  TDateTime utc;
  if (!TryEncodeDateTime(year, month, day, hour, minute, second == 60 ? 59 : second, 0, utc))
    return std::nullopt;
  utc = IncSecond(utc, -int64_t(offsetMinutes) * 60);
  return UTCToLocal(utc);
}

std::string LocalDateTimeToHTTPDate(TDateTime ALocal) {
  const TDateTime utc = LocalToUTC(ALocal);
  const TDateTimeParts p = DecodeDateTime(utc);
  const int64_t dayNumber = static_cast<int64_t>(std::floor(utc));
  const size_t weekday = static_cast<size_t>(((dayNumber % 7) + 7) % 7);
  return Format("%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[weekday], p.Day,
                kMonths[static_cast<size_t>(p.Month - 1)], p.Year, p.Hour, p.Minute, p.Second);
}
