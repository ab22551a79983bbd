// What needs a real desktop: focus passing between windows, the tray, and
// the stacking of boxes. Runs under scripts/x11-session (a virtual X display
// with a window manager and a tray), with the real message boxes, which a
// helper answers as a user would.
#include "WindowTestSupport.h"
#include "app/Startup.h"
#include "editing/addrc.h"
#include "mainwindow/Assistant.h"
#include "platform/Dialogs.h"
#include "platform/SingleInstance.h"
#include "reminders/tx.h"
#include "settings/gxsz.h"
#include "shell/Application.h"
#include "shell/data/dataForm.h"
#include "shell/settings/Settings.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <unistd.h>

namespace {
// Where the window manager stacks a window among the clients: higher is
// nearer the top; -1 when it is not listed.
int stackPosition(WId window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    xprop.waitForFinished();
    const QString out = QString::fromLatin1(xprop.readAllStandardOutput());
    const QStringList ids = out.mid(out.indexOf(QLatin1Char('#')) + 1).split(QLatin1Char(','));
    for (int i = 0; i < ids.size(); ++i)
        if (ids[i].trimmed().toULongLong(nullptr, 16) == window)
            return i;
    return -1;
}

// Closes every message box a moment after it appears, noting what it said,
// whom it stood above, and whether the main window covered it.
class BoxAnswerer : public QObject {
public:
    struct Seen {
        QString text;
        QWindow* above = nullptr;
        bool overMainWindow = false;
    };
    QList<Seen> seen;

    BoxAnswerer()
    {
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start();
    }

private:
    void look()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            if (!m_first.isValid() || m_box != box) {
                m_box = box;
                m_first.start();
                seen.append({box->text(), box->windowHandle()
                                              ? box->windowHandle()->transientParent()
                                              : nullptr});
            }
            if (m_first.elapsed() > 300) {
                if (assistantForm)
                    seen.last().overMainWindow =
                        stackPosition(box->winId()) > stackPosition(assistantForm->winId());
                box->done(QMessageBox::Ok);
                m_first.invalidate();
            }
        }
    }
    QTimer m_timer;
    QPointer<QMessageBox> m_box;
    QElapsedTimer m_first;
};

bool activeModalBox()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

void xdotool(const QStringList& args)
{
    QProcess::execute(QStringLiteral("xdotool"), args);
}

// The client windows in the window manager's stacking order, bottom first.
QList<WId> stacking()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    xprop.waitForFinished(5000);
    const QString out = QString::fromLatin1(xprop.readAllStandardOutput());
    QList<WId> ids;
    const QString list = out.section(QLatin1Char('#'), 1);
    for (const QString& id : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        ids << id.trimmed().toULongLong(nullptr, 16);
    return ids;
}

void clickAt(const QPoint& p, int button)
{
    xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
             QStringLiteral("click"), QString::number(button)});
}
} // namespace

class TestX11 : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void boxesDoNotActivateTheMainWindowAgain();
    void anErrorAtTheFirstDrawingStandsAboveTheMainWindow();
    void theTrayWorksWhileAModalWindowIsOpen();
    void withoutOurTrayIconTheWindowStaysReachable();
    void quittingEndsAnOpenModalWindowsWait();
    void anOpenSettingsWindowComesToTheFront();
    void anErrorWhileTheSettingsLoadIsNotCovered();
    void aStartThatCannotReachTheRunningCopyIsNotCovered();
    void theTrayMenuShowsTheReminderWindowOnTop();

private:
    void start();
    std::unique_ptr<WindowTestEnvironment> env;
    std::unique_ptr<BoxAnswerer> boxes;
};

void TestX11::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"),
             "run under scripts/x11-session");
    // A loaded machine may bring the tray up a moment after the session.
    QTRY_VERIFY2_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), "the session has no tray",
                              30000);
}

