// The reminder check of the main window and the reminder window, on a real
// database with the clock, the screen and the sound player stood in for.
#include "ReadOnlyFolder.h"
#include "WindowTestSupport.h"
#include "app/Startup.h"
#include "mainwindow/Assistant.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/ResumeWatch.h"
#include "reminders/ReminderLogic.h"
#include "reminders/tx.h"
#include "shell/Application.h"
#include "shell/data/Schedules.h"
#include "shell/data/dataForm.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"

#include <QAccessible>
#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScopeGuard>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

namespace {
const QDate today(2026, 12, 9);
const QDateTime morning(today, QTime(11, 55));
} // namespace

class TestReminders : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { env.reset(); }
    void countdownRestart_data();
    void countdownRestart();
    void hooksRunInOrder();
    void checkStopsAtTheFirstDueRow();
    void checkPlacesAndShows_data();
    void checkPlacesAndShows();
    void daySummary_data();
    void daySummary();
    void itemTextAndEveryDueRow();
    void closingSwitchesOff_data();
    void closingSwitchesOff();
    void aListIsAppliedOnce();
    void moreThan201();
    void nothingDue_data();
    void nothingDue();
    void aShownWindowIsNotRebuilt();
    void aFailedReadIsNotNothingDue_data();
    void aFailedReadIsNotNothingDue();
    void anErrorComesAboveTheShownWindow();
    void itemsShowTheirWholeTextAsToolTip_data();
    void itemsShowTheirWholeTextAsToolTip();
    void toggleActsAsAClick_data();
    void toggleActsAsAClick();
    void aReadOnlyFolderStillReminds();
    void wholeReminder();
    void aListGoesToTheDesktop();
    void systemBusResumeSignal();

private:
    qint64 addSchedule(const QString& title, const QDate& date, const QTime& time, int txTime,
                       int unit = 0, int zt = 1, int isTx = 1);
    int isTxOf(qint64 id);
    void showList(); // the window's showing after the day summary
    std::unique_ptr<WindowTestEnvironment> env;
};

void TestReminders::init()
{
    env = std::make_unique<WindowTestEnvironment>(morning);
    env->copyTrayIcon();
    Desktop::setScreenSize([] { return QSize(1024, 768); });
    createStartupWindows();
    env->atEnd(destroyStartupWindows);
    assistantForm->Timer1->stop(); // the tests tick by hand
    txForm->Timer1->stop();
}

qint64 TestReminders::addSchedule(const QString& title, const QDate& date, const QTime& time,
                                  int txTime, int unit, int zt, int isTx)
{
    DbTable& t = DataModule1->mydata;
    t.open();
    t.append();
    t.setField("title", title);
    t.setField("rc_date", date);
    t.setField("rc_time", time);
    t.setField("zt_flag", zt);
    t.setField("is_tx", isTx);
    t.setField("tx_time", txTime);
    t.setField("tx_time_flag", unit);
    t.post();
    t.close();
    return t.lastId();
}

int TestReminders::isTxOf(qint64 id)
{
    DbQuery q(DataModule1->ADOConnection1);
    return ScheduleData::byId(q, id).value().isTx;
}

void TestReminders::showList()
{
    firstActivation = 0;
    txForm->hide();
    txForm->placeAndShow(0);
}

void TestReminders::countdownRestart_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("restarted");
    QTest::newRow("unchanged: the countdown runs on") << 5 << 5 << false;
    QTest::newRow("changed: restarted with the new period") << 5 << 7 << true;
}

void TestReminders::countdownRestart()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, restarted);
    QTimer* timer = assistantForm->RemindTimer;
    QVERIFY(!timer->isActive()); // off until the first activation
    Settings::Writer().integer(Settings::intervalTime, first);
    assistantForm->FormActivate();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), first * 60000);
    QTest::qWait(60);
    Settings::Writer().integer(Settings::intervalTime, second);
    assistantForm->FormActivate();
    QCOMPARE(timer->interval(), second * 60000);
    const int left = timer->remainingTime();
    if (restarted)
        QVERIFY2(left > second * 60000 - 40, qPrintable(QString::number(left)));
    else
        QVERIFY2(left <= first * 60000 - 50, qPrintable(QString::number(left)));
    // Hidden, the main window keeps its reminders running.
    assistantForm->hide();
    QVERIFY(timer->isActive());
    // A stored period of no time stops the timer rather than racing it.
    Settings::Writer().integer(Settings::intervalTime, 0);
    assistantForm->FormActivate();
    QVERIFY(!timer->isActive());
}

