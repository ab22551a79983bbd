#include "WindowTestSupport.h"
#include "app/Startup.h"
#include "editing/addrc.h"
#include "editing/xgrc.h"
#include "mainwindow/Assistant.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "settings/gxsz.h"
#include "shell/Application.h"
#include "shell/HelpWindow.h"
#include "shell/data/Schedules.h"
#include "shell/data/Statements.h"
#include "shell/data/dataForm.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"
#include "views/rccx.h"
#include "views/tjbz.h"
#include "views/zj.h"
#include "widgets/DateTimeEdits.h"
#include "widgets/HoverTip.h"
#include "widgets/SpinEdit.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

namespace {
const QDate today(2026, 12, 9); // a Wednesday
}

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { env.reset(); }
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
    void shownButNeverActivatedStillReminds();
    void marqueeWrapsAt234();
    void midnightRebuildShowsTheNewDay();
    void refreshFlagRebuildsAndReloadsTheMarquee();
    void hoverShowsAndHidesDetails();
    void lunarDatesFollowTheSavedSetting();
    void widthToggle();
    void workNoteSave_data();
    void workNoteSave();
    void activationNeedsTheTrayIconFile();
    void addWindowOpensOnceWithTheNodesDate();
    void codeListsOfferTheCaptionsInCodeOrder();
    void editOpensTheModifyWindowOnTheSchedule();
    void settingsReachTheMainWindowAtTickAndActivation();
    void notesQueryAndWorkNotesOpenTheirWindows();
    void helpOpensTheViewerOrOurOwnPages();
    void dayChangeWithoutAMidnightTick();
    void rowsDeletedElsewhereRaiseNothing();
    void colourErrorIsReportedAgainAfterAMend();
    void detailsStayOverTheButtons();
    void returnInTheTreePressesTheMenuButton();
    void secondStartFindsAWindowWithoutATrayIcon();
    void withoutATrayMinimisingKeepsTheWindow();

private:
    QModelIndex scheduleNode(int id) const;
    std::unique_ptr<WindowTestEnvironment> env;
};

void TestMainWindow::init()
{
    env = std::make_unique<WindowTestEnvironment>(QDateTime(today, QTime(10, 0)));
    env->copyTrayIcon();
    createStartupWindows();
    env->atEnd(destroyStartupWindows);
    env->own(addrcForm);
    env->own(gxszForm);
    assistantForm->Timer1->stop(); // the tests tick by hand
    refreshFlag = 0;
}

QModelIndex TestMainWindow::scheduleNode(int id) const
{
    return assistantForm->rcTreeModel->indexOfSchedule(id);
}

namespace {
QAbstractItemModel* model()
{
    return assistantForm->rcTree->model();
}
QModelIndex top(int i)
{
    return model()->index(i, 0);
}
int topCount()
{
    return model()->rowCount();
}
int childCount(const QModelIndex& node)
{
    return model()->rowCount(node);
}
QModelIndex child(const QModelIndex& node, int i)
{
    return model()->index(i, 0, node);
}
QString text(const QModelIndex& node)
{
    return node.data().toString();
}
int idOf(const QModelIndex& node)
{
    return node.data(TassistantForm::IdRole).toInt();
}
QPoint centreOf(const QModelIndex& node)
{
    QTreeView* tree = assistantForm->rcTree;
    return tree->viewport()->mapToGlobal(tree->visualRect(node).center());
}
void select(const QModelIndex& node)
{
    assistantForm->rcTree->setCurrentIndex(node);
}
} // namespace

