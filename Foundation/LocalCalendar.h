#pragma once

#include "CivilTime.h"
#include "Date.h"

#include <optional>

#include <string>

// Calendar days in the user's current time zone: a change of TZ is honoured at the next call, a change
// of the system's zone (/etc/localtime) within a minute. Days are calendar days: the day of a daylight-saving
// change lasts 23 or 25 hours, never a fixed 86,400 s.
namespace LocalCalendar {

// The first instant of the local calendar day that holds `date`.
Date startOfDay(Date date);

// The start of the local calendar day `days` days after the day of `date` (negative: earlier).
Date startOfDay(Date date, int addingDays);

// The same local wall-clock time `days` calendar days later (negative: earlier). Across a
// daylight-saving change that is 23 or 25 hours per day crossed, not 24.
Date addingDays(Date date, int days);

bool isSameDay(Date a, Date b);

// The instant of a local wall-clock time; nothing for a date that does not exist on the calendar.
std::optional<Date> dateOf(const CivilDateTime& wallClock);

// Local wall-clock text, "HH:mm:ss" or "HH:mm".
std::string timeText(Date date, bool withSeconds);

} // namespace LocalCalendar
