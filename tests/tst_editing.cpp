#include "WindowTestSupport.h"
#include "editing/addrc.h"
#include "editing/cfsz.h"
#include "editing/xgrc.h"
#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/DayNumber.h"
#include "platform/Desktop.h"
#include "platform/Formats.h"
#include "platform/ProgramDir.h"
#include "shell/Application.h"
#include "shell/data/Statements.h"
#include "shell/data/dataForm.h"
#include "shell/public.h"
#include "widgets/DateTimeEdits.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextLimits.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {
const QDate today(2026, 3, 31);

struct Stored {
    QString title, content;
    QDate date;
    QTime time;
    int yxj, zt, isTx, txTime, txFlag;
    QString bz;
    // "title|content|date time|yxj zt isTx txTime txFlag|bz", to compare whole.
    QString text() const
    {
        return QStringLiteral("%1|%2|%3 %4|%5 %6 %7 %8 %9|%10")
            .arg(title, content, date.toString(Qt::ISODate), time.toString(Qt::ISODate))
            .arg(yxj)
            .arg(zt)
            .arg(isTx)
            .arg(txTime)
            .arg(txFlag)
            .arg(bz);
    }
};

QList<Stored> storedRows()
{
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql(QStringLiteral("select * from main order by id"));
    q.open();
    QList<Stored> out;
    for (; !q.eof(); q.next())
        out.append({q.textField(QStringLiteral("title")), q.textField(QStringLiteral("content")),
                    DayNumber::toDate(q.dateTimeField(QStringLiteral("rc_date"))),
                    DayNumber::toTime(q.dateTimeField(QStringLiteral("rc_time"))),
                    q.intField(QStringLiteral("yxj")), q.intField(QStringLiteral("zt_flag")),
                    q.intField(QStringLiteral("is_tx")), q.intField(QStringLiteral("tx_time")),
                    q.intField(QStringLiteral("tx_time_flag")), q.textField(QStringLiteral("bz"))});
    return out;
}

QList<QDate> storedDates()
{
    QList<QDate> out;
    for (const Stored& s : storedRows())
        out << s.date;
    return out;
}

qint64 addRow(const QString& title, const QDate& date, int isTx)
{
    DbTable& t = DataModule1->mydata;
    t.open();
    t.append();
    t.setField(QStringLiteral("title"), title);
    t.setField(QStringLiteral("content"), QStringLiteral("带上材料"));
    t.setField(QStringLiteral("rc_date"), date);
    t.setField(QStringLiteral("rc_time"), QTime(14, 30));
    t.setField(QStringLiteral("yxj"), 1);
    t.setField(QStringLiteral("tx_time_flag"), 2);
    t.setField(QStringLiteral("is_tx"), isTx);
    t.setField(QStringLiteral("tx_time"), 3);
    t.post();
    t.close();
    return t.lastId();
}
} // namespace

class TestEditing : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { env.reset(); }

    void openerPresetSurvivesTheShowing();
    void missingPlanListStillSetsTheRepeatDefaults();
    void validation_data();
    void validation();
    void storesTrimmedTextAndTheLeadEvenWithoutReminder();
    void resetAfterAddAsksForATimeAgain();
    void seriesComesFromTheRepeatWindow();
    void lunarSeriesTakesTheStartsMonthAndDay();
    void databaseErrorStopsTheSeriesKeepingPostedRows();
    void byteLimits();
    void closingSetsRefreshFlagAndFreesTheWindow();

    void repeatWindowShowResetsOnlySomeControls();
    void repeatDateChecks();
    void readBack_data();
    void readBack();

    void modifyLoadsTheRow_data();
    void modifyLoadsTheRow();
    void modifySavesAsTyped();
    void modifyReloadsOnActivationAndCloseStoresNothing();
    void modifyMissingScheduleIsReportedAndNeverAdded();
    void modifyEmptyDateWritesNothing();
    void failedLoadIsNotRetriedByItsOwnErrorBox();

    void unreadablePlanListSetsNoDefaults();
    void planTitlesKeepTheLimit();
    void windowsUnderSystemFormats_data();
    void windowsUnderSystemFormats();
    void modifyShowsLongStoredTextWhole();
    void repeatWindowWithABadDateStaysOpenAndChangesNothing();
    void inputsAreNamedByTheirLabels();

private:
    TaddrcForm* openAddWindow();
    std::unique_ptr<WindowTestEnvironment> env;
};

void TestEditing::init()
{
    env = std::make_unique<WindowTestEnvironment>(QDateTime(today, QTime(9, 0)));
    writeFile(env->programDir() + QStringLiteral("plans.txt"), "周例会\r\n\r\n提交周报\r\n");
    env->openData();
    env->create(cfszForm);
    env->create(xgrcForm);
    env->own(addrcForm);
}