void TestMainWindow::emptyDatabaseGivesTwoDateNodes()
{
    assistantForm->show(); // showing runs the rebuild
    QTreeView* tree = assistantForm->rcTree;
    QCOMPARE(topCount(), 2);
    QCOMPARE(text(top(0)), QString("今天[星期三]"));
    QCOMPARE(text(top(1)), QString("明天[星期四]"));
    QCOMPARE(childCount(top(0)), 0);
    QVERIFY(tree->isExpanded(top(0)));
    QVERIFY(!tree->isExpanded(top(1)));
    QCOMPARE(top(1).data(TassistantForm::DateRole).toDate(), today.addDays(1));
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
    QStringList tops;
    for (int i = 0; i < topCount(); ++i)
        tops << text(top(i));
    QCOMPARE(tops, (QStringList{"今天[星期三]", "明天[星期四]", "2026-12-13[星期七]",
                                "2026-12-14[星期一]"}));
    QCOMPARE(childCount(top(0)), 0); // the past one is not shown
    QCOMPARE(childCount(top(1)), 1);
    QCOMPARE(idOf(child(top(1), 0)), t1);
    QCOMPARE(text(child(top(1), 0)), QString("08:00:00:  明天的"));
    QCOMPARE(idOf(child(top(2), 0)), sunday);
    const QModelIndex later = top(3);
    QCOMPARE(childCount(later), 3);
    QCOMPARE(idOf(child(later, 0)), early);
    QCOMPARE(idOf(child(later, 1)), mid);
    QCOMPARE(idOf(child(later, 2)), late);
    QVERIFY(!assistantForm->rcTree->isExpanded(later));
}

void TestMainWindow::rebuildReadsStatusPicturesAndColours()
{
    const int high = addSchedule("高", today, QTime(11, 0), 0, 4);
    const int low = addSchedule("低", today, QTime(12, 0), 2, 3);
    const int odd = addSchedule("怪", today, QTime(13, 0), 7, 9);
    assistantForm->FormShow();
    QVERIFY(!scheduleNode(high).data(Qt::DecorationRole).value<QIcon>().isNull());
    QVERIFY(!scheduleNode(odd).data(Qt::DecorationRole).isValid()); // outside 1..4: no picture
    QCOMPARE(assistantForm->priorityColor(high), QColor(255, 0, 0));
    QCOMPARE(assistantForm->priorityColor(low), QColor(255, 255, 0));
    QCOMPARE(assistantForm->priorityColor(odd), QColor(255, 255, 0));
    // The colour follows the settings at the next drawing, without a rebuild.
    Settings::Writer().string(Settings::lowColor, "clGreen");
    QCOMPARE(assistantForm->priorityColor(low), QColor(0, 128, 0));
    // And the stored priority.
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql(Sql::scheduleById(low));
    q.open();
    q.edit();
    q.setField("yxj", 0);
    q.post();
    QCOMPARE(assistantForm->priorityColor(low), QColor(255, 0, 0));
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
    select(scheduleNode(id));
    QAction* action = assistantForm->findChild<QAction*>(item);
    QCOMPARE(action->text(), QString::fromUtf8(QTest::currentDataTag()));
    action->trigger();
    QCOMPARE(refreshFlag, 1);
    QCOMPARE(assistantForm->statusMark(), 1); // clicking does not move the mark
    DbQuery q(DataModule1->ADOConnection1);
    QCOMPARE(ScheduleData::statusOf(q, id), std::optional<int>(code));
    // The next tick rebuilds; opening the submenu then moves the mark.
    assistantForm->Timer1Timer();
    QCOMPARE(refreshFlag, 0);
    select(scheduleNode(id));
    assistantForm->ztszClick();
    QCOMPARE(assistantForm->statusMark(), code);
    QVERIFY(env->dialogs().errors().isEmpty());
}

void TestMainWindow::deleteRemovesTheNodeAtOnce()
{
    const int keep = addSchedule("留下", today, QTime(11, 0));
    const int gone = addSchedule("删掉", today, QTime(12, 0));
    assistantForm->FormShow();
    select(scheduleNode(gone));
    assistantForm->findChild<QAction*>("scrc")->trigger();
    QVERIFY(!scheduleNode(gone).isValid());
    QVERIFY(scheduleNode(keep).isValid());
    QCOMPARE(refreshFlag, 1);
    QVERIFY(env->dialogs().shown.isEmpty()); // no question asked
    DbQuery q(DataModule1->ADOConnection1);
    QVERIFY(!ScheduleData::byId(q, gone));
}

