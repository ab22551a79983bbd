#include "TestSupport.h"
#include "mainwindow/AssistantLogic.h"
#include "platform/Cp936.h"
#include "platform/Formats.h"

#include <QtTest>

using namespace AssistantLogic;

class TestAssistantLogic : public QObject {
    Q_OBJECT
private slots:
    void weekdayName_data();
    void weekdayName();
    void nodeTexts();
    void lunarTexts_data();
    void lunarTexts();
    void docking_data();
    void docking();
    void marquee_data();
    void marquee();
    void midnight_data();
    void midnight();
    void widthToggle();
    void wrapping_data();
    void wrapping();
    void details_data();
    void details();
    void bottomOfTheWindowIsIgnored_data();
    void bottomOfTheWindowIsIgnored();
};

void TestAssistantLogic::weekdayName_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("name");
    QTest::newRow("Monday") << QDate(2026, 12, 7) << "一";
    QTest::newRow("Wednesday") << QDate(2026, 12, 9) << "三";
    QTest::newRow("Saturday") << QDate(2026, 12, 12) << "六";
    QTest::newRow("Sunday is seven") << QDate(2026, 12, 13) << "七";
    QTest::newRow("invalid") << QDate() << "";
}

void TestAssistantLogic::weekdayName()
{
    QFETCH(QDate, date);
    QFETCH(QString, name);
    QCOMPARE(AssistantLogic::weekdayName(date), name);
}

void TestAssistantLogic::nodeTexts()
{
    TestEnvironment env;
    QCOMPARE(todayNodeText(QDate(2026, 12, 13)), QStringLiteral("今天[星期七]"));
    QCOMPARE(tomorrowNodeText(QDate(2026, 12, 14)), QStringLiteral("明天[星期一]"));
    QCOMPARE(laterNodeText(QDate(2026, 12, 15)), QStringLiteral("2026-12-15[星期二]"));
    QCOMPARE(scheduleNodeText(QTime(9, 5), QStringLiteral("周例会")),
             QStringLiteral("09:05:00:  周例会"));
}

void TestAssistantLogic::lunarTexts_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("node"); // after "明天[星期四]"
    QTest::addColumn<QString>("caption");
    textRow("first of a month", QDate(2026, 12, 9), " · 冬月初一", " 冬月初一");
    textRow("solar term", QDate(2026, 12, 22), " · 冬月十四 冬至", " 冬月十四");
    textRow("festival", QDate(2026, 9, 25), " · 八月十五 中秋", " 八月十五");
    textRow("29-day 腊月's last: 除夕", QDate(2027, 2, 5), " · 腊月廿九 除夕", " 腊月廿九");
    textRow("before the calendar", QDate(1900, 1, 30), "", "");
    textRow("no date", QDate(), "", "");
}

void TestAssistantLogic::lunarTexts()
{
    QFETCH(QDate, date);
    QFETCH(QString, node);
    QFETCH(QString, caption);
    TestEnvironment env;
    const QString text = QStringLiteral("明天[星期四]");
    QCOMPARE(withLunarDay(text, date), text + node);
    // Too wide for one line: the lunar day on a line of its own.
    auto narrow = [](const QString& t) {
        return t.size() <= 12;
    };
    QString wrapped = node;
    QCOMPARE(withLunarDay(text, date, narrow), text + wrapped.replace(" · ", "\n"));
    const QString day = date.isValid() ? Formats::dateText(date) : QString();
    QCOMPARE(workNoteCaption(date, true), "工作笔记(" + day + caption + ")");
    QCOMPARE(workNoteCaption(date, false), "工作笔记(" + day + ")");
}