TaddrcForm* TestEditing::openAddWindow()
{
    addrcForm = new TaddrcForm();
    Dialogs::instance().showModal(addrcForm, nullptr);
    return addrcForm;
}

void TestEditing::openerPresetSurvivesTheShowing()
{
    addrcForm = new TaddrcForm();
    addrcForm->date_value->setDate(today.addDays(1));
    Dialogs::instance().showModal(addrcForm, nullptr);
    QCOMPARE(addrcForm->date_value->text(), QStringLiteral("2026-4-1"));
    // Every title of the list, the empty one too, in file order; the field stays empty.
    QCOMPARE(addrcForm->title->count(), 3);
    QCOMPARE(addrcForm->title->itemText(1), QString());
    QCOMPARE(addrcForm->title->currentText(), QString());
    QStringList opened;
    Desktop::setOpener([&](const QString& f) { return opened << f, true; });
    click(addrcForm->RzBitBtn1);
    // help.chm of the program folder, whatever the current folder is.
    QCOMPARE(opened, QStringList{ProgramDir::file(QStringLiteral("help.chm"))});
}

void TestEditing::missingPlanListStillSetsTheRepeatDefaults()
{
    QFile::remove(env->programDir() + QStringLiteral("plans.txt"));
    TaddrcForm* w = openAddWindow();
    QCOMPARE(w->title->count(), 0);
    QVERIFY(env->dialogs().errors().isEmpty());
    w->title->setEditText(QStringLiteral("晨跑"));
    click(w->cfszCheckBox);
    click(w->addConfirm);
    QCOMPARE(storedDates(), (QList<QDate>{today, today.addDays(1), today.addDays(2),
                                          today.addDays(3), today.addDays(4)}));
}

void TestEditing::validation_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<bool>("series");
    QTest::addColumn<QStringList>("shown"); // kind:text, in order
    QTest::addColumn<int>("rows");
    const QString title = QStringLiteral("周会");
    const QString t = QStringLiteral("2026-3-31");
    const QString ten = QStringLiteral("10:00:00");
    const QString noTitle = QStringLiteral("message:     请填写日程标题！     ");
    const QString noTime = QStringLiteral("message:     请选择日程时间！     ");
    const QString past = QStringLiteral("message:日程时间不能早于当前时间，请重新输！");
    const QString ask = QStringLiteral("confirm:     确定添加该日程吗？     ");
    const QString done = QStringLiteral("message:     日程添加成功！     ");
    const QTime nine(9, 0);

    QTest::newRow("blank title before anything else")
        << QStringLiteral("  \t ") << QString() << QString() << nine << false
        << QStringList{noTitle} << 0;
    QTest::newRow("time before date")
        << title << QString() << QStringLiteral("  ") << nine << false << QStringList{noTime} << 0;
    QTest::newRow("empty date") << title << QStringLiteral(" ") << ten << nine << false
                                << QStringList{QStringLiteral("message:     请选择日程日期！     ")}
                                << 0;
    QTest::newRow("yesterday, whatever the time")
        << title << QStringLiteral("2026-3-30") << QStringLiteral("23:59:59") << nine << false
        << QStringList{past} << 0;
    QTest::newRow("today, clock just before")
        << title << t << ten << QTime(9, 59, 59, 999) << false << QStringList{ask, done} << 1;
    QTest::newRow("today, clock equal")
        << title << t << ten << QTime(10, 0) << false << QStringList{ask, done} << 1;
    QTest::newRow("today, clock one ms after")
        << title << t << ten << QTime(10, 0, 0, 1) << false << QStringList{past} << 0;
    QTest::newRow("tomorrow at midnight, late tonight")
        << title << QStringLiteral("2026-4-1") << QStringLiteral("00:00:00") << QTime(23, 59)
        << false << QStringList{ask, done} << 1;
    QTest::newRow("typed date that is no date")
        << title << QStringLiteral("明天") << ten << nine << false
        << QStringList{QStringLiteral("error:'明天' is not a valid date.")} << 0;
    QTest::newRow("series skips date, past and question")
        << title << QStringLiteral("2020-1-1") << QStringLiteral("08:00:00") << nine << true
        << QStringList{done} << 5;
    QTest::newRow("series still needs a time")
        << title << t << QString() << nine << true << QStringList{noTime} << 0;
}

