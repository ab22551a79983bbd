#include "TestSupport.h"
#include "platform/AppError.h"
#include "platform/Cp936.h"
#include "platform/DayNumber.h"
#include "platform/Formats.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

namespace {
// Types as an input method commits text, one character at a time.
void type(QWidget* w, const QString& text)
{
    for (QChar c : text) {
        QInputMethodEvent e;
        e.setCommitString(QString(c));
        QApplication::sendEvent(w, &e);
    }
}
} // namespace

class TestText : public QObject {
    Q_OBJECT
private slots:
    void byteLength_data();
    void byteLength();
    void truncatedNeverSplitsACharacter_data();
    void truncatedNeverSplitsACharacter();
    void lineEditStopsAtTheLimit();
    void memoStopsAtTheLimit();
    void dayNumbers_data();
    void dayNumbers();
    void timeZoneIsStripped_data();
    void timeZoneIsStripped();
    void parseDateAndTime();
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

void TestText::lineEditStopsAtTheLimit()
{
    QLineEdit edit;
    Cp936::limitBytes(&edit, 5);
    type(&edit, QStringLiteral("时雀"));
    QCOMPARE(edit.text(), QStringLiteral("时雀"));
    type(&edit, QStringLiteral("雀"));
    QCOMPARE(edit.text(), QStringLiteral("时雀")); // 6 bytes would not fit
    type(&edit, QStringLiteral("ab"));
    QCOMPARE(edit.text(), QStringLiteral("时雀a"));
}

void TestText::memoStopsAtTheLimit()
{
    QPlainTextEdit memo;
    Cp936::limitBytes(&memo, 6);
    type(&memo, QStringLiteral("ab时雀"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("ab时雀")); // exactly six bytes
    type(&memo, QStringLiteral("c"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("ab时雀")); // typing past the limit does nothing
    QTest::keyClick(&memo, Qt::Key_Home);
    type(&memo, QStringLiteral("x"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("ab时雀"));
    QTest::keyClick(&memo, Qt::Key_End);
    QTest::keyClick(&memo, Qt::Key_Backspace);
    type(&memo, QStringLiteral("cd"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("ab时cd"));
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

void TestText::timeZoneIsStripped_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("C") << "HH:mm:ss t"
                       << "HH:mm:ss";
    QTest::newRow("zh_CN") << "t HH:mm:ss"
                           << "HH:mm:ss";
    QTest::newRow("en_US") << "h:mm:ss AP t"
                           << "h:mm:ss AP";
    QTest::newRow("quoted t stays") << "HH'h't mm"
                                    << "HH'h' mm";
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
    try {
        Formats::parseDate(QStringLiteral("明天"));
        QFAIL("a word was read as a date");
    } catch (const AppError& e) {
        QCOMPARE(e.text(), QStringLiteral("'明天' is not a valid date"));
    }
    QVERIFY_THROWS_EXCEPTION(AppError, Formats::parseTime(QStringLiteral("25:00")));
}

void TestText::errorBoxFullStop_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "no such table: main"
                            << "no such table: main.";
    QTest::newRow("quote sorts before") << "Failed to get data for 'zm'"
                                        << "Failed to get data for 'zm'";
    QTest::newRow("Chinese") << "设置文件已损坏"
                             << "设置文件已损坏.";
    QTest::newRow("full stop") << "Done."
                               << "Done.";
    QTest::newRow("comma sorts before") << "a,"
                                        << "a,";
    QTest::newRow("digit sorts after") << "line 3"
                                       << "line 3.";
    QTest::newRow("empty") << ""
                           << "";
}

void TestText::errorBoxFullStop()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(errorBoxText(text), shown);
}

QTEST_MAIN(TestText)
#include "tst_text.moc"
