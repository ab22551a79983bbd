#include "lunar/LunarCalendar.h"
#include "lunar/LunarText.h"
#include "lunar/LunarYearly.h"

#include "TestDates.h"

#include <QFile>
#include <QtTest>

Q_DECLARE_METATYPE(LunarDate)
Q_DECLARE_METATYPE(LunarYearlyRule)

namespace {
// The fixtures' lines, comments left out, split at blanks.
QList<QStringList> fixture(const char* name)
{
    QFile file(QStringLiteral(LUNAR_DATA_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", name);
    QList<QStringList> rows;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            rows << QString::fromLatin1(line).split(QLatin1Char(' '));
    return rows;
}

LunarYearlyRule rule(int month, bool leap, int day, LunarSkip skip)
{
    LunarYearlyRule r;
    r.month = month;
    r.leap = leap;
    r.day = day;
    r.skip = skip;
    return r;
}
} // namespace

class TestLunar : public QObject {
    Q_OBJECT
private slots:
    void everyDayAgreesWithTheAlmanac();
    void everySolarTermAgreesWithTheEphemeris();
    void outsideTheRange();
    void texts_data();
    void texts();
    void names();
    void marks_data();
    void marks();
    void yearlySeries_data();
    void yearlySeries();
    void leapMonthsForTheRepeatWindow();
    void rfcTexts();
};

// Every day of lunar 1900..2099 against tests/data/lunar_months.txt:
// python3-lunardate's table, with the months of 1933-07-23, 1954-11-25,
// 1956-12-02 and 1978-09-03 moved to their new moon's day in UTC+8, and
// those of 1914-11-17, 1916-02-03 and 1920-11-10 kept a day before it, as
// Beijing local time had them (generate_lunar_months.py says why).
void TestLunar::everyDayAgreesWithTheAlmanac()
{
    const QList<QStringList> years = fixture("lunar_months.txt");
    QCOMPARE(years.size(), Lunar::lastYear - Lunar::firstYear + 1);
    QDate day = d("1900-01-31");
    QCOMPARE(Lunar::firstDate(), day);
    int checked = 0;
    for (const QStringList& row : years) {
        const int year = row[0].toInt();
        const int leap = row[1].toInt();
        QCOMPARE(QDate::fromString(row[2], Qt::ISODate), day);
        QCOMPARE(Lunar::leapMonth(year), leap);
        int month = 0;
        bool inLeap = false;
        for (QChar length : row[3]) {
            if (leap && month == leap && !inLeap)
                inLeap = true;
            else {
                ++month;
                inLeap = false;
            }
            const int days = length == QLatin1Char('1') ? 30 : 29;
            QCOMPARE(Lunar::monthLength(year, month, inLeap), days);
            QCOMPARE(Lunar::monthStart(year, month, inLeap), day);
            for (int n = 1; n <= days; ++n, day = day.addDays(1), ++checked) {
                const LunarDate expected{year, month, inLeap, n};
                const LunarDate got = Lunar::fromSolar(day);
                if (got != expected)
                    QFAIL(qPrintable(QStringLiteral("%1: %2 instead of %3")
                                         .arg(day.toString(Qt::ISODate), Lunar::fullText(got),
                                              Lunar::fullText(expected))));
                QCOMPARE(Lunar::toSolar(expected), day);
            }
        }
        QCOMPARE(month, 12);
        QCOMPARE(Lunar::monthLength(year, month + 1), 0);
    }
    QCOMPARE(Lunar::lastDate(), day.addDays(-1));
    QVERIFY(checked > 73000);
}

// The 24 terms of 1900..2100 against tests/data/solar_terms.txt, from
// python3-ephem; 1951's 冬至 is kept on 12-23, 1.5 s after midnight by IAU
// 2006/2000A where ephem's constant aberration puts it 3 s before
// (generate_solar_terms.py says why).
void TestLunar::everySolarTermAgreesWithTheEphemeris()
{
    const QList<QStringList> years = fixture("solar_terms.txt");
    QCOMPARE(years.size(), Lunar::lastTermYear - Lunar::firstTermYear + 1);
    for (const QStringList& row : years) {
        const int year = row[0].toInt();
        QCOMPARE(row.size(), 25);
        for (int k = 0; k < 24; ++k) {
            const QDate expected(year, k / 2 + 1, row[k + 1].toInt());
            QCOMPARE(Lunar::solarTermDate(year, k), expected);
            QCOMPARE(Lunar::solarTermOn(expected), k);
            QCOMPARE(Lunar::solarTermOn(expected.addDays(1)), -1);
        }
    }
}

void TestLunar::outsideTheRange()
{
    QVERIFY(!Lunar::fromSolar(d("1900-01-30")).isValid());
    QVERIFY(!Lunar::fromSolar(Lunar::lastDate().addDays(1)).isValid());
    QVERIFY(!Lunar::fromSolar(QDate()).isValid());
    QCOMPARE(Lunar::dayCaption(d("1899-12-31")), QString());
    QVERIFY(!Lunar::toSolar({2100, 1, false, 1}).isValid());
    QVERIFY(!Lunar::toSolar({2025, 6, true, 30}).isValid()); // 闰六月 has 29 days
    QVERIFY(!Lunar::toSolar({2024, 6, true, 1}).isValid());  // no leap month in 2024
    QCOMPARE(Lunar::leapMonth(1899), 0);
    QVERIFY(!Lunar::solarTermDate(2101, 0).isValid());
    QCOMPARE(Lunar::solarTermOn(d("1899-12-22")), -1);
}

void TestLunar::texts_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("year"); // the full text: the year's name, a blank, the text
    // Checked against python3-lunardate.
    QTest::newRow("冬月初一") << d("2025-12-20") << u"冬月初一"_qs << u"乙巳年"_qs;
    QTest::newRow("January: still last year's")
        << d("2026-01-20") << u"腊月初二"_qs << u"乙巳年"_qs;
    QTest::newRow("a 29th: 廿九") << d("2026-02-16") << u"腊月廿九"_qs << u"乙巳年"_qs;
    QTest::newRow("a 30th: 三十") << d("2024-02-09") << u"腊月三十"_qs << u"癸卯年"_qs;
    QTest::newRow("正月 of the next year") << d("2026-02-17") << u"正月初一"_qs << u"丙午年"_qs;
    QTest::newRow("2027 New Year (ICU: 02-07)")
        << d("2027-02-06") << u"正月初一"_qs << u"丁未年"_qs;
    QTest::newRow("2030 New Year (ICU: 02-02)")
        << d("2030-02-03") << u"正月初一"_qs << u"庚戌年"_qs;
    QTest::newRow("leap month") << d("2020-05-23") << u"闰四月初一"_qs << u"庚子年"_qs;
    QTest::newRow("2033's leap 11th") << d("2033-12-22") << u"闰冬月初一"_qs << u"癸丑年"_qs;
    QTest::newRow("1978: lunardate a day off") << d("1978-09-17") << u"八月十五"_qs << u"戊午年"_qs;
    QTest::newRow("1916 New Year, Beijing time")
        << d("1916-02-03") << u"正月初一"_qs << u"丙辰年"_qs;
    QTest::newRow("the first day") << d("1900-01-31") << u"正月初一"_qs << u"庚子年"_qs;
    QTest::newRow("十一 and 二十") << d("1901-01-01") << u"冬月十一"_qs << u"庚子年"_qs;
    QTest::newRow("二十") << d("2099-12-31") << u"冬月二十"_qs << u"己未年"_qs;
}

void TestLunar::texts()
{
    QFETCH(QDate, date);
    QFETCH(QString, text);
    QFETCH(QString, year);
    QCOMPARE(Lunar::dateText(Lunar::fromSolar(date)), text);
    QCOMPARE(Lunar::fullText(date), year + QLatin1Char(' ') + text);
}

void TestLunar::names()
{
    QStringList days;
    for (int n = 1; n <= 30; ++n)
        days << Lunar::dayName(n);
    QCOMPARE(days.join(QLatin1Char(' ')),
             u"初一 初二 初三 初四 初五 初六 初七 初八 初九 初十 十一 十二 十三 十四 十五 "
             "十六 十七 十八 十九 二十 廿一 廿二 廿三 廿四 廿五 廿六 廿七 廿八 廿九 三十"_qs);
    QStringList months;
    for (int m = 1; m <= 12; ++m)
        months << Lunar::monthName(m);
    QCOMPARE(months.join(QLatin1Char(' ')),
             u"正月 二月 三月 四月 五月 六月 七月 八月 九月 十月 冬月 腊月"_qs);
    QCOMPARE(Lunar::monthName(4, true), u"闰四月"_qs);
    QCOMPARE(Lunar::dayName(31), QString());
    QCOMPARE(Lunar::monthName(13), QString());
    QCOMPARE(Lunar::yearName(1984), u"甲子年"_qs);
    QCOMPARE(Lunar::yearName(2043), u"癸亥年"_qs);
    QCOMPARE(Lunar::zodiac(2025), u"蛇"_qs);
    QCOMPARE(Lunar::zodiac(1900), u"鼠"_qs);
    QCOMPARE(Lunar::solarTermName(0), u"小寒"_qs);
    QCOMPARE(Lunar::solarTermName(2), u"立春"_qs);
    QCOMPARE(Lunar::solarTermName(23), u"冬至"_qs);
}

void TestLunar::marks_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("caption");
    QTest::newRow("no mark") << d("2025-12-20") << u"冬月初一"_qs;
    QTest::newRow("春节") << d("2025-01-29") << u"正月初一 春节"_qs;
    QTest::newRow("元宵") << d("2025-02-12") << u"正月十五 元宵"_qs;
    QTest::newRow("端午") << d("2025-05-31") << u"五月初五 端午"_qs;
    QTest::newRow("七夕") << d("2025-08-29") << u"七月初七 七夕"_qs;
    QTest::newRow("中秋") << d("2025-10-06") << u"八月十五 中秋"_qs;
    QTest::newRow("重阳") << d("2025-10-29") << u"九月初九 重阳"_qs;
    QTest::newRow("腊八") << d("2026-01-26") << u"腊月初八 腊八"_qs;
    QTest::newRow("除夕 on 廿九") << d("2026-02-16") << u"腊月廿九 除夕"_qs;
    QTest::newRow("除夕 on 三十") << d("2024-02-09") << u"腊月三十 除夕"_qs;
    QTest::newRow("腊月廿九 of a 30-day 腊月") << d("2024-02-08") << u"腊月廿九"_qs;
    QTest::newRow("a leap month's 15th") << d("2025-08-08") << u"闰六月十五"_qs;
    QTest::newRow("a leap month's 初五") << d("2009-06-27") << u"闰五月初五"_qs;
    QTest::newRow("solar term") << d("2025-12-21") << u"冬月初二 冬至"_qs;
    QTest::newRow("立春") << d("2026-02-04") << u"腊月十七 立春"_qs;
    QTest::newRow("1951's 冬至 (1.5 s after midnight)") << d("1951-12-23") << u"冬月廿五 冬至"_qs;
    QTest::newRow("both: festival first") << d("2021-01-20") << u"腊月初八 腊八 大寒"_qs;
    QTest::newRow("both: 春节 and 立春") << d("2038-02-04") << u"正月初一 春节 立春"_qs;
}

