#include "editing/Series.h"

#include "TestDates.h"
#include "lunar/LunarText.h"

#include <QtTest>

Q_DECLARE_METATYPE(RepeatSettings)

namespace {
RepeatSettings daily(int n, const char* start)
{
    RepeatSettings r;
    r.cfMode = RepeatSettings::Daily;
    r.cfDays = n;
    r.cfStart = d(start);
    return r;
}

RepeatSettings weekly(QSet<int> days, const char* start)
{
    RepeatSettings r;
    r.cfMode = RepeatSettings::Weekly;
    r.cfWeekdays = std::move(days);
    r.cfStart = d(start);
    return r;
}

RepeatSettings monthly(int day, bool last, const char* start)
{
    RepeatSettings r;
    r.cfMode = RepeatSettings::Monthly;
    r.cfMonthDay = day;
    r.cfMonthLast = last ? 1 : 0;
    r.cfStart = d(start);
    return r;
}

RepeatSettings yearly(int month, int day, const char* start)
{
    RepeatSettings r;
    r.cfMode = RepeatSettings::Yearly;
    r.cfYearMonth = month;
    r.cfYearDay = day;
    r.cfStart = d(start);
    return r;
}

RepeatSettings lunar(int month, bool leap, int day, const char* start)
{
    RepeatSettings r;
    r.cfMode = RepeatSettings::LunarYearly;
    r.cfLunarMonth = month;
    r.cfLunarLeap = leap ? 1 : 0;
    r.cfLunarDay = day;
    r.cfStart = d(start);
    return r;
}

RepeatSettings count(RepeatSettings r, int c)
{
    r.cfRangeKind = RepeatSettings::ByCount;
    r.cfCount = c;
    return r;
}

RepeatSettings until(RepeatSettings r, const char* end)
{
    r.cfRangeKind = RepeatSettings::ByEndDate;
    r.cfEnd = d(end);
    // A count left over from earlier must not matter.
    r.cfCount = 99;
    return r;
}
} // namespace

class TestSeries : public QObject {
    Q_OBJECT
private slots:
    void series_data();
    void series();
    void tenYearsOfDays_data();
    void tenYearsOfDays();
    void resetKeepsTheOtherModes();
    void lunarMonthChoices_data();
    void lunarMonthChoices();
};