void TestMainWindow::commandsNeedAScheduleNode()
{
    const int id = addSchedule("会议", today, QTime(15, 0));
    assistantForm->FormShow();
    select(top(0)); // a date node
    assistantForm->ywcClick();
    assistantForm->scrcClick();
    QCOMPARE(refreshFlag, 0);
    QVERIFY(scheduleNode(id).isValid());
    DbQuery q(DataModule1->ADOConnection1);
    QCOMPARE(ScheduleData::statusOf(q, id), std::optional<int>(1));
}

void TestMainWindow::rightClickChoosesTheMenu()
{
    const int id = addSchedule("会议", today, QTime(15, 0));
    assistantForm->show();
    QTreeView* tree = assistantForm->rcTree;
    const QRect dateRow = tree->visualRect(top(1));
    const QRect scheduleRow = tree->visualRect(scheduleNode(id));
    assistantForm->rcTreeMouseDown(Qt::RightButton, scheduleRow.center());
    QCOMPARE(tree->currentIndex(), scheduleNode(id));
    QTRY_VERIFY(assistantForm->ItemsMenu->isVisible());
    assistantForm->ItemsMenu->hide();
    assistantForm->rcTreeMouseDown(Qt::RightButton, dateRow.center());
    QCOMPARE(tree->currentIndex(), top(1));
    QTRY_VERIFY(assistantForm->rootMenu->isVisible());
    assistantForm->rootMenu->hide();
    // Empty space: no menu, the selection stays.
    assistantForm->rcTreeMouseDown(Qt::RightButton, QPoint(5, tree->viewport()->height() - 5));
    QCOMPARE(tree->currentIndex(), top(1));
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

void TestMainWindow::shownButNeverActivatedStillReminds()
{
    // A window manager that keeps the focus elsewhere: the first activation's
    // work runs anyway, once.
    QVERIFY(!assistantForm->trayIcon);
    QCOMPARE(assistantForm->probe().activations, 0);
    assistantForm->activateIfNeverActivated();
    QVERIFY(assistantForm->trayIcon);
    QVERIFY(assistantForm->remindMinutes() > 0);
    assistantForm->activateIfNeverActivated();
    QCOMPARE(assistantForm->probe().activations, 1);
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
    QSignalSpy dayBegan(assistantForm, &TassistantForm::dayBegan);
    assistantForm->Timer1Timer(); // still yesterday: nothing rebuilt
    QCOMPARE(topCount(), 2);
    QCOMPARE(dayBegan.count(), 0);
    env->setNow(QDateTime(today.addDays(1), QTime(0, 0, 0, 300)));
    assistantForm->Timer1Timer();
    QCOMPARE(dayBegan.count(), 1); // the daily backup's cue
    QCOMPARE(text(top(0)), QString("今天[星期四]"));
    QCOMPARE(text(top(1)), QString("明天[星期五]"));
    QCOMPARE(childCount(top(1)), 1);
    QCOMPARE(assistantForm->zjGroupBox->title(), QString("工作笔记(2026-12-10)"));
}

void TestMainWindow::refreshFlagRebuildsAndReloadsTheMarquee()
{
    assistantForm->FormShow();
    const int id = addSchedule("新的", today, QTime(16, 0));
    Settings::Writer().string(Settings::zm, "新字幕");
    Desktop::setCursorPos([] { return QPoint(2000, 2000); });
    assistantForm->Timer1Timer();
    QVERIFY(!scheduleNode(id).isValid()); // not before the flag is set
    refreshFlag = 1;
    assistantForm->Timer1Timer();
    QVERIFY(scheduleNode(id).isValid());
    QCOMPARE(refreshFlag, 0);
    QCOMPARE(assistantForm->Label1->text(), QString("新字幕"));
}

void TestMainWindow::hoverShowsAndHidesDetails()
{
    const int a = addSchedule("第一个", today, QTime(9, 0), 0, 2);
    const int b = addSchedule("第二个", today, QTime(11, 0));
    assistantForm->show();
    QPoint cursor = centreOf(scheduleNode(a));
    Desktop::setCursorPos([&cursor] { return cursor; });
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), a);
    QCOMPARE(assistantForm->details(),
             QString("\r日程标题: 第一个\r日程时间: 2026-12-9[09:00:00]\r"
                     "优 先 级: 高\r状    态: 进行中\r日程内容: 内容：第一个\r\r"));
    cursor = centreOf(scheduleNode(b));
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), b);
    QVERIFY(assistantForm->details().contains("第二个"));
    QVERIFY(assistantForm->hoverTip->isVisible());
    QVERIFY(assistantForm->hoverTip->text().contains("第二个"));
    cursor = centreOf(top(0)); // a date node hides the details
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), -1);
    QVERIFY(!assistantForm->hoverTip->isVisible());
    QCOMPARE(assistantForm->details(), QString());
    // Over the buttons (the bottom 50 pixels) nothing changes.
    cursor = centreOf(scheduleNode(a));
    assistantForm->hoverStep();
    const QRect frame = assistantForm->frameGeometry();
    cursor = QPoint(frame.left() + 20, frame.bottom() - 10);
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), a);
    // Under a modal window (the add window, say): nothing shows over it.
    {
        QWidget modal;
        modal.setWindowModality(Qt::ApplicationModal);
        modal.show();
        cursor = centreOf(scheduleNode(b));
        assistantForm->hoverStep();
        QCOMPARE(assistantForm->lastShownId(), -1);
        QVERIFY(!assistantForm->hoverTip->isVisible());
    }
    cursor = centreOf(scheduleNode(a));
    assistantForm->hoverStep();
    // Hidden in the tray: nothing is shown where the window would stand.
    cursor = centreOf(scheduleNode(b));
    assistantForm->hide();
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), a);
}