void TestAssistantLogic::docking_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("newTop"); // 999: top unchanged
    // Window 240 wide at x 100; inside means left <= x <= left + width (edges too).
    QTest::newRow("top 1, cursor outside: collapses") << 1 << QPoint(700, 300) << -3 << -30;
    QTest::newRow("top 1, cursor inside: opens") << 1 << QPoint(150, 100) << 461 << -3;
    QTest::newRow("top 2, cursor outside: not docked") << 2 << QPoint(700, 300) << 461 << 999;
    QTest::newRow("top 2, cursor inside") << 2 << QPoint(150, 100) << 461 << 999;
    QTest::newRow("open at -3, cursor inside stays open") << -3 << QPoint(150, 0) << 461 << -3;
    QTest::newRow("open at -3, cursor leaves") << -3 << QPoint(150, 600) << -3 << -30;
    QTest::newRow("collapsed strip, cursor in it") << -30 << QPoint(150, 2) << 461 << -3;
    QTest::newRow("right edge counts as inside") << 1 << QPoint(340, 10) << 461 << -3;
    QTest::newRow("one past the right edge") << 1 << QPoint(341, 10) << -3 << -30;
}

void TestAssistantLogic::docking()
{
    QFETCH(int, top);
    QFETCH(QPoint, cursor);
    QFETCH(int, height);
    QFETCH(int, newTop);
    // The collapsed window keeps 38 pixels of height (the platform minimum).
    const int currentHeight = top == -30 ? 38 : 461;
    const Dock d = dockStep(QRect(100, top, 240, currentHeight), cursor);
    QCOMPARE(d.height, height);
    QCOMPARE(d.top.value_or(999), newTop);
}

void TestAssistantLogic::marquee_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("next");
    QTest::newRow("scrolls by five") << 9 << 200 << 4;
    QTest::newRow("right end just at the panel's left") << -201 << 200 << -206;
    QTest::newRow("passed the panel's left: restarts at 234") << -202 << 200 << 229;
    QTest::newRow("wider than the panel, still showing") << -400 << 500 << -405;
    QTest::newRow("wide text gone") << -602 << 600 << 229;
}

void TestAssistantLogic::marquee()
{
    QFETCH(int, left);
    QFETCH(int, width);
    QFETCH(int, next);
    QCOMPARE(marqueeStep(left, width), next);
}

void TestAssistantLogic::midnight_data()
{
    QTest::addColumn<QTime>("now");
    QTest::addColumn<bool>("rebuild");
    QTest::newRow("midnight") << QTime(0, 0) << true;
    QTest::newRow("0.9 s after") << QTime(0, 0, 0, 900) << true;
    QTest::newRow("one second after") << QTime(0, 0, 1) << false;
    QTest::newRow("just before") << QTime(23, 59, 59, 999) << false;
}

void TestAssistantLogic::midnight()
{
    QFETCH(QTime, now);
    QFETCH(bool, rebuild);
    QCOMPARE(isMidnightTick(now), rebuild);
}

void TestAssistantLogic::widthToggle()
{
    QCOMPARE(toggleWidth(240).width, 466);
    QCOMPARE(toggleWidth(240).caption, QStringLiteral("<<"));
    QCOMPARE(toggleWidth(466).width, 240);
    QCOMPARE(toggleWidth(466).caption, QStringLiteral(">>"));
    QCOMPARE(toggleWidth(240).accessibleName, QStringLiteral("收起工作笔记"));
    QCOMPARE(toggleWidth(466).accessibleName, QStringLiteral("展开工作笔记"));
    QCOMPARE(toggleWidth(300).width, 466); // any width but 466 counts as narrow
}