void TestEditing::validation()
{
    QFETCH(QString, title);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QTime, now);
    QFETCH(bool, series);
    QFETCH(QStringList, shown);
    QFETCH(int, rows);
    TaddrcForm* w = openAddWindow();
    w->title->setEditText(title);
    w->date_value->setText(date);
    w->time_value->setText(time);
    if (series)
        click(w->cfszCheckBox);
    env->setNow(QDateTime(today, now));
    env->dialogs().clear();
    click(w->addConfirm);
    QStringList got;
    for (const auto& s : env->dialogs().shown)
        got << s.kind + QLatin1Char(':') + s.text;
    QCOMPARE(got, shown);
    QCOMPARE(storedRows().size(), rows);
    // A refused add leaves every input as it was.
    if (rows == 0) {
        // (a tab is a blank in a single-line field)
        QCOMPARE(w->title->currentText(),
                 QString{title}.replace(QLatin1Char('\t'), QLatin1Char(' ')));
        QCOMPARE(w->date_value->text(), date);
        QCOMPARE(w->time_value->text(), time);
    }
}

void TestEditing::storesTrimmedTextAndTheLeadEvenWithoutReminder()
{
    TaddrcForm* w = openAddWindow();
    w->title->setEditText(QStringLiteral(" \t项目评审　 "));
    w->content->setPlainText(QStringLiteral("\n  三楼会议室\r\n"));
    w->date_value->setDate(QDate(2026, 4, 2));
    w->time_value->setText(QStringLiteral("14:30:15"));
    w->yxj->setCurrentIndex(2);
    w->tx_time_flag->setCurrentIndex(1);
    w->tx_time_edit->setValue(25);
    click(w->tx_check);
    env->dialogs().confirmAnswers = {false, true};
    click(w->addConfirm);
    QCOMPARE(storedRows().size(), 0); // answered No
    click(w->addConfirm);
    const QList<Stored> rows = storedRows();
    QCOMPARE(rows.size(), 1);
    // Blanks and control characters go; the ideographic space is no blank. The
    // lead is stored though the reminder is off.
    QCOMPARE(rows[0].text(),
             QStringLiteral("项目评审　|三楼会议室|2026-04-02 14:30:15|2 1 0 25 1|"));
    QCOMPARE(refreshFlag, 0); // only closing the window tells the tree
}

void TestEditing::resetAfterAddAsksForATimeAgain()
{
    TaddrcForm* w = openAddWindow();
    w->title->setEditText(QStringLiteral("体检"));
    w->content->setPlainText(QStringLiteral("空腹"));
    w->date_value->setDate(today.addDays(3));
    w->yxj->setCurrentIndex(1);
    w->tx_time_flag->setCurrentIndex(2);
    click(w->tx_check);
    w->tx_time_edit->setValue(30);
    click(w->addConfirm);
    QCOMPARE(w->title->currentText(), QString());
    QCOMPARE(w->content->toPlainText(), QString());
    QCOMPARE(w->date_value->date(), today);
    QVERIFY(w->time_value->isEmpty());
    QCOMPARE(w->yxj->currentIndex(), 0);
    QCOMPARE(w->tx_time_flag->currentIndex(), 0);
    QVERIFY(!w->tx_check->isChecked());
    QCOMPARE(w->tx_time_edit->value(), 30);
    w->title->setEditText(QStringLiteral("体检"));
    env->dialogs().clear();
    click(w->addConfirm);
    QCOMPARE(env->dialogs().messages(), QStringList{"     请选择日程时间！     "});
    QCOMPARE(storedRows().size(), 1);
}

void TestEditing::seriesComesFromTheRepeatWindow()
{
    TaddrcForm* w = openAddWindow();
    w->title->setEditText(QStringLiteral("例会"));
    click(w->cfszCheckBox);
    click(w->cfsz);
    QVERIFY(cfszForm->isVisible());
    click(cfszForm->RadioGroup1_1);
    QVERIFY(cfszForm->weekPanel->isVisible() && !cfszForm->dayPanel->isVisible());
    click(cfszForm->CheckBox2); // Tuesday: 2026-3-31 is one
    click(cfszForm->CheckBox5);
    cfszForm->cfcsEdit->setValue(2);
    click(cfszForm->confirmButton);
    QVERIFY(!cfszForm->isVisible());
    QCOMPARE(w->cfSettings.cfMode, int(RepeatSettings::Weekly));
    click(w->addConfirm);
    QCOMPARE(storedDates(), (QList<QDate>{QDate(2026, 3, 31), QDate(2026, 4, 3), QDate(2026, 4, 7),
                                          QDate(2026, 4, 10)}));
    // After the add the defaults are back: five days from today.
    w->title->setEditText(QStringLiteral("晨跑"));
    w->time_value->setText(QStringLiteral("07:00:00"));
    click(w->cfszCheckBox);
    click(w->addConfirm);
    QCOMPARE(storedDates().size(), 9);
    QCOMPARE(storedDates().last(), today.addDays(4));
}