void TestMainWindow::lunarDatesFollowTheSavedSetting()
{
    const int id = addSchedule("冬至聚餐", QDate(2026, 12, 22), QTime(18, 0));
    assistantForm->show();
    Settings::Writer().integer(Settings::showLunar, 1);
    Desktop::setCursorPos([] { return QPoint(2000, 2000); });
    assistantForm->Timer1Timer();
    QCOMPARE(text(top(1)), QString("明天[星期四]")); // not before the settings are saved
    const QStringList plain = {"今天[星期三]", "明天[星期四]", "2026-12-22[星期二]"};
    const QStringList lunar = {"今天[星期三] · 冬月初一", "明天[星期四] · 冬月初二",
                               "2026-12-22[星期二] · 冬月十四 冬至"};
    for (int on : {1, 0}) {
        Settings::Writer().integer(Settings::showLunar, on);
        refreshFlag = 1;
        assistantForm->Timer1Timer();
        QStringList tops;
        QTreeView* tree = assistantForm->rcTree;
        for (int i = 0; i < topCount(); ++i) {
            tops << top(i).data(Qt::AccessibleTextRole).toString();
            QCOMPARE(text(top(i)).replace('\n', " · "), tops.last());
            // Nothing clipped: a lunar day too wide for the line has one of its own.
            for (const QString& line : text(top(i)).split('\n'))
                QVERIFY2(tree->indentation() + tree->iconSize().width() +
                                 tree->fontMetrics().horizontalAdvance(line) <
                             tree->viewport()->width(),
                         qPrintable(line));
        }
        QCOMPARE(tops, on ? lunar : plain);
        QCOMPARE(tree->uniformRowHeights(), !on);
        QCOMPARE(text(scheduleNode(id)), QString("18:00:00:  冬至聚餐"));
        QCOMPARE(assistantForm->zjGroupBox->title(),
                 on ? QString("工作笔记(2026-12-9 冬月初一)") : QString("工作笔记(2026-12-9)"));
        assistantForm->rcTree->expand(top(2));
        const QPoint cursor = centreOf(scheduleNode(id));
        Desktop::setCursorPos([cursor] { return cursor; });
        assistantForm->hoverStep();
        QCOMPARE(assistantForm->details().contains("\r农    历: 丙午年 冬月十四\r"), bool(on));
        const QPoint away = centreOf(top(0)); // a date node: the next hover reads again
        Desktop::setCursorPos([away] { return away; });
        assistantForm->hoverStep();
        Desktop::setCursorPos([] { return QPoint(2000, 2000); });
    }
}