void TestReminders::hooksRunInOrder()
{
    // Without the icon file the activation ends at the tray icon: the timer
    // was started before it, the day summary would have come after it.
    QVERIFY(QFile::remove(env->programDir() + "ovak.ico"));
    Settings::Writer().integer(Settings::txWinPos, 1);
    QVERIFY(!runGuarded([] { assistantForm->FormActivate(); }));
    QVERIFY(assistantForm->RemindTimer->isActive());
    QVERIFY(!txForm->isVisible());
    QCOMPARE(firstActivation, 1);
    env->copyTrayIcon();
    assistantForm->FormActivate();
    QVERIFY(txForm->isVisible());
    QCOMPARE(txForm->pos(), QPoint(357, 309)); // centred, by the txWin_Pos just read
    QVERIFY(txForm->Label5->isVisible());
    QCOMPARE(firstActivation, 0);
    // Only the first time.
    txForm->close();
    assistantForm->FormActivate();
    QVERIFY(!txForm->isVisible());
}

void TestReminders::checkStopsAtTheFirstDueRow()
{
    addSchedule("早已过去", today.addDays(-1), QTime(12, 0), 10); // before today: not read
    addSchedule("还早", today, QTime(13, 0), 10);
    const qint64 first = addSchedule("先到", today, QTime(12, 0), 10);
    addSchedule("也到了", today, QTime(12, 1), 10);
    addSchedule("明天", today.addDays(1), QTime(8, 0), 1, 1);
    int asked = 0;
    const auto isDue = [&asked](const Schedule& s) {
        ++asked;
        return ReminderLogic::isDue(s, Clock::now());
    };
    DbQuery q(DataModule1->ADOConnection1);
    const std::optional<Schedule> due = ScheduleData::firstDueReminder(q, today, isDue);
    QVERIFY(due);
    QCOMPARE(due->id, first);
    QCOMPARE(asked, 1); // in date and time order, 12:00 comes first
    env->setNow(QDateTime(today, QTime(12, 5)));
    QVERIFY(!ScheduleData::firstDueReminder(q, today, isDue));
    QCOMPARE(asked, 1 + 4); // nothing due: every row of today on was asked
}

void TestReminders::checkPlacesAndShows_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("position");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("the timer, bottom-right") << "timer" << 0 << QPoint(712, 593);
    QTest::newRow("the timer, centre") << "timer" << 1 << QPoint(357, 309);
    QTest::newRow("back from suspend") << "resume" << 0 << QPoint(712, 593);
    QTest::newRow("the wall clock jumped") << "jump" << 0 << QPoint(712, 593);
    QTest::newRow("the tray menu's 日程提醒") << "menu" << 1 << QPoint(357, 309);
}

void TestReminders::checkPlacesAndShows()
{
    QFETCH(QString, how);
    QFETCH(int, position);
    QFETCH(QPoint, topLeft);
    assistantForm->FormActivate();
    txForm->close();
    Settings::Writer().integer(Settings::txWinPos, position);
    env->setNow(QDateTime(today, QTime(9, 0)));
    const qint64 id = addSchedule("会议", today, QTime(12, 0), 10);
    assistantForm->Timer1Timer(); // the first look at the clocks
    assistantForm->RemindTimerTimer();
    QVERIFY(!txForm->isVisible()); // not due yet
    env->setNow(morning);
    if (how == "timer")
        assistantForm->RemindTimer->timeout({});
    else if (how == "resume")
        emit assistantForm->resumeWatch->resumed();
    else if (how == "jump")
        assistantForm->Timer1Timer();
    else
        assistantForm->MainMenu->findChild<QAction*>("tx")->trigger();
    QVERIFY(txForm->isVisible());
    QCOMPARE(txForm->pos(), topLeft);
    QCOMPARE(txForm->ids(), QList<qint64>{id});
    QVERIFY(env->dialogs().errors().isEmpty());
}

void TestReminders::daySummary_data()
{
    QTest::addColumn<int>("todays");
    QTest::addColumn<QString>("today");
    QTest::newRow("three today") << 3 << "今天共有3个日程。";
    QTest::newRow("none today") << 0 << "您还没有安排今天的日程。";
}