void TestSeries::series_data()
{
    QTest::addColumn<RepeatSettings>("rule");
    QTest::addColumn<QList<QDate>>("expected");
    const QSet<int> monThu{1, 4};

    // The documented examples.
    QTest::newRow("daily interval 3 count 4")
        << count(daily(3, "2024-03-10"), 4) << dates("2024-03-10 2024-03-13 2024-03-16 2024-03-19");
    QTest::newRow("daily by end: from S+1, one day steps, E excluded")
        << until(daily(3, "2024-03-10"), "2024-03-15")
        << dates("2024-03-11 2024-03-12 2024-03-13 2024-03-14");
    QTest::newRow("weekly Mon+Thu count 2 from a Wednesday")
        << count(weekly(monThu, "2024-03-13"), 2)
        << dates("2024-03-14 2024-03-18 2024-03-21 2024-03-25");
    QTest::newRow("weekly Mon+Thu until a Monday, excluded")
        << until(weekly(monThu, "2024-03-13"), "2024-03-25")
        << dates("2024-03-14 2024-03-18 2024-03-21");
    QTest::newRow("monthly day 31 count 5 counts months")
        << count(monthly(31, false, "2024-01-10"), 5) << dates("2024-01-31 2024-03-31 2024-05-31");
    QTest::newRow("monthly day 15 from the 20th starts next month")
        << count(monthly(15, false, "2024-01-20"), 3) << dates("2024-02-15 2024-03-15 2024-04-15");
    QTest::newRow("monthly day 15 from the 15th starts this month")
        << count(monthly(15, false, "2024-01-15"), 3) << dates("2024-01-15 2024-02-15 2024-03-15");
    QTest::newRow("monthly last day count 3 over a leap February")
        << count(monthly(5, true, "2024-01-20"), 3) << dates("2024-01-31 2024-02-29 2024-03-31");
    QTest::newRow("monthly last day until the end date, excluded")
        << until(monthly(5, true, "2024-01-05"), "2024-03-31") << dates("2024-01-31 2024-02-29");
    QTest::newRow("monthly day 10 until the 10th, excluded")
        << until(monthly(10, false, "2024-01-05"), "2024-03-10") << dates("2024-01-10 2024-02-10");
    QTest::newRow("yearly Feb 29 runs on to 1 March in common years")
        << count(yearly(2, 29, "2024-01-10"), 3) << dates("2024-02-29 2025-03-01 2026-03-01");
    QTest::newRow("yearly by end includes the end date")
        << until(yearly(3, 15, "2024-03-15"), "2026-03-15")
        << dates("2024-03-15 2025-03-15 2026-03-15");
    QTest::newRow("yearly after this year's date starts next year")
        << count(yearly(3, 15, "2024-05-01"), 2) << dates("2025-03-15 2026-03-15");
    QTest::newRow("yearly Feb 30 runs on into March")
        << count(yearly(2, 30, "2024-01-01"), 2) << dates("2024-03-01 2025-03-02");

    // Empty ranges, one per case.
    QTest::newRow("empty: daily count 0") << count(daily(1, "2024-03-10"), 0) << dates("");
    QTest::newRow("empty: daily end on S+1")
        << until(daily(1, "2024-03-10"), "2024-03-11") << dates("");
    QTest::newRow("empty: daily end before start")
        << until(daily(1, "2024-03-10"), "2024-03-01") << dates("");
    QTest::newRow("empty: weekly count 0") << count(weekly(monThu, "2024-03-13"), 0) << dates("");
    QTest::newRow("empty: weekly end on start")
        << until(weekly({3}, "2024-03-13"), "2024-03-13") << dates("");
    QTest::newRow("empty: weekly with no weekday")
        << count(weekly({}, "2024-03-13"), 10) << dates("");
    QTest::newRow("empty: month-end count 0")
        << count(monthly(1, true, "2024-01-05"), 0) << dates("");
    QTest::newRow("empty: month-end end on the first last day")
        << until(monthly(1, true, "2024-01-05"), "2024-01-31") << dates("");
    QTest::newRow("empty: monthly day count 0")
        << count(monthly(10, false, "2024-01-05"), 0) << dates("");
    QTest::newRow("empty: monthly day end on the first date")
        << until(monthly(10, false, "2024-01-05"), "2024-01-10") << dates("");
    QTest::newRow("empty: yearly count 0") << count(yearly(3, 15, "2024-01-01"), 0) << dates("");
    QTest::newRow("empty: yearly end before the first date")
        << until(yearly(3, 15, "2024-01-01"), "2024-03-14") << dates("");

    // Day 31 over a run of short months.
    QTest::newRow("day 31 over Apr-Jun counts three months for one row")
        << count(monthly(31, false, "2024-04-01"), 3) << dates("2024-05-31");
    QTest::newRow("day 31 over April alone gives nothing")
        << count(monthly(31, false, "2024-04-01"), 1) << dates("");
    QTest::newRow("day 31 by end: the short month's sum is tested too")
        << until(monthly(31, false, "2024-02-01"), "2024-03-02") << dates("");
    QTest::newRow("day 31 by end: a short month is passed, the next one counts")
        << until(monthly(31, false, "2024-02-01"), "2024-04-01") << dates("2024-03-31");
    QTest::newRow("day 30 skips February only")
        << count(monthly(30, false, "2023-01-30"), 3) << dates("2023-01-30 2023-03-30");

    // 二月 29 over leap and common years.
    QTest::newRow("Feb 29 from a common year")
        << count(yearly(2, 29, "2023-01-01"), 5)
        << dates("2023-03-01 2024-02-29 2025-03-01 2026-03-01 2027-03-01");
    QTest::newRow("Feb 29 from 1 March starts next year")
        << count(yearly(2, 29, "2024-03-01"), 1) << dates("2025-03-01");
    QTest::newRow("Feb 29 on the day itself")
        << count(yearly(2, 29, "2024-02-29"), 1) << dates("2024-02-29");
    QTest::newRow("Feb 29 from 1 March of a common year: chosen day compared, not the run-on")
        << count(yearly(2, 29, "2023-03-01"), 1) << dates("2024-02-29");
    QTest::newRow("Feb 29 by end across the leap day")
        << until(yearly(2, 29, "2023-06-01"), "2028-02-29")
        << dates("2024-02-29 2025-03-01 2026-03-01 2027-03-01 2028-02-29");

    // Fields of other modes play no part.
    RepeatSettings mixed = count(daily(2, "2024-03-10"), 2);
    mixed.cfWeekdays = {1, 2, 3};
    mixed.cfMonthLast = 1;
    mixed.cfEnd = d("2024-03-11");
    QTest::newRow("daily ignores the other modes' fields and the end date")
        << mixed << dates("2024-03-10 2024-03-12");
    // 每年农历 (dates from an independent almanac table): a missing leap
    // month gives the ordinary one, a missing 30th the 29th.
    QTest::newRow("lunar leap 六月 in years without it")
        << count(lunar(6, true, 1, "2025-07-25"), 5)
        << dates("2025-07-25 2026-07-14 2027-07-04 2028-07-22 2029-07-11");
    QTest::newRow("lunar leap 五月 chosen from the ordinary month before it")
        << count(lunar(5, true, 5, "2028-05-28"), 3) << dates("2028-06-27 2029-06-16 2030-06-05");
    QTest::newRow("lunar ordinary 五月 from inside the leap one: next year")
        << count(lunar(5, false, 5, "2028-06-27"), 2) << dates("2029-06-16 2030-06-05");
    QTest::newRow("lunar 腊月三十 over 29-day 腊月s")
        << count(lunar(12, false, 30, "2030-02-02"), 3)
        << dates("2030-02-02 2031-01-22 2032-02-10");
    QTest::newRow("lunar by end: the end date counts")
        << until(lunar(12, false, 30, "2030-02-02"), "2031-01-22")
        << dates("2030-02-02 2031-01-22");
    QTest::newRow("lunar by end: a day short of it")
        << until(lunar(12, false, 30, "2030-02-02"), "2031-01-21") << dates("2030-02-02");
    QTest::newRow("lunar count stops at the calendar's end")
        << count(lunar(3, false, 15, "2096-04-07"), 10)
        << dates("2096-04-07 2097-04-26 2098-04-16 2099-05-04");
    QTest::newRow("lunar without a month (a start past the calendar)")
        << count(lunar(0, false, 0, "2101-03-01"), 3) << dates("");
    QTest::newRow("lunar by end without an end date") << [] {
        RepeatSettings r = until(lunar(3, false, 15, "2096-04-07"), "2096-04-07");
        r.cfEnd = QDate();
        return r;
    }() << dates("");
    QTest::newRow("monthly last day ignores the day number")
        << count(monthly(15, true, "2023-11-20"), 3) << dates("2023-11-30 2023-12-31 2024-01-31");
}

