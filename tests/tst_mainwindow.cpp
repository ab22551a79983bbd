#include "TestSupport.h"
#include "editing/addrc.h"
#include "editing/xgrc.h"
#include "mainwindow/Assistant.h"
#include "platform/Clock.h"
#include "platform/DateTimeEdits.h"
#include "platform/DayNumber.h"
#include "platform/Desktop.h"
#include "shell/Application.h"
#include "shell/Settings.h"
#include "shell/Startup.h"
#include "shell/Statements.h"
#include "shell/dataForm.h"
#include "shell/public.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

namespace {
const QDate today(2026, 12, 9); // a Wednesday
}

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void emptyDatabaseGivesTwoDateNodes();
    void schedulesGoUnderTheirDates();
    void rebuildReadsStatusPicturesAndColours();
    void statusChangeAndMark_data();
    void statusChangeAndMark();
    void deleteRemovesTheNodeAtOnce();
    void commandsNeedAScheduleNode();
    void rightClickChoosesTheMenu();
    void docking_data();
    void docking();
    void marqueeWrapsAt234();
    void midnightRebuildShowsTheNewDay();
    void refreshFlagRebuildsAndReloadsTheMarquee();
    void hoverShowsAndHidesDetails();
    void widthToggle();
    void workNoteSave_data();
    void workNoteSave();
    void activationNeedsTheTrayIconFile();
    void addWindowOpensOnceWithTheNodesDate();
    void editOpensTheModifyWindowOnTheSchedule();
    void helpOpensTheBareFileName();
    void withoutATrayMinimisingKeepsTheWindow();

private:
    int addSchedule(const QString& title, const QDate& date, const QTime& time, int yxj = 1,
                    int zt = 1);
    QTreeWidgetItem* scheduleNode(int id) const;
    std::unique_ptr<TestEnvironment> env;
};

void TestMainWindow::init()
{
    env = std::make_unique<TestEnvironment>(QDateTime(today, QTime(10, 0)));
    QVERIFY(QFile::copy(QFINDTESTDATA("../resources/ovak.ico"), env->programDir() + "ovak.ico"));
    createStartupWindows();
    assistantForm->Timer1->stop(); // the tests tick by hand
    refreshFlag = 0;
}

void TestMainWindow::cleanup()
{
    delete addrcForm;
    destroyStartupWindows();
    Desktop::setCursorPos(nullptr);
    Desktop::setScreenSize(nullptr);
    env.reset();
}

int TestMainWindow::addSchedule(const QString& title, const QDate& date, const QTime& time, int yxj,
                                int zt)
{
    DbTable& t = DataModule1->mydata;
    t.open();
    t.append();
    t.setField("title", title);
    t.setField("content", QString("内容：") + title);
    t.setField("rc_date", date);
    t.setField("rc_time", time);
    t.setField("yxj", yxj);
    t.setField("zt_flag", zt);
    t.post();
    t.close();
    return int(t.lastId());
}

QTreeWidgetItem* TestMainWindow::scheduleNode(int id) const
{
    QTreeWidget* tree = assistantForm->rcTree;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j)
            if (tree->topLevelItem(i)->child(j)->data(0, TassistantForm::IdRole).toInt() == id)
                return tree->topLevelItem(i)->child(j);
    return nullptr;
}

void TestMainWindow::emptyDatabaseGivesTwoDateNodes()
{
    assistantForm->show(); // showing runs the rebuild
    QTreeWidget* tree = assistantForm->rcTree;
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("今天[星期三]"));
    QCOMPARE(tree->topLevelItem(1)->text(0), QString("明天[星期四]"));
    QCOMPARE(tree->topLevelItem(0)->childCount(), 0);
    QVERIFY(tree->topLevelItem(0)->isExpanded());
    QVERIFY(!tree->topLevelItem(1)->isExpanded());
    QCOMPARE(tree->topLevelItem(1)->data(0, TassistantForm::DateRole).toDate(), today.addDays(1));
    QCOMPARE(assistantForm->zjGroupBox->title(), QString("工作笔记(2026-12-9)"));
    QVERIFY(QFile::exists(env->databaseFile())); // a first run creates the database
}