void TestLunar::marks()
{
    QFETCH(QDate, date);
    QFETCH(QString, caption);
    QCOMPARE(Lunar::dayCaption(date), caption);
    const QString marks = caption.section(QLatin1Char(' '), 1);
    QCOMPARE(Lunar::dayMarks(date), marks);
}

// Expected dates from python3-lunardate.
void TestLunar::yearlySeries_data()
{
    QTest::addColumn<LunarYearlyRule>("rule");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QDate>("until");
    QTest::addColumn<QList<QDate>>("expected");
    const auto B = LunarSkip::Backward, F = LunarSkip::Forward, O = LunarSkip::Omit;
    const QDate none;

    // A leap-month date: the ordinary month of its number in other years.
    QTest::newRow("闰二月初一, backward")
        << Lunar::yearlyRuleOf(d("2023-03-22")) << d("2023-03-22") << 4 << none
        << dates("2023-03-22 2024-03-10 2025-02-28 2026-03-19");
    QTest::newRow("闰二月初一, forward: 三月")
        << Lunar::yearlyRuleOf(d("2023-03-22"), F) << d("2023-03-22") << 3 << none
        << dates("2023-03-22 2024-04-09 2025-03-29");
    QTest::newRow("闰二月初一, omit") << Lunar::yearlyRuleOf(d("2023-03-22"), O) << d("2023-03-22")
                                      << 5 << d("2030-12-31") << dates("2023-03-22");
    // A 30th: the 29th where the month is short.
    QTest::newRow("四月三十, backward")
        << Lunar::yearlyRuleOf(d("2020-05-22")) << d("2020-05-22") << 4 << none
        << dates("2020-05-22 2021-06-09 2022-05-29 2023-06-17");
    QTest::newRow("四月三十, forward: 五月初一")
        << rule(4, false, 30, F) << d("2020-05-22") << 3 << none
        << dates("2020-05-22 2021-06-10 2022-05-30");
    QTest::newRow("四月三十, omit")
        << rule(4, false, 30, O) << d("2020-05-22") << 2 << none << dates("2020-05-22 2023-06-17");
    QTest::newRow("腊月三十: 除夕 each year")
        << rule(12, false, 30, B) << d("2021-02-11") << 6 << none
        << dates("2021-02-11 2022-01-31 2023-01-21 2024-02-09 2025-01-28 2026-02-16");
    QTest::newRow("the last day of 腊月 (-1)")
        << rule(12, false, -1, O) << d("2021-01-01") << -1 << d("2024-12-31")
        << dates("2021-02-11 2022-01-31 2023-01-21 2024-02-09");
    // Both missing: the month first, then the day.
    QTest::newRow("闰四月三十 in 2021, backward")
        << rule(4, true, 30, B) << d("2021-01-01") << 1 << none << dates("2021-06-09");
    QTest::newRow("闰四月三十 in 2021, forward: 五月三十")
        << rule(4, true, 30, F) << d("2021-01-01") << 1 << none << dates("2021-07-09");
    // Forward from the year before runs on into the start's year.
    QTest::newRow("腊月三十 forward: 正月初一")
        << rule(12, false, 30, F) << d("2025-01-01") << 2 << none << dates("2025-01-29 2026-02-17");
    // The start need not lie on the rule; the end date counts.
    QTest::newRow("中秋 until its day") << rule(8, false, 15, B) << d("2025-01-01") << -1
                                        << d("2026-09-25") << dates("2025-10-06 2026-09-25");
    QTest::newRow("count 0") << rule(8, false, 15, B) << d("2025-01-01") << 0 << none << dates("");
    QTest::newRow("ends with the calendar")
        << rule(1, false, 1, B) << d("2098-06-01") << 10 << none << dates("2099-01-21");
    QTest::newRow("start outside")
        << rule(1, false, 1, B) << d("1800-01-01") << 3 << none << dates("");
}