void TestEditing::lunarSeriesTakesTheStartsMonthAndDay()
{
    TaddrcForm* w = openAddWindow();
    w->title->setEditText(QStringLiteral("生日"));
    click(w->cfszCheckBox);
    click(w->cfsz);
    TcfszForm* f = cfszForm;
    click(f->RadioGroup1_4);
    QVERIFY(f->lunarPanel->isVisible() && !f->yearPanel->isVisible() && !f->dayPanel->isVisible());
    auto shown = [f] {
        QStringList items;
        for (int i = 0; i < f->lunarMonthComboBox->count(); ++i)
            items << f->lunarMonthComboBox->itemText(i);
        return items.join('|') + ' ' + f->lunarMonthComboBox->currentText() + ' ' +
               f->lunarDayLabel->text();
    };
    f->cfcsEdit->setValue(2);
    // 2026-06-15 is 五月初一; 2027 has no 闰五月, 2028 has one from 2028-06-23.
    f->cfksdate->setDate(QDate(2026, 6, 15));
    QCOMPARE(shown(), QString("五月 五月 初一"));
    f->cfksdate->setDate(QDate(2028, 5, 28));
    QCOMPARE(shown(), QString("五月|闰五月 五月 初五"));
    f->lunarMonthComboBox->setCurrentIndex(1);
    f->cfcsEdit->setValue(1); // the choice stays while it is offered
    QCOMPARE(shown(), QString("五月|闰五月 闰五月 初五"));
    click(f->RadioGroup2_1);
    f->cfjsdate->setDate(QDate(2028, 6, 22)); // ends before it: the ordinary month
    QCOMPARE(shown(), QString("五月 五月 初五"));
    f->cfjsdate->setDate(QDate(2029, 6, 16));
    f->lunarMonthComboBox->setCurrentIndex(1);
    click(f->confirmButton);
    QCOMPARE(w->cfSettings.cfMode, int(RepeatSettings::LunarYearly));
    QCOMPARE(w->cfSettings.cfLunarMonth, 5);
    QCOMPARE(w->cfSettings.cfLunarLeap, 1);
    QCOMPARE(w->cfSettings.cfLunarDay, 5);
    click(w->addConfirm);
    QCOMPARE(storedDates(), (QList<QDate>{QDate(2028, 6, 27), QDate(2029, 6, 16)}));
    QCOMPARE(env->dialogs().messages(), QStringList{"     日程添加成功！     "});
}

void TestEditing::databaseErrorStopsTheSeriesKeepingPostedRows()
{
    DataModule1->ADOConnection1.exec(
        QStringLiteral("CREATE TRIGGER full BEFORE INSERT ON main WHEN NEW.rc_date = %1 "
                       "BEGIN SELECT RAISE(ABORT, 'disk full'); END")
            .arg(DayNumber::fromDate(today.addDays(2))));
    TaddrcForm* w = openAddWindow();
    w->title->setEditText(QStringLiteral("例会"));
    click(w->cfszCheckBox);
    env->dialogs().clear();
    click(w->addConfirm);
    QCOMPARE(env->dialogs().errors(), QStringList{"disk full."});
    QVERIFY(env->dialogs().messages().isEmpty());
    QCOMPARE(storedDates(), (QList<QDate>{today, today.addDays(1)}));
    QCOMPARE(w->title->currentText(), QStringLiteral("例会")); // no reset
    QVERIFY(!DataModule1->mydata.active());
}

void TestEditing::byteLimits()
{
    TaddrcForm* w = openAddWindow();
    type(w->title->lineEdit(), QString(20, QChar(0x65E5))); // 日 is two bytes
    QCOMPARE(w->title->currentText(), QString(15, QChar(0x65E5)));
    QTest::keyClicks(w->content, QString(205, QLatin1Char('a')));
    QCOMPARE(w->content->toPlainText().size(), 200);
    xgrcForm->title->clear();
    QTest::keyClicks(xgrcForm->title, QString(31, QLatin1Char('b')));
    QCOMPARE(xgrcForm->title->text().size(), 30);
}

void TestEditing::closingSetsRefreshFlagAndFreesTheWindow()
{
    QPointer<TaddrcForm> w = openAddWindow();
    QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
    w->close();
    QCOMPARE(refreshFlag, 1);
    QTRY_VERIFY(w.isNull());
    QCOMPARE(addrcForm, nullptr);
}

