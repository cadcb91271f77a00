#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/DateTime.h"

// Dates of HTTP headers (Date, Expires, Last-Modified): the three forms servers send
// ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
// "Sun Nov  6 08:49:37 1994"), with GMT, UTC or a numeric offset as the zone (none means GMT).
// Returns the time in local time; nothing for text that is not such a date.
std::optional<TDateTime> GMTToLocalDateTime(std::string_view AText);

// A local time written as an HTTP date in GMT ("Sun, 06 Nov 1994 08:49:37 GMT").
std::string LocalDateTimeToHTTPDate(TDateTime ALocal);
