#include "TestSupport.h"
#include "platform/AppError.h"
#include "platform/Cp936.h"
#include "platform/DayNumber.h"
#include "platform/Formats.h"
#include "platform/PlainText.h"

#include <QtTest>

class TestText : public QObject {
    Q_OBJECT
private slots:
    void byteLength_data();
    void byteLength();
    void truncatedNeverSplitsACharacter_data();
    void truncatedNeverSplitsACharacter();
    void cleanedText_data();
    void cleanedText();
    void dayNumbers_data();
    void dayNumbers();
    void everyMinuteReadsBackAsItself_data();
    void everyMinuteReadsBackAsItself();
    void timeZoneIsStripped_data();
    void timeZoneIsStripped();
    void parseDateAndTime();
    void systemFormats_data();
    void systemFormats();
    void twoDigitYears_data();
    void twoDigitYears();
    void errorBoxFullStop_data();
    void errorBoxFullStop();
};

void TestText::byteLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::newRow("ascii") << "abc" << 3;
    QTest::newRow("Chinese") << "时雀" << 4;
    QTest::newRow("mixed with emoji") << "时雀ab😀" << 10;
    QTest::newRow("euro sign") << "€" << 2;
    QTest::newRow("first and last ideograph of GBK, one past it")
        << QStringLiteral("\u4e00\u9fa5\u9fa6")
        << int(4 + Cp936::encode(QStringLiteral("\u9fa6")).size());
    QTest::newRow("empty") << "" << 0;
}

void TestText::byteLength()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QCOMPARE(Cp936::byteLength(text), bytes);
    QCOMPARE(int(Cp936::encode(text).size()), bytes);
    QCOMPARE(Cp936::decode(Cp936::encode(text)), text);
}

void TestText::truncatedNeverSplitsACharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fits") << "ab时" << 4 << "ab时";
    QTest::newRow("half a Chinese char") << "ab时" << 3 << "ab";
    QTest::newRow("three bytes of an emoji") << "a😀" << 4 << "a";
    QTest::newRow("whole emoji") << "a😀" << 5 << "a😀";
}

void TestText::truncatedNeverSplitsACharacter()
{
    QFETCH(QString, text);
    QFETCH(int, max);
    QFETCH(QString, expected);
    QCOMPARE(Cp936::truncated(text, max), expected);
}

void TestText::cleanedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("single");
    QTest::addColumn<QString>("multi");
    textRow("nothing to clean", "时雀 ab😀 «»", "时雀 ab😀 «»", "时雀 ab😀 «»");
    textRow("terminal escape, bell, backspace, delete, NUL",
            QStringLiteral("\x1b[31m红\a\b\x7f\0字"), "[31m红字", "[31m红字");
    textRow("C1 controls (CSI)", QStringLiteral("a\u009b31mb\u0080"), "a31mb", "a31mb");
    textRow("line breaks of every kind", QStringLiteral("1\r\n2\r3\n4\v5\f6\u00857\u20288\u20299"),
            "1 2 3 4 5 6 7 8 9", "1\n2\n3\n4\n5\n6\n7\n8\n9");
    textRow("tab", "a\tb", "a b", "a b");
    textRow("override shows 1000 for 0001", QStringLiteral("付款给\u202e0001\u202c元"),
            "付款给0001元", "付款给0001元");
    textRow("embeddings and isolates",
            QStringLiteral("\u202aa\u202bb\u202dc\u2066d\u2067e\u2068f\u2069"), "abcdef", "abcdef");
    textRow("directional marks", QStringLiteral("付款\u200f100 200\u200f元\u200e\u061c"),
            "付款100 200元", QStringLiteral("付款\u200f100 200\u200f元\u200e\u061c"));
}

void TestText::cleanedText()
{
    QFETCH(QString, text);
    QFETCH(QString, single);
    QFETCH(QString, multi);
    QCOMPARE(PlainText::singleLine(text), single);
    QCOMPARE(PlainText::multiLine(text), multi);
    if (single == text)
        QVERIFY(PlainText::singleLine(text).isSharedWith(text));
}

void TestText::dayNumbers_data()
{
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<double>("number");
    QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("noon, 1 Jan 1900") << QDateTime(QDate(1900, 1, 1), QTime(12, 0)) << 2.5;
    QTest::newRow("2026-12-09 06:00") << QDateTime(QDate(2026, 12, 9), QTime(6, 0)) << 46365.25;
    QTest::newRow("leap day") << QDateTime(QDate(2028, 2, 29), QTime(0, 0)) << 46812.0;
}

void TestText::dayNumbers()
{
    QFETCH(QDateTime, moment);
    QFETCH(double, number);
    QCOMPARE(DayNumber::fromDateTime(moment), number);
    QCOMPARE(DayNumber::toDateTime(number), moment);
    QCOMPARE(DayNumber::fromDate(moment.date()) + DayNumber::fromTime(moment.time()), number);
}

void TestText::everyMinuteReadsBackAsItself_data()
{
    // Most minutes are no binary fraction of a day: read back cut instead of
    // rounded, 00:13 would show as 00:12:59.
    QTest::addColumn<QDate>("date");
    QTest::newRow("a time alone") << QDate();
    QTest::newRow("on a current date") << QDate(2026, 12, 9);
}