void TestEditing::repeatWindowShowResetsOnlySomeControls()
{
    TcfszForm* f = cfszForm;
    f->show();
    click(f->RadioGroup1_2);
    f->monthEdit->setValue(3);
    f->yearComboBox->setCurrentIndex(7);
    f->dayEdit->setValue(7);
    click(f->monthCheckBox);
    click(f->RadioGroup2_1);
    f->cfcsEdit->setValue(9);
    f->cfksdate->setDate(today.addDays(20));
    f->close();
    env->setNow(QDateTime(QDate(2026, 5, 12), QTime(8, 0)));
    f->show();
    QCOMPARE(f->RadioGroup1Index(), 0);
    QVERIFY(f->dayPanel->isVisible() && !f->monthPanel->isVisible());
    QCOMPARE(f->monthEdit->value(), 12);
    QCOMPARE(f->yearComboBox->currentText(), QStringLiteral("五月"));
    QCOMPARE(f->yearEdit->value(), 12);
    QCOMPARE(f->cfksdate->date(), QDate(2026, 5, 12));
    QCOMPARE(f->cfjsdate->date(), QDate(2026, 5, 21));
    // Kept from the last showing.
    QCOMPARE(f->dayEdit->value(), 7);
    QVERIFY(f->monthCheckBox->isChecked() && !f->monthEdit->isEnabled());
    QCOMPARE(f->RadioGroup2Index(), 1);
    QVERIFY(!f->cfcsEdit->isEnabled() && f->cfjsdate->isEnabled());
    QVERIFY(!f->yearComboBox->isEditable());
    QCOMPARE(f->yearComboBox->count(), 12);
    QVERIFY(env->dialogs().messages().isEmpty());
}

void TestEditing::repeatDateChecks()
{
    TcfszForm* f = cfszForm;
    f->show();
    QCOMPARE(f->cfjsdate->date(), today.addDays(5));
    f->cfksdate->setDate(today.addDays(-1));
    QCOMPARE(env->dialogs().messages(), QStringList{"重复开始日期不能早于今天!"});
    QCOMPARE(f->cfksdate->date(), today);
    env->dialogs().clear();
    f->cfksdate->setDate(today.addDays(10)); // the end date is not looked at
    QVERIFY(env->dialogs().messages().isEmpty());
    QCOMPARE(f->cfjsdate->date(), today.addDays(5));
    f->cfjsdate->setDate(today.addDays(10)); // equal passes
    QVERIFY(env->dialogs().messages().isEmpty());
    f->cfjsdate->setDate(today.addDays(9));
    QCOMPARE(env->dialogs().messages(), QStringList{"重复截止日期不能早于重复开始日期!"});
    QCOMPARE(f->cfjsdate->date(), today.addDays(15));
    env->dialogs().clear();
    f->cfksdate->setDate(QDate()); // emptied: earlier than today
    QCOMPARE(f->cfksdate->date(), today);
    QCOMPARE(env->dialogs().messages().size(), 1);
}

void TestEditing::readBack_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("expected"); // the record's fields after the read-back
    // Starts from a record of sentinels: only the mode's own fields may change.
    QTest::newRow("每天 by count") << 0 << 0 << "0 4 {} 99 0 99 99 2026-4-1 2026-4-6 5 0";
    QTest::newRow("每周 by end") << 1 << 1 << "1 99 {1,7} 99 0 99 99 2026-4-1 2026-4-6 5 1";
    QTest::newRow("每月") << 2 << 0 << "2 99 {} 31 1 99 99 2026-4-1 2026-4-6 5 0";
    QTest::newRow("每年") << 3 << 0 << "3 99 {} 99 0 2 30 2026-4-1 2026-4-6 5 0";
}

void TestEditing::readBack()
{
    QFETCH(int, mode);
    QFETCH(int, range);
    QFETCH(QString, expected);
    TcfszForm* f = cfszForm;
    f->show();
    click(f->findChild<QRadioButton*>(QStringLiteral("RadioGroup1_%1").arg(mode)));
    click(f->findChild<QRadioButton*>(QStringLiteral("RadioGroup2_%1").arg(range)));
    f->dayEdit->setValue(4);
    click(f->CheckBox1);
    click(f->CheckBox7);
    f->monthEdit->setValue(31);
    click(f->monthCheckBox);
    f->yearComboBox->setCurrentIndex(1);
    f->yearEdit->setValue(30);
    f->cfksdate->setDate(today.addDays(1));
    f->cfjsdate->setDate(today.addDays(6));
    RepeatSettings r;
    r.cfDays = r.cfMonthDay = r.cfYearMonth = r.cfYearDay = 99;
    r.cfMonthLast = 0;
    f->readBack(r);
    QStringList days;
    for (int k : r.cfWeekdays.values()) // a set: sort for a stable text
        days << QString::number(k);
    days.sort();
    const QString got = QStringLiteral("%1 %2 {%3} %4 %5 %6 %7 %8 %9 %10 %11")
                            .arg(r.cfMode)
                            .arg(r.cfDays)
                            .arg(days.join(QLatin1Char(',')))
                            .arg(r.cfMonthDay)
                            .arg(r.cfMonthLast)
                            .arg(r.cfYearMonth)
                            .arg(r.cfYearDay)
                            .arg(r.cfStart.toString(QStringLiteral("yyyy-M-d")),
                                 r.cfEnd.toString(QStringLiteral("yyyy-M-d")))
                            .arg(r.cfCount)
                            .arg(r.cfRangeKind);
    QCOMPARE(got, expected);
}