void TestMainWindow::schedulesGoUnderTheirDates()
{
    addSchedule("过去的", today.addDays(-1), QTime(9, 0));
    const int t1 = addSchedule("明天的", today.addDays(1), QTime(8, 0));
    const int late = addSchedule("晚", today.addDays(5), QTime(18, 0));
    const int early = addSchedule("早", today.addDays(5), QTime(7, 30));
    const int mid = addSchedule("中午", today.addDays(5), QTime(12, 0));
    const int sunday = addSchedule("周日", QDate(2026, 12, 13), QTime(10, 0));
    assistantForm->FormShow();
    QTreeWidget* tree = assistantForm->rcTree;
    QStringList tops;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        tops << tree->topLevelItem(i)->text(0);
    QCOMPARE(tops, (QStringList{"今天[星期三]", "明天[星期四]", "2026-12-13[星期七]",
                                "2026-12-14[星期一]"}));
    QCOMPARE(tree->topLevelItem(0)->childCount(), 0); // the past one is not shown
    QCOMPARE(tree->topLevelItem(1)->childCount(), 1);
    QCOMPARE(tree->topLevelItem(1)->child(0)->data(0, TassistantForm::IdRole).toInt(), t1);
    QCOMPARE(tree->topLevelItem(1)->child(0)->text(0), QString("08:00:00:  明天的"));
    QCOMPARE(tree->topLevelItem(2)->child(0)->data(0, TassistantForm::IdRole).toInt(), sunday);
    QTreeWidgetItem* later = tree->topLevelItem(3);
    QCOMPARE(later->childCount(), 3);
    QCOMPARE(later->child(0)->data(0, TassistantForm::IdRole).toInt(), early);
    QCOMPARE(later->child(1)->data(0, TassistantForm::IdRole).toInt(), mid);
    QCOMPARE(later->child(2)->data(0, TassistantForm::IdRole).toInt(), late);
    QVERIFY(!later->isExpanded());
}

void TestMainWindow::rebuildReadsStatusPicturesAndColours()
{
    const int high = addSchedule("高", today, QTime(11, 0), 0, 4);
    const int low = addSchedule("低", today, QTime(12, 0), 2, 3);
    const int odd = addSchedule("怪", today, QTime(13, 0), 7, 9);
    assistantForm->FormShow();
    QVERIFY(!scheduleNode(high)->icon(0).isNull());
    QVERIFY(scheduleNode(odd)->icon(0).isNull()); // a code outside 1..4 gets no picture
    QCOMPARE(assistantForm->priorityColor(scheduleNode(high)), QColor(255, 0, 0));
    QCOMPARE(assistantForm->priorityColor(scheduleNode(low)), QColor(255, 255, 0));
    QCOMPARE(assistantForm->priorityColor(scheduleNode(odd)), QColor(255, 255, 0));
    // The colour follows the settings at the next drawing, without a rebuild.
    Settings::Writer().string(Settings::lowColor, "clGreen");
    QCOMPARE(assistantForm->priorityColor(scheduleNode(low)), QColor(0, 128, 0));
    // And the stored priority.
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql(Sql::scheduleById(low));
    q.open();
    q.edit();
    q.setField("yxj", 0);
    q.post();
    QCOMPARE(assistantForm->priorityColor(scheduleNode(low)), QColor(255, 0, 0));
}

void TestMainWindow::statusChangeAndMark_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("code");
    QTest::newRow("没有完成") << "mwc" << 1;
    QTest::newRow("进行中") << "jxz" << 2;
    QTest::newRow("已经完成") << "ywc" << 3;
    QTest::newRow("取消") << "qx" << 4;
}

