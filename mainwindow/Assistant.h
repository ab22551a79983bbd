#pragma once

#include "mainwindow/ScheduleTreeModel.h"
#include "reminders/ReminderLogic.h"
#include "shell/data/dataForm.h"

#include <QDate>
#include <QElapsedTimer>
#include <QWidget>
#include <memory>
#include <optional>

class HoverTip;
class QAction;
class QActionGroup;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class ResumeWatch;
class QSystemTrayIcon;
class QTimer;
class QTreeView;
class TrayWatch;

namespace Ui {
class TassistantForm;
}

// The main window: the schedule tree, its menus, the tray icon, the marquee,
// top-edge docking, hover details and the work-note panel. Its handlers are
// split by concern: Assistant.cpp (creation, menus, commands),
// AssistantTree.cpp (rebuild, colours, hover), AssistantWindow.cpp
// (activation, tray, tick, docking, geometry), AssistantWorkNote.cpp.
class TassistantForm : public QWidget {
    Q_OBJECT
public:
    explicit TassistantForm(QWidget* parent = nullptr);
    ~TassistantForm() override;

    // Controls, by the names the window gives them.
    QWidget* Panel1;
    QLabel* Label1;
    QTreeView* rcTree;
    ScheduleTreeModel* rcTreeModel;
    QPushButton* menuButton;
    QPushButton* cxButton;
    QPushButton* zjButton;
    QGroupBox* zjGroupBox;
    QLabel* Label3;
    QPlainTextEdit* zjMemo;
    QPushButton* saveZJButton;
    QPushButton* readZJButton;
    QTimer* Timer1;
    QTimer* RemindTimer;                // off until the first activation starts it
    ResumeWatch* resumeWatch = nullptr; // made with the first start of RemindTimer
    QMenu* ItemsMenu;
    QMenu* ztszMenu;
    QMenu* rootMenu;
    QMenu* MainMenu;
    QSystemTrayIcon* trayIcon = nullptr;
    HoverTip* hoverTip;

    // Node data: a date node carries its date, a schedule node its id.
    static constexpr int DateRole = ScheduleTreeModel::DateRole;
    static constexpr int IdRole = ScheduleTreeModel::IdRole;

    // Handlers, public so that tests run them at any chosen moment.
    void FormShow();     // the tree rebuild
    void FormActivate(); // becoming the program's active window
    // What the first activation starts (reminders, the tray icon), for a
    // window the window manager never activates (focus stealing prevention).
    void activateIfNeverActivated();
    void Timer1Timer();
    void RemindTimerTimer(); // the reminder check
    void remindTimerHook(int intervalTime);
    void firstActivationHook(int txWinPos);
    void showmainClick();
    void leaveClick();
    void rcTreeMouseDown(Qt::MouseButton button, const QPoint& pos);
    void ztszClick();
    void mwcClick() { setStatus(1); }
    void jxzClick() { setStatus(2); }
    void ywcClick() { setStatus(3); }
    void qxClick() { setStatus(4); }
    void tjbzClick();
    void bjrcClick();
    void scrcClick();
    void roottjrcClick();
    void tjrcClick();
    void gxszClick();
    void rltbClick(); // 日历同步
    void txClick();
    void helpClick();
    void menuButtonClick();
    void cxButton1Click();
    void zjButtonClick();
    void saveZJButtonClick();
    void readZJButtonClick();
    void N1Click() { readZJButtonClick(); }
    void hoverStep();

    std::optional<QColor> priorityColor(qint64 id);
    // What tests and benchmarks count, from their first look on; the
    // program itself counts nothing.
    struct Probe {
        int colourReads = 0; // priorityColor calls
        int activations = 0; // FormActivate runs
    };
    Probe& probe();
    int statusMark() const; // the status whose submenu item carries the mark
    qint64 lastShownId() const { return m_lastShownId; }
    QString details() const { return m_details; } // the hover text, lines ending in CR
    // Minimising hides the window only while the tray holds our icon.
    bool hidesWhenMinimised() const;
    // A tool window without a taskbar entry while there is a tray, an
    // ordinary one while there is none; followed as trays come and go.
    void followTray();
    void setTrayMode(bool tray); // followTray's step, with the tray's presence given
    // The intervalTime the last activation read: the reminder timer's period.
    // The reminder check's period in minutes; 0 while it is off.
    int remindMinutes() const;
    // A second start asks for the window: it comes back when no icon of ours
    // is in the tray to bring it back from.
    void bringForward();

    // The window's outer size in the units its layout is written in: the
    // client area plus a frame of 8 by 34 pixels (461 high = 427 of client).
    int windowWidth() const;
    int windowHeight() const;
    void setWindowWidth(int w);
    void setWindowHeight(int h);
    void setWindowTop(int top);
    QRect windowRect() const; // on screen, for the cursor tests

signals:
    // A tick found a new day and rebuilds the tree for it (the daily backup's cue).
    void dayBegan();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The creation's steps, in order.
    void takeControls();
    void setUpWindow();
    void setUpTree();
    void setUpWorkNotePanel();
    void buildMenus();
    void startTimers();
    void FormCreate();

    void loadWorkNote();
    void setStatus(int code);
    void openAddWindow(const std::optional<QDate>& date);
    void addTrayIcon();
    void onFocusWindowChanged(QWindow* now);
    QModelIndex selectedNode() const;
    QModelIndex selectedScheduleNode() const;
    qint64 idOf(const QModelIndex& node) const { return rcTreeModel->scheduleId(node); }

    std::unique_ptr<Ui::TassistantForm> ui;
    WindowQuery allrc_Query, cxQuery, zjQuery, remindQuery;
    QActionGroup* m_statusGroup = nullptr;
    QAction* m_statusItems[4] = {};
    QAction* m_statusMark = nullptr;
    qint64 m_lastShownId = -1;
    QPoint m_lastCursor;
    QString m_details;
    QString m_colourError; // reported once until a drawing succeeds again
    std::unique_ptr<Probe> m_probe;
    bool m_trayMode = false;
    TrayWatch* m_trayWatch = nullptr;
    bool m_placed = false;
    QDate m_builtFor;
    bool m_showLunar = false; // as the last rebuild read it
    QWindow* m_lastFocus = nullptr;
    bool m_everActivated = false;
    static constexpr int firstActivationGraceMs = 3000;
    QElapsedTimer m_monotonic;
    ReminderLogic::ClockJump m_clockJump;
};

extern TassistantForm* assistantForm;
