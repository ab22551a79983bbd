#pragma once

#include "lunar/LunarCalendar.h"

#include <QDate>
#include <QList>
#include <QSet>

// The repeat settings of the add window: the rule of a series and its range.
// Only the fields of the current mode mean anything; the others keep whatever
// an earlier read-back left in them.
struct RepeatSettings {
    enum Mode { Daily = 0, Weekly = 1, Monthly = 2, Yearly = 3, LunarYearly = 4 };
    enum RangeKind { ByCount = 0, ByEndDate = 1 };

    int cfMode = Daily;
    int cfDays = 1;       // 每天: every N days
    QSet<int> cfWeekdays; // 每周: 1 (Monday) to 7 (Sunday)
    int cfMonthDay = 1;   // 每月: the day of the month...
    int cfMonthLast = 0;  // ...or, when 1, the last day of each month
    int cfYearMonth = 1;  // 每年: month 1 to 12...
    int cfYearDay = 1;    // ...and day, running on into the next month when too large
    int cfLunarMonth = 1; // 每年农历: lunar month 1 to 12 (0: none)...
    int cfLunarLeap = 0;  // ...1 for its leap month, where a year has it...
    int cfLunarDay = 1;   // ...and day 1 to 30; a missing 30th is the 29th
    QDate cfStart;
    QDate cfEnd;
    int cfCount = 5;
    int cfRangeKind = ByCount;

    // Every day from today, five times; the fields of the other modes stay.
    void reset(const QDate& today);
};

// The occurrence dates of a series, ascending. The rules are kept as users
// have always had them, quirks included: 每天 by end date runs from the day
// after the start and ignores the interval; 每周 counts blocks of seven days;
// 每月 counts months, rows or not; only 每年 by end date includes the end.
// 每年农历 takes the lunar month and day (the 30th falls on the 29th in a
// month of 29 days; a leap month's day falls in the ordinary month of the
// same number in a year without it) and includes the end date, as 每年 does.
QList<QDate> generateSeries(const RepeatSettings& r);

// The lunar months a 每年农历 series from start may keep: the start's
// month and, offered only where a lunar year the range touches has it, the
// leap month of the same number (the start's own month first). Each with
// the start's lunar year and day. Empty outside the lunar calendar.
QList<LunarDate> lunarMonthChoices(const QDate& start, const QDate& rangeEnd);
// The last day the range can reach: the end date, or for a count the end of
// the count-th lunar year from the start's.
QDate lunarRangeEnd(const QDate& start, int rangeKind, int count, const QDate& end);