void TestMainWindow::statusChangeAndMark()
{
    QFETCH(QString, item);
    QFETCH(int, code);
    const int id = addSchedule("会议", today, QTime(15, 0), 1, code == 1 ? 2 : 1);
    assistantForm->FormShow();
    assistantForm->rcTree->setCurrentItem(scheduleNode(id));
    assistantForm->findChild<QAction*>(item)->trigger();
    QCOMPARE(refreshFlag, 1);
    QCOMPARE(assistantForm->statusMark(), 1); // clicking does not move the mark
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql(Sql::scheduleById(id));
    q.open();
    QCOMPARE(q.intField("zt_flag"), code);
    // The next tick rebuilds; opening the submenu then moves the mark.
    assistantForm->Timer1Timer();
    QCOMPARE(refreshFlag, 0);
    assistantForm->rcTree->setCurrentItem(scheduleNode(id));
    assistantForm->ztszClick();
    QCOMPARE(assistantForm->statusMark(), code);
    QVERIFY(env->dialogs().errors().isEmpty());
}

void TestMainWindow::deleteRemovesTheNodeAtOnce()
{
    const int keep = addSchedule("留下", today, QTime(11, 0));
    const int gone = addSchedule("删掉", today, QTime(12, 0));
    assistantForm->FormShow();
    assistantForm->rcTree->setCurrentItem(scheduleNode(gone));
    assistantForm->findChild<QAction*>("scrc")->trigger();
    QVERIFY(!scheduleNode(gone));
    QVERIFY(scheduleNode(keep));
    QCOMPARE(refreshFlag, 1);
    QVERIFY(env->dialogs().shown.isEmpty()); // no question asked
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql(Sql::scheduleById(gone));
    q.open();
    QCOMPARE(q.recordCount(), 0);
}

void TestMainWindow::commandsNeedAScheduleNode()
{
    const int id = addSchedule("会议", today, QTime(15, 0));
    assistantForm->FormShow();
    assistantForm->rcTree->setCurrentItem(assistantForm->rcTree->topLevelItem(0)); // a date node
    assistantForm->ywcClick();
    assistantForm->scrcClick();
    QCOMPARE(refreshFlag, 0);
    QVERIFY(scheduleNode(id));
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql(Sql::scheduleById(id));
    q.open();
    QCOMPARE(q.intField("zt_flag"), 1);
}

void TestMainWindow::rightClickChoosesTheMenu()
{
    const int id = addSchedule("会议", today, QTime(15, 0));
    assistantForm->show();
    QTreeWidget* tree = assistantForm->rcTree;
    const QRect dateRow = tree->visualItemRect(tree->topLevelItem(1));
    const QRect scheduleRow = tree->visualItemRect(scheduleNode(id));
    assistantForm->rcTreeMouseDown(Qt::RightButton, scheduleRow.center());
    QCOMPARE(tree->currentItem(), scheduleNode(id));
    QTRY_VERIFY(assistantForm->ItemsMenu->isVisible());
    assistantForm->ItemsMenu->hide();
    assistantForm->rcTreeMouseDown(Qt::RightButton, dateRow.center());
    QCOMPARE(tree->currentItem(), tree->topLevelItem(1));
    QTRY_VERIFY(assistantForm->rootMenu->isVisible());
    assistantForm->rootMenu->hide();
    // Empty space: no menu, the selection stays.
    assistantForm->rcTreeMouseDown(Qt::RightButton, QPoint(5, tree->viewport()->height() - 5));
    QCOMPARE(tree->currentItem(), tree->topLevelItem(1));
    QVERIFY(!assistantForm->ItemsMenu->isVisible() && !assistantForm->rootMenu->isVisible());
    // The left button chooses no menu.
    assistantForm->rcTreeMouseDown(Qt::LeftButton, scheduleRow.center());
    QVERIFY(!assistantForm->ItemsMenu->isVisible());
}