void TestSeries::series()
{
    QFETCH(RepeatSettings, rule);
    QFETCH(QList<QDate>, expected);
    QCOMPARE(generateSeries(rule), expected);
}

void TestSeries::tenYearsOfDays_data()
{
    QTest::addColumn<RepeatSettings>("rule");
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    const QDate s(2026, 3, 31);
    RepeatSettings byEnd = daily(7, "2026-03-31");
    byEnd.cfRangeKind = RepeatSettings::ByEndDate;
    byEnd.cfEnd = s.addDays(3651);
    QTest::newRow("by end date") << byEnd << s.addDays(1) << s.addDays(3650);
    QTest::newRow("by count") << count(daily(1, "2026-03-31"), 3650) << s << s.addDays(3649);
}

void TestSeries::tenYearsOfDays()
{
    QFETCH(RepeatSettings, rule);
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    const QList<QDate> got = generateSeries(rule);
    QCOMPARE(got.size(), 3650);
    QCOMPARE(got.first(), first);
    QCOMPARE(got.last(), last);
    for (int i = 1; i < got.size(); ++i)
        QCOMPARE(got[i - 1].daysTo(got[i]), 1);
}

void TestSeries::resetKeepsTheOtherModes()
{
    RepeatSettings r = until(weekly({2, 5}, "2030-01-01"), "2030-02-01");
    r.cfDays = 9;
    r.cfMode = RepeatSettings::Yearly;
    r.cfYearMonth = 7;
    r.reset(QDate(2026, 3, 31));
    QCOMPARE(r.cfMode, int(RepeatSettings::Daily));
    QCOMPARE(r.cfDays, 1);
    QCOMPARE(r.cfStart, QDate(2026, 3, 31));
    QCOMPARE(r.cfRangeKind, int(RepeatSettings::ByCount));
    QCOMPARE(r.cfCount, 5);
    QCOMPARE(r.cfWeekdays, (QSet<int>{2, 5}));
    QCOMPARE(r.cfYearMonth, 7);
    QCOMPARE(r.cfEnd, QDate(2030, 2, 1));
    // The defaults make five consecutive days from the reset day.
    QCOMPARE(generateSeries(r), dates("2026-03-31 2026-04-01 2026-04-02 2026-04-03 2026-04-04"));
}

