#include "TestSupport.h"
#include "platform/Cp936.h"
#include "reminders/ReminderLogic.h"
#include "shell/data/Schedules.h"

#include <QtTest>

using namespace ReminderLogic;

class TestReminderLogic : public QObject {
    Q_OBJECT
private slots:
    void due_data();
    void due();
    void lead_data();
    void lead();
    void placement_data();
    void placement();
    void itemText_data();
    void itemText();
    void noticeLine_data();
    void noticeLine();
    void summaryTexts();
    void soundPath_data();
    void soundPath();
    void clockJump();
};

namespace {
const QDate today(2026, 12, 9);
}

void TestReminderLogic::due_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<int>("txTime");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("zt");
    QTest::addColumn<int>("isTx");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("due");
    const QTime noon(12, 0);
    auto at = [](int h, int m, int s, int ms = 0) {
        return QDateTime(today, QTime(h, m, s, ms));
    };
    // Lead 10 minutes: 10.5 minutes left truncate to 10, not less than 10;
    // 0.5 truncates to 0, not more than 0.
    QTest::newRow("10.5 left") << today << noon << 10 << 0 << 1 << 1 << at(11, 49, 30) << false;
    QTest::newRow("9.5 left") << today << noon << 10 << 0 << 1 << 1 << at(11, 50, 30) << true;
    QTest::newRow("1.5 left") << today << noon << 10 << 0 << 1 << 1 << at(11, 58, 30) << true;
    QTest::newRow("exactly 1 left") << today << noon << 10 << 0 << 1 << 1 << at(11, 59, 0) << true;
    QTest::newRow("0.5 left") << today << noon << 10 << 0 << 1 << 1 << at(11, 59, 30) << false;
    QTest::newRow("exactly 10 left")
        << today << noon << 10 << 0 << 1 << 1 << at(11, 50, 0) << false;
    QTest::newRow("1 ms short of 10")
        << today << noon << 10 << 0 << 1 << 1 << at(11, 50, 0, 1) << true;
    QTest::newRow("passed") << today << noon << 10 << 0 << 1 << 1 << at(12, 5, 0) << false;
    QTest::newRow("lead 0") << today << noon << 0 << 0 << 1 << 1 << at(11, 55, 0) << false;
    // Lead one day, schedule tomorrow at 09:00.
    const QDate tomorrow = today.addDays(1);
    QTest::newRow("1 day: 1439.5 left")
        << tomorrow << QTime(9, 0) << 1 << 2 << 1 << 1 << at(9, 0, 30) << true;
    QTest::newRow("1 day: 1440.5 left")
        << tomorrow << QTime(9, 0) << 1 << 2 << 1 << 1 << at(8, 59, 30) << false;
    QTest::newRow("1 hour, across midnight")
        << tomorrow << QTime(0, 20) << 1 << 1 << 1 << 1 << at(23, 30, 0) << true;
    QTest::newRow("in progress") << today << noon << 10 << 0 << 2 << 1 << at(11, 55, 0) << true;
    QTest::newRow("finished") << today << noon << 10 << 0 << 3 << 1 << at(11, 55, 0) << false;
    QTest::newRow("cancelled") << today << noon << 10 << 0 << 4 << 1 << at(11, 55, 0) << false;
    QTest::newRow("reminder off") << today << noon << 10 << 0 << 1 << 0 << at(11, 55, 0) << false;
}

void TestReminderLogic::due()
{
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QFETCH(int, txTime);
    QFETCH(int, unit);
    QFETCH(int, zt);
    QFETCH(int, isTx);
    QFETCH(QDateTime, now);
    QFETCH(bool, due);
    Schedule s;
    s.date = date;
    s.time = time;
    s.txTime = txTime;
    s.txTimeFlag = unit;
    s.ztFlag = zt;
    s.isTx = isTx;
    QCOMPARE(isDue(s, now), due);
}

void TestReminderLogic::lead_data()
{
    QTest::addColumn<int>("txTime");
    QTest::addColumn<int>("unit");
    QTest::addColumn<qint64>("minutes");
    QTest::newRow("minutes") << 10 << 0 << qint64(10);
    QTest::newRow("hours") << 1 << 1 << qint64(60);
    QTest::newRow("days") << 2 << 2 << qint64(2880);
    QTest::newRow("any other code: days") << 2 << 7 << qint64(2880);
    QTest::newRow("negative code: days") << 1 << -1 << qint64(1440);
    QTest::newRow("no overflow") << 2000000 << 2 << qint64(2880000000);
}

void TestReminderLogic::lead()
{
    QFETCH(int, txTime);
    QFETCH(int, unit);
    QFETCH(qint64, minutes);
    QCOMPARE(leadMinutes(txTime, unit), minutes);
}

