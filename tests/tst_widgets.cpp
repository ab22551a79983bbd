#include "TestSupport.h"
#include "platform/AppError.h"
#include "platform/Database.h"
#include "platform/Formats.h"
#include "widgets/DateTimeEdits.h"
#include "widgets/SnapshotModel.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextLimits.h"

#include <QCalendarWidget>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
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

void paste(QWidget* w, const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
}
} // namespace

class TestWidgets : public QObject {
    Q_OBJECT
private slots:
    void dateTextsAndErrors_data();
    void dateTextsAndErrors();
    void changeIsSentForNewValuesOnly();
    void dropDownPicksTodayAndClears();
    void timeTextsAndSteps();
    void spinEditBringsTypedValuesIntoRange_data();
    void spinEditBringsTypedValuesIntoRange();
    void dateFieldsInSystemFormats_data();
    void dateFieldsInSystemFormats();
    void lineStopsAtTheLimit();
    void memoStopsAtTheLimit();
    void storedTextIsShownWholeAndMayShrink();
    void textComingInIsCleaned_data();
    void textComingInIsCleaned();
    void snapshotModelReadsRowsOnDemand();
};

void TestWidgets::dateTextsAndErrors_data()
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

void TestWidgets::dateTextsAndErrors()
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

void TestWidgets::changeIsSentForNewValuesOnly()
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

void TestWidgets::dropDownPicksTodayAndClears()
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

void TestWidgets::timeTextsAndSteps()
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

void TestWidgets::spinEditBringsTypedValuesIntoRange_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("value");
    QTest::newRow("inside") << "42" << 42;
    QTest::newRow("above") << "250" << 60;
    QTest::newRow("far above") << "99999999999" << 60;
    QTest::newRow("zero") << "0" << 1;
}

void TestWidgets::spinEditBringsTypedValuesIntoRange()
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

void TestWidgets::dateFieldsInSystemFormats_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed"); // 2026-12-10 as a user there types it
    for (const auto& [l, t] : {std::pair{"en_US", "12/10/26"},
                               {"de_DE", "10.12.26"},
                               {"zh_CN", "2026/12/10"},
                               {"zh_TW", "2026/12/10"},
                               {"C", "10 Dec 2026"},
                               {"it_IT", "10/12/26"}})
        QTest::newRow(l) << QString::fromLatin1(l) << QString::fromLatin1(t);
}

void TestWidgets::dateFieldsInSystemFormats()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    TestEnvironment env(QDateTime(QDate(2026, 12, 9), QTime(9, 0)));
    Formats::setLocale(QLocale(locale));
    DateEdit e;
    e.setText(typed);
    QCOMPARE(e.date(), QDate(2026, 12, 10));
    // A field shows the year in full, and reads back what it showed.
    e.setDate(QDate(2090, 1, 2));
    QVERIFY2(e.text().contains(QLatin1String("2090")), qPrintable(e.text()));
    QCOMPARE(e.date(), QDate(2090, 1, 2));
}

void TestWidgets::lineStopsAtTheLimit()
{
    QLineEdit edit;
    TextLimits::limitLine(&edit, 5);
    type(&edit, QStringLiteral("时雀"));
    QCOMPARE(edit.text(), QStringLiteral("时雀"));
    type(&edit, QStringLiteral("雀"));
    QCOMPARE(edit.text(), QStringLiteral("时雀")); // 6 bytes would not fit
    type(&edit, QStringLiteral("ab"));
    QCOMPARE(edit.text(), QStringLiteral("时雀a"));
    // A pasted line break is a blank in a single-line field.
    edit.clear();
    paste(&edit, QStringLiteral("a\nb\r\n"));
    QCOMPARE(edit.text(), QStringLiteral("a b "));
    // Choosing from a list is a way in too.
    QComboBox box;
    box.setEditable(true);
    TextLimits::limitLine(box.lineEdit(), 5);
    TextLimits::setItems(&box, {QStringLiteral("时雀时雀"), QStringLiteral("ab")}, 5);
    QCOMPARE(box.itemText(0), QStringLiteral("时雀"));
    QCOMPARE(box.itemText(1), QStringLiteral("ab"));
}

