#include "lunar/LunarText.h"

#include <string>

namespace {

const char16_t* const monthNames[] = {u"正月", u"二月", u"三月", u"四月", u"五月", u"六月",
                                      u"七月", u"八月", u"九月", u"十月", u"冬月", u"腊月"};
const char16_t* const digits[] = {u"十", u"一", u"二", u"三", u"四",
                                  u"五", u"六", u"七", u"八", u"九"};
const char16_t* const stems[] = {u"甲", u"乙", u"丙", u"丁", u"戊",
                                 u"己", u"庚", u"辛", u"壬", u"癸"};
const char16_t* const branches[] = {u"子", u"丑", u"寅", u"卯", u"辰", u"巳",
                                    u"午", u"未", u"申", u"酉", u"戌", u"亥"};
const char16_t* const animals[] = {u"鼠", u"牛", u"虎", u"兔", u"龙", u"蛇",
                                   u"马", u"羊", u"猴", u"鸡", u"狗", u"猪"};
const char16_t* const termNames[] = {u"小寒", u"大寒", u"立春", u"雨水", u"惊蛰", u"春分",
                                     u"清明", u"谷雨", u"立夏", u"小满", u"芒种", u"夏至",
                                     u"小暑", u"大暑", u"立秋", u"处暑", u"白露", u"秋分",
                                     u"寒露", u"霜降", u"立冬", u"小雪", u"大雪", u"冬至"};

struct Festival {
    int month;
    int day;
    const char16_t* name;
};
const Festival festivals[] = {{1, 1, u"春节"},  {1, 15, u"元宵"}, {5, 5, u"端午"}, {7, 7, u"七夕"},
                              {8, 15, u"中秋"}, {9, 9, u"重阳"},  {12, 8, u"腊八"}};

// The names are static: share them instead of copying (a tree asks for
// thousands of captions).
QString text(const char16_t* s)
{
    return QString::fromRawData(reinterpret_cast<const QChar*>(s),
                                qsizetype(std::char_traits<char16_t>::length(s)));
}

int cycle(int year, int length)
{
    return ((year - 4) % length + length) % length; // 4 AD was 甲子
}

} // namespace

namespace Lunar {

QString monthName(int month, bool leap)
{
    if (month < 1 || month > 12)
        return {};
    return leap ? u"闰" + text(monthNames[month - 1]) : text(monthNames[month - 1]);
}

QString dayName(int day)
{
    if (day < 1 || day > 30)
        return {};
    if (day <= 10)
        return u"初" + text(digits[day % 10]);
    if (day == 20 || day == 30)
        return text(digits[day / 10]) + u"十";
    const char16_t* tens[] = {nullptr, u"十", u"廿"};
    return text(tens[day / 10]) + text(digits[day % 10]);
}

QString yearName(int year)
{
    return text(stems[cycle(year, 10)]) + text(branches[cycle(year, 12)]) + u"年";
}

QString zodiac(int year)
{
    return text(animals[cycle(year, 12)]);
}

QString solarTermName(int term)
{
    return term >= 0 && term < 24 ? text(termNames[term]) : QString();
}

QString dateText(const LunarDate& date)
{
    return date.isValid() ? monthName(date.month, date.leap) + dayName(date.day) : QString();
}

QString fullText(const LunarDate& date)
{
    return date.isValid() ? yearName(date.year) + u' ' + dateText(date) : QString();
}

QString dateText(const QDate& date)
{
    return dateText(fromSolar(date));
}

QString fullText(const QDate& date)
{
    return fullText(fromSolar(date));
}

QString festival(const QDate& date)
{
    return festival(fromSolar(date));
}

QString festival(const LunarDate& d)
{
    if (!d.isValid() || d.leap)
        return {};
    for (const Festival& f : festivals)
        if (f.month == d.month && f.day == d.day)
            return text(f.name);
    if (d.month == 12 && d.day == monthLength(d.year, 12))
        return QStringLiteral("除夕");
    return {};
}

QString solarTerm(const QDate& date)
{
    return solarTermName(solarTermOn(date));
}

QString dayMarks(const QDate& date)
{
    const QString f = festival(date);
    const QString t = solarTerm(date);
    if (f.isEmpty() || t.isEmpty())
        return f + t;
    return f + u' ' + t;
}

QString dayCaption(const QDate& date)
{
    const LunarDate d = fromSolar(date);
    if (!d.isValid())
        return {};
    QString caption = dateText(d);
    for (const QString& mark : {festival(d), solarTerm(date)})
        if (!mark.isEmpty())
            caption += u' ' + mark;
    return caption;
}

} // namespace Lunar