void TestEditing::modifyLoadsTheRow_data()
{
    QTest::addColumn<int>("isTx");
    QTest::addColumn<bool>("checked");
    QTest::newRow("off") << 0 << false;
    QTest::newRow("on") << 1 << true;
    QTest::newRow("any other value") << 7 << true;
}

void TestEditing::modifyLoadsTheRow()
{
    QFETCH(int, isTx);
    QFETCH(bool, checked);
    xgrcForm->scheduleId = int(addRow(QStringLiteral("周会"), today.addDays(2), isTx));
    Dialogs::instance().showModal(xgrcForm, nullptr);
    TxgrcForm* f = xgrcForm;
    QCOMPARE(f->title->text(), QStringLiteral("周会"));
    QCOMPARE(f->time_value->text(), QStringLiteral("14:30:00"));
    QCOMPARE(f->tx_time_flag->currentText(), QStringLiteral("天"));
    QCOMPARE(f->tx_check->isChecked(), checked);
    QCOMPARE(f->tx_time_edit->isEnabled(), checked);
}

void TestEditing::modifySavesAsTyped()
{
    addRow(QStringLiteral("other"), today, 1);
    const qint64 id = addRow(QStringLiteral("周会"), today.addDays(2), 1);
    {
        DbQuery q(DataModule1->ADOConnection1);
        q.setSql(Sql::scheduleById(id));
        q.open();
        q.edit();
        q.setField(QStringLiteral("zt_flag"), 3);
        q.setField(QStringLiteral("bz"), QStringLiteral("已通知"));
        q.post();
    }
    xgrcForm->scheduleId = int(id);
    Dialogs::instance().showModal(xgrcForm, nullptr);
    TxgrcForm* f = xgrcForm;
    f->title->setText(QStringLiteral("  "));
    f->content->setPlainText(QStringLiteral(" 改到线上 "));
    f->date_value->setDate(today.addDays(-10));
    f->time_value->setText(QStringLiteral("08:05:00"));
    f->yxj->setCurrentIndex(2);
    f->tx_time_flag->setCurrentIndex(0);
    f->tx_time_edit->setValue(100);
    click(f->tx_check);
    click(f->xgConfirm);
    QCOMPARE(env->dialogs().messages(), QStringList{"     日程修改成功！     "});
    QCOMPARE(refreshFlag, 1);
    QVERIFY(!f->isVisible());
    const QList<Stored> rows = storedRows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].title, QStringLiteral("other"));
    // Status and note are not the window's: they stay.
    QCOMPARE(rows[1].text(),
             QStringLiteral("  | 改到线上 |2026-03-21 08:05:00|2 3 0 100 0|已通知"));
}

void TestEditing::modifyReloadsOnActivationAndCloseStoresNothing()
{
    xgrcForm->scheduleId = int(addRow(QStringLiteral("周会"), today, 1));
    Dialogs::instance().showModal(xgrcForm, nullptr);
    QApplication::processEvents();
    xgrcForm->title->setText(QStringLiteral("改了"));
    click(xgrcForm->tx_check);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(xgrcForm, &activate);
    QCOMPARE(xgrcForm->title->text(), QStringLiteral("周会"));
    QVERIFY(xgrcForm->tx_check->isChecked());
    xgrcForm->title->setText(QStringLiteral("改了"));
    xgrcForm->close();
    QCOMPARE(storedRows()[0].title, QStringLiteral("周会"));
    QCOMPARE(refreshFlag, 0);
}

void TestEditing::modifyMissingScheduleIsReportedAndNeverAdded()
{
    const qint64 id = addRow(QStringLiteral("周会"), today, 1);
    xgrcForm->scheduleId = int(id) + 1;
    Dialogs::instance().showModal(xgrcForm, nullptr);
    QTRY_VERIFY(!xgrcForm->isVisible());
    QCOMPARE(env->dialogs().messages(), QStringList{"该日程已不存在！"});
    // A row removed while the window is open: saving says so and adds nothing.
    env->dialogs().clear();
    xgrcForm->scheduleId = int(id);
    Dialogs::instance().showModal(xgrcForm, nullptr);
    DbQuery del(DataModule1->ADOConnection1);
    del.setSql(Sql::deleteSchedule(id));
    del.execSql();
    click(xgrcForm->xgConfirm);
    QCOMPARE(env->dialogs().messages(), QStringList{"该日程已不存在！"});
    QVERIFY(!xgrcForm->isVisible());
    QCOMPARE(storedRows().size(), 0);
    QCOMPARE(refreshFlag, 0);
    QTest::qWait(20); // no late message from the missing-row path
    QCOMPARE(env->dialogs().messages().size(), 1);
}

