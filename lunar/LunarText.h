#pragma once

#include "lunar/LunarCalendar.h"

#include <QString>

// The lunar calendar's texts, as the usual almanac writes them.
namespace Lunar {

QString monthName(int month, bool leap = false); // 正月 二月 ... 十月 冬月 腊月; 闰四月
QString dayName(int day);        // 初一 ... 初十 十一 ... 二十 廿一 ... 三十
QString yearName(int year);      // the sexagenary name: 乙巳年
QString zodiac(int year);        // 鼠 牛 虎 ... 猪: 2025 is 蛇
QString solarTermName(int term); // 0 小寒 ... 23 冬至

// "" for an invalid date.
QString dateText(const LunarDate& date); // 冬月初一
QString fullText(const LunarDate& date); // 乙巳年 冬月初一
QString dateText(const QDate& date);
QString fullText(const QDate& date);

// A day's festival: 春节 元宵 端午 七夕 中秋 重阳 腊八, and 除夕 on the last day
// of the year's 腊月. A leap month has none. "" when the day has none.
QString festival(const QDate& date);
QString festival(const LunarDate& date);
// The solar term falling on the day, or "".
QString solarTerm(const QDate& date);
// The day's festival and solar term, both when both fall on it (腊八 and
// 大寒 are both things a user plans by), the festival first: "腊八 大寒".
QString dayMarks(const QDate& date);
// A date's lunar day and marks, as a date node shows it: "冬月初一",
// "八月十五 中秋". "" outside the calendar's range.
QString dayCaption(const QDate& date);

} // namespace Lunar
