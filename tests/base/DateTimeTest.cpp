#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "base/DateTime.h"
#include "base/Exception.h"

TEST(DateTime, CountsDaysFromTheEndOf1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), MinDateTime);
  EXPECT_EQ(EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), MaxDateTime);
  EXPECT_EQ(EncodeDateTime(1899, 12, 31, 12, 0, 0, 0), 1.5);
  // Before the epoch the value still grows with time.
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -0.75);
  EXPECT_LT(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), EncodeDateTime(1899, 12, 29, 12, 0, 0, 0));
}

TEST(DateTime, DecodesWhatItEncodes) {
  const TDateTimeParts cases[] = {
      {1, 1, 1, 0, 0, 0, 0},           {1601, 1, 1, 0, 0, 0, 0},   {1899, 12, 29, 6, 30, 15, 250},
      {1900, 2, 28, 23, 59, 59, 999},  {2000, 2, 29, 12, 0, 0, 1}, {2026, 12, 9, 10, 0, 0, 0},
      {9999, 12, 31, 23, 59, 59, 999},
  };
  for (const TDateTimeParts& c : cases) {
    const TDateTime value =
        EncodeDateTime(c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second, c.MilliSecond);
    const TDateTimeParts p = DecodeDateTime(value);
    EXPECT_EQ(std::tie(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.MilliSecond),
              std::tie(c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second, c.MilliSecond))
        << c.Year << "-" << c.Month << "-" << c.Day;
  }
}

TEST(DateTime, RejectsDaysThatDoNotExist) {
  TDateTime r;
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, r));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, r));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, r));
  EXPECT_FALSE(TryEncodeDate(2025, 2, 29, r));
  EXPECT_FALSE(TryEncodeDate(2026, 4, 31, r));
  EXPECT_FALSE(TryEncodeDate(2026, 13, 1, r));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, r));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, r));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, r));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, r));
  try {
    EncodeDateTime(2026, 2, 30, 0, 0, 0, 0);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Invalid argument to date encode");
  }
  try {
    EncodeDateTime(2026, 2, 1, 0, 60, 0, 0);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Invalid argument to time encode");
  }
}

TEST(DateTime, ArithmeticStaysInsideTheSupportedRange) {
  const TDateTime t = EncodeDateTime(2026, 12, 31, 23, 59, 59, 0);
  EXPECT_EQ(IncSecond(t, 1), EncodeDate(2027, 1, 1));
  EXPECT_EQ(IncSecond(t, -86400), EncodeDateTime(2026, 12, 30, 23, 59, 59, 0));
  EXPECT_EQ(MilliSecondSpan(t, IncMilliSecond(t, 1500)), 1500);
  EXPECT_EQ(MilliSecondSpan(IncMilliSecond(t, 1500), t), -1500);
  EXPECT_EQ(IncSecond(t, INT64_MAX), MaxDateTime);
  EXPECT_EQ(IncSecond(t, INT64_MIN), MinDateTime);
  EXPECT_EQ(IncMilliSecond(t, INT64_MAX), MaxDateTime);
  EXPECT_EQ(DateTimeToMSecs(1e300), DateTimeToMSecs(MaxDateTime));
  EXPECT_EQ(DateTimeToMSecs(-1e300), DateTimeToMSecs(MinDateTime));
  EXPECT_EQ(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()).Year, 1899);
}

TEST(DateTime, LocalAndUTCAgreeWithTheClock) {
  const TDateTime utc = NowUTC();
  const TDateTime local = Now();
  EXPECT_LE(std::abs(MilliSecondSpan(UTCToLocal(utc), local)), 2000);
  EXPECT_LE(std::abs(MilliSecondSpan(LocalToUTC(local), utc)), 2000);
  // Noon in January and in July is never inside a daylight-saving change.
  for (int month : {1, 7}) {
    const TDateTime noon = EncodeDateTime(2026, month, 15, 12, 0, 0, 250);
    EXPECT_EQ(DateTimeToMSecs(LocalToUTC(UTCToLocal(noon))), DateTimeToMSecs(noon));
  }
  // Outside the years 1601 to 9999 nothing is converted.
  const TDateTime early = EncodeDateTime(1600, 6, 1, 12, 0, 0, 0);
  EXPECT_EQ(UTCToLocal(early), early);
  EXPECT_EQ(LocalToUTC(early), early);
  EXPECT_EQ(UTCToLocal(MinDateTime), MinDateTime);
  EXPECT_LE(UTCToLocal(MaxDateTime), MaxDateTime);
}

// PLENWICK_TEST_TZ names the zone the test runs in (set by the build for this test program,
// on both targets): Central European time, one hour ahead in winter and two in summer.
TEST(DateTime, ConvertsByTheZoneRules) {
  const char* zone = std::getenv("PLENWICK_TEST_TZ");
  if (!zone) GTEST_SKIP() << "PLENWICK_TEST_TZ is not set";
  ASSERT_STREQ(zone, "CET");
  struct {
    TDateTime utc, local;
  } cases[] = {
      {EncodeDateTime(2026, 1, 15, 12, 0, 0, 0), EncodeDateTime(2026, 1, 15, 13, 0, 0, 0)},
      {EncodeDateTime(2026, 7, 15, 12, 0, 0, 0), EncodeDateTime(2026, 7, 15, 14, 0, 0, 0)},
      {EncodeDateTime(2026, 12, 31, 23, 30, 0, 0), EncodeDateTime(2027, 1, 1, 0, 30, 0, 0)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateTimeToMSecs(UTCToLocal(c.utc)), DateTimeToMSecs(c.local));
    EXPECT_EQ(DateTimeToMSecs(LocalToUTC(c.local)), DateTimeToMSecs(c.utc));
  }
}