void TestMainWindow::docking_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<bool>("inside");
    QTest::addColumn<int>("height"); // the window's height in its layout's units
    QTest::addColumn<int>("newTop");
    QTest::newRow("top 1, outside: collapsed") << 1 << false << 38 << -30;
    QTest::newRow("top 1, inside: open") << 1 << true << 461 << -3;
    QTest::newRow("top 2, outside: not docked") << 2 << false << 461 << 2;
    QTest::newRow("top -3, inside: stays open") << -3 << true << 461 << -3;
    QTest::newRow("top -3, outside: collapses") << -3 << false << 38 << -30;
}

void TestMainWindow::docking()
{
    QFETCH(int, top);
    QFETCH(bool, inside);
    QFETCH(int, height);
    QFETCH(int, newTop);
    assistantForm->show();
    assistantForm->move(200, top);
    QCOMPARE(assistantForm->pos().y(), top);
    Desktop::setCursorPos([inside] { return inside ? QPoint(250, 10) : QPoint(900, 700); });
    assistantForm->Timer1Timer();
    QCOMPARE(assistantForm->pos().y(), newTop);
    if (height == 461)
        QCOMPARE(assistantForm->windowHeight(), 461);
    else
        QCOMPARE(assistantForm->frameGeometry().height(), 38);
    // Showing it from the tray undocks it.
    assistantForm->showmainClick();
    if (newTop < 2)
        QCOMPARE(assistantForm->pos().y(), 3);
}

void TestMainWindow::marqueeWrapsAt234()
{
    assistantForm->FormActivate();
    QLabel* label = assistantForm->Label1;
    QCOMPARE(label->text(), QString("欢迎使用时雀，您还没有设置滚动字幕！"));
    Desktop::setCursorPos([] { return QPoint(2000, 2000); });
    label->move(9, label->y());
    assistantForm->Timer1Timer();
    QCOMPARE(label->x(), 4);
    label->move(-label->width() - 2, label->y()); // right end just past the panel's left (-1)
    assistantForm->Timer1Timer();
    QCOMPARE(label->x(), 229);
}

void TestMainWindow::midnightRebuildShowsTheNewDay()
{
    env->setNow(QDateTime(today, QTime(23, 59, 59, 800)));
    assistantForm->FormShow();
    addSchedule("后天的", today.addDays(2), QTime(9, 0));
    Desktop::setCursorPos([] { return QPoint(2000, 2000); });
    assistantForm->Timer1Timer(); // still yesterday: nothing rebuilt
    QCOMPARE(assistantForm->rcTree->topLevelItemCount(), 2);
    env->setNow(QDateTime(today.addDays(1), QTime(0, 0, 0, 300)));
    assistantForm->Timer1Timer();
    QTreeWidget* tree = assistantForm->rcTree;
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("今天[星期四]"));
    QCOMPARE(tree->topLevelItem(1)->text(0), QString("明天[星期五]"));
    QCOMPARE(tree->topLevelItem(1)->childCount(), 1);
    QCOMPARE(assistantForm->zjGroupBox->title(), QString("工作笔记(2026-12-10)"));
}

void TestMainWindow::refreshFlagRebuildsAndReloadsTheMarquee()
{
    assistantForm->FormShow();
    const int id = addSchedule("新的", today, QTime(16, 0));
    Settings::Writer().string(Settings::zm, "新字幕");
    Desktop::setCursorPos([] { return QPoint(2000, 2000); });
    assistantForm->Timer1Timer();
    QVERIFY(!scheduleNode(id)); // not before the flag is set
    refreshFlag = 1;
    assistantForm->Timer1Timer();
    QVERIFY(scheduleNode(id));
    QCOMPARE(refreshFlag, 0);
    QCOMPARE(assistantForm->Label1->text(), QString("新字幕"));
}

