#include "editing/Series.h"

#include "lunar/LunarYearly.h"

void RepeatSettings::reset(const QDate& today)
{
    cfMode = Daily;
    cfDays = 1;
    cfStart = today;
    cfRangeKind = ByCount;
    cfCount = 5;
}

namespace {
QDate firstOfMonth(const QDate& d)
{
    return QDate(d.year(), d.month(), 1);
}

QDate lastOfMonth(const QDate& d)
{
    return QDate(d.year(), d.month(), d.daysInMonth());
}

// 1 January, on by month - 1 months and day - 1 days: 二月 30 is early March.
QDate yearlyDate(int year, int month, int day)
{
    return QDate(year, 1, 1).addMonths(month - 1).addDays(day - 1);
}

QList<QDate> daily(const RepeatSettings& r)
{
    QList<QDate> out;
    if (r.cfRangeKind == RepeatSettings::ByCount) {
        for (qint64 k = 0; k < r.cfCount; ++k)
            out << r.cfStart.addDays(k * r.cfDays);
    } else {
        for (QDate d = r.cfStart.addDays(1); d < r.cfEnd; d = d.addDays(1))
            out << d;
    }
    return out;
}

QList<QDate> weekly(const RepeatSettings& r)
{
    QList<QDate> out;
    if (r.cfWeekdays.isEmpty())
        return out;
    const QDate end = r.cfRangeKind == RepeatSettings::ByCount
                          ? r.cfStart.addDays(7 * qint64(qMax(r.cfCount, 0)))
                          : r.cfEnd;
    for (QDate d = r.cfStart; d < end; d = d.addDays(1))
        if (r.cfWeekdays.contains(d.dayOfWeek()))
            out << d;
    return out;
}

QList<QDate> monthly(const RepeatSettings& r)
{
    QList<QDate> out;
    const bool byCount = r.cfRangeKind == RepeatSettings::ByCount;
    if (r.cfMonthLast == 1) {
        QDate month = firstOfMonth(r.cfStart);
        for (int k = 0;; ++k, month = month.addMonths(1)) {
            const QDate last = lastOfMonth(month);
            if (byCount ? k >= r.cfCount : !(last < r.cfEnd))
                break;
            out << last;
        }
        return out;
    }
    const int n = r.cfMonthDay;
    QDate month = firstOfMonth(r.cfStart);
    if (r.cfStart.day() > n)
        month = month.addMonths(1);
    for (int k = 0;; ++k, month = month.addMonths(1)) {
        // A month too short for day n counts and is tested as if it had one.
        const QDate day = month.addDays(n - 1);
        if (byCount ? k >= r.cfCount : !(day < r.cfEnd))
            break;
        if (month.daysInMonth() >= n)
            out << day;
    }
    return out;
}

QList<QDate> yearly(const RepeatSettings& r)
{
    QList<QDate> out;
    const int m = r.cfYearMonth;
    const int dd = r.cfYearDay;
    int year = r.cfStart.year();
    // Month and day as chosen, not the run-on date.
    if (r.cfStart.month() > m || (r.cfStart.month() == m && r.cfStart.day() > dd))
        ++year;
    if (r.cfRangeKind == RepeatSettings::ByCount) {
        for (int k = 0; k < r.cfCount; ++k)
            out << yearlyDate(year + k, m, dd);
    } else {
        for (QDate d = yearlyDate(year, m, dd); d.isValid() && d <= r.cfEnd;
             d = yearlyDate(++year, m, dd))
            out << d;
    }
    return out;
}

QList<QDate> lunarYearly(const RepeatSettings& r)
{
    LunarYearlyRule rule;
    rule.month = r.cfLunarMonth;
    rule.leap = r.cfLunarLeap == 1;
    rule.day = r.cfLunarDay;
    rule.skip = LunarSkip::Backward;
    if (rule.month < 1 || rule.month > 12 || rule.day < 1 || rule.day > 30)
        return {};
    if (r.cfRangeKind == RepeatSettings::ByCount)
        return Lunar::yearlySeries(rule, r.cfStart, qMax(r.cfCount, 0));
    // No end date is no range at all, not one to the calendar's end.
    if (!r.cfEnd.isValid())
        return {};
    return Lunar::yearlySeries(rule, r.cfStart, -1, r.cfEnd);
}
} // namespace

QDate lunarRangeEnd(const QDate& start, int rangeKind, int count, const QDate& end)
{
    if (rangeKind == RepeatSettings::ByEndDate)
        return end;
    const LunarDate s = Lunar::fromSolar(start);
    if (!s.isValid() || count < 1)
        return start;
    const QDate next =
        Lunar::monthStart(s.year + qMin(count, Lunar::lastYear - Lunar::firstYear + 1), 1);
    return next.isValid() ? next.addDays(-1) : Lunar::lastDate();
}

QList<LunarDate> lunarMonthChoices(const QDate& start, const QDate& rangeEnd)
{
    const LunarDate s = Lunar::fromSolar(start);
    if (!s.isValid())
        return {};
    LunarDate other = s;
    other.leap = !s.leap;
    bool offered = s.leap;
    if (!offered)
        for (const LunarDate& m : Lunar::leapMonthsBetween(start, rangeEnd))
            offered = offered || m.month == s.month;
    return offered ? QList<LunarDate>{s, other} : QList<LunarDate>{s};
}

QList<QDate> generateSeries(const RepeatSettings& r)
{
    if (!r.cfStart.isValid())
        return {};
    switch (r.cfMode) {
    case RepeatSettings::Daily:
        return daily(r);
    case RepeatSettings::Weekly:
        return weekly(r);
    case RepeatSettings::Monthly:
        return monthly(r);
    case RepeatSettings::Yearly:
        return yearly(r);
    case RepeatSettings::LunarYearly:
        return lunarYearly(r);
    }
    return {};
}