void TestEditing::modifyEmptyDateWritesNothing()
{
    xgrcForm->scheduleId = int(addRow(QStringLiteral("周会"), today, 1));
    Dialogs::instance().showModal(xgrcForm, nullptr);
    xgrcForm->title->setText(QStringLiteral("改了"));
    xgrcForm->date_value->setDate(QDate());
    click(xgrcForm->xgConfirm);
    QCOMPARE(env->dialogs().errors(), QStringList{"'' is not a valid date."});
    QVERIFY(xgrcForm->isVisible());
    QCOMPARE(storedRows()[0].title, QStringLiteral("周会"));
    QCOMPARE(storedRows()[0].date, today);
}

void TestEditing::failedLoadIsNotRetriedByItsOwnErrorBox()
{
    xgrcForm->scheduleId = int(addRow(QStringLiteral("周会"), today, 1));
    Dialogs::instance().showModal(xgrcForm, nullptr);
    QApplication::processEvents();
    DataModule1->ADOConnection1.exec(QStringLiteral("ALTER TABLE main RENAME TO gone"));
    auto activate = [] {
        QEvent e(QEvent::WindowActivate);
        runGuarded([&] { QApplication::sendEvent(xgrcForm, &e); });
    };
    activate(); // fails: the error box shows
    QCOMPARE(env->dialogs().errors().size(), 1);
    activate(); // the return from that box: not loaded again
    QCOMPARE(env->dialogs().errors().size(), 1);
    activate(); // a later activation tries again
    QCOMPARE(env->dialogs().errors().size(), 2);
}

void TestEditing::unreadablePlanListSetsNoDefaults()
{
    // A folder in the list's place: it exists and cannot be read, even as root.
    QFile::remove(env->programDir() + QStringLiteral("plans.txt"));
    QVERIFY(QDir(env->programDir()).mkdir(QStringLiteral("plans.txt")));
    TaddrcForm* w = openAddWindow();
    QCOMPARE(env->dialogs().errors().size(), 1);
    QVERIFY(env->dialogs().errors().first().startsWith(QStringLiteral("Cannot open file")));
    QCOMPARE(w->title->count(), 0);
    QVERIFY(!w->cfSettings.cfStart.isValid()); // the defaults were not set
    w->title->setEditText(QStringLiteral("晨跑"));
    click(w->cfszCheckBox);
    click(w->addConfirm);
    QCOMPARE(storedRows().size(), 0);
}

void TestEditing::planTitlesKeepTheLimit()
{
    writeFile(env->programDir() + QStringLiteral("plans.txt"),
              Cp936::encode(QString(40, QChar(0x4F1A))) + "\r\n");
    TaddrcForm* w = openAddWindow();
    w->title->setCurrentIndex(0); // chosen from the list
    QCOMPARE(w->title->currentText(), QString(15, QChar(0x4F1A)));
    w->time_value->setText(QStringLiteral("23:00:00"));
    click(w->addConfirm);
    QCOMPARE(storedRows().value(0).title, QString(15, QChar(0x4F1A)));
}

void TestEditing::windowsUnderSystemFormats_data()
{
    QTest::addColumn<QString>("locale");
    for (const char* l : {"en_US", "de_DE", "zh_CN", "zh_TW", "C"})
        QTest::newRow(l) << QString::fromLatin1(l);
}

void TestEditing::windowsUnderSystemFormats()
{
    QFETCH(QString, locale);
    Formats::setLocale(QLocale(locale));
    // The add window's own date field: today, read back as today.
    TaddrcForm* w = openAddWindow();
    QCOMPARE(w->date_value->date(), today);
    w->title->setEditText(QStringLiteral("周会"));
    w->date_value->setDate(today.addDays(1));
    w->time_value->setTime(QTime(8, 30));
    click(w->addConfirm);
    QCOMPARE(env->dialogs().messages().last(), QStringLiteral("     日程添加成功！     "));
    QCOMPARE(storedRows().value(0).date, today.addDays(1));
    // The repeat window opens on today without a word, and its series lands there.
    click(w->cfszCheckBox);
    click(w->cfsz);
    QCOMPARE(env->dialogs().messages().size(), 1);
    click(cfszForm->confirmButton);
    QCOMPARE(w->cfSettings.cfStart, today);
    w->title->setEditText(QStringLiteral("晨跑"));
    w->time_value->setTime(QTime(7, 0));
    click(w->addConfirm);
    QCOMPARE(storedRows().value(1).date, today);
    // The modify window saves what it loaded.
    xgrcForm->scheduleId = int(addRow(QStringLiteral("远期"), QDate(2071, 6, 30), 1));
    Dialogs::instance().showModal(xgrcForm, nullptr);
    click(xgrcForm->xgConfirm);
    QCOMPARE(storedRows().last().date, QDate(2071, 6, 30));
    QCOMPARE(storedRows().last().time, QTime(14, 30));
}

