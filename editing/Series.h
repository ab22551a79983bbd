#pragma once

#include <QDate>
#include <QList>
#include <QSet>

// The repeat settings of the add window: the rule of a series and its range.
// Only the fields of the current mode mean anything; the others keep whatever
// an earlier read-back left in them.
struct RepeatSettings {
    enum Mode { Daily = 0, Weekly = 1, Monthly = 2, Yearly = 3 };
    enum RangeKind { ByCount = 0, ByEndDate = 1 };

    int cfMode = Daily;
    int cfDays = 1;       // 每天: every N days
    QSet<int> cfWeekdays; // 每周: 1 (Monday) to 7 (Sunday)
    int cfMonthDay = 1;   // 每月: the day of the month...
    int cfMonthLast = 0;  // ...or, when 1, the last day of each month
    int cfYearMonth = 1;  // 每年: month 1 to 12...
    int cfYearDay = 1;    // ...and day, running on into the next month when too large
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
QList<QDate> generateSeries(const RepeatSettings& r);