void TestSeries::lunarMonthChoices_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<int>("rangeKind");
    QTest::addColumn<int>("count");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QDate>("rangeEnd");
    QTest::addColumn<QString>("choices"); // month names, then the day
    const QDate none;
    const int byCount = RepeatSettings::ByCount, byEnd = RepeatSettings::ByEndDate;
    // 2028's 闰五月 begins on 2028-06-23.
    QTest::newRow("end before the leap month")
        << d("2028-05-28") << byEnd << 5 << d("2028-06-22") << d("2028-06-22") << "五月 初五";
    QTest::newRow("end on its first day") << d("2028-05-28") << byEnd << 5 << d("2028-06-23")
                                          << d("2028-06-23") << "五月 闰五月 初五";
    QTest::newRow("two lunar years miss 2028")
        << d("2026-06-15") << byCount << 2 << none << d("2028-01-25") << "五月 初一";
    QTest::newRow("three reach it")
        << d("2026-06-15") << byCount << 3 << none << d("2029-02-12") << "五月 闰五月 初一";
    QTest::newRow("a start in a leap month offers it first")
        << d("2025-07-25") << byCount << 1 << none << d("2026-02-16") << "闰六月 六月 初一";
    QTest::newRow("past the calendar")
        << d("2101-03-01") << byCount << 1 << none << d("2101-03-01") << "";
}

void TestSeries::lunarMonthChoices()
{
    QFETCH(QDate, start);
    QFETCH(int, rangeKind);
    QFETCH(int, count);
    QFETCH(QDate, end);
    QFETCH(QDate, rangeEnd);
    QFETCH(QString, choices);
    QCOMPARE(lunarRangeEnd(start, rangeKind, count, end), rangeEnd);
    QStringList names;
    const QList<LunarDate> got = ::lunarMonthChoices(start, rangeEnd);
    for (const LunarDate& m : got)
        names << Lunar::monthName(m.month, m.leap);
    if (!got.isEmpty())
        names << Lunar::dayName(got.first().day);
    QCOMPARE(names.join(QLatin1Char(' ')), choices);
}

QTEST_GUILESS_MAIN(TestSeries)
#include "tst_series.moc"