void TestReminders::daySummary()
{
    QFETCH(int, todays);
    QFETCH(QString, today);
    for (int i = 0; i < todays; ++i)
        addSchedule("今天", ::today, QTime(8 + i, 0), 0, 0, 1 + i, 0); // any status counts
    const QDate yesterday = ::today.addDays(-1);
    addSchedule("完成", yesterday, QTime(9, 0), 0, 0, 3);
    addSchedule("完成", yesterday, QTime(10, 0), 0, 0, 3);
    addSchedule("没完成", yesterday, QTime(11, 0), 0, 0, 1);
    addSchedule("进行中", yesterday, QTime(12, 0), 0, 0, 2); // counted in neither
    addSchedule("取消", yesterday, QTime(13, 0), 0, 0, 4);
    addSchedule("前天", ::today.addDays(-2), QTime(9, 0), 0, 0, 3);
    Settings::Writer().integer(Settings::isPlayMusic, 1);
    Settings::Writer().string(Settings::playFileName, "ding.wav");
    assistantForm->FormActivate();
    QVERIFY(txForm->isVisible());
    QCOMPARE(txForm->Label5->text(), today);
    QCOMPARE(txForm->Label4->text(), QString("昨天共完成2个日程，有1个日程没有完成。"));
    QVERIFY(txForm->Label4->isVisible() && txForm->Label5->isVisible());
    QVERIFY(!txForm->txCheckList->isVisible() && !txForm->Label2->isVisible() &&
            !txForm->Label3->isVisible());
    QVERIFY(env->sound().played.isEmpty()); // no sound with the summary
    QCOMPARE(firstActivation, 0);
}

void TestReminders::itemTextAndEveryDueRow()
{
    env->setNow(QDateTime(QDate(2008, 5, 6), QTime(14, 25)));
    addSchedule("会议", QDate(2008, 5, 6), QTime(14, 30), 10);
    addSchedule("不提醒", QDate(2008, 5, 6), QTime(14, 31), 10, 0, 1, 0);
    addSchedule("晚些", QDate(2008, 5, 6), QTime(14, 40), 1, 1);
    addSchedule("太晚", QDate(2008, 5, 6), QTime(16, 0), 1, 1);
    showList();
    QListWidget* list = txForm->txCheckList;
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QString("2008-5-6[14:30:00]") + QString(10, ' ') + "会议");
    QCOMPARE(list->item(1)->text(), QString("2008-5-6[14:40:00]") + QString(10, ' ') + "晚些");
    QCOMPARE(list->item(0)->checkState(), Qt::Checked);
    QVERIFY(list->item(0)->flags() & Qt::ItemIsUserTristate);
    QVERIFY(list->isVisible() && txForm->Label2->isVisible());
    QVERIFY(!txForm->Label3->isVisible() && !txForm->Label4->isVisible());
}

void TestReminders::closingSwitchesOff_data()
{
    QTest::addColumn<int>("state"); // of the first of two items
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("firstIsTx");
    QTest::newRow("unchecked, close box") << int(Qt::Unchecked) << "close" << 0;
    QTest::newRow("greyed, close box") << int(Qt::PartiallyChecked) << "close" << 0;
    QTest::newRow("unchecked, the 20-second timer") << int(Qt::Unchecked) << "timer" << 0;
    QTest::newRow("left checked") << int(Qt::Checked) << "close" << 1;
}

void TestReminders::closingSwitchesOff()
{
    QFETCH(int, state);
    QFETCH(QString, how);
    QFETCH(int, firstIsTx);
    const qint64 a = addSchedule("甲", today, QTime(12, 0), 10);
    const qint64 b = addSchedule("乙", today, QTime(12, 1), 10);
    showList();
    QCOMPARE(txForm->ids(), (QList<qint64>{a, b}));
    txForm->txCheckList->item(0)->setCheckState(Qt::CheckState(state));
    if (how == "timer") {
        QCOMPARE(txForm->Timer1->interval(), 20000);
        txForm->Timer1->timeout({});
    } else {
        txForm->close();
    }
    QVERIFY(!txForm->isVisible());
    QCOMPARE(isTxOf(a), firstIsTx);
    QCOMPARE(isTxOf(b), 1);
    // The other one is reminded again at the next check.
    assistantForm->RemindTimerTimer();
    QVERIFY(txForm->isVisible());
    QCOMPARE(txForm->ids(), firstIsTx ? (QList<qint64>{a, b}) : QList<qint64>{b});
}