void TestMainWindow::widthToggle()
{
    QPushButton* button = assistantForm->zjButton;
    QCOMPARE(assistantForm->windowWidth(), 240);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(assistantForm->windowWidth(), 466);
    QCOMPARE(button->text(), QString("<<"));
    QCOMPARE(button->accessibleName(), QString("收起工作笔记"));
    QVERIFY(assistantForm->rect().contains(assistantForm->zjGroupBox->geometry()));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(assistantForm->windowWidth(), 240);
    QCOMPARE(button->text(), QString(">>"));
    QCOMPARE(button->accessibleName(), QString("展开工作笔记"));
}

void TestMainWindow::workNoteSave_data()
{
    QTest::addColumn<QString>("stored"); // "-" when the day has no note
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("after"); // "-" when still none
    const QString saved = "     工作笔记保存完毕！     ";
    const auto row = [](const char* name, const char* stored, const char* typed,
                        const QString& message, const char* after) {
        QTest::newRow(name) << QString(stored) << QString(typed) << message << QString(after);
    };
    row("empty memo, no note", "-", " \r\n\t", "     今天没有工作笔记保存！     ", "-");
    row("new note kept unstripped", "-", "  今天写了测试\n", saved, "  今天写了测试\n");
    row("update the one row", "旧笔记", "新笔记", saved, "新笔记");
    row("empty memo clears a note", "旧笔记", "", saved, "");
}