void TestLunar::yearlySeries()
{
    QFETCH(LunarYearlyRule, rule);
    QFETCH(QDate, start);
    QFETCH(int, count);
    QFETCH(QDate, until);
    QFETCH(QList<QDate>, expected);
    QCOMPARE(Lunar::yearlySeries(rule, start, count, until), expected);
}

void TestLunar::leapMonthsForTheRepeatWindow()
{
    QCOMPARE(Lunar::yearsWithLeapMonth(4, 2000, 2030), (QList<int>{2001, 2012, 2020}));
    QCOMPARE(Lunar::yearsWithLeapMonth(11, 1900, 2099), (QList<int>{2033}));
    // 闰二月 of 2023 ends on 04-19; 闰六月 of 2025 begins on 07-25.
    const QList<LunarDate> months = Lunar::leapMonthsBetween(d("2023-04-19"), d("2025-07-25"));
    QCOMPARE(months, (QList<LunarDate>{{2023, 2, true, 1}, {2025, 6, true, 1}}));
    QCOMPARE(Lunar::leapMonthsBetween(d("2023-04-20"), d("2025-07-24")).size(), 0);
}

void TestLunar::rfcTexts()
{
    int month = 0;
    bool leap = true;
    QVERIFY(Lunar::parseRscaleMonth(u"4L", &month, &leap));
    QCOMPARE(month, 4);
    QVERIFY(leap);
    QVERIFY(Lunar::parseRscaleMonth(u"12", &month, &leap));
    QCOMPARE(month, 12);
    QVERIFY(!leap);
    for (const char16_t* bad : {u"", u"L", u"13", u"0L", u"-1", u"+4", u"4LL", u"x"})
        QVERIFY2(!Lunar::parseRscaleMonth(bad, &month, &leap), qPrintable(QString::fromUtf16(bad)));
    LunarSkip skip = LunarSkip::Omit;
    QVERIFY(Lunar::parseSkip(u"backward", &skip));
    QCOMPARE(skip, LunarSkip::Backward);
    QVERIFY(Lunar::parseSkip(u"FORWARD", &skip));
    QCOMPARE(skip, LunarSkip::Forward);
    QVERIFY(!Lunar::parseSkip(u"YES", &skip));
}

QTEST_GUILESS_MAIN(TestLunar)
#include "tst_lunar.moc"
