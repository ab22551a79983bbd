#include "lunar/LunarYearly.h"

namespace Lunar {

LunarYearlyRule yearlyRuleOf(const QDate& start, LunarSkip skip)
{
    const LunarDate d = fromSolar(start);
    LunarYearlyRule rule;
    rule.month = d.month;
    rule.leap = d.leap;
    rule.day = d.day;
    rule.skip = skip;
    return rule;
}

QDate yearlyOccurrence(const LunarYearlyRule& rule, int year)
{
    int month = rule.month;
    bool leap = rule.leap;
    if (leap && leapMonth(year) != month) {
        if (rule.skip == LunarSkip::Omit)
            return {};
        leap = false;
        if (rule.skip == LunarSkip::Forward && ++month > 12) {
            month = 1;
            ++year;
        }
    }
    const QDate first = monthStart(year, month, leap);
    const int length = monthLength(year, month, leap);
    if (!first.isValid() || rule.day == 0 || rule.day > 30 || rule.day < -30)
        return {};
    const int day = rule.day > 0 ? rule.day : length + 1 + rule.day;
    if (day >= 1 && day <= length)
        return first.addDays(day - 1);
    switch (rule.skip) {
    case LunarSkip::Omit:
        return {};
    case LunarSkip::Backward:
        return day > length ? first.addDays(length - 1) : first.addDays(-1);
    case LunarSkip::Forward:
        return day > length ? first.addDays(length) : first;
    }
    return {};
}

QList<QDate> yearlySeries(const LunarYearlyRule& rule, const QDate& start, int count,
                          const QDate& until)
{
    QList<QDate> dates;
    const LunarDate s = fromSolar(start);
    if (!s.isValid())
        return dates;
    // A Forward day of the year before can run on into the start's year.
    for (int year = s.year - 1; year <= lastYear; ++year) {
        if (count >= 0 && dates.size() >= count)
            break;
        const QDate d = yearlyOccurrence(rule, year);
        if (!d.isValid() || d < start)
            continue;
        if (until.isValid() && d > until)
            break;
        dates.append(d);
    }
    return dates;
}

QList<int> yearsWithLeapMonth(int month, int first, int last)
{
    QList<int> years;
    for (int year = qMax(first, firstYear); year <= qMin(last, lastYear); ++year)
        if (leapMonth(year) == month)
            years.append(year);
    return years;
}

QList<LunarDate> leapMonthsBetween(const QDate& from, const QDate& to)
{
    QList<LunarDate> months;
    const LunarDate a = fromSolar(from < firstDate() ? firstDate() : from);
    const LunarDate b = fromSolar(to > lastDate() ? lastDate() : to);
    if (!a.isValid() || !b.isValid())
        return months;
    for (int year = a.year; year <= b.year; ++year) {
        const int m = leapMonth(year);
        if (m == 0)
            continue;
        const QDate first = monthStart(year, m, true);
        const QDate last = first.addDays(monthLength(year, m, true) - 1);
        if (last >= from && first <= to)
            months.append({year, m, true, 1});
    }
    return months;
}

bool parseRscaleMonth(QStringView text, int* month, bool* leap)
{
    const bool l = text.endsWith(u'L') || text.endsWith(u'l');
    bool ok = false;
    const int m = (l ? text.chopped(1) : text).toInt(&ok);
    if (!ok || m < 1 || m > 12 || text.startsWith(u'+') || text.startsWith(u'-'))
        return false;
    *month = m;
    *leap = l;
    return true;
}

bool parseSkip(QStringView text, LunarSkip* skip)
{
    const struct {
        const char* name;
        LunarSkip value;
    } values[] = {{"OMIT", LunarSkip::Omit},
                  {"BACKWARD", LunarSkip::Backward},
                  {"FORWARD", LunarSkip::Forward}};
    for (const auto& v : values)
        if (text.compare(QLatin1String(v.name), Qt::CaseInsensitive) == 0) {
            *skip = v.value;
            return true;
        }
    return false;
}

} // namespace Lunar