void TestMainWindow::hoverShowsAndHidesDetails()
{
    const int a = addSchedule("第一个", today, QTime(9, 0), 0, 2);
    const int b = addSchedule("第二个", today, QTime(11, 0));
    assistantForm->show();
    QTreeWidget* tree = assistantForm->rcTree;
    auto over = [tree](QTreeWidgetItem* item) {
        return tree->viewport()->mapToGlobal(tree->visualItemRect(item).center());
    };
    QPoint cursor = over(scheduleNode(a));
    Desktop::setCursorPos([&cursor] { return cursor; });
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), a);
    QCOMPARE(assistantForm->details(),
             QString("\r日程标题: 第一个\r日程时间: 2026-12-9[09:00:00]\r"
                     "优 先 级: 高\r状    态: 进行中\r日程内容: 内容：第一个\r\r"));
    cursor = over(scheduleNode(b));
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), b);
    QVERIFY(assistantForm->details().contains("第二个"));
    QVERIFY(tree->toolTip().contains("第二个"));
    cursor = over(tree->topLevelItem(0)); // a date node hides the details
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), -1);
    QCOMPARE(tree->toolTip(), QString());
    QCOMPARE(assistantForm->details(), QString());
    // Over the buttons (the bottom 50 pixels) nothing changes.
    cursor = over(scheduleNode(a));
    assistantForm->hoverStep();
    const QRect frame = assistantForm->frameGeometry();
    cursor = QPoint(frame.left() + 20, frame.bottom() - 10);
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), a);
    // Hidden in the tray: nothing is shown where the window would stand.
    cursor = over(scheduleNode(b));
    assistantForm->hide();
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), a);
}

void TestMainWindow::widthToggle()
{
    QPushButton* button = assistantForm->zjButton;
    QCOMPARE(assistantForm->windowWidth(), 240);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(assistantForm->windowWidth(), 466);
    QCOMPARE(button->text(), QString("<<"));
    QVERIFY(assistantForm->rect().contains(assistantForm->zjGroupBox->geometry()));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(assistantForm->windowWidth(), 240);
    QCOMPARE(button->text(), QString(">>"));
}

void TestMainWindow::workNoteSave_data()
{
    QTest::addColumn<QString>("stored"); // "-" when the day has no note
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("after"); // "-" when still none
    const QString saved = "     工作笔记保存完毕！     ";
    QTest::newRow("empty memo, no note") << "-"
                                         << " \r\n\t"
                                         << "     今天没有工作笔记保存！     "
                                         << "-";
    QTest::newRow("new note kept unstripped") << "-"
                                              << "  今天写了测试\n"
                                              << saved << "  今天写了测试\n";
    QTest::newRow("update the one row") << "旧笔记"
                                        << "新笔记" << saved << "新笔记";
    QTest::newRow("empty memo clears a note") << "旧笔记"
                                              << "" << saved << "";
}

void TestMainWindow::workNoteSave()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, after);
    if (stored != "-") {
        DbTable& t = DataModule1->zjTable;
        t.open();
        t.append();
        t.setField("date", today);
        t.setField("zj", stored);
        t.post();
        t.close();
    }
    assistantForm->FormShow();
    QCOMPARE(assistantForm->zjMemo->toPlainText(), stored == "-" ? QString() : stored);
    assistantForm->zjMemo->setPlainText(typed);
    assistantForm->saveZJButtonClick();
    assistantForm->saveZJButtonClick(); // twice: still one row
    QCOMPARE(env->dialogs().messages(), (QStringList{message, message}));
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql("select * from zjTable");
    q.open();
    QCOMPARE(q.recordCount(), after == "-" ? 0 : 1);
    if (after != "-") {
        QCOMPARE(q.textField("zj"), after);
        QCOMPARE(DayNumber::toDate(q.dateTimeField("date")), today);
    }
}

