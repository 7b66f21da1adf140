#pragma once

#include "Date.h"

#include <optional>
#include <string>
#include <string_view>

// ISO 8601 internet date-times, the form of every date in JSON files, logs and HTTP bodies.

// UTC with whole seconds and a "Z": "2026-03-01T08:30:00Z". Fractions of a second are dropped. A date
// before 0001-01-01T00:00:00Z or after 9999-12-31T23:59:59Z (or not a number) is written as the nearer
// of the two, so that what is written can always be read.
std::string iso8601String(Date date);

// Whole seconds only, with "Z" or a "+hh:mm"/"-hh:mm" offset; the time in UTC must fall within the
// years 0001 to 9999, the dates iso8601String can write. A date read lies within the second the text
// names, so it is written back as that second.
std::optional<Date> parseIso8601Strict(std::string_view text);

// As the strict form, and also with a fraction of a second ("2026-03-01T08:30:00.250+01:00").
std::optional<Date> parseIso8601Lenient(std::string_view text);