void TestText::everyMinuteReadsBackAsItself()
{
    QFETCH(QDate, date);
    const double day = date.isValid() ? DayNumber::fromDate(date) : 0.0;
    for (int minute = 0; minute < 24 * 60; ++minute) {
        const QTime time = QTime(0, 0).addSecs(minute * 60);
        const double number = day + DayNumber::fromTime(time);
        QCOMPARE(DayNumber::toTime(number), time);
        if (date.isValid())
            QCOMPARE(DayNumber::toDateTime(number), QDateTime(date, time));
    }
}

void TestText::timeZoneIsStripped_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    textRow("C", "HH:mm:ss t", "HH:mm:ss");
    textRow("zh_CN", "t HH:mm:ss", "HH:mm:ss");
    textRow("en_US", "h:mm:ss AP t", "h:mm:ss AP");
    textRow("quoted t stays", "HH'h't mm", "HH'h' mm");
    textRow("zh_TW: brackets and day period", "Bh:mm:ss [t]", "APh:mm:ss");
    textRow("es_ES: parentheses", "H:mm:ss (t)", "H:mm:ss");
}

void TestText::timeZoneIsStripped()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(Formats::withoutTimeZone(pattern), expected);
}

void TestText::parseDateAndTime()
{
    TestEnvironment env;
    QCOMPARE(Formats::dateText(QDate(2008, 5, 6)), QStringLiteral("2008-5-6"));
    QCOMPARE(Formats::timeText(QTime(7, 5, 3)), QStringLiteral("07:05:03"));
    QCOMPARE(Formats::parseDate(QStringLiteral("2008-5-6")), QDate(2008, 5, 6));
    QCOMPARE(Formats::parseTime(QStringLiteral("7:05")), QTime(7, 5));
    QCOMPARE(errorOf([] { Formats::parseDate(QStringLiteral("明天")); }),
             QStringLiteral("'明天' is not a valid date"));
    QVERIFY_THROWS_EXCEPTION(AppError, Formats::parseTime(QStringLiteral("25:00")));
}

void TestText::systemFormats_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("shown"); // 2026-12-10 in the short format
    QTest::addColumn<QString>("time");  // 21:05:07 in the long format, without the zone
    textRow("en_US", "en_US", "12/10/26", "9:05:07 PM");
    textRow("de_DE", "de_DE", "10.12.26", "21:05:07");
    textRow("zh_CN", "zh_CN", "2026/12/10", "21:05:07");
    textRow("zh_TW", "zh_TW", "2026/12/10", "下午9:05:07");
    textRow("C", "C", "10 Dec 2026", "21:05:07");
    textRow("es_ES", "es_ES", "10/12/26", "21:05:07");
}

void TestText::systemFormats()
{
    QFETCH(QString, locale);
    QFETCH(QString, shown);
    QFETCH(QString, time);
    TestEnvironment env(QDateTime(QDate(2026, 12, 9), QTime(9, 0)));
    Formats::setLocale(QLocale(locale));
    const QDate d(2026, 12, 10);
    QCOMPARE(Formats::dateText(d), shown);
    // What the program shows, and the full year it puts in a field, read
    // back as the same date.
    QCOMPARE(Formats::parseDate(shown), d);
    QCOMPARE(Formats::parseDate(Formats::editDateText(d)), d);
    QVERIFY(Formats::editDateText(d).contains(QLatin1String("2026")));
    QCOMPARE(Formats::timeText(QTime(21, 5, 7)), time);
    QCOMPARE(Formats::parseTime(time), QTime(21, 5, 7));
}

void TestText::twoDigitYears_data()
{
    QTest::addColumn<QDate>("read"); // as the toolkit reads a two-digit year
    QTest::addColumn<int>("today");
    QTest::addColumn<QDate>("meant");
    QTest::newRow("this year") << QDate(1926, 12, 10) << 2026 << QDate(2026, 12, 10);
    QTest::newRow("49 ahead") << QDate(1975, 1, 1) << 2026 << QDate(2075, 1, 1);
    QTest::newRow("50 back") << QDate(1976, 1, 1) << 2026 << QDate(1976, 1, 1);
    QTest::newRow("next century") << QDate(1903, 5, 6) << 2080 << QDate(2103, 5, 6);
    QTest::newRow("29 February stays a leap day")
        << QDate(1928, 2, 29) << 1980 << QDate(2028, 2, 29);
}

void TestText::twoDigitYears()
{
    QFETCH(QDate, read);
    QFETCH(int, today);
    QFETCH(QDate, meant);
    QCOMPARE(Formats::nearestCentury(read, today), meant);
}

void TestText::errorBoxFullStop_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    textRow("letter", "no such table: main", "no such table: main.");
    textRow("quote sorts before", "Failed to get data for 'zm'", "Failed to get data for 'zm'");
    textRow("Chinese", "设置文件已损坏", "设置文件已损坏.");
    textRow("full stop", "Done.", "Done.");
    textRow("comma sorts before", "a,", "a,");
    textRow("digit sorts after", "line 3", "line 3.");
    textRow("empty", "", "");
}

void TestText::errorBoxFullStop()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(errorBoxText(text), shown);
}

QTEST_MAIN(TestText)
#include "tst_text.moc"
