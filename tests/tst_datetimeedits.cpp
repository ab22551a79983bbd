#include "TestSupport.h"
#include "editing/SpinEdit.h"
#include "platform/AppError.h"
#include "platform/DateTimeEdits.h"

#include <QCalendarWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {
QString errorOf(const std::function<void()>& read)
{
    try {
        read();
    } catch (const AppError& e) {
        return e.text();
    }
    return QString();
}
} // namespace

class TestDateTimeEdits : public QObject {
    Q_OBJECT
private slots:
    void dateTextsAndErrors_data();
    void dateTextsAndErrors();
    void changeIsSentForNewValuesOnly();
    void dropDownPicksTodayAndClears();
    void timeTextsAndSteps();
    void spinEditBringsTypedValuesIntoRange_data();
    void spinEditBringsTypedValuesIntoRange();
};

void TestDateTimeEdits::dateTextsAndErrors_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("error");
    QTest::newRow("short format") << "2026-4-2" << QDate(2026, 4, 2) << QString();
    QTest::newRow("blanks around") << " 2026-12-31 " << QDate(2026, 12, 31) << QString();
    QTest::newRow("no such day") << "2026-2-30" << QDate() << "'2026-2-30' is not a valid date";
    QTest::newRow("words") << "明天" << QDate() << "'明天' is not a valid date";
    QTest::newRow("empty") << "" << QDate() << "'' is not a valid date";
}

void TestDateTimeEdits::dateTextsAndErrors()
{
    QFETCH(QString, typed);
    QFETCH(QDate, date);
    QFETCH(QString, error);
    TestEnvironment env;
    DateEdit e;
    e.setText(typed);
    QCOMPARE(errorOf([&] { QCOMPARE(e.date(), date); }), error);
    e.setDate(QDate(2026, 3, 9));
    QCOMPARE(e.text(), QStringLiteral("2026-3-9"));
}

void TestDateTimeEdits::changeIsSentForNewValuesOnly()
{
    TestEnvironment env;
    DateEdit e;
    QSignalSpy changed(&e, &DateEdit::dateChanged);
    e.setDate(QDate(2026, 3, 9));
    e.setDate(QDate(2026, 3, 9));
    QCOMPARE(changed.size(), 1);
    e.show();
    e.lineEdit()->selectAll();
    QTest::keyClicks(e.lineEdit(), QStringLiteral("2026-3-1"));
    QCOMPARE(changed.size(), 1); // not while typing
    QTest::keyClick(e.lineEdit(), Qt::Key_Return);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(e.date(), QDate(2026, 3, 1));
    e.lineEdit()->selectAll();
    QTest::keyClicks(e.lineEdit(), QStringLiteral("xx"));
    QTest::keyClick(e.lineEdit(), Qt::Key_Return);
    QCOMPARE(changed.size(), 2); // no date: left for the reader
    e.setDate(QDate());
    QCOMPARE(changed.size(), 3);
    QVERIFY(e.isEmpty());
    QCOMPARE(e.dateOrNull(), QDate());
}

void TestDateTimeEdits::dropDownPicksTodayAndClears()
{
    TestEnvironment env(QDateTime(QDate(2026, 3, 31), QTime(9, 0)));
    DateEdit e;
    e.show();
    e.setDate(QDate(2026, 1, 15));
    e.showPopup();
    DatePopup* p = e.popup();
    QVERIFY(p && p->isVisible());
    QCOMPARE(p->calendar()->firstDayOfWeek(), Qt::Monday);
    QCOMPARE(p->calendar()->selectedDate(), QDate(2026, 1, 15));
    emit p->calendar()->clicked(QDate(2026, 1, 20));
    QVERIFY(!p->isVisible());
    QCOMPARE(e.date(), QDate(2026, 1, 20));
    e.showPopup();
    QTest::mouseClick(p->todayButton(), Qt::LeftButton);
    QCOMPARE(e.date(), QDate(2026, 3, 31)); // the program's clock, not the system's
    e.showPopup();
    QTest::mouseClick(p->clearButton(), Qt::LeftButton);
    QVERIFY(e.isEmpty());
    QVERIFY(!p->isVisible());
}

void TestDateTimeEdits::timeTextsAndSteps()
{
    TestEnvironment env;
    TimeEdit t;
    t.setTime(QTime(9, 5, 7));
    QCOMPARE(t.text(), QStringLiteral("09:05:07"));
    t.setText(QStringLiteral("7:30")); // seconds may be left out
    QCOMPARE(t.time(), QTime(7, 30));
    t.setTime(QTime(23, 59, 30));
    t.show();
    t.setFocus();
    QTest::keyClick(&t, Qt::Key_End);
    QTest::keyClick(&t, Qt::Key_Up); // the seconds, under the cursor
    QCOMPARE(t.time(), QTime(23, 59, 31));
    QTest::keyClick(&t, Qt::Key_Home);
    QTest::keyClick(&t, Qt::Key_Up); // the hours wrap
    QCOMPARE(t.time(), QTime(0, 59, 31));
    t.setTime(QTime());
    QVERIFY(t.isEmpty());
    QCOMPARE(errorOf([&] { t.time(); }), QStringLiteral("'' is not a valid time"));
    t.setText(QStringLiteral("25:00:00"));
    QCOMPARE(errorOf([&] { t.time(); }), QStringLiteral("'25:00:00' is not a valid time"));
}

void TestDateTimeEdits::spinEditBringsTypedValuesIntoRange_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("value");
    QTest::newRow("inside") << "42" << 42;
    QTest::newRow("above") << "250" << 60;
    QTest::newRow("far above") << "99999999999" << 60;
    QTest::newRow("zero") << "0" << 1;
}

void TestDateTimeEdits::spinEditBringsTypedValuesIntoRange()
{
    QFETCH(QString, typed);
    QFETCH(int, value);
    SpinEdit s;
    s.setRange(1, 60);
    s.setValue(10);
    s.show();
    s.selectAll();
    QTest::keyClicks(&s, typed);
    QCOMPARE(s.readValue(), value);
    QCOMPARE(s.text(), QString::number(value));
}

QTEST_MAIN(TestDateTimeEdits)
#include "tst_datetimeedits.moc"