void TestReminders::aListIsAppliedOnce()
{
    const qint64 id = addSchedule("会议", today, QTime(12, 0), 10);
    showList();
    txForm->txCheckList->item(0)->setCheckState(Qt::Unchecked);
    txForm->Timer1Timer();
    QCOMPARE(isTxOf(id), 0);
    // Switched on again in the modify window: later ticks leave it on.
    DbQuery q(DataModule1->ADOConnection1);
    ScheduleData::setReminder(q, id, 1);
    txForm->Timer1Timer();
    txForm->Timer1Timer();
    QCOMPARE(isTxOf(id), 1);
    // And the next showing lists it again, checked.
    showList();
    QCOMPARE(txForm->ids(), QList<qint64>{id});
    QCOMPARE(txForm->txCheckList->item(0)->checkState(), Qt::Checked);
}

void TestReminders::moreThan201()
{
    QList<qint64> ids;
    for (int i = 0; i < 202; ++i)
        ids << addSchedule(QString("第%1个").arg(i), today, QTime(12, 0).addSecs(i), 10);
    env->setNow(QDateTime(today, QTime(11, 58)));
    showList();
    QCOMPARE(txForm->txCheckList->count(), 202);
    QCOMPARE(txForm->ids(), ids);
    for (int i = 0; i < 202; i += 2)
        txForm->txCheckList->item(i)->setCheckState(Qt::Unchecked);
    txForm->close();
    DbQuery q(DataModule1->ADOConnection1);
    for (int i = 0; i < 202; ++i)
        QCOMPARE(ScheduleData::byId(q, ids[i])->isTx, i % 2);
}

void TestReminders::nothingDue_data()
{
    QTest::addColumn<int>("isPlayMusic");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("played"); // "" when nothing; a leading '/' is absolute
    const auto row = [](const char* name, int isPlayMusic, const char* stored, const char* played) {
        QTest::newRow(name) << isPlayMusic << QString(stored) << QString(played);
    };
    row("a file of the program folder", 1, "ding.wav", "ding.wav");
    row("a full path as it stands", 1, "/usr/share/sounds/ding.wav", "/usr/share/sounds/ding.wav");
    row("a blank name: silent", 1, "   ", "");
    row("sound off", 0, "ding.wav", "");
}

void TestReminders::nothingDue()
{
    QFETCH(int, isPlayMusic);
    QFETCH(QString, stored);
    QFETCH(QString, played);
    addSchedule("已完成", today, QTime(12, 0), 10, 0, 3);
    Settings::Writer().integer(Settings::isPlayMusic, isPlayMusic);
    Settings::Writer().string(Settings::playFileName, stored);
    firstActivation = 0;
    assistantForm->txClick();
    QVERIFY(txForm->isVisible());
    QVERIFY(txForm->Label3->isVisible());
    QCOMPARE(txForm->Label3->text(), QString("没有需要提醒的日程!"));
    QVERIFY(!txForm->txCheckList->isVisible() && !txForm->Label2->isVisible());
    const QString expected = played.isEmpty()         ? QString()
                             : played.startsWith('/') ? played
                                                      : env->programDir() + played;
    QCOMPARE(env->sound().played, expected.isEmpty() ? QStringList() : QStringList{expected});
}

void TestReminders::aShownWindowIsNotRebuilt()
{
    Settings::Writer().integer(Settings::isPlayMusic, 1);
    Settings::Writer().string(Settings::playFileName, "ding.wav");
    const qint64 a = addSchedule("甲", today, QTime(12, 0), 10);
    showList();
    addSchedule("乙", today, QTime(12, 2), 10);
    assistantForm->RemindTimerTimer();
    assistantForm->txClick();
    QVERIFY(txForm->isVisible());
    QCOMPARE(txForm->ids(), QList<qint64>{a});
    QCOMPARE(env->sound().played.size(), 1);
    QCOMPARE(env->notifications().sent.size(), 1);
}

void TestReminders::aFailedReadIsNotNothingDue_data()
{
    QTest::addColumn<int>("first"); // firstActivation: the day summary, or the list
    QTest::newRow("the day summary") << 1;
    QTest::newRow("the list") << 0;
}

void TestReminders::aFailedReadIsNotNothingDue()
{
    QFETCH(int, first);
    writeFile(env->databaseFile(), "this is no database, and it is not empty either");
    firstActivation = first;
    assistantForm->txClick();
    QTRY_COMPARE(env->dialogs().errors(),
                 QStringList{env->databaseFile() + QStringLiteral(": file is not a database.")});
    for (QWidget* w :
         QList<QWidget*>{txForm->Label3, txForm->Label4, txForm->Label5, txForm->txCheckList})
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    QCOMPARE(firstActivation, first); // the summary is still to come
}

