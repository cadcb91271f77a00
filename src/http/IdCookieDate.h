#pragma once

#include <optional>
#include <string_view>

#include "base/DateTime.h"

// Parses the date of a cookie's Expires attribute (the forgiving grammar browsers accept: a
// time, a day of month, a month and a year in any order among other words). The date is read
// as UTC and returned in local time; nothing for text that does not hold a valid date from
// 1601 on.
std::optional<TDateTime> ParseCookieDate(std::string_view AText);