void TestMainWindow::workNoteSave()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, after);
    if (stored != "-")
        addWorkNote(today, stored);
    assistantForm->FormShow();
    QCOMPARE(assistantForm->zjMemo->toPlainText(), stored == "-" ? QString() : stored);
    assistantForm->zjMemo->setPlainText(typed);
    assistantForm->saveZJButtonClick();
    assistantForm->saveZJButtonClick(); // twice: still one row
    QCOMPARE(env->dialogs().messages(), (QStringList{message, message}));
    const QList<StoredWorkNote> notes = storedWorkNotes();
    QCOMPARE(notes.size(), after == "-" ? 0 : 1);
    if (after != "-") {
        QCOMPARE(notes[0].text, after);
        QCOMPARE(notes[0].date, today);
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
    select(top(2)); // a later date node
    assistantForm->findChild<QAction*>("roottjrc")->trigger();
    QVERIFY(addrcForm);
    QCOMPARE(env->dialogs().modalWindows.size(), 1);
    QCOMPARE(addrcForm->date_value->date(), today.addDays(3));
    // From the tray menu while it is open: the same window, no second one.
    TaddrcForm* open = addrcForm;
    assistantForm->findChild<QAction*>("tjrc")->trigger();
    QCOMPARE(addrcForm, open);
    QCOMPARE(env->dialogs().modalWindows.size(), 1);
    select(top(1)); // 明天
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

void TestMainWindow::codeListsOfferTheCaptionsInCodeOrder()
{
    // Entry i of a list stands for code i (of statuses, code i + 1).
    const auto entries = [](QComboBox* box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    };
    const QStringList priorities{"高", "中", "低"}, units{"分钟", "小时", "天"};
    assistantForm->tjrcClick();
    QVERIFY(addrcForm);
    for (QComboBox* box : {addrcForm->yxj, xgrcForm->yxj, rccxForm->yxjComboBox})
        QCOMPARE(entries(box), priorities);
    for (QComboBox* box : {addrcForm->tx_time_flag, xgrcForm->tx_time_flag})
        QCOMPARE(entries(box), units);
    QCOMPARE(entries(rccxForm->ztComboBox),
             (QStringList{"没有完成", "进行中", "已经完成", "取消"}));
    QCOMPARE(addrcForm->yxj->currentIndex(), 0);
}

void TestMainWindow::editOpensTheModifyWindowOnTheSchedule()
{
    const int id = addSchedule("会议", today, QTime(15, 0));
    assistantForm->FormShow();
    select(scheduleNode(id));
    assistantForm->findChild<QAction*>("bjrc")->trigger();
    QCOMPARE(xgrcForm->scheduleId, id);
    QCOMPARE(env->dialogs().modalWindows, QList<QWidget*>{xgrcForm});
    QCOMPARE(env->dialogs().shown.last().owner, assistantForm); // modal to the main window
}

void TestMainWindow::settingsReachTheMainWindowAtTickAndActivation()
{
    assistantForm->FormShow();
    QVERIFY(runGuarded([] { assistantForm->FormActivate(); }));
    QCOMPARE(assistantForm->remindMinutes(), 1);
    assistantForm->findChild<QAction*>("gxsz")->trigger();
    QVERIFY(gxszForm);
    TgxszForm* open = gxszForm;
    assistantForm->gxszClick(); // from the tray menu while it is open: the same one
    QCOMPARE(gxszForm, open);
    QCOMPARE(env->dialogs().modalWindows, QList<QWidget*>{open});
    QCOMPARE(env->dialogs().shown.last().owner, assistantForm);
    gxszForm->zm->setText("新的字幕");
    gxszForm->minutes->setValue(7);
    const int activations = assistantForm->probe().activations;
    Desktop::setCursorPos([] { return QPoint(2000, 2000); });
    gxszForm->confirmButton->click();
    assistantForm->Timer1Timer(); // the next tick
    QCOMPARE(assistantForm->Label1->text(), QString("新的字幕"));
    QCOMPARE(refreshFlag, 0);
    QCOMPARE(assistantForm->remindMinutes(), 1); // the tick leaves the interval alone
    // The main window becomes active again as the settings window goes.
    QTRY_VERIFY(!gxszForm);
    QTRY_VERIFY(assistantForm->probe().activations > activations);
    QCOMPARE(assistantForm->remindMinutes(), 7);
    assistantForm->gxszClick(); // a fresh window after the last was freed
    QVERIFY(gxszForm);
    QCOMPARE(gxszForm->minutes->value(), 7);
}

void TestMainWindow::notesQueryAndWorkNotesOpenTheirWindows()
{
    const int id = addSchedule("会议", today, QTime(15, 0));
    assistantForm->FormShow();
    select(scheduleNode(id));
    assistantForm->findChild<QAction*>("tjbz")->trigger();
    QCOMPARE(tjbzForm->scheduleId, id);
    QCOMPARE(tjbzForm->titleLabel->text(), QString("会议"));
    assistantForm->cxButton->click();
    QCOMPARE(env->dialogs().modalWindows, (QList<QWidget*>{tjbzForm, rccxForm}));
    QCOMPARE(env->dialogs().shown.last().owner, assistantForm);

    // One work-note browser at most, from the panel's button or the menu.
    assistantForm->readZJButton->click();
    TzjForm* browser = zjForm;
    QVERIFY(browser);
    assistantForm->findChild<QAction*>("N1")->trigger();
    QCOMPARE(zjForm, browser);
    QCOMPARE(env->dialogs().modalWindows.size(), 3);
    browser->close();
    QTRY_VERIFY(!zjForm);
    assistantForm->findChild<QAction*>("N1")->trigger();
    QVERIFY(zjForm);
    QCOMPARE(env->dialogs().modalWindows.size(), 4);
    delete zjForm;
}

void TestMainWindow::helpOpensTheViewerOrOurOwnPages()
{
    QStringList opened;
    bool viewer = true;
    Desktop::setOpener([&](const QString& name) {
        opened << name;
        return viewer;
    });
    assistantForm->findChild<QAction*>("help")->trigger();
    QCOMPARE(opened, QStringList{env->programDir() + "help.chm"});
    QVERIFY(!HelpWindow::instance());
    // Where the desktop has no viewer for it, the same pages in our own window.
    viewer = false;
    assistantForm->findChild<QAction*>("help")->trigger();
    Desktop::setOpener(nullptr);
    QVERIFY(HelpWindow::instance() && HelpWindow::instance()->isVisible());
    QVERIFY(HelpWindow::instance()->browser()->toPlainText().contains("概述"));
    QVERIFY(env->dialogs().shown.isEmpty());
    HelpWindow::instance()->close();
}

void TestMainWindow::dayChangeWithoutAMidnightTick()
{
    // A suspend across midnight: the first tick after it is well past 00:00:01.
    assistantForm->FormShow();
    assistantForm->zjMemo->setPlainText("昨天写的");
    Desktop::setCursorPos([] { return QPoint(2000, 2000); });
    env->setNow(QDateTime(today.addDays(1), QTime(7, 30)));
    assistantForm->saveZJButtonClick(); // before the tick: kept under its own day
    assistantForm->Timer1Timer();
    QCOMPARE(text(top(0)), QString("今天[星期四]"));
    QCOMPARE(assistantForm->zjGroupBox->title(), QString("工作笔记(2026-12-10)"));
    QCOMPARE(assistantForm->zjMemo->toPlainText(), QString());
    QCOMPARE(storedWorkNotes().size(), 1);
    QCOMPARE(storedWorkNotes()[0].date, today);
}

void TestMainWindow::rowsDeletedElsewhereRaiseNothing()
{
    const int id = addSchedule("别处删除", today, QTime(9, 0));
    assistantForm->show();
    const QPoint cursor = centreOf(scheduleNode(id));
    DbQuery del(DataModule1->ADOConnection1);
    del.setSql(Sql::deleteSchedule(id));
    del.execSql();
    // Its node stays until the next rebuild: drawn in the tree's colour, no details.
    QCOMPARE(assistantForm->priorityColor(id), std::optional<QColor>());
    Desktop::setCursorPos([cursor] { return cursor; });
    assistantForm->hoverStep();
    QCOMPARE(assistantForm->lastShownId(), id);
    QVERIFY(!assistantForm->hoverTip->isVisible());
    QTest::qWait(10);
    QVERIFY(env->dialogs().errors().isEmpty());
}

void TestMainWindow::colourErrorIsReportedAgainAfterAMend()
{
    const int id = addSchedule("颜色", today, QTime(9, 0), 2);
    assistantForm->FormShow();
    auto paint = [id] {
        return assistantForm->priorityColor(id);
    };
    Settings::Writer().string(Settings::lowColor, "绿色");
    paint();
    paint(); // once for the same fault
    QTRY_COMPARE(env->dialogs().errors().size(), 1);
    // Above the main window it came from.
    QCOMPARE(env->dialogs().shown.last().owner, assistantForm);
    Settings::Writer().string(Settings::lowColor, "clGreen");
    QCOMPARE(paint(), QColor(0, 128, 0));
    Settings::Writer().string(Settings::lowColor, "绿色");
    paint();
    QTRY_COMPARE(env->dialogs().errors().size(), 2);
}

void TestMainWindow::detailsStayOverTheButtons()
{
    const int id = addSchedule("看详情", today, QTime(9, 0));
    assistantForm->show();
    QPoint cursor = centreOf(scheduleNode(id));
    Desktop::setCursorPos([&cursor] { return cursor; });
    assistantForm->hoverStep();
    QVERIFY(assistantForm->hoverTip->isVisible());
    // Onto 菜单: the tree is left, and the details stay.
    cursor = assistantForm->menuButton->mapToGlobal(assistantForm->menuButton->rect().center());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(assistantForm->rcTree->viewport(), &leave);
    assistantForm->hoverStep();
    QVERIFY(assistantForm->hoverTip->isVisible());
    QCOMPARE(assistantForm->lastShownId(), id);
}

void TestMainWindow::returnInTheTreePressesTheMenuButton()
{
    assistantForm->show();
    QSignalSpy pressed(assistantForm->menuButton, &QPushButton::clicked);
    assistantForm->rcTree->setFocus();
    QTest::keyClick(assistantForm->rcTree, Qt::Key_Return);
    QCOMPARE(pressed.size(), 1);
    QTRY_VERIFY(assistantForm->MainMenu->isVisible());
    assistantForm->MainMenu->hide();
}

void TestMainWindow::secondStartFindsAWindowWithoutATrayIcon()
{
    assistantForm->show();
    assistantForm->hide(); // as the tray would have it, but no icon of ours is there
    QVERIFY(!assistantForm->trayIcon);
    assistantForm->bringForward();
    QVERIFY(assistantForm->isVisible());
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
