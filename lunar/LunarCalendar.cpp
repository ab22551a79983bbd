#include "lunar/LunarCalendar.h"

#include "lunar/LunarTables.h"

#include <algorithm>
#include <vector>

namespace {

struct Month {
    qint64 first; // Julian day
    int year;
    int number;
    bool leap;
};

struct Calendar {
    std::vector<Month> months;     // every month of the years, then 2100's 正月 as the end
    std::vector<int> yearFirst;    // index of each year's 正月 in months
    std::vector<qint64> firstDays; // months[i].first, for the search
    std::vector<qint64> terms;     // Julian day of term k of year y at (y - firstTermYear) * 24 + k
};

constexpr int winterSolstice = 23;

std::vector<qint64> newMoons()
{
    std::vector<qint64> days(LunarTables::newMoonCount);
    days[0] = LunarTables::firstNewMoon;
    for (int i = 1; i < LunarTables::newMoonCount; ++i) {
        const bool thirty = (LunarTables::monthLengthBits[(i - 1) / 32] >> ((i - 1) % 32)) & 1;
        days[i] = days[i - 1] + (thirty ? 30 : 29);
    }
    return days;
}

std::vector<qint64> termDays()
{
    std::vector<qint64> days;
    days.reserve(LunarTables::termYearCount * 24);
    for (int y = 0; y < LunarTables::termYearCount; ++y) {
        const quint64 offsets = LunarTables::termOffsets[y];
        for (int k = 0; k < 24; ++k) {
            const int day = LunarTables::termFirstDay[k] + int((offsets >> (2 * k)) & 3);
            days.push_back(QDate(LunarTables::firstTermYear + y, k / 2 + 1, day).toJulianDay());
        }
    }
    return days;
}

Calendar build()
{
    const std::vector<qint64> moons = newMoons();
    Calendar c;
    c.terms = termDays();
    auto term = [&](int year, int k) {
        return c.terms[size_t((year - LunarTables::firstTermYear) * 24 + k)];
    };
    // The new moon that begins the month holding a given day.
    auto monthOf = [&](qint64 day) {
        return int(std::upper_bound(moons.begin(), moons.end(), day) - moons.begin()) - 1;
    };
    auto hasPrincipalTerm = [&](int i, int year) {
        for (int y = year - 1; y <= year; ++y)
            for (int k = 1; k < 24; k += 2) {
                const qint64 t = term(y, k);
                if (t >= moons[size_t(i)] && t < moons[size_t(i) + 1])
                    return true;
            }
        return false;
    };

    // Each solar year from one winter solstice's month to the next: its
    // months 11 and 12 close the lunar year before, 1 to 10 open its own.
    for (int year = Lunar::firstYear; year <= Lunar::lastYear + 1; ++year) {
        const int from = monthOf(term(year - 1, winterSolstice));
        const int to = monthOf(term(year, winterSolstice));
        int leap = -1;
        if (to - from == 13)
            for (int i = from; i < to && leap < 0; ++i)
                if (!hasPrincipalTerm(i, year))
                    leap = i;
        int number = 11;
        for (int i = from; i < to; ++i) {
            if (i != from && i != leap)
                number = number % 12 + 1;
            const int lunarYear = number >= 11 ? year - 1 : year;
            if (lunarYear >= Lunar::firstYear && lunarYear <= Lunar::lastYear + 1)
                c.months.push_back({moons[size_t(i)], lunarYear, number, i == leap});
            if (lunarYear == Lunar::lastYear + 1)
                break; // its 正月 ends the range
        }
    }
    for (size_t i = 0; i < c.months.size(); ++i) {
        c.firstDays.push_back(c.months[i].first);
        if (c.months[i].number == 1 && !c.months[i].leap)
            c.yearFirst.push_back(int(i));
    }
    return c;
}

const Calendar& calendar()
{
    static const Calendar c = build();
    return c;
}

// Index of the month, or -1.
int monthIndex(int year, int month, bool leap)
{
    const Calendar& c = calendar();
    if (year < Lunar::firstYear || year > Lunar::lastYear)
        return -1;
    for (int i = c.yearFirst[size_t(year - Lunar::firstYear)];
         c.months[size_t(i)].year == year && size_t(i) + 1 < c.months.size(); ++i)
        if (c.months[size_t(i)].number == month && c.months[size_t(i)].leap == leap)
            return i;
    return -1;
}

int lengthAt(int index)
{
    const Calendar& c = calendar();
    return int(c.firstDays[size_t(index) + 1] - c.firstDays[size_t(index)]);
}

} // namespace

namespace Lunar {

QDate firstDate()
{
    return QDate::fromJulianDay(calendar().firstDays.front());
}

QDate lastDate()
{
    return QDate::fromJulianDay(calendar().firstDays.back() - 1);
}

LunarDate fromSolar(const QDate& date)
{
    const Calendar& c = calendar();
    const qint64 day = date.toJulianDay();
    if (!date.isValid() || day < c.firstDays.front() || day >= c.firstDays.back())
        return {};
    const size_t i = size_t(std::upper_bound(c.firstDays.begin(), c.firstDays.end(), day) -
                            c.firstDays.begin()) -
                     1;
    const Month& m = c.months[i];
    return {m.year, m.number, m.leap, int(day - m.first) + 1};
}

QDate toSolar(const LunarDate& date)
{
    const int i = monthIndex(date.year, date.month, date.leap);
    if (i < 0 || date.day < 1 || date.day > lengthAt(i))
        return {};
    return QDate::fromJulianDay(calendar().firstDays[size_t(i)] + date.day - 1);
}

int leapMonth(int year)
{
    const Calendar& c = calendar();
    if (year < firstYear || year > lastYear)
        return 0;
    for (size_t i = size_t(c.yearFirst[size_t(year - firstYear)]); c.months[i].year == year; ++i)
        if (c.months[i].leap)
            return c.months[i].number;
    return 0;
}

int monthLength(int year, int month, bool leap)
{
    const int i = monthIndex(year, month, leap);
    return i < 0 ? 0 : lengthAt(i);
}

QDate monthStart(int year, int month, bool leap)
{
    const int i = monthIndex(year, month, leap);
    return i < 0 ? QDate() : QDate::fromJulianDay(calendar().firstDays[size_t(i)]);
}

QDate solarTermDate(int year, int term)
{
    if (year < firstTermYear || year > lastTermYear || term < 0 || term > 23)
        return {};
    return QDate::fromJulianDay(
        calendar().terms[size_t((year - LunarTables::firstTermYear) * 24 + term)]);
}

int solarTermOn(const QDate& date)
{
    if (!date.isValid() || date.year() < firstTermYear || date.year() > lastTermYear)
        return -1;
    const int first = (date.month() - 1) * 2;
    for (int k = first; k < first + 2; ++k)
        if (solarTermDate(date.year(), k) == date)
            return k;
    return -1;
}

} // namespace Lunar