void TestReminders::anErrorComesAboveTheShownWindow()
{
    const qint64 id = addSchedule("开会", today, QTime(12, 0), 10);
    Settings::Writer().integer(Settings::isPlayMusic, 1);
    {
        RegistryKey key(env->registryFile());
        QVERIFY(key.openKey(Settings::keyPath(), false));
        QVERIFY(key.deleteValue(QStringLiteral("isPlayMusic")));
    }
    showList();
    // The showing is not held up by the box: the window comes up with what
    // it filled in, and the box after it, above it.
    QVERIFY(env->dialogs().errors().isEmpty());
    QVERIFY(txForm->isVisible());
    QCOMPARE(txForm->ids(), QList<qint64>{id});
    QVERIFY(txForm->txCheckList->isVisible());
    QTRY_COMPARE(env->dialogs().errors().size(), 1);
    QVERIFY(env->dialogs().errors().first().contains(QStringLiteral("isPlayMusic")));
    QCOMPARE(env->dialogs().shown.last().owner, txForm);
}

void TestReminders::itemsShowTheirWholeTextAsToolTip_data()
{
    QTest::addColumn<QString>("title");
    QTest::newRow("longer than the list is wide")
        << QString("第一季度全体销售人员述职会议与下季度目标分解讨论");
    QTest::newRow("markup is shown as it is") << QString("<b>粗体</b> &amp; <img src=x>");
}

void TestReminders::itemsShowTheirWholeTextAsToolTip()
{
    QFETCH(QString, title);
    addSchedule(title, today, QTime(12, 0), 10);
    showList();
    const QListWidgetItem* item = txForm->txCheckList->item(0);
    QVERIFY(item->text().endsWith(title));
    QTextDocument shown;
    shown.setHtml(item->toolTip());
    QCOMPARE(shown.toPlainText(), item->text());
    QCOMPARE(txForm->txCheckList->width(), 290);
}

void TestReminders::toggleActsAsAClick_data()
{
    QTest::addColumn<int>("toggles");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("isTx"); // after the closing
    QTest::newRow("once: unchecked, switched off") << 1 << int(Qt::Unchecked) << 0;
    QTest::newRow("twice: partly checked, switched off") << 2 << int(Qt::PartiallyChecked) << 0;
    QTest::newRow("three times: checked again, kept") << 3 << int(Qt::Checked) << 1;
}

void TestReminders::toggleActsAsAClick()
{
    QFETCH(int, toggles);
    QFETCH(int, state);
    QFETCH(int, isTx);
    const qint64 id = addSchedule("开会", today, QTime(12, 0), 10);
    showList();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(txForm->txCheckList);
    QCOMPARE(list->role(), QAccessible::List);
    QCOMPARE(list->childCount(), 1);
    QAccessibleInterface* item = list->child(0);
    QCOMPARE(item->role(), QAccessible::ListItem);
    QCOMPARE(item->text(QAccessible::Name), txForm->txCheckList->item(0)->text());
    QCOMPARE(list->indexOfChild(item), 0);
    QVERIFY(item->state().checkable);
    QVERIFY(item->state().checked);
    QVERIFY(item->actionInterface());
    for (int i = 0; i < toggles; ++i)
        item->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(int(txForm->txCheckList->item(0)->checkState()), state);
    QCOMPARE(bool(item->state().checked), state == Qt::Checked);
    txForm->close();
    QCOMPARE(isTxOf(id), isTx);
}

void TestReminders::aReadOnlyFolderStillReminds()
{
    const qint64 id = addSchedule("开会", today, QTime(12, 0), 10);
    DataModule1->ADOConnection1.closeFile();
    ReadOnlyFolder folder(env->programDir());
    if (!folder.failure().isEmpty())
        QSKIP(qPrintable(folder.failure()));
    firstActivation = 0;
    assistantForm->RemindTimerTimer();
    QVERIFY(txForm->isVisible());
    QCOMPARE(txForm->ids(), QList<qint64>{id});
    // Switching its reminder off is a write: it fails, saying why.
    txForm->txCheckList->item(0)->setCheckState(Qt::Unchecked);
    txForm->close();
    QCOMPARE(env->dialogs().errors(), QStringList{QFileInfo(env->databaseFile()).absolutePath() +
                                                  QStringLiteral(": 文件夹是只读的，不能写入.")});
    txForm->txCheckList->item(0)->setCheckState(Qt::Checked);
    txForm->close();
    QVERIFY(!txForm->isVisible());
    DataModule1->ADOConnection1.closeFile();
    folder.release();
    QCOMPARE(isTxOf(id), 1);
}

