#pragma once

#include "lunar/LunarCalendar.h"

#include <QList>
#include <QStringView>

// What a year without the rule's month or day does (RFC 7529's SKIP):
// Omit leaves the year out; Backward takes the day before (the 29th for a
// 30th; the ordinary month of the same number for a missing leap month);
// Forward the day after (the 1st of the next month; the month after the
// ordinary one for a missing leap month). The month is settled first, then
// the day within it.
enum class LunarSkip { Omit, Backward, Forward };

// Every lunar year on a lunar month and day (每年农历). The repeat window's
// rule is Backward, as almanacs keep birthdays; RFC 7529's default is Omit.
struct LunarYearlyRule {
    int month = 1; // 1 to 12
    bool leap = false;
    int day = 1; // 1 to 30; -1 to -30 count from the month's end (-1: its last day)
    LunarSkip skip = LunarSkip::Backward;
};

namespace Lunar {

// The rule of a start date: its lunar month, leap flag and day. The month
// and day are 0 outside the calendar's range.
LunarYearlyRule yearlyRuleOf(const QDate& start, LunarSkip skip = LunarSkip::Backward);

// The rule's day in one lunar year; invalid when that year leaves it out or
// lies outside the calendar.
QDate yearlyOccurrence(const LunarYearlyRule& rule, int year);

// The series from start on, ascending, from the start's own lunar year: at
// most count dates (count < 0: no such limit), none after until when it is
// valid (the end date counts), none past the calendar's end.
QList<QDate> yearlySeries(const LunarYearlyRule& rule, const QDate& start, int count,
                          const QDate& until = {});

// The years from first to last that have the given month as a leap month.
QList<int> yearsWithLeapMonth(int month, int first, int last);
// The leap months with a day between from and to (both counted): each as
// the date of its first day (year, month, leap, day 1).
QList<LunarDate> leapMonthsBetween(const QDate& from, const QDate& to);

// RFC 7529's texts: a BYMONTH value ("4", "4L") and a SKIP value (any case).
bool parseRscaleMonth(QStringView text, int* month, bool* leap);
bool parseSkip(QStringView text, LunarSkip* skip);

} // namespace Lunar
