#include "editing/Series.h"

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
} // namespace

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
    }
    return {};
}