void TestReminders::wholeReminder()
{
    // A schedule at 12:00 with a lead of 10 minutes, the check at 11:55.
    assistantForm->show(); // its first activation gives the day summary
    assistantForm->FormActivate();
    QVERIFY(txForm->Label5->isVisible());
    txForm->close();
    const qint64 id = addSchedule("开会", today, QTime(12, 0), 10);
    assistantForm->RemindTimerTimer();
    QVERIFY(txForm->isVisible());
    QCOMPARE(txForm->txCheckList->count(), 1);
    QVERIFY(txForm->txCheckList->item(0)->text().endsWith("   开会"));
    txForm->txCheckList->item(0)->setCheckState(Qt::Unchecked);
    txForm->close();
    QCOMPARE(isTxOf(id), 0);
    assistantForm->RemindTimerTimer();
    QVERIFY(!txForm->isVisible());
    QVERIFY(env->dialogs().errors().isEmpty());
}

void TestReminders::aListGoesToTheDesktop()
{
    // No icon theme holds the program's icon: the notice names none.
    QTemporaryDir data;
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME"), oldDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(data.path()));
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_DATA_HOME", oldHome);
        qputenv("XDG_DATA_DIRS", oldDirs);
    });
    QList<Notification>& sent = env->notifications().sent;
    assistantForm->FormActivate(); // the day summary is no notice
    txForm->close();
    firstActivation = 0;
    assistantForm->txClick(); // nor is an empty list
    txForm->close();
    QVERIFY(sent.isEmpty());

    addSchedule("甲 & <b>", today, QTime(12, 0), 10);
    const qint64 b = addSchedule("乙\n第二行", today, QTime(12, 1), 10);
    assistantForm->RemindTimerTimer();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].appName, QString("时雀"));
    QCOMPARE(sent[0].summary, QString("时雀"));
    QCOMPARE(sent[0].body, QString("2026-12-9[12:00:00] 甲 & <b>\n2026-12-9[12:01:00] 乙 第二行"));
    QCOMPARE(sent[0].icon, QString()); // the window icon goes instead
    QCOMPARE(sent[0].actions.value(0).first, QString("default"));
    QVERIFY(!sent[0].actions.value(1).second.isEmpty());

    // Gone after its 20 seconds, the window comes back from the notice.
    txForm->txCheckList->item(0)->setCheckState(Qt::Unchecked);
    txForm->Timer1Timer();
    QVERIFY(!txForm->isVisible());
    Settings::Writer().integer(Settings::txWinPos, 1);
    sent[0].onAction("default");
    QVERIFY(txForm->isVisible());
    QCOMPARE(txForm->pos(), QPoint(357, 309));
    QCOMPARE(txForm->ids(), QList<qint64>{b}); // what is due now: a was switched off
    QCOMPARE(sent.size(), 2);                  // the new list replaces the notice
    QCOMPARE(sent[1].body, QString("2026-12-9[12:01:00] 乙 第二行"));
    // Installed with its menu entry, the icon goes by its name in the theme.
    writeFile(data.path() + "/icons/hicolor/48x48/apps/tavimor.png", "png");
    txForm->close();
    assistantForm->RemindTimerTimer();
    QCOMPARE(sent.size(), 3);
    QCOMPARE(sent[2].icon, QString("tavimor"));
}

void TestReminders::systemBusResumeSignal()
{
    // A bus of our own stands in for the system bus: logind's name on one
    // connection, the watch on another.
    PrivateBus bus;
    if (!bus.started())
        QSKIP("no dbus-daemon");
    QDBusConnection logind = bus.connect("logind");
    QDBusConnection ours = bus.connect("ours");
    QVERIFY(logind.isConnected() && ours.isConnected());
    QVERIFY(logind.registerService("org.freedesktop.login1"));
    ResumeWatch watch(ours, nullptr);
    QVERIFY(watch.watching());
    QSignalSpy resumed(&watch, &ResumeWatch::resumed);
    auto send = [&logind](bool sleeping) {
        QDBusMessage m = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        m << sleeping;
        logind.send(m);
    };
    send(true); // going to sleep: nothing yet
    send(false);
    QTRY_COMPARE(resumed.size(), 1);
    QTest::qWait(50);
    QCOMPARE(resumed.size(), 1);
}

QTEST_MAIN(TestReminders)
#include "tst_reminders.moc"