void TestX11::init()
{
    env = std::make_unique<WindowTestEnvironment>(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
    Dialogs::install(nullptr); // the real boxes
    boxes = std::make_unique<BoxAnswerer>();
    env->copyTrayIcon();
    env->atEnd(destroyStartupWindows); // made by each test
    env->own(addrcForm);
    env->own(gxszForm);
}

void TestX11::cleanup()
{
    env.reset();
    boxes.reset();
    QTest::qWait(100);
}

void TestX11::start()
{
    createStartupWindows();
    assistantForm->probe();
    assistantForm->show();
}

void TestX11::boxesDoNotActivateTheMainWindowAgain()
{
    // Without its icon every activation fails with a box: closing the box must
    // not count as a new activation, or the window could never be used.
    QVERIFY(QFile::remove(env->programDir() + "ovak.ico"));
    start();
    QTRY_COMPARE(boxes->seen.size(), 1);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    // Back into the main window: the same activation, no new box.
    clickAt(assistantForm->frameGeometry().center(), 1);
    QTRY_VERIFY(QApplication::focusWindow() == assistantForm->windowHandle());
    QTest::qWait(500);
    QCOMPARE(assistantForm->probe().activations, 1);
    QCOMPARE(boxes->seen.size(), 1);
}

void TestX11::anErrorAtTheFirstDrawingStandsAboveTheMainWindow()
{
    createStartupWindows();
    Settings::Writer().string(Settings::lowColor, QStringLiteral("绿色"));
    DbTable& t = DataModule1->mydata;
    t.open();
    t.append();
    t.setField(QStringLiteral("title"), QStringLiteral("低"));
    t.setField(QStringLiteral("rc_date"), QDate(2026, 12, 9));
    t.setField(QStringLiteral("rc_time"), QTime(11, 0));
    t.setField(QStringLiteral("yxj"), 2);
    t.post();
    t.close();
    assistantForm->probe();
    assistantForm->show();
    QTRY_COMPARE(boxes->seen.size(), 1);
    QCOMPARE(boxes->seen[0].text, QStringLiteral("'绿色' is not a valid integer value."));
    QCOMPARE(boxes->seen[0].above, assistantForm->windowHandle());
    // Once it is answered, the first activation still comes: tray icon and marquee.
    QTRY_VERIFY(assistantForm->trayIcon && assistantForm->trayIcon->isVisible());
    QCOMPARE(assistantForm->probe().activations, 1);
}

void TestX11::theTrayWorksWhileAModalWindowIsOpen()
{
    start();
    QTRY_VERIFY(assistantForm->trayIcon && assistantForm->trayIcon->isVisible());
    QTRY_VERIFY(!assistantForm->trayIcon->geometry().isEmpty());
    bool menuShown = false;
    TaddrcForm* inFront = nullptr;
    QTimer::singleShot(800, this, [&] {
        // A right click on the tray icon while the add window blocks the main window.
        clickAt(assistantForm->trayIcon->geometry().center(), 3);
        QTRY_VERIFY(assistantForm->MainMenu->isVisible());
        menuShown = true;
        assistantForm->findChild<QAction*>(QStringLiteral("tjrc"))->trigger();
        QTest::qWait(300);
        inFront = addrcForm;
        assistantForm->MainMenu->hide();
        if (addrcForm)
            addrcForm->close();
    });
    TaddrcForm* opened = nullptr;
    QTimer::singleShot(400, this, [&] { opened = addrcForm; });
    assistantForm->tjrcClick(); // returns when the add window is closed
    QVERIFY(menuShown);
    QVERIFY(opened);
    QCOMPARE(inFront, opened); // the open one came to the front, no second one
}

void TestX11::withoutOurTrayIconTheWindowStaysReachable()
{
    QVERIFY(QFile::remove(env->programDir() + "ovak.ico"));
    start();
    QTRY_COMPARE(boxes->seen.size(), 1);
    QTest::qWait(300);
    QVERIFY(!assistantForm->trayIcon);
    assistantForm->windowHandle()->showMinimized();
    QTest::qWait(500);
    // Not hidden into a tray that holds no icon of ours: still on the desktop.
    QVERIFY(assistantForm->isVisible());
    assistantForm->hide();         // however it got hidden...
    assistantForm->bringForward(); // ...a second start brings it back
    QTRY_VERIFY(assistantForm->isVisible() && !assistantForm->isMinimized());
}

void TestX11::anOpenSettingsWindowComesToTheFront()
{
    start();
    QTRY_VERIFY(assistantForm->trayIcon && assistantForm->trayIcon->isVisible());
    bool otherInFront = false, settingsInFront = false;
    TgxszForm* opened = nullptr;
    QTimer::singleShot(800, this, [&] {
        opened = gxszForm;
        QWidget other;
        other.setWindowTitle(QStringLiteral("其他"));
        other.resize(400, 300);
        other.show();
        other.activateWindow();
        otherInFront = QTest::qWaitFor(
            [&] { return QApplication::focusWindow() == other.windowHandle(); }, 5000);
        // 个性设置 again, as from the tray menu.
        assistantForm->findChild<QAction*>(QStringLiteral("gxsz"))->trigger();
        settingsInFront = QTest::qWaitFor(
            [&] { return gxszForm && QApplication::focusWindow() == gxszForm->windowHandle(); },
            5000);
        if (gxszForm)
            gxszForm->close();
    });
    assistantForm->gxszClick(); // returns when the settings window is closed
    QVERIFY(opened);
    QVERIFY(otherInFront);
    QVERIFY(settingsInFront);
    QTRY_VERIFY(!gxszForm);
}

void TestX11::anErrorWhileTheSettingsLoadIsNotCovered()
{
    start();
    QTRY_VERIFY(assistantForm->trayIcon && assistantForm->trayIcon->isVisible());
    // The box comes while the settings window is not on the screen yet.
    Settings::Writer().string(Settings::deleteRc, QStringLiteral("x"));
    bool answered = false;
    QTimer::singleShot(0, this, [&] {
        answered =
            QTest::qWaitFor([this] { return boxes->seen.size() == 1 && !activeModalBox(); }, 5000);
        if (gxszForm)
            gxszForm->close();
    });
    assistantForm->gxszClick();
    QVERIFY(answered);
    QCOMPARE(boxes->seen[0].text, QStringLiteral("Invalid data type for 'deleteRc'"));
    QVERIFY(boxes->seen[0].overMainWindow);
}

void TestX11::aStartThatCannotReachTheRunningCopyIsNotCovered()
{
    // This process is the running copy, its always-on-top window on screen; a
    // start from a shell without its runtime folder cannot reach it.
    SingleInstance running(QStringLiteral("时雀"), env->databaseFile(),
                           SingleInstance::runtimeDir(QStringLiteral("brenwick")));
    QVERIFY(running.tryBecomePrimary());
    start();
    QTRY_VERIFY(assistantForm->trayIcon && assistantForm->trayIcon->isVisible());
    const QString program = env->programDir() + QStringLiteral("Brenwick");
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/../Brenwick"),
                        program));
    QTemporaryDir tmp;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    e.insert(QStringLiteral("TMPDIR"), tmp.path());
    QProcess second;
    second.setProcessEnvironment(e);
    second.start(program, {});
    QVERIFY(second.waitForStarted());
    // Its box: the one window of that process.
    WId box = 0;
    QVERIFY(QTest::qWaitFor(
        [&] {
            QProcess search;
            search.start(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--pid"), QString::number(second.processId())});
            search.waitForFinished();
            box = search.readAllStandardOutput().trimmed().split('\n').last().toULongLong();
            return box != 0;
        },
        15000));
    QTest::qWait(300);
    const bool above = stackPosition(box) > stackPosition(assistantForm->winId());
    second.terminate();
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(above);
}

