#include "WindowTestSupport.h"
#include "platform/DayNumber.h"
#include "platform/Formats.h"
#include "shell/Application.h"
#include "shell/Forms.h"
#include "shell/data/Schedules.h"
#include "shell/data/dataForm.h"
#include "shell/settings/Settings.h"
#include "views/ScheduleGrid.h"
#include "views/ViewsLogic.h"
#include "views/rccx.h"
#include "views/showbz.h"
#include "views/tjbz.h"
#include "views/zj.h"
#include "widgets/DateTimeEdits.h"
#include "widgets/SnapshotModel.h"
#include "widgets/TextLimits.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QtTest>

using namespace ViewsLogic;

namespace {
const QDate today(2026, 6, 30);

QStringList storedTitles()
{
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql("select * from main order by id");
    q.open();
    QStringList out;
    for (; !q.eof(); q.next())
        out << q.textField("title");
    return out;
}

QString storedNote(qint64 id)
{
    DbQuery q(DataModule1->ADOConnection1);
    return ScheduleData::noteOf(q, id)->bz;
}

// The texts of one column of a grid, below its header row.
QStringList columnTexts(QAbstractItemModel* m, int column)
{
    QStringList out;
    for (int r = 1; r < m->rowCount(); ++r)
        out << m->index(r, column).data().toString();
    return out;
}

void mouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
           Qt::MouseButtons held)
{
    QMouseEvent e(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void doubleClick(ScheduleGrid* grid, int row, int column)
{
    const QModelIndex i = grid->model()->index(row, column);
    grid->scrollTo(i);
    // The press and release before the double click, as a mouse sends them.
    const QPoint at = grid->visualRect(i).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

void setPurge(int deleteRc, int days)
{
    Settings::Writer w;
    w.integer(Settings::deleteRc, deleteRc);
    w.integer(Settings::oldrcDays, days);
}
} // namespace

class TestViews : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { env.reset(); }

    void cellTexts_data();
    void cellTexts();
    void purgeAndPagingRules();
    void placementStaysOnTheDesktop();

    void browseListsEverySchedule();
    void queries_data();
    void queries();
    void datesTypedWithTwoDigitYears_data();
    void datesTypedWithTwoDigitYears();
    void timeColumnHoldsTheWidestTime_data();
    void timeColumnHoldsTheWidestTime();
    void refusedQueryKeepsRowsWithoutNotes();
    void doubleClicks_data();
    void doubleClicks();
    void noteColumnFollowsWhereItIsDragged();
    void purge_data();
    void purge();
    void showingKeepsTheTabAndResetsTheItem();

    void noteWindowLoadsAndStores();
    void noteWindowReloadsOnActivation();
    void noteLimitIsFiftyChineseCharacters();
    void missingScheduleIsReportedAndNeverAdded();
    void popupIsMovedByItsStripAndClosed_data();
    void popupIsMovedByItsStripAndClosed();

    void browserOpensOnTheSearchTab();
    void readingTabPagesByCalendarDay();
    void savingKeepsOneRowPerDate();
    void searchPaging_data();
    void searchPaging();
    void savingAHitKeepsItsPlace();
    void tabSwitchAndCloseStartAfresh();
    void unparsableDateIsReportedWhereItIsRead();
    void browserShowsLunarDatesWhenSet_data();
    void browserShowsLunarDatesWhenSet();

private:
    TzjForm* openBrowser();
    std::unique_ptr<WindowTestEnvironment> env;
};

void TestViews::init()
{
    env = std::make_unique<WindowTestEnvironment>(QDateTime(today, QTime(9, 0)));
    Settings::writeFirstRunDefaults();
    env->openData();
    env->create(tjbzForm);
    env->create(rccxForm);
    env->create(showbzForm);
    env->own(zjForm);
}

void TestViews::cellTexts_data()
{
    QTest::addColumn<QString>("row");       // the columns of one row, as a select list
    QTest::addColumn<QStringList>("texts"); // columns 1 to 7
    const QString date = QString::number(DayNumber::fromDate(QDate(2026, 7, 1)));
    const QString time = QString::number(DayNumber::fromTime(QTime(14, 30)));
    const auto row = [&](const QString& title, const QString& yxj, const QString& zt,
                         const QString& bz) {
        return QString("%1 as title, 'c' as content, %2 as rc_date, %3 as rc_time, %4 as yxj, "
                       "%5 as zt_flag, %6 as bz")
            .arg(title, date, time, yxj, zt, bz);
    };
    QTest::newRow("known codes, no note")
        << row("'周会'", "1", "3", "''")
        << QStringList{"2026-7-1", "14:30:00", "周会", "c", "已经完成", "中", "没有备注"};
    QTest::newRow("codes outside the tables, a note")
        << row("'周会'", "3", "0", "'带材料'")
        << QStringList{"2026-7-1", "14:30:00", "周会", "c", "", "", "点击查看"};
    QTest::newRow("status 5, priority -1")
        << row("'周会'", "-1", "5", "''")
        << QStringList{"2026-7-1", "14:30:00", "周会", "c", "", "", "没有备注"};
    QTest::newRow("values missing; a missing note counts as one")
        << QString("null as title, null as content, null as rc_date, null as rc_time, null as "
                   "yxj, null as zt_flag, null as bz")
        << QStringList{"", "", "", "", "", "", "点击查看"};
}

void TestViews::cellTexts()
{
    QFETCH(QString, row);
    QFETCH(QStringList, texts);
    DbQuery q(DataModule1->ADOConnection1);
    q.setSql("select 7 as id, " + row + ", 0 as is_tx, 0 as tx_time, 0 as tx_time_flag");
    q.open();
    const ScheduleColumns c(*q.snapshot());
    QStringList got;
    for (int col = DateColumn; col <= NoteColumn; ++col)
        got << cellText(*q.snapshot(), c, 0, col);
    QCOMPARE(got, texts);
    QCOMPARE(noteCellColour(hasNote(*q.snapshot(), c, 0)),
             texts.last() == "点击查看" ? QColor(255, 0, 0) : QColor(0, 0, 0));
}

void TestViews::purgeAndPagingRules()
{
    QCOMPARE(purgeDays(1, 30), std::optional<int>(30));
    QCOMPARE(purgeDays(1, 0), std::optional<int>(0));
    QVERIFY(!purgeDays(0, 30));
    QVERIFY(!purgeDays(2, 30));
    QVERIFY(!purgeDays(1, -5)); // would reach today's schedules

    const auto buttons = [](int recNo, int count) {
        const HitButtons b = hitButtons(recNo, count);
        return QString("%1%2").arg(b.prior ? "P" : "-", b.next ? "N" : "-");
    };
    QCOMPARE(buttons(1, 1), QString("--"));
    QCOMPARE(buttons(1, 3), QString("-N"));
    QCOMPARE(buttons(2, 3), QString("PN"));
    QCOMPARE(buttons(3, 3), QString("P-"));
    QCOMPARE(buttons(0, 0), QString("--"));
}

void TestViews::placementStaysOnTheDesktop()
{
    QCOMPARE(Forms::centredOver(QSize(100, 50), QRect(100, 100, 200, 200), QPoint(0, 0)),
             QPoint(150, 175));
    // A main window docked at the top edge, partly off the desktop.
    QCOMPARE(Forms::centredOver(QSize(511, 247), QRect(-100, -300, 240, 461), QPoint(0, 0)),
             QPoint(0, 0));
}

void TestViews::browseListsEverySchedule()
{
    Dialogs::instance().showModal(rccxForm, nullptr);
    QAbstractItemModel* m = rccxForm->strGrid->model();
    QCOMPARE(m->rowCount(), 1); // the header row alone
    rccxForm->hide();

    addSchedule("后来", today.addDays(2), QTime(8, 0), 0, 4, "带材料");
    addSchedule("早上", today, QTime(7, 0), 2, 2);
    addSchedule("下午", today, QTime(15, 0));
    Dialogs::instance().showModal(rccxForm, nullptr);
    QStringList header;
    for (int c = 0; c < GridColumnCount; ++c)
        header << m->index(0, c).data().toString();
    QCOMPARE(header, (QStringList{"", "日程日期", "日程时间", "日程标题", "日程内容", "日程状态",
                                  "优先级", "备注"}));
    QCOMPARE(columnTexts(m, TitleColumn), (QStringList{"早上", "下午", "后来"}));
    QCOMPARE(columnTexts(m, DateColumn), (QStringList{"2026-6-30", "2026-6-30", "2026-7-2"}));
    QCOMPARE(columnTexts(m, StatusColumn), (QStringList{"进行中", "没有完成", "取消"}));
    QCOMPARE(columnTexts(m, PriorityColumn), (QStringList{"低", "中", "高"}));
    QCOMPARE(columnTexts(m, NoteColumn), (QStringList{"没有备注", "没有备注", "点击查看"}));
    QCOMPARE(m->index(3, NoteColumn).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    QList<int> widths;
    for (int c = 0; c < GridColumnCount; ++c)
        widths << rccxForm->strGrid->gridColumnWidth(c);
    QCOMPARE(widths, (QList<int>{10, 70, 70, 200, 300, 70, 70, 150}));
    // Row 0 scrolls away with the rest; column 0 stays beside the rows.
    QVERIFY(!rccxForm->strGrid->verticalHeader()->isHidden());
    QVERIFY(rccxForm->strGrid->isColumnHidden(0));
    QCOMPARE(rccxForm->strGrid->fixedColumn()->width(), 10);
}

void TestViews::queries_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("value"); // typed text, or the index of the list
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("shown"); // message or error

    QTest::newRow("title at the end only")
        << 0 << "会议" << QStringList{"周一会议", "Tom's会议"} << "";
    QTest::newRow("a trailing blank counts") << 0 << "会议 " << QStringList{"部门会议 "} << "";
    QTest::newRow("a quote is a character") << 0 << "'s会议" << QStringList{"Tom's会议"} << "";
    QTest::newRow("_ is one character") << 0 << "一_议" << QStringList{"周一会议"} << "";
    QTest::newRow("blanks only") << 0 << "   " << QStringList{} << "message:请填写日程标题！";
    QTest::newRow("nothing found") << 0 << "没有" << QStringList{} << "";
    QTest::newRow("priority 中") << 1 << "1" << QStringList{"周一会议", "Tom's会议"} << "";
    QTest::newRow("status 已经完成") << 2 << "2" << QStringList{"会议纪要"} << "";
    QTest::newRow("date") << 3 << "2026-7-2" << QStringList{"会议纪要", "部门会议 "} << "";
    QTest::newRow("no date") << 3 << " " << QStringList{} << "message:请选择日程日期！";
    QTest::newRow("no such date") << 3 << "2026-2-30" << QStringList{}
                                  << "error:'2026-2-30' is not a valid date.";
}

void TestViews::queries()
{
    QFETCH(int, item);
    QFETCH(QString, value);
    QFETCH(QStringList, titles);
    QFETCH(QString, shown);
    addSchedule("周一会议", today.addDays(1), QTime(9, 0), 1, 1);
    addSchedule("会议纪要", today.addDays(2), QTime(8, 0), 0, 3);
    addSchedule("部门会议 ", today.addDays(2), QTime(10, 0), 2, 2);
    addSchedule("Tom's会议", today.addDays(3), QTime(9, 0), 1, 4);
    Dialogs::instance().showModal(rccxForm, nullptr);
    rccxForm->cxComboBox->setCurrentIndex(item);
    QCOMPARE(rccxForm->btEdit->isHidden(), item != 0);
    QCOMPARE(rccxForm->rcDateEdit->isHidden(), item != 3);
    if (item == 0)
        rccxForm->btEdit->setText(value);
    else if (item == 1)
        rccxForm->yxjComboBox->setCurrentIndex(value.toInt());
    else if (item == 2)
        rccxForm->ztComboBox->setCurrentIndex(value.toInt());
    else
        rccxForm->rcDateEdit->setText(value);
    click(rccxForm->cxButton);

    QStringList got;
    for (const RecordingDialogs::Shown& s : env->dialogs().shown)
        if (s.kind != "modal")
            got << s.kind + ":" + s.text;
    QCOMPARE(got.join("|"), shown);
    QCOMPARE(columnTexts(rccxForm->StrGrid2->model(), TitleColumn), titles);
    QCOMPARE(rccxForm->resultOpen(), shown.isEmpty());
}

void TestViews::datesTypedWithTwoDigitYears_data()
{
    QTest::addColumn<QString>("locale");
    for (const char* name : {"en_US", "de_DE", "zh_CN", "zh_TW", "C"})
        QTest::newRow(name) << QString(name);
}

void TestViews::datesTypedWithTwoDigitYears()
{
    QFETCH(QString, locale);
    Formats::setLocale(QLocale(locale));
    addSchedule("周一会议", QDate(2026, 7, 6), QTime(9, 0));
    addSchedule("去年", QDate(1926, 7, 6), QTime(9, 0));
    setPurge(0, 30);
    Dialogs::instance().showModal(rccxForm, nullptr);
    rccxForm->cxComboBox->setCurrentIndex(3);
    // As the user of the locale writes it: with a two-digit year where its
    // short format has one.
    const QString typed = QLocale(locale).toString(QDate(2026, 7, 6), QLocale::ShortFormat);
    rccxForm->rcDateEdit->setText(typed);
    click(rccxForm->cxButton);
    QCOMPARE(env->dialogs().errors(), QStringList());
    QCOMPARE(columnTexts(rccxForm->StrGrid2->model(), TitleColumn), QStringList{"周一会议"});
}

void TestViews::timeColumnHoldsTheWidestTime_data()
{
    QTest::addColumn<QString>("locale");
    for (const char* name : {"zh_CN", "en_US", "de_DE"})
        QTest::newRow(name) << QString(name);
}

void TestViews::timeColumnHoldsTheWidestTime()
{
    QFETCH(QString, locale);
    Formats::setLocale(QLocale(locale));
    addSchedule("中午", today, QTime(12, 0));
    setPurge(0, 30);
    Dialogs::instance().showModal(rccxForm, nullptr);
    rccxForm->btEdit->setText("中午");
    click(rccxForm->cxButton);
    for (ScheduleGrid* grid : {rccxForm->strGrid, rccxForm->StrGrid2}) {
        // What the cell's delegate leaves for the text: the column less its
        // margins either side.
        const int margins = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        const QFontMetrics metrics(grid->font());
        for (const QTime& t : {QTime(12, 0), QTime(23, 59, 59), QTime(0, 0), QTime(8, 8, 8)})
            QVERIFY2(metrics.horizontalAdvance(Formats::timeText(t)) + margins <=
                         grid->gridColumnWidth(TimeColumn),
                     qPrintable(Formats::timeText(t)));
        QVERIFY(grid->gridColumnWidth(TimeColumn) >= gridWidth(TimeColumn));
    }
}

void TestViews::refusedQueryKeepsRowsWithoutNotes()
{
    addSchedule("周一会议", today, QTime(9, 0), 1, 1, "带材料");
    addSchedule("部门会议", today, QTime(10, 0), 1, 1);
    Dialogs::instance().showModal(rccxForm, nullptr);
    rccxForm->btEdit->setText("会议");
    click(rccxForm->cxButton);
    QAbstractItemModel* m = rccxForm->StrGrid2->model();
    QCOMPARE(columnTexts(m, NoteColumn), (QStringList{"点击查看", "没有备注"}));
    rccxForm->btEdit->setText(" ");
    click(rccxForm->cxButton);
    QCOMPARE(env->dialogs().messages(), QStringList{"请填写日程标题！"});
    QCOMPARE(columnTexts(m, TitleColumn), (QStringList{"周一会议", "部门会议"}));
    QCOMPARE(columnTexts(m, NoteColumn), (QStringList{"", ""}));
    doubleClick(rccxForm->StrGrid2, 1, NoteColumn);
    QCOMPARE(env->dialogs().modalWindows, QList<QWidget*>{rccxForm});
    // The next showing leaves the header row alone.
    rccxForm->hide();
    Dialogs::instance().showModal(rccxForm, nullptr);
    QCOMPARE(m->rowCount(), 1);
}

void TestViews::doubleClicks_data()
{
    QTest::addColumn<bool>("resultGrid");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("popup"); // the note it shows, or nothing
    for (bool result : {false, true}) {
        const char* grid = result ? "result " : "browse ";
        QTest::newRow(QByteArray(grid) + "note") << result << 1 << int(NoteColumn) << "带材料";
        QTest::newRow(QByteArray(grid) + "no note") << result << 2 << int(NoteColumn) << "";
        QTest::newRow(QByteArray(grid) + "header row") << result << 0 << int(NoteColumn) << "";
        QTest::newRow(QByteArray(grid) + "title cell") << result << 1 << int(TitleColumn) << "";
    }
}

void TestViews::doubleClicks()
{
    QFETCH(bool, resultGrid);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, popup);
    const qint64 id = addSchedule("周一会议", today, QTime(9, 0), 1, 1, "旧的");
    addSchedule("部门会议", today, QTime(10, 0));
    Dialogs::instance().showModal(rccxForm, nullptr);
    ScheduleGrid* grid = rccxForm->strGrid;
    if (resultGrid) {
        rccxForm->RzPageControl1->setCurrentIndex(1);
        rccxForm->btEdit->setText("会议");
        click(rccxForm->cxButton);
        grid = rccxForm->StrGrid2;
    } else {
        rccxForm->RzPageControl1->setCurrentIndex(0);
    }
    // The popup reads the note afresh, not from the grid's rows.
    DbQuery q(DataModule1->ADOConnection1);
    ScheduleData::setNote(q, id, "带材料");
    doubleClick(grid, row, column);
    const bool shown = env->dialogs().modalWindows.contains(showbzForm);
    QCOMPARE(shown, !popup.isEmpty());
    if (shown) {
        QCOMPARE(showbzForm->scheduleId, int(id));
        QCOMPARE(showbzForm->bzMemo->toPlainText(), popup);
        QVERIFY(showbzForm->bzMemo->isReadOnly());
    }
}

