// The window's behaviour: activation, the tray icon, showing and closing,
// the 300 ms tick with its docking, and the geometry in the layout's units.
#include "mainwindow/Assistant.h"
#include "syncwindow/SyncRunner.h"

#include "mainwindow/AssistantLogic.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/ProgramDir.h"
#include "platform/ResumeWatch.h"
#include "platform/TrayWatch.h"
#include "platform/WindowManager.h"
#include "reminders/tx.h"
#include "shell/Forms.h"
#include "shell/data/Schedules.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>
#include <limits>

using namespace AssistantLogic;

namespace {
// The layout's outer sizes include a frame of this many pixels.
constexpr int frameExtraWidth = 8;
constexpr int frameExtraHeight = 34;
// The smallest a captioned window gets: a collapsed window at top -30 keeps
// this less 30 pixels on screen, a strip the cursor can move into.
constexpr int minimumFrameHeight = 38;

// The widget of a top-level window, if it is one of ours.
QWidget* widgetOf(QWindow* window)
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->windowHandle() == window)
            return top;
    return nullptr;
}
} // namespace

// ---- geometry ------------------------------------------------------------

int TassistantForm::windowWidth() const
{
    return width() + frameExtraWidth;
}

int TassistantForm::windowHeight() const
{
    return height() + frameExtraHeight;
}

void TassistantForm::setWindowWidth(int w)
{
    const int client = qMax(1, w - frameExtraWidth);
    if (client != width())
        setFixedWidth(client);
}

void TassistantForm::setWindowHeight(int h)
{
    const int decoration = frameGeometry().height() - height();
    int client = h - frameExtraHeight;
    const int minimum = qMax(1, minimumFrameHeight - decoration);
    if (client < minimum)
        client = minimum;
    if (client != height())
        setFixedHeight(client);
}

void TassistantForm::setWindowTop(int top)
{
    if (pos().y() != top)
        move(pos().x(), top);
}

QRect TassistantForm::windowRect() const
{
    return frameGeometry();
}

// ---- activation, tray, showing, closing -----------------------------------

void TassistantForm::onFocusWindowChanged(QWindow* now)
{
    // Only the program's own forms count: its message boxes, menus and tool
    // tips come and go without the main window being activated again.
    if (!now || !Forms::isForm(widgetOf(now)))
        return;
    const bool activated = now == windowHandle() && m_lastFocus != now;
    m_lastFocus = now;
    if (activated)
        runGuarded([this] { FormActivate(); }, this);
}

void TassistantForm::activateIfNeverActivated()
{
    if (m_everActivated)
        return;
    // It stands in for the first activation: the window manager's late one
    // is not a new one.
    m_lastFocus = windowHandle();
    runGuarded([this] { FormActivate(); }, this);
}

void TassistantForm::FormActivate()
{
    m_everActivated = true;
    Forms::buildPending(); // the reminder window among them
    if (m_probe)
        ++m_probe->activations;
    int interval = 0, position = 0;
    {
        const Settings::Reader settings;
        interval = settings.integer(Settings::intervalTime);
        position = settings.integer(Settings::txWinPos);
        Label1->setText(settings.string(Settings::zm));
        Label1->adjustSize();
    }
    remindTimerHook(interval);
    addTrayIcon();
    firstActivationHook(position);
}

// ---- reminders -----------------------------------------------------------

int TassistantForm::remindMinutes() const
{
    return RemindTimer->isActive() ? RemindTimer->interval() / 60000 : 0;
}

void TassistantForm::remindTimerHook(int intervalTime)
{
    // A running countdown is left alone unless the period changed. A period
    // of no time at all stops the timer rather than checking without pause.
    const qint64 period = qint64(intervalTime) * 60 * 1000;
    if (period <= 0) {
        RemindTimer->stop();
        return;
    }
    const int ms = int(qMin<qint64>(period, std::numeric_limits<int>::max()));
    if (!RemindTimer->isActive() || RemindTimer->interval() != ms)
        RemindTimer->start(ms);
    if (!resumeWatch) {
        // Back from suspend the countdown has not moved on: check at once.
        resumeWatch = new ResumeWatch(this);
        Forms::connect(resumeWatch, &ResumeWatch::resumed, this, [this] { RemindTimerTimer(); });
        // The automatic sync starts with the reminders, once.
        SyncRunner::instance().applyInterval();
    }
}

void TassistantForm::firstActivationHook(int txWinPos)
{
    if (firstActivation != 0 && txForm)
        txForm->placeAndShow(txWinPos);
}

void TassistantForm::RemindTimerTimer()
{
    Forms::buildPending();
    const std::optional<Schedule> due =
        ScheduleData::firstDueReminder(*remindQuery, Clock::today(), [](const Schedule& s) {
            return ReminderLogic::isDue(s, Clock::now());
        });
    if (!due || !txForm)
        return;
    txForm->placeAndShow(Settings::readInteger(Settings::txWinPos));
}