void TestReminderLogic::placement_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<int>("position");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("bottom-right") << QSize(1024, 768) << 0 << QPoint(712, 593);
    QTest::newRow("centre") << QSize(1024, 768) << 1 << QPoint(357, 309);
    QTest::newRow("any other value: bottom-right") << QSize(1024, 768) << 2 << QPoint(712, 593);
    QTest::newRow("centre, odd sizes truncate") << QSize(1023, 767) << 1 << QPoint(356, 308);
    QTest::newRow("full HD, bottom-right") << QSize(1920, 1080) << 0 << QPoint(1608, 905);
}

void TestReminderLogic::placement()
{
    QFETCH(QSize, screen);
    QFETCH(int, position);
    QFETCH(QPoint, topLeft);
    QCOMPARE(ReminderLogic::placement(screen, QSize(311, 150), position), topLeft);
}

void TestReminderLogic::itemText_data()
{
    QTest::addColumn<QString>("when");
    QTest::addColumn<QString>("expected");
    QTest::newRow("18 bytes: 7 filling blanks")
        << "2008-5-6[14:30:00]" << QString("2008-5-6[14:30:00]") + QString(7, ' ') + "   会议";
    QTest::newRow("already 25 bytes")
        << "2008-12-26[下午 02:30:00]" << QString("2008-12-26[下午 02:30:00]   会议");
    QTest::newRow("longer than 25")
        << "2008年12月26日[14时30分00秒]" << QString("2008年12月26日[14时30分00秒]   会议");
    // Chinese characters count two bytes each.
    QTest::newRow("22 bytes with Chinese")
        << "2008-5-6[下午 2:30:00]"
        << QString("2008-5-6[下午 2:30:00]") + QString(3, ' ') + "   会议";
}

void TestReminderLogic::itemText()
{
    QFETCH(QString, when);
    QFETCH(QString, expected);
    const QString text = ReminderLogic::itemText(when, "会议");
    QCOMPARE(text, expected);
    QVERIFY(Cp936::byteLength(text.left(text.size() - 5)) >= 25);
}

void TestReminderLogic::noticeLine_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("line");
    textRow("as it stands", "会议 <b>&", "2008-5-6[14:30:00] 会议 <b>&");
    textRow("a line break", "会议\n地点", "2008-5-6[14:30:00] 会议 地点");
    textRow("CR LF: one blank", "会议\r\n地点", "2008-5-6[14:30:00] 会议 地点");
    textRow("a lone CR", "会议\r地点", "2008-5-6[14:30:00] 会议 地点");
    QTest::newRow("Unicode line and paragraph separators")
        << QString("甲") + QChar(0x2028) + "乙" + QChar(0x2029) + "丙" + QChar(0x85) + "丁"
        << "2008-5-6[14:30:00] 甲 乙 丙 丁";
    textRow("no title", "", "2008-5-6[14:30:00] ");
}

void TestReminderLogic::noticeLine()
{
    QFETCH(QString, title);
    QFETCH(QString, line);
    QCOMPARE(ReminderLogic::noticeLine("2008-5-6[14:30:00]", title), line);
}

void TestReminderLogic::summaryTexts()
{
    QCOMPARE(todayText(3), QString("今天共有3个日程。"));
    QCOMPARE(todayText(0), QString("您还没有安排今天的日程。"));
    QCOMPARE(yesterdayText(2, 1), QString("昨天共完成2个日程，有1个日程没有完成。"));
    QCOMPARE(yesterdayText(0, 0), QString("昨天共完成0个日程，有0个日程没有完成。"));
}

void TestReminderLogic::soundPath_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("path");
    textRow("absolute, as it stands", "/home/u/sounds/ding.wav", "/home/u/sounds/ding.wav");
    textRow("relative, in the program folder", "ding.wav", "/opt/Brenwick/ding.wav");
    textRow("blanks trimmed", "  /s/ding.wav ", "/s/ding.wav");
}

void TestReminderLogic::soundPath()
{
    QFETCH(QString, stored);
    QFETCH(QString, path);
    QCOMPARE(ReminderLogic::soundPath(stored, "/opt/Brenwick/"), path);
}

void TestReminderLogic::clockJump()
{
    ClockJump jump;
    const qint64 wall = 1'800'000'000'000;
    QVERIFY(!jump.look(wall, 1000));                      // the first look only sets the baseline
    QVERIFY(!jump.look(wall + 300, 1300));                // both clocks moved on together
    QVERIFY(!jump.look(wall + 60'300, 1300));             // one minute: not more than a minute
    QVERIFY(jump.look(wall + 3'600'000, 1600));           // an hour's sleep
    QVERIFY(!jump.look(wall + 3'600'300, 1900));          // measured from the new offset
    QVERIFY(jump.look(wall + 3'600'300 - 120'000, 2200)); // the clock set back
}

QTEST_GUILESS_MAIN(TestReminderLogic)
#include "tst_reminderlogic.moc"
