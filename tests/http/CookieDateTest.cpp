#include <gtest/gtest.h>

#include "http/IdCookieDate.h"

namespace {

struct DateCase {
  const char* text;
  bool valid;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // UTC, when valid
};

const DateCase kCases[] = {
    {"Wed, 09 Dec 2026 10:00:00 GMT", true, 2026, 12, 9, 10, 0, 0},
    {"Wednesday, 09-Dec-26 10:00:00 GMT", true, 2026, 12, 9, 10, 0, 0},
    {"Wed Dec 9 10:00:00 2026", true, 2026, 12, 9, 10, 0, 0},
    {"2026-12-09 10:00:00", false},  // 2026 is offered to the day of month first
    {"Sun, 06 Nov 94 08:49:37 GMT", true, 1994, 11, 6, 8, 49, 37},
    {"Thu, 01 Jan 1970 00:00:00 GMT", true, 1970, 1, 1, 0, 0, 0},
    {"01 jan 69 0:0:0", true, 2069, 1, 1, 0, 0, 0},
    {"10:00:00 DECEMBER 09 26", true, 2026, 12, 9, 10, 0, 0},
    {"9 12 2026 1:2:3", true, 2026, 12, 9, 1, 2, 3},
    {"Wed, 09 Dec 2026 10:00:00Z", true, 2026, 12, 9, 10, 0, 0},
    {"29 Feb 2024 23:59:59", true, 2024, 2, 29, 23, 59, 59},
    {"01 Jan 1601 00:00:00", true, 1601, 1, 1, 0, 0, 0},
    {"31 Dec 9999 12:00:00", true, 9999, 12, 31, 12, 0, 0},
    // Out-of-range values and missing parts.
    {"01 Jan 1600 00:00:00", false},
    {"01 Jan 0100 00:00:00", false},
    {"29 Feb 2025 10:00:00", false},
    {"31 Apr 2026 10:00:00", false},
    {"32 Dec 2026 10:00:00", false},
    {"00 Dec 2026 10:00:00", false},
    {"09 Dec 2026 24:00:00", false},
    {"09 Dec 2026 10:60:00", false},
    {"09 Dec 2026 10:00:60", false},
    {"09 Dec 2026 10:00:000", false},  // a third digit after the seconds
    {"09 13 2026 10:00:00", false},
    {"09 Foo 2026 10:00:00", false},
    {"09 Dec 2026", false},
    {"Dec 2026 10:00:00", false},
    {"09 Dec 10:00:00", false},
    {"", false},
    {"\xFF\xFE\x01 ;;; \t", false},
};

}  // namespace

TEST(ParseCookieDate, RecognisesTheFourPartsInAnyOrder) {
  for (const DateCase& c : kCases) {
    SCOPED_TRACE(c.text);
    const std::optional<TDateTime> date = ParseCookieDate(c.text);
    ASSERT_EQ(date.has_value(), c.valid);
    if (!c.valid) continue;
    const TDateTime utc = EncodeDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second, 0);
    // The result is local time.
    EXPECT_EQ(DateTimeToMSecs(*date), DateTimeToMSecs(UTCToLocal(utc)));
    EXPECT_EQ(DateTimeToMSecs(LocalToUTC(*date)), DateTimeToMSecs(utc));
  }
}