void TestViews::noteColumnFollowsWhereItIsDragged()
{
    addSchedule("周一会议", today, QTime(9, 0), 1, 1, "带材料");
    Dialogs::instance().showModal(rccxForm, nullptr);
    rccxForm->RzPageControl1->setCurrentIndex(0);
    ScheduleGrid* grid = rccxForm->strGrid;
    QApplication::processEvents();

    // Dragging the 日程标题 cell of row 0 onto 日程日期 puts the title first.
    const QPoint from = grid->visualRect(grid->model()->index(0, TitleColumn)).center();
    const QPoint onto = grid->visualRect(grid->model()->index(0, DateColumn)).center();
    QWidget* vp = grid->viewport();
    mouse(vp, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    mouse(vp, QEvent::MouseMove, (from + onto) / 2, Qt::NoButton, Qt::LeftButton);
    mouse(vp, QEvent::MouseMove, onto, Qt::NoButton, Qt::LeftButton);
    mouse(vp, QEvent::MouseButtonRelease, onto, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(grid->columnAtPosition(1), int(TitleColumn));
    QCOMPARE(grid->columnAtPosition(2), int(DateColumn));

    // Dragging the right edge of a column's row-0 cell sizes it.
    const QPoint edge(grid->columnViewportPosition(DateColumn) + grid->columnWidth(DateColumn),
                      grid->rowViewportPosition(0) + 5);
    mouse(vp, QEvent::MouseButtonPress, edge, Qt::LeftButton, Qt::LeftButton);
    mouse(vp, QEvent::MouseMove, edge + QPoint(30, 40), Qt::NoButton, Qt::LeftButton);
    mouse(vp, QEvent::MouseButtonRelease, edge + QPoint(30, 40), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(grid->gridColumnWidth(DateColumn), 100);

    // The note column moved into the second place keeps its painting and its
    // double-click; the cell now in the eighth place has neither.
    grid->moveColumn(NoteColumn, TitleColumn);
    QCOMPARE(grid->columnAtPosition(1), int(NoteColumn));
    QCOMPARE(grid->model()->index(1, NoteColumn).data().toString(), QString("点击查看"));
    doubleClick(grid, 1, grid->columnAtPosition(7));
    QVERIFY(!env->dialogs().modalWindows.contains(showbzForm));
    doubleClick(grid, 1, NoteColumn);
    QVERIFY(env->dialogs().modalWindows.contains(showbzForm));
    // Nothing takes the fixed column's place.
    grid->moveColumn(TitleColumn, 0);
    QCOMPARE(grid->columnAtPosition(0), 0);
}

void TestViews::purge_data()
{
    QTest::addColumn<int>("deleteRc");
    QTest::addColumn<int>("days");
    QTest::addColumn<QStringList>("kept");
    const QStringList all{"5月29日", "5月30日", "5月31日", "今天"};
    QTest::newRow("off") << 0 << 30 << all;
    QTest::newRow("any value but 1 is off") << 2 << 30 << all;
    QTest::newRow("30 days on 30 June") << 1 << 30 << QStringList{"5月31日", "今天"};
    QTest::newRow("one day") << 1 << 1 << QStringList{"今天"};
    QTest::newRow("a negative age deletes nothing") << 1 << -40 << all;
}

void TestViews::purge()
{
    QFETCH(int, deleteRc);
    QFETCH(int, days);
    QFETCH(QStringList, kept);
    addSchedule("5月29日", QDate(2026, 5, 29), QTime(9, 0));
    addSchedule("5月30日", QDate(2026, 5, 30), QTime(23, 0));
    addSchedule("5月31日", QDate(2026, 5, 31), QTime(0, 0));
    addSchedule("今天", today, QTime(9, 0));
    setPurge(deleteRc, days);
    Dialogs::instance().showModal(rccxForm, nullptr);
    QCOMPARE(storedTitles(), kept);
    // This showing still lists what it purged, the next does not.
    QCOMPARE(columnTexts(rccxForm->strGrid->model(), TitleColumn).size(), 4);
    QCOMPARE(columnTexts(rccxForm->strGrid->model(), NoteColumn).first(), QString("没有备注"));
    rccxForm->hide();
    Dialogs::instance().showModal(rccxForm, nullptr);
    QCOMPARE(columnTexts(rccxForm->strGrid->model(), TitleColumn), kept);
    QVERIFY(env->dialogs().errors().isEmpty());
}

void TestViews::showingKeepsTheTabAndResetsTheItem()
{
    QCOMPARE(rccxForm->RzPageControl1->currentIndex(), 1);
    Dialogs::instance().showModal(rccxForm, nullptr);
    rccxForm->cxComboBox->setCurrentIndex(2);
    rccxForm->ztComboBox->setCurrentIndex(3);
    rccxForm->btEdit->setText("周会");
    rccxForm->RzPageControl1->setCurrentIndex(0);
    rccxForm->close();
    Dialogs::instance().showModal(rccxForm, nullptr);
    QCOMPARE(rccxForm->RzPageControl1->currentIndex(), 0);
    QCOMPARE(rccxForm->cxComboBox->currentIndex(), 0);
    QVERIFY(!rccxForm->btEdit->isHidden());
    QVERIFY(rccxForm->ztComboBox->isHidden());
    QCOMPARE(rccxForm->ztComboBox->currentIndex(), 3);
    QCOMPARE(rccxForm->btEdit->text(), QString("周会"));

    // Settings that cannot be read: both grids are filled, then the error box.
    addSchedule("周会", QDate(2026, 1, 1), QTime(9, 0));
    writeFile(env->registryFile(), "not a registry");
    rccxForm->close();
    Dialogs::instance().showModal(rccxForm, nullptr);
    QVERIFY(!env->dialogs().errors().isEmpty());
    QVERIFY(env->dialogs().errors().last().contains("deleteRc"));
    QCOMPARE(columnTexts(rccxForm->strGrid->model(), TitleColumn), QStringList{"周会"});
    QCOMPARE(storedTitles(), QStringList{"周会"});
}

void TestViews::noteWindowLoadsAndStores()
{
    const qint64 id = addSchedule("周会", QDate(2026, 7, 1), QTime(14, 30), 1, 1, "带材料");
    tjbzForm->scheduleId = int(id);
    Dialogs::instance().showModal(tjbzForm, nullptr);
    QCOMPARE(tjbzForm->titleLabel->text(), QString("周会"));
    QCOMPARE(tjbzForm->dateLabel->text(), QString("2026-7-1-14:30:00"));
    QCOMPARE(tjbzForm->bzMemo->toPlainText(), QString("带材料"));

    tjbzForm->bzMemo->setPlainText("第一行\n第二行");
    click(tjbzForm->confirm);
    QCOMPARE(env->dialogs().messages(), QStringList{"备注修改成功！"});
    QVERIFY(!tjbzForm->isVisible());
    QCOMPARE(storedNote(id), QString("第一行\n第二行"));

    // An empty memo removes the note: the query window says so.
    Dialogs::instance().showModal(tjbzForm, nullptr);
    QCOMPARE(tjbzForm->bzMemo->toPlainText(), QString("第一行\n第二行"));
    tjbzForm->bzMemo->clear();
    click(tjbzForm->confirm);
    QCOMPARE(storedNote(id), QString());
    Dialogs::instance().showModal(rccxForm, nullptr);
    QCOMPARE(columnTexts(rccxForm->strGrid->model(), NoteColumn), QStringList{"没有备注"});
    QCOMPARE(storedTitles().size(), 1);
}

void TestViews::noteWindowReloadsOnActivation()
{
    tjbzForm->scheduleId = int(addSchedule("周会", today, QTime(9, 0), 1, 1, "带材料"));
    Dialogs::instance().showModal(tjbzForm, nullptr);
    tjbzForm->bzMemo->setPlainText("没确定的");
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(tjbzForm, &activate);
    QCOMPARE(tjbzForm->bzMemo->toPlainText(), QString("带材料"));
    tjbzForm->bzMemo->setPlainText("没确定的");
    tjbzForm->close();
    QCOMPARE(storedNote(tjbzForm->scheduleId), QString("带材料"));
}

void TestViews::noteLimitIsFiftyChineseCharacters()
{
    tjbzForm->scheduleId = int(addSchedule("周会", today, QTime(9, 0)));
    Dialogs::instance().showModal(tjbzForm, nullptr);
    tjbzForm->bzMemo->setFocus();
    const QString fifty = QString("备注").repeated(25);
    type(tjbzForm->bzMemo, fifty + "多");
    QCOMPARE(tjbzForm->bzMemo->toPlainText(), fifty);
    click(tjbzForm->confirm);
    QCOMPARE(storedNote(tjbzForm->scheduleId), fifty);
}

void TestViews::missingScheduleIsReportedAndNeverAdded()
{
    const qint64 id = addSchedule("周会", today, QTime(9, 0));
    tjbzForm->scheduleId = int(id) + 1;
    Dialogs::instance().showModal(tjbzForm, nullptr);
    QTRY_VERIFY(!tjbzForm->isVisible());
    QCOMPARE(env->dialogs().messages(), QStringList{"该日程已不存在！"});

    // Deleted while the window is open: storing says so and adds nothing.
    env->dialogs().clear();
    tjbzForm->scheduleId = int(id);
    Dialogs::instance().showModal(tjbzForm, nullptr);
    DbQuery q(DataModule1->ADOConnection1);
    ScheduleData::remove(q, id);
    click(tjbzForm->confirm);
    QCOMPARE(env->dialogs().messages(), QStringList{"该日程已不存在！"});
    QVERIFY(!tjbzForm->isVisible());
    QCOMPARE(storedTitles(), QStringList());

    // The popup of a row the purge removed from under the browse grid.
    env->dialogs().clear();
    showbzForm->scheduleId = int(id);
    Dialogs::instance().showModal(showbzForm, nullptr);
    QTRY_VERIFY(!showbzForm->isVisible());
    QCOMPARE(env->dialogs().messages(), QStringList{"该日程已不存在！"});
    QTest::qWait(20);
    QCOMPARE(env->dialogs().messages().size(), 1);
}

void TestViews::popupIsMovedByItsStripAndClosed_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
}

void TestViews::popupIsMovedByItsStripAndClosed()
{
    QFETCH(Qt::MouseButton, button);
    showbzForm->scheduleId = int(addSchedule("周会", today, QTime(9, 0), 1, 1, "带材料"));
    Dialogs::instance().showModal(showbzForm, nullptr);
    QVERIFY(showbzForm->windowFlags() & Qt::FramelessWindowHint);
    const QPoint before = showbzForm->pos();
    QLabel* strip = showbzForm->RzLabel1;
    const QPoint at(40, 7);
    mouse(strip, QEvent::MouseButtonPress, at, button, button);
    mouse(strip, QEvent::MouseMove, at + QPoint(30, 20), Qt::NoButton, button);
    mouse(strip, QEvent::MouseButtonRelease, at + QPoint(30, 20), button, Qt::NoButton);
    QCOMPARE(showbzForm->pos(), before + QPoint(30, 20));
    // Moving without a button held does not move it.
    mouse(strip, QEvent::MouseMove, at + QPoint(90, 90), Qt::NoButton, Qt::NoButton);
    QCOMPARE(showbzForm->pos(), before + QPoint(30, 20));
    QCOMPARE(showbzForm->RzBitBtn1->text(), QString("×"));
    click(showbzForm->RzBitBtn1);
    QVERIFY(!showbzForm->isVisible());
}

TzjForm* TestViews::openBrowser()
{
    zjForm = new TzjForm();
    Dialogs::instance().showModal(zjForm, nullptr);
    return zjForm;
}

void TestViews::browserOpensOnTheSearchTab()
{
    addWorkNote(today, "今天的笔记");
    TzjForm* w = openBrowser();
    QCOMPARE(w->RzPageControl1->currentIndex(), 1);
    QCOMPARE(w->DateEdit->text(), QString("2026-6-30"));
    QCOMPARE(w->zjMemo->toPlainText(), QString("今天的笔记"));
    QVERIFY(w->zjMemo->isReadOnly() && w->zjMemo2->isReadOnly());
    QCOMPARE(w->zjMemo->palette().color(QPalette::Base), QColor(192, 192, 192));
    QVERIFY(w->edit->isEnabled());
    for (QPushButton* b : {w->priorButton, w->nextButton, w->save, w->save1, w->edit1})
        QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
    QCOMPARE(w->keywordEdit->text(), QString());
}

void TestViews::readingTabPagesByCalendarDay()
{
    addWorkNote(today.addDays(-2), "前天的");
    TzjForm* w = openBrowser();
    QCOMPARE(w->zjMemo->toPlainText(), QString());
    click(w->edit);
    QVERIFY(w->save->isEnabled());
    QCOMPARE(w->zjMemo->palette().color(QPalette::Base), QColor(Qt::white));
    w->zjMemo->setPlainText("不保存");
    click(w->RzURLLabel1);
    QCOMPARE(w->DateEdit->text(), QString("2026-6-29"));
    QCOMPARE(w->zjMemo->toPlainText(), QString());
    QVERIFY(w->zjMemo->isReadOnly() && !w->save->isEnabled());
    click(w->RzURLLabel1);
    QCOMPARE(w->zjMemo->toPlainText(), QString("前天的"));
    click(w->RzURLLabel2);
    click(w->RzURLLabel2);
    click(w->RzURLLabel2);
    QCOMPARE(w->DateEdit->text(), QString("2026-7-1"));
    QCOMPARE(w->zjMemo->toPlainText(), QString());
    QCOMPARE(storedWorkNotes().size(), 1);

    // A date picked while editing loads its note into the still editable
    // memo, which cannot be saved until 编辑 again.
    click(w->edit);
    w->DateEdit->setDate(today.addDays(-2));
    QCOMPARE(w->zjMemo->toPlainText(), QString("前天的"));
    QVERIFY(!w->zjMemo->isReadOnly() && !w->save->isEnabled());
}

void TestViews::savingKeepsOneRowPerDate()
{
    TzjForm* w = openBrowser();
    click(w->RzURLLabel1);
    click(w->edit);
    click(w->save); // an empty memo on a date without a note
    QCOMPARE(env->dialogs().messages(), QStringList{"     工作笔记保存完毕！     "});
    QCOMPARE(storedWorkNotes().size(), 1);
    QCOMPARE(storedWorkNotes()[0].date, today.addDays(-1));
    QCOMPARE(storedWorkNotes()[0].text, QString());
    QVERIFY(w->zjMemo->isReadOnly() && !w->save->isEnabled());
    click(w->edit);
    w->zjMemo->setPlainText("第一行\n第二行");
    click(w->save);
    QCOMPARE(storedWorkNotes().size(), 1);
    QCOMPARE(storedWorkNotes()[0].text, QString("第一行\n第二行"));
}

void TestViews::searchPaging_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QList<int>>("days"); // of the hits, from today, in the order shown
    QTest::addColumn<QString>("shown");
    QTest::newRow("no hit") << "没有的" << QList<int>{} << "";
    QTest::newRow("one hit") << "周报" << QList<int>{-3} << "";
    QTest::newRow("three hits") << "会议" << QList<int>{-3, -2, -1} << "";
    QTest::newRow("a quote") << "Tom's" << QList<int>{-2} << "";
    QTest::newRow("% is any run") << "会%纪" << QList<int>{-1} << "";
    QTest::newRow("blanks only") << "  " << QList<int>{} << "     请输入关键字！     ";
}

void TestViews::searchPaging()
{
    QFETCH(QString, keyword);
    QFETCH(QList<int>, days);
    QFETCH(QString, shown);
    const int hits = days.size();
    addWorkNote(today.addDays(-3), "上午会议，下午写周报");
    addWorkNote(today.addDays(-2), "和Tom's团队开会议");
    addWorkNote(today.addDays(-1), "会议纪要整理");
    addWorkNote(today, "没什么");
    TzjForm* w = openBrowser();
    w->keywordEdit->setText(keyword);
    click(w->search);
    QCOMPARE(env->dialogs().messages(), shown.isEmpty() ? QStringList() : QStringList{shown});
    QCOMPARE(w->RzLabel2->text(),
             shown.isEmpty() ? QString("(共搜索到%1篇工作笔记)").arg(hits) : QString());
    QCOMPARE(w->edit1->isEnabled(), hits > 0);
    QVERIFY(!w->priorButton->isEnabled() && !w->save1->isEnabled());
    QCOMPARE(w->nextButton->isEnabled(), hits > 1);
    if (hits == 0) {
        QCOMPARE(w->zjMemo2->toPlainText(), QString());
        QCOMPARE(w->RzLabel3->text(), QString());
        return;
    }
    QStringList seen{w->RzLabel3->text()};
    for (int i = 1; i < hits; ++i) {
        click(w->nextButton);
        seen << w->RzLabel3->text();
        QVERIFY(w->priorButton->isEnabled());
    }
    QVERIFY(!w->nextButton->isEnabled());
    for (int i = 1; i < hits; ++i)
        click(w->priorButton);
    QVERIFY(!w->priorButton->isEnabled());
    QCOMPARE(w->nextButton->isEnabled(), hits > 1);
    QCOMPARE(w->RzLabel3->text(), seen.first());
    QStringList expected;
    for (int day : days)
        expected << QStringLiteral("日期：") + Formats::dateText(today.addDays(day));
    QCOMPARE(seen, expected);
}

void TestViews::browserShowsLunarDatesWhenSet_data()
{
    QTest::addColumn<int>("showLunar");
    QTest::addColumn<QStringList>("browse"); // today, the day after
    QTest::addColumn<QString>("hit");
    QTest::newRow("off") << 0 << QStringList{"", ""} << "日期：2026-6-27";
    QTest::newRow("on") << 1 << QStringList{"丙午年 五月十六", "丙午年 五月十七"}
                        << "日期：2026-6-27 五月十三";
}

void TestViews::browserShowsLunarDatesWhenSet()
{
    QFETCH(int, showLunar);
    QFETCH(QStringList, browse);
    QFETCH(QString, hit);
    Settings::Writer().integer(Settings::showLunar, showLunar);
    addWorkNote(today.addDays(-3), "会议");
    TzjForm* w = openBrowser();
    QCOMPARE(w->lunarLabel->text(), browse[0]);
    click(w->RzURLLabel2);
    QCOMPARE(w->lunarLabel->text(), browse[1]);
    w->keywordEdit->setText("会议");
    click(w->search);
    QCOMPARE(w->RzLabel3->text(), hit);
}

void TestViews::savingAHitKeepsItsPlace()
{
    addWorkNote(today.addDays(-3), "会议一");
    addWorkNote(today.addDays(-2), "会议二");
    addWorkNote(today.addDays(-1), "会议三");
    TzjForm* w = openBrowser();
    w->keywordEdit->setText("会议");
    click(w->search);
    click(w->nextButton);
    const QString date = w->RzLabel3->text();
    click(w->edit1);
    QVERIFY(w->save1->isEnabled() && !w->zjMemo2->isReadOnly());
    w->zjMemo2->setPlainText("改过了");
    click(w->save1);
    QCOMPARE(env->dialogs().messages(), QStringList{"     工作笔记保存完毕！     "});
    QCOMPARE(w->RzLabel3->text(), date);
    QCOMPARE(w->zjMemo2->toPlainText(), QString("改过了"));
    QVERIFY(w->zjMemo2->isReadOnly() && !w->save1->isEnabled() && w->edit1->isEnabled());
    QVERIFY(w->priorButton->isEnabled() && w->nextButton->isEnabled());
    // The hit stays among the hits though it no longer holds the keyword.
    QCOMPARE(w->hitCount(), 3);
    click(w->nextButton);
    click(w->priorButton);
    QCOMPARE(w->RzLabel3->text(), date);
    QCOMPARE(w->zjMemo2->toPlainText(), QString("改过了"));
    QCOMPARE(storedWorkNotes().size(), 3);
}

void TestViews::tabSwitchAndCloseStartAfresh()
{
    addWorkNote(today, "会议");
    TzjForm* w = openBrowser();
    w->keywordEdit->setText("会议");
    click(w->search);
    click(w->edit1);
    w->RzPageControl1->setCurrentIndex(0);
    w->RzPageControl1->setCurrentIndex(1);
    QCOMPARE(w->keywordEdit->text(), QString());
    QCOMPARE(w->zjMemo2->toPlainText(), QString());
    QCOMPARE(w->RzLabel2->text(), QString());
    QVERIFY(w->zjMemo2->isReadOnly());
    for (QPushButton* b : {w->priorButton, w->nextButton, w->save1, w->edit1})
        QVERIFY(!b->isEnabled());

    w->close();
    QTRY_VERIFY(zjForm == nullptr);
    w = openBrowser();
    QCOMPARE(w->keywordEdit->text(), QString());
    QCOMPARE(w->RzPageControl1->currentIndex(), 1);
    QCOMPARE(w->zjMemo->toPlainText(), QString("会议"));
}

void TestViews::unparsableDateIsReportedWhereItIsRead()
{
    addWorkNote(today, "今天的笔记");
    TzjForm* w = openBrowser();
    w->DateEdit->setText("2026-13-45");
    // Typing is never interrupted; the memo keeps its text.
    QCOMPARE(w->zjMemo->toPlainText(), QString("今天的笔记"));
    QVERIFY(env->dialogs().errors().isEmpty());
    click(w->edit);
    click(w->save);
    QCOMPARE(env->dialogs().errors(), QStringList{"'2026-13-45' is not a valid date."});
    QVERIFY(env->dialogs().messages().isEmpty());
    QVERIFY(!w->zjMemo->isReadOnly());
    click(w->RzURLLabel1);
    QCOMPARE(env->dialogs().errors().size(), 2);
    QCOMPARE(storedWorkNotes().size(), 1);
}

QTEST_MAIN(TestViews)
#include "tst_views.moc"