void TestMainWindow::activationNeedsTheTrayIconFile()
{
    const QString icon = env->programDir() + "ovak.ico";
    QVERIFY(QFile::rename(icon, icon + ".away"));
    Settings::Writer().string(Settings::zm, "字幕");
    QVERIFY(!runGuarded([] { assistantForm->FormActivate(); }));
    QCOMPARE(env->dialogs().errors().size(), 1);
    QVERIFY2(env->dialogs().errors()[0].startsWith(QString("Cannot open file \"%1\". ").arg(icon)),
             qPrintable(env->dialogs().errors()[0]));
    QCOMPARE(assistantForm->Label1->text(), QString("字幕")); // the steps before it ran
    QVERIFY(!assistantForm->trayIcon);
    // The file is read at every activation: once it is back, the icon comes.
    QVERIFY(QFile::rename(icon + ".away", icon));
    QVERIFY(runGuarded([] { assistantForm->FormActivate(); }));
    QVERIFY(assistantForm->trayIcon);
    // A missing intervalTime ends the activation before the tray icon.
    delete assistantForm->trayIcon;
    assistantForm->trayIcon = nullptr;
    writeFile(env->registryFile(), "Windows Registry Editor Version 5.00\n\n"
                                   "[HKEY_LOCAL_MACHINE\\Software\\Tavimor\\Option]\n"
                                   "\"zm\"=\"x\"\n");
    QVERIFY(!runGuarded([] { assistantForm->FormActivate(); }));
    QCOMPARE(env->dialogs().errors().last(), QString("Failed to get data for 'intervalTime'"));
    QVERIFY(!assistantForm->trayIcon);
}

void TestMainWindow::addWindowOpensOnceWithTheNodesDate()
{
    addSchedule("后天", today.addDays(3), QTime(9, 0));
    assistantForm->FormShow();
    QTreeWidget* tree = assistantForm->rcTree;
    tree->setCurrentItem(tree->topLevelItem(2)); // a later date node
    assistantForm->findChild<QAction*>("roottjrc")->trigger();
    QVERIFY(addrcForm);
    QCOMPARE(env->dialogs().modalWindows.size(), 1);
    QCOMPARE(addrcForm->date_value->date(), today.addDays(3));
    // From the tray menu while it is open: the same window, no second one.
    TaddrcForm* open = addrcForm;
    assistantForm->findChild<QAction*>("tjrc")->trigger();
    QCOMPARE(addrcForm, open);
    QCOMPARE(env->dialogs().modalWindows.size(), 1);
    tree->setCurrentItem(tree->topLevelItem(1)); // 明天
    assistantForm->roottjrcClick();
    QCOMPARE(addrcForm->date_value->date(), today.addDays(1));
    // Closing it frees it and asks for a rebuild.
    refreshFlag = 0;
    addrcForm->close();
    QTRY_VERIFY(!addrcForm);
    QCOMPARE(refreshFlag, 1);
    assistantForm->tjrcClick(); // a fresh one, dated today
    QVERIFY(addrcForm && addrcForm != open);
    QCOMPARE(addrcForm->date_value->date(), today);
}

void TestMainWindow::editOpensTheModifyWindowOnTheSchedule()
{
    const int id = addSchedule("会议", today, QTime(15, 0));
    assistantForm->FormShow();
    assistantForm->rcTree->setCurrentItem(scheduleNode(id));
    assistantForm->findChild<QAction*>("bjrc")->trigger();
    QCOMPARE(xgrcForm->scheduleId, id);
    QCOMPARE(env->dialogs().modalWindows, QList<QWidget*>{xgrcForm});
}

void TestMainWindow::helpOpensTheBareFileName()
{
    QStringList opened;
    Desktop::setOpener([&opened](const QString& name) {
        opened << name;
        return false; // the result is not examined
    });
    assistantForm->findChild<QAction*>("help")->trigger();
    Desktop::setOpener(nullptr);
    QCOMPARE(opened, QStringList{"help.chm"});
    QVERIFY(env->dialogs().shown.isEmpty());
}

void TestMainWindow::withoutATrayMinimisingKeepsTheWindow()
{
    // The offscreen platform has no system tray, as a bare X server has none.
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    QVERIFY(!assistantForm->hidesWhenMinimised());
    QCOMPARE(assistantForm->windowType(), Qt::Window); // it keeps its taskbar entry
    assistantForm->show();
    assistantForm->setWindowState(Qt::WindowMinimized);
    QTest::qWait(50);
    QVERIFY(assistantForm->isVisible());
    QVERIFY(assistantForm->isMinimized());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