void TestAssistantLogic::wrapping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pieces"); // without their CRs
    const QString ten(10, QLatin1Char(' '));
    QTest::newRow("41 single-byte characters: three lines")
        << QString(41, QLatin1Char('a'))
        << QStringList{QString(20, QLatin1Char('a')), ten + QString(20, QLatin1Char('a')),
                       ten + "a"};
    QTest::newRow("19 + one Chinese: one piece of 21 bytes")
        << QString(19, QLatin1Char('a')) + "时"
        << QStringList{QString(19, QLatin1Char('a')) + "时"};
    QTest::newRow("exactly 20 bytes")
        << QString(20, QLatin1Char('b')) << QStringList{QString(20, QLatin1Char('b'))};
    QTest::newRow("ten Chinese characters") << QStringLiteral("一二三四五六七八九十")
                                            << QStringList{QStringLiteral("一二三四五六七八九十")};
    QTest::newRow("eleven Chinese characters")
        << QStringLiteral("一二三四五六七八九十百")
        << QStringList{QStringLiteral("一二三四五六七八九十"), ten + QStringLiteral("百")};
    QTest::newRow("19 + a four-byte character stays whole")
        << QString(19, QLatin1Char('a')) + "😀" << QStringList{QString(19, QLatin1Char('a')) + "😀"};
    QTest::newRow("18 + a four-byte character")
        << QString(18, QLatin1Char('a')) + "😀b"
        << QStringList{QString(18, QLatin1Char('a')) + "😀", ten + "b"};
    QTest::newRow("empty gives no piece") << QString() << QStringList{};
}

void TestAssistantLogic::wrapping()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pieces);
    QString expected;
    for (const QString& p : pieces)
        expected += p + QLatin1Char('\r');
    const QString got = wrapDetail(text);
    QCOMPARE(got, expected);
    // Every piece but the last (after its indent) holds 20 or 21 bytes.
    const QStringList lines = got.split(QLatin1Char('\r'), Qt::SkipEmptyParts);
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const int bytes = Cp936::byteLength(lines[i].mid(i == 0 ? 0 : 10));
        QVERIFY2(bytes == 20 || bytes == 21 || bytes == 22, qPrintable(lines[i]));
    }
}

void TestAssistantLogic::details_data()
{
    QTest::addColumn<int>("yxj");
    QTest::addColumn<int>("zt");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("lunar");
    const QString head = "\r日程标题: 周例会\r日程时间: 2026-12-9[09:30:00]";
    QTest::newRow("all lines") << 0 << 2 << "三楼"
                               << head + "\r优 先 级: 高\r状    态: 进行中\r日程内容: 三楼\r\r"
                               << false;
    QTest::newRow("lunar date after the time")
        << 3 << 0 << "x" << head + "\r农    历: 丙午年 冬月初一\r日程内容: x\r\r" << true;
    QTest::newRow("priority 3 and status 0 give no line")
        << 3 << 0 << "x" << head + "\r日程内容: x\r\r" << false;
    QTest::newRow("empty content")
        << 2 << 4 << "" << head + "\r优 先 级: 低\r状    态: 取消\r日程内容: \r" << false;
}

void TestAssistantLogic::details()
{
    QFETCH(int, yxj);
    QFETCH(int, zt);
    QFETCH(QString, content);
    QFETCH(QString, expected);
    QFETCH(bool, lunar);
    TestEnvironment env;
    Schedule s;
    s.title = QStringLiteral("周例会");
    s.date = QDate(2026, 12, 9);
    s.time = QTime(9, 30);
    s.yxj = yxj;
    s.ztFlag = zt;
    s.content = content;
    QCOMPARE(detailsText(s, lunar), expected);
}

void TestAssistantLogic::bottomOfTheWindowIsIgnored_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("ignored");
    // Window from y 100, 461 high: its bottom 50 pixels start after 511.
    QTest::newRow("over the tree") << 300 << false;
    QTest::newRow("at the line") << 511 << false;
    QTest::newRow("over the buttons") << 512 << true;
    QTest::newRow("below the window") << 900 << true;
}

void TestAssistantLogic::bottomOfTheWindowIsIgnored()
{
    QFETCH(int, y);
    QFETCH(bool, ignored);
    QCOMPARE(hoverIgnored(QRect(100, 100, 240, 461), QPoint(150, y)), ignored);
}

QTEST_GUILESS_MAIN(TestAssistantLogic)
#include "tst_assistantlogic.moc"
