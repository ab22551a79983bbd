#pragma once

#include <QDate>
#include <QList>

// A date of the Chinese lunisolar calendar (农历). The year is named by the
// Gregorian year in which its 正月 begins, so 2026-01-20 is 2025's 腊月初二.
struct LunarDate {
    int year = 0;
    int month = 0; // 1 (正月) to 12 (腊月)
    bool leap = false;
    int day = 0; // 1 to 30

    bool isValid() const { return year != 0; }
    bool operator==(const LunarDate& o) const
    {
        return year == o.year && month == o.month && leap == o.leap && day == o.day;
    }
    bool operator!=(const LunarDate& o) const { return !(*this == o); }
};

// The calendar as China reckons it (GB/T 33661-2017): a month begins on the
// day, in UTC+8, of its new moon; the month holding the winter solstice is
// the eleventh; a year of 13 new moons between two solstice months makes the
// first month without a principal solar term its leap month. Months of 1914,
// 1916 and 1920 follow the Beijing local time of their day. Lunar years 1900
// to 2099, solar terms 1900 to 2100. Built once, on first use, then read only:
// safe from any thread.
namespace Lunar {

constexpr int firstYear = 1900;
constexpr int lastYear = 2099;

QDate firstDate(); // 1900-01-31, 正月初一 of 1900
QDate lastDate();  // the last day of 2099's 腊月

// Invalid outside firstDate() .. lastDate().
LunarDate fromSolar(const QDate& date);
// Invalid when that year has no such month or day.
QDate toSolar(const LunarDate& date);

int leapMonth(int year); // 0: none (also outside the range)
// 29 or 30; 0 when the year has no such month.
int monthLength(int year, int month, bool leap = false);
// The first day of a month; invalid when the year has no such month.
QDate monthStart(int year, int month, bool leap = false);

// The 24 solar terms, numbered in the order of the Gregorian year:
// 0 小寒 (285°), 1 大寒, 2 立春, ... 23 冬至 (270°); term k lies in month k/2 + 1.
// A term's day is the day, in UTC+8, on which the sun's apparent ecliptic
// longitude reaches its multiple of 15°.
constexpr int firstTermYear = 1900;
constexpr int lastTermYear = 2100;
QDate solarTermDate(int year, int term); // invalid outside the years
int solarTermOn(const QDate& date);      // the term falling on that day, or -1

} // namespace Lunar