void TestX11::theTrayMenuShowsTheReminderWindowOnTop()
{
    start();
    QTRY_VERIFY(assistantForm->trayIcon && assistantForm->trayIcon->isVisible());
    QTRY_VERIFY(!assistantForm->trayIcon->geometry().isEmpty());
    QTRY_VERIFY(txForm->isVisible()); // the day summary of the first activation
    txForm->close();
    QTRY_VERIFY(!txForm->isVisible());

    // Another program's window, active and in front.
    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.setGeometry(300, 200, 600, 500);
    other.show();
    QVERIFY(QTest::qWaitForWindowActive(&other));

    clickAt(assistantForm->trayIcon->geometry().center(), 3);
    QTRY_VERIFY(assistantForm->MainMenu->isVisible());
    QAction* tx = assistantForm->MainMenu->findChild<QAction*>(QStringLiteral("tx"));
    QMenu* menu = assistantForm->MainMenu;
    clickAt(menu->mapToGlobal(menu->actionGeometry(tx).center()), 1);
    QTRY_VERIFY(txForm->isVisible());
    QVERIFY(txForm->Label3->isVisible()); // nothing is due
    QCOMPARE(txForm->frameGeometry().topLeft(), QPoint(1024 - 311 - 1, 768 - 150 - 25));

    // Clicking the other window again does not bury it.
    clickAt(other.frameGeometry().topLeft() + QPoint(20, 60), 1);
    QTRY_VERIFY(QTest::qWaitForWindowActive(&other));
    QTest::qWait(300);
    const QList<WId> order = stacking();
    QVERIFY(order.contains(txForm->winId()) && order.contains(other.winId()));
    QVERIFY(order.indexOf(txForm->winId()) > order.indexOf(other.winId()));
}

void TestX11::quittingEndsAnOpenModalWindowsWait()
{
    // 退出 from the tray menu while the add window is open: the program must
    // not wait for that window to be closed first. Quitting needs the
    // program's own loop running, as it is at the real start.
    start();
    QTRY_VERIFY(assistantForm->trayIcon && assistantForm->trayIcon->isVisible());
    bool stillOpen = false, returned = false;
    QTimer::singleShot(0, this, [&] {
        assistantForm->tjrcClick(); // returns once the program quits
        returned = true;
    });
    QTimer::singleShot(800, this, [&] {
        stillOpen = addrcForm && addrcForm->isVisible();
        assistantForm->leaveClick();
    });
    QTimer::singleShot(20000, this, [] { QCoreApplication::exit(1); }); // a hang fails
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(stillOpen);
    QVERIFY(returned);
}

int main(int argc, char** argv)
{
    AssistantApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestX11 test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_x11.moc"