void TestEditing::modifyShowsLongStoredTextWhole()
{
    // Written by another program: longer than the windows let anyone type.
    const QString longTitle(40, QChar(0x9898));
    const QString longContent = QString(130, QChar(0x5185)) + QStringLiteral("尾");
    const qint64 shortOne = addRow(QStringLiteral("短"), today, 1);
    const qint64 longOne = addRow(QStringLiteral("x"), today, 1);
    DataModule1->ADOConnection1.exec(QStringLiteral("update main set title='%1', content='%2' "
                                                    "where id=%3")
                                         .arg(longTitle, longContent)
                                         .arg(longOne));
    for (qint64 id : {shortOne, longOne}) {
        xgrcForm->scheduleId = int(id);
        Dialogs::instance().showModal(xgrcForm, nullptr);
        xgrcForm->close();
    }
    Dialogs::instance().showModal(xgrcForm, nullptr);
    QCOMPARE(xgrcForm->title->text(), longTitle);
    QCOMPARE(xgrcForm->content->toPlainText(), longContent);
    click(xgrcForm->xgConfirm);
    QCOMPARE(storedRows().last().title, longTitle);
    QCOMPARE(storedRows().last().content, longContent);
    QCOMPARE(storedRows().first().content, QStringLiteral("带上材料"));
}

void TestEditing::repeatWindowWithABadDateStaysOpenAndChangesNothing()
{
    TaddrcForm* w = openAddWindow();
    const RepeatSettings before = w->cfSettings;
    click(w->cfszCheckBox);
    click(w->cfsz);
    click(cfszForm->RadioGroup1_1);
    click(cfszForm->CheckBox3);
    cfszForm->cfcsEdit->setValue(9);
    cfszForm->cfjsdate->setText(QStringLiteral("下周"));
    env->dialogs().clear();
    click(cfszForm->confirmButton);
    QCOMPARE(env->dialogs().errors(), QStringList{"'下周' is not a valid date."});
    QVERIFY(cfszForm->isVisible());
    QCOMPARE(w->cfSettings.cfMode, before.cfMode);
    QCOMPARE(w->cfSettings.cfCount, before.cfCount);
    QCOMPARE(w->cfSettings.cfWeekdays, before.cfWeekdays);
    // Mended, the window closes and takes everything over.
    cfszForm->cfjsdate->setDate(today.addDays(30));
    click(cfszForm->confirmButton);
    QVERIFY(!cfszForm->isVisible());
    QCOMPARE(w->cfSettings.cfMode, int(RepeatSettings::Weekly));
    QCOMPARE(w->cfSettings.cfCount, 9);
}

void TestEditing::inputsAreNamedByTheirLabels()
{
    TaddrcForm* w = openAddWindow();
    auto name = [](QWidget* input) {
        return QAccessible::queryAccessibleInterface(input)->text(QAccessible::Name);
    };
    // Check boxes keep their captions.
    const QStringList inputs{"title:日程标题",   "content:内容", "date_value:日期",
                             "time_value:时间",  "yxj:优先级",   "tx_time_edit:提前",
                             "tx_check:提    醒"};
    for (QWidget* form : {static_cast<QWidget*>(w), static_cast<QWidget*>(xgrcForm)})
        for (const QString& input : inputs)
            QCOMPARE(input.section(':', 0, 0) + ':' +
                         name(form->findChild<QWidget*>(input.section(':', 0, 0))),
                     input);
    QCOMPARE(name(w->title->lineEdit()), QStringLiteral("日程标题")); // where the focus is
    QCOMPARE(name(cfszForm->cfksdate), QStringLiteral("重复开始日期"));
    QCOMPARE(name(cfszForm->cfjsdate), QStringLiteral("重复截止日期"));
    // No input of the three windows is left to borrow its group box's title.
    for (QWidget* form : {static_cast<QWidget*>(w), static_cast<QWidget*>(xgrcForm),
                          static_cast<QWidget*>(cfszForm)})
        for (QWidget* input : form->findChildren<QWidget*>())
            if (qobject_cast<QLineEdit*>(input) == nullptr &&
                (qobject_cast<QComboBox*>(input) || qobject_cast<QAbstractSpinBox*>(input) ||
                 qobject_cast<QPlainTextEdit*>(input)))
                QVERIFY2(!input->accessibleName().isEmpty(), qPrintable(input->objectName()));
}

int main(int argc, char** argv)
{
    AssistantApplication app(argc, argv);
    TestEditing test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_editing.moc"