void TestWidgets::memoStopsAtTheLimit()
{
    LimitedMemo memo;
    memo.setMaxBytes(6);
    memo.show();
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
    paste(&memo, QStringLiteral("toolong"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("ab时cd"));
}

void TestWidgets::storedTextIsShownWholeAndMayShrink()
{
    const QString stored(25, QChar(0x65E5)); // 50 bytes
    LimitedMemo memo;
    memo.setMaxBytes(20);
    memo.setPlainText(QStringLiteral("the row before"));
    memo.setPlainText(stored);
    QCOMPARE(memo.toPlainText(), stored);
    memo.show();
    memo.moveCursor(QTextCursor::End);
    QTest::keyClick(&memo, Qt::Key_Backspace); // shorter: allowed
    QCOMPARE(memo.toPlainText(), stored.left(24));
    type(&memo, QStringLiteral("x")); // longer again: not past the limit
    QCOMPARE(memo.toPlainText(), stored.left(24));

    QLineEdit line;
    TextLimits::limitLine(&line, 10);
    line.setText(stored);
    QCOMPARE(line.text(), stored);
    line.show();
    line.end(false);
    QTest::keyClick(&line, Qt::Key_Backspace);
    QCOMPARE(line.text(), stored.left(24));
    type(&line, QStringLiteral("x"));
    QCOMPARE(line.text(), stored.left(24));
}

void TestWidgets::textComingInIsCleaned_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("memo");
    textRow("override", QStringLiteral("付款给\u202e0001\u202c元"), QStringLiteral("付款给0001元"),
            QStringLiteral("付款给0001元"));
    textRow("terminal escape, tab, line break", QStringLiteral("\x1b[31m红\t字\n二"),
            QStringLiteral("[31m红 字 二"), QStringLiteral("[31m红 字\n二"));
}

void TestWidgets::textComingInIsCleaned()
{
    QFETCH(QString, text);
    QFETCH(QString, line);
    QFETCH(QString, memo);
    QLineEdit edit;
    TextLimits::limitLine(&edit, 100);
    LimitedMemo limited, unlimited;
    limited.setMaxBytes(100);
    for (QWidget* w : std::initializer_list<QWidget*>{&edit, &limited, &unlimited}) {
        w->show();
        paste(w, text);
        type(w, text);
    }
    QCOMPARE(edit.text(), line + line);
    QCOMPARE(limited.toPlainText(), memo + memo);
    QCOMPARE(unlimited.toPlainText(), memo + memo);
}

void TestWidgets::snapshotModelReadsRowsOnDemand()
{
    TestEnvironment env;
    DbConnection c;
    c.setConnectionString(QStringLiteral("Data Source=") + env.programDir() +
                          QStringLiteral("t.db"));
    DbSchema schema;
    schema.steps << "CREATE TABLE t (n INTEGER, s TEXT);";
    c.setSchema(schema);
    c.exec(QStringLiteral("INSERT INTO t VALUES (1, '一'), (2, NULL), (3, '三')"));
    DbQuery q(c);
    q.setSql(QStringLiteral("select * from t order by n"));
    q.open();
    int reads = 0;
    SnapshotModel model(
        {{QStringLiteral("数"),
          [&](const DbSnapshot& rows, int row, int role) -> QVariant {
              if (role != Qt::DisplayRole)
                  return QVariant();
              ++reads;
              return rows.integer(row, 0) * 10;
          }},
         {QStringLiteral("字"), [](const DbSnapshot& rows, int row, int role) -> QVariant {
              return role == Qt::DisplayRole && !rows.isNull(row, 1) ? QVariant(rows.text(row, 1))
                                                                     : QVariant();
          }}});
    model.setSnapshot(q.snapshot());
    q.close(); // the model keeps the rows
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(reads, 0); // nothing is read until asked for
    QCOMPARE(model.index(2, 0).data().toInt(), 30);
    QCOMPARE(model.index(1, 1).data(), QVariant());
    QCOMPARE(reads, 1);
    model.setHeaderRow(true);
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("字"));
    QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("一"));
    QCOMPARE(model.snapshotRow(3), 2);
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