void TassistantForm::addTrayIcon()
{
    const QString path = ProgramDir::file(QStringLiteral("ovak.ico"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(fileOpenErrorText(QDir::toNativeSeparators(path), file.errorString()));
    QPixmap picture;
    if (!picture.loadFromData(file.readAll()))
        throw AppError(
            fileOpenErrorText(QDir::toNativeSeparators(path), QStringLiteral("Not an icon file")));
    if (trayIcon)
        return; // already present: the add changes nothing
    trayIcon = new QSystemTrayIcon(QIcon(path), this);
    trayIcon->setObjectName(QStringLiteral("trayIcon"));
    trayIcon->setToolTip(APP_TITLE);
    // The tray shows the menu itself, where it was clicked: an XEmbed tray
    // through the toolkit, a StatusNotifierItem host from the copy the
    // toolkit exports over D-Bus.
    trayIcon->setContextMenu(MainMenu);
    connect(trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    runGuarded([this] { showmainClick(); }, this);
            });
    trayIcon->show();
}

bool TassistantForm::hidesWhenMinimised() const
{
    return m_trayMode && trayIcon && trayIcon->isVisible() &&
           QSystemTrayIcon::isSystemTrayAvailable();
}

void TassistantForm::followTray()
{
    // A program started with the session may be up before the panel's tray.
    if (!m_trayWatch) {
        m_trayWatch = new TrayWatch(this);
        Forms::connect(m_trayWatch, &TrayWatch::changed, this, [this] { followTray(); });
    }
    setTrayMode(QSystemTrayIcon::isSystemTrayAvailable());
}

void TassistantForm::setTrayMode(bool tray)
{
    m_trayMode = tray;
    if (windowFlags().testFlag(Qt::Tool) == tray)
        return;
    // Before the first activation (no icon yet) the window was never shown:
    // only its kind changes.
    const bool started = trayIcon != nullptr;
    const bool shown = isVisible();
    const bool minimised = isMinimized();
    const QPoint at = pos();
    setWindowFlag(Qt::Tool, tray); // hides a shown window
    if (!tray)                     // back on the taskbar when it shows again
        WindowManager::markSkipTaskbar(this, false);
    if (!started)
        return;
    move(at);
    setWindowState(windowState() & ~Qt::WindowMinimized);
    if (tray) {
        // A window minimised for want of a tray now waits in it.
        if (shown && !minimised)
            show();
    } else if (shown && !minimised) {
        show();
    } else {
        // Hidden in a tray that went away: on the taskbar, out of the way.
        showMinimized();
    }
}

void TassistantForm::showmainClick()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    if (isDocked(pos().y()))
        setWindowTop(Geometry::undockedTop);
}

void TassistantForm::bringForward()
{
    // A minimised window is restored; a window hidden in the tray stays hidden
    // and is only activated, unless there is no icon of ours to find it by.
    if (isMinimized())
        showNormal();
    if (!isVisible() && !hidesWhenMinimised())
        show();
    if (isVisible()) {
        raise();
        activateWindow();
        if (QWindow* handle = windowHandle())
            handle->requestActivate();
    }
}

void TassistantForm::leaveClick()
{
    close();
}

void TassistantForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_trayMode) {
        if (!event->spontaneous())
            WindowManager::markSkipTaskbar(this, true);
        QTimer::singleShot(0, this, [this] { WindowManager::requestSkipTaskbar(this); });
    }
    if (!event->spontaneous())
        runGuarded([this] { FormShow(); }, this);
    // A desktop that keeps the focus elsewhere at the start must not keep
    // the reminders off.
    if (!m_everActivated)
        QTimer::singleShot(firstActivationGraceMs, this, [this] { activateIfNeverActivated(); });
}

void TassistantForm::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && hidesWhenMinimised()) {
        // Minimising hides the window; the tray icon brings it back.
        QTimer::singleShot(0, this, [this] {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            hide();
        });
    }
}

void TassistantForm::closeEvent(QCloseEvent* event)
{
    delete trayIcon;
    trayIcon = nullptr;
    event->accept();
    QApplication::quit();
}

// ---- the tick ------------------------------------------------------------

void TassistantForm::Timer1Timer()
{
    const QDateTime now = Clock::now();
    if (needsNewDay(now.time(), now.date(), m_builtFor)) {
        emit dayBegan();
        FormShow();
    }
    if (refreshFlag == 1) {
        FormShow();
        refreshFlag = 0;
        Label1->setText(Settings::readString(Settings::zm));
        Label1->adjustSize();
    }
    Label1->move(marqueeStep(Label1->x(), Label1->width(), Panel1->x(), Panel1->width()),
                 Label1->y());
    const Dock dock = dockStep(windowRect(), Desktop::cursorPos());
    setWindowHeight(dock.height);
    if (dock.top)
        setWindowTop(*dock.top);
    hoverStep();
    // A wall clock that jumped against the monotonic one (a suspend, or the
    // clock set by hand) may have skipped a reminder: check at once.
    if (RemindTimer->isActive() &&
        m_clockJump.look(Clock::now().toMSecsSinceEpoch(), m_monotonic.elapsed()))
        RemindTimerTimer();
}
