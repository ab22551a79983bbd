// The tray icon on both kinds of tray, and the main window following trays
// that come and go. Runs in a desktop of its own without a tray
// (scripts/x11-session --no-tray) and on a session bus of its own
// (dbus-run-session): one kind of tray per process, as the toolkit chooses
// the kind once.
#include "TestSupport.h"
#include "app/Startup.h"
#include "editing/addrc.h"
#include "mainwindow/Assistant.h"
#include "platform/TrayWatch.h"
#include "shell/Application.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QMenu>
#include <QMutex>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QThread>
#include <QWindow>
#include <QtTest>

namespace {
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// A StatusNotifierItem watcher with a host, as a panel has them. It lives
// on a thread of its own: the toolkit asks it with calls that wait.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }
    int registrations() const
    {
        QMutexLocker lock(&m_mutex);
        return m_registrations;
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        QMutexLocker lock(&m_mutex);
        // A path names an item on the caller's own connection.
        const QString owner = service.startsWith(QLatin1Char('/')) ? message.service() : service;
        m_items.removeAll(owner);
        m_items << owner;
        ++m_registrations;
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    mutable QMutex m_mutex;
    QStringList m_items;
    int m_registrations = 0;
};

// One item of an exported menu, as GetLayout gives it.
struct MenuItem {
    int id = 0;
    QVariantMap properties;
    QList<MenuItem> children;
};

MenuItem readItem(const QDBusArgument& arg)
{
    MenuItem item;
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        item.children << readItem(child.variant().value<QDBusArgument>());
    }
    arg.endArray();
    arg.endStructure();
    return item;
}

// The window manager's view of a window's state (_NET_WM_STATE).
QString netWmState(WId window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window), QStringLiteral("_NET_WM_STATE")});
    xprop.waitForFinished(5000);
    return QString::fromLatin1(xprop.readAllStandardOutput());
}

void clickAt(const QPoint& p, int button)
{
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
                       QStringLiteral("click"), QString::number(button)});
}
} // namespace

class TestTrays : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void statusNotifierItemExportsTheMenu();
    void statusNotifierWatcherComesAndGoes();
    void xembedTrayComesAndGoes();

private:
    void useKind(const QString& kind);
    void startWatcher();
    void stopWatcher();
    void start();
    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& args);
    QString itemService();
    bool windowInTray();
    void startTrayer();
    void stopTrayer();

    std::unique_ptr<TestEnvironment> env;
    QString m_kind;
    QThread m_watcherThread;
    Watcher* m_watcher = nullptr;
    QProcess m_trayer;
};

void TestTrays::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"),
             "run under scripts/x11-session --no-tray");
    QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"),
             "run under dbus-run-session");
    m_watcherThread.start();
}

void TestTrays::cleanupTestCase()
{
    m_watcherThread.quit();
    m_watcherThread.wait();
}

void TestTrays::init()
{
    env = std::make_unique<TestEnvironment>(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
    QVERIFY(QFile::copy(QFINDTESTDATA("../resources/ovak.ico"), env->programDir() + "ovak.ico"));
}

void TestTrays::cleanup()
{
    delete addrcForm;
    destroyStartupWindows();
    stopTrayer();
    stopWatcher();
    env.reset();
    QTest::qWait(100);
}

void TestTrays::useKind(const QString& kind)
{
    // The toolkit decides between the two kinds at its first look at the
    // session bus, and keeps to it.
    if (!m_kind.isEmpty() && m_kind != kind)
        QSKIP("one kind of tray per process: run this test on its own");
    m_kind = kind;
}

void TestTrays::startWatcher()
{
    if (!m_watcher) {
        m_watcher = new Watcher;
        m_watcher->moveToThread(&m_watcherThread);
        connect(&m_watcherThread, &QThread::finished, m_watcher, &QObject::deleteLater);
    }
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher");
    QVERIFY(
        bus.registerObject("/StatusNotifierWatcher", m_watcher,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    QVERIFY(bus.registerService(watcherService));
}

void TestTrays::stopWatcher()
{
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher");
    bus.unregisterService(watcherService);
    bus.unregisterObject("/StatusNotifierWatcher");
}

void TestTrays::start()
{
    createStartupWindows();
    assistantForm->show();
    // The first activation adds the tray icon.
    QTRY_VERIFY2_WITH_TIMEOUT(assistantForm->trayIcon && assistantForm->trayIcon->isVisible(),
                              qPrintable(QStringLiteral("active window: %1")
                                             .arg(QApplication::activeWindow()
                                                      ? QApplication::activeWindow()->objectName()
                                                      : QStringLiteral("none"))),
                              15000);
}

// A call as another program makes it: the loop runs meanwhile, so that our
// own items answer.
QDBusMessage TestTrays::call(const QString& service, const QString& path, const QString& interface,
                             const QString& method, const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
    m.setArguments(args);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher");
    QDBusPendingCallWatcher pending(bus.asyncCall(m, 5000));
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 6000))
        return QDBusMessage(); // no answer: an invalid message
    return pending.reply();
}

QString TestTrays::itemService()
{
    const QStringList items = m_watcher ? m_watcher->items() : QStringList();
    return items.isEmpty() ? QString() : items.last();
}

bool TestTrays::windowInTray()
{
    return assistantForm->hidesWhenMinimised() && assistantForm->windowFlags().testFlag(Qt::Tool);
}

void TestTrays::startTrayer()
{
    // Started again if it gives up at once, as a session's autostart would.
    for (int attempt = 0; attempt < 3 && !QSystemTrayIcon::isSystemTrayAvailable(); ++attempt) {
        m_trayer.setProcessChannelMode(QProcess::MergedChannels);
        m_trayer.start("trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                                  "--width", "120", "--heighttype", "pixel", "--height", "24",
                                  "--transparent", "false"});
        QVERIFY2(m_trayer.waitForStarted(), qPrintable(m_trayer.errorString()));
        static_cast<void>(QTest::qWaitFor(
            [this] {
                return QSystemTrayIcon::isSystemTrayAvailable() ||
                       m_trayer.state() == QProcess::NotRunning;
            },
            10000));
    }
    QVERIFY2(QSystemTrayIcon::isSystemTrayAvailable(),
             qPrintable(QStringLiteral("trayer: ") + QString::fromLocal8Bit(m_trayer.readAll())));
}

void TestTrays::stopTrayer()
{
    if (m_trayer.state() == QProcess::NotRunning)
        return;
    m_trayer.terminate();
    if (!m_trayer.waitForFinished(5000)) {
        m_trayer.kill();
        m_trayer.waitForFinished();
    }
}

void TestTrays::statusNotifierItemExportsTheMenu()
{
    useKind("sni");
    startWatcher();
    start();
    QVERIFY(windowInTray());
    QTRY_VERIFY(!itemService().isEmpty());
    const QString item = itemService();

    // The menu is exported, and it is the main menu, item for item.
    const QDBusMessage menuPath =
        call(item, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
             {"org.kde.StatusNotifierItem", "Menu"});
    QCOMPARE(menuPath.type(), QDBusMessage::ReplyMessage);
    const QString path = menuPath.arguments()
                             .value(0)
                             .value<QDBusVariant>()
                             .variant()
                             .value<QDBusObjectPath>()
                             .path();
    QVERIFY2(!path.isEmpty() && path != "/NO_DBUSMENU", qPrintable(path));
    call(item, path, "com.canonical.dbusmenu", "AboutToShow", {0});
    const QDBusMessage layout =
        call(item, path, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
    QCOMPARE(layout.type(), QDBusMessage::ReplyMessage);
    const MenuItem root = readItem(layout.arguments().value(1).value<QDBusArgument>());
    QStringList labels;
    QHash<QString, int> ids;
    for (const MenuItem& child : root.children) {
        labels << child.properties.value("label").toString();
        ids.insert(labels.last(), child.id);
    }
    QStringList captions;
    for (QAction* a : assistantForm->MainMenu->actions())
        captions << a->text();
    QCOMPARE(labels, captions);
    for (const char* wanted : {"添加日程", "个性设置", "退出"})
        QVERIFY2(ids.contains(QString::fromUtf8(wanted)), wanted);

    // Chosen in the panel's copy, the item does what it does in ours.
    QVERIFY(!addrcForm);
    call(item, path, "com.canonical.dbusmenu", "Event",
         {ids.value("添加日程"), "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
    QTRY_VERIFY(addrcForm && addrcForm->isVisible());
    addrcForm->close();

    // The menu button still pops the same menu up as a menu of our own.
    assistantForm->menuButtonClick();
    QTRY_VERIFY(assistantForm->MainMenu->isVisible());
    assistantForm->MainMenu->hide();

    // A click on the item brings a window hidden in the tray back.
    assistantForm->hide();
    call(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate", {5, 5});
    QTRY_VERIFY(assistantForm->isVisible());
}

void TestTrays::statusNotifierWatcherComesAndGoes()
{
    useKind("sni");
    startWatcher();
    start();
    QTRY_VERIFY(!itemService().isEmpty());
    QVERIFY(windowInTray());
    assistantForm->showMinimized();
    QTRY_VERIFY(!assistantForm->isVisible()); // minimised into the tray

    // The panel goes: the window comes back to the taskbar, minimised.
    const int registered = m_watcher->registrations();
    stopWatcher();
    QTRY_VERIFY(!assistantForm->hidesWhenMinimised());
    QTRY_VERIFY(assistantForm->isVisible() && assistantForm->isMinimized());
    QVERIFY(!assistantForm->windowFlags().testFlag(Qt::Tool));

    // It comes back: the icon is registered again, and the minimised
    // window returns into the tray.
    startWatcher();
    QTRY_VERIFY(m_watcher->registrations() > registered);
    QTRY_VERIFY(windowInTray());
    QTRY_VERIFY(!assistantForm->isVisible());
}

void TestTrays::xembedTrayComesAndGoes()
{
    useKind("xembed");
    // Started before the panel's tray: an ordinary window with a taskbar entry.
    start();
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    QVERIFY(!windowInTray());
    QTRY_VERIFY(assistantForm->windowHandle()->isExposed());
    QVERIFY(!netWmState(assistantForm->winId()).contains("SKIP_TASKBAR"));
    // Its class is the one the menu entry names (StartupWMClass).
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(assistantForm->winId()), "WM_CLASS"});
    QVERIFY(xprop.waitForFinished(5000));
    QVERIFY2(xprop.readAllStandardOutput().trimmed().endsWith(", \"Brenwick\""), "WM_CLASS");

    // The tray comes: the icon docks, the window leaves the taskbar. It
    // stays the same window (the windows it owns keep their owner).
    const WId window = assistantForm->winId();
    startTrayer();
    QTRY_VERIFY_WITH_TIMEOUT(windowInTray(), 10000);
    QTRY_VERIFY(assistantForm->isVisible());
    QCOMPARE(assistantForm->winId(), window);
    QTRY_VERIFY_WITH_TIMEOUT(
        netWmState(assistantForm->winId()).contains("_NET_WM_STATE_SKIP_TASKBAR"), 10000);
    QTRY_VERIFY(!assistantForm->trayIcon->geometry().isEmpty());

    // Its menu is the main menu, where the icon was clicked.
    const QPoint icon = assistantForm->trayIcon->geometry().center();
    clickAt(icon, 3);
    QTRY_VERIFY(assistantForm->MainMenu->isVisible());
    QVERIFY2(assistantForm->MainMenu->geometry().adjusted(-3, -3, 3, 3).contains(icon),
             qPrintable(QStringLiteral("menu at %1,%2")
                            .arg(assistantForm->MainMenu->x())
                            .arg(assistantForm->MainMenu->y())));
    assistantForm->MainMenu->hide();

    // Minimised, it waits in the tray; the tray goes, and it is back on the
    // taskbar, still minimised.
    assistantForm->showMinimized();
    QTRY_VERIFY(!assistantForm->isVisible());
    stopTrayer();
    QTRY_VERIFY_WITH_TIMEOUT(!assistantForm->hidesWhenMinimised(), 10000);
    QTRY_VERIFY(assistantForm->isVisible() && assistantForm->isMinimized());
    QTRY_VERIFY(!netWmState(assistantForm->winId()).contains("SKIP_TASKBAR"));

    // A tray again: the minimised window goes back into it.
    startTrayer();
    QTRY_VERIFY_WITH_TIMEOUT(windowInTray(), 10000);
    QTRY_VERIFY(!assistantForm->isVisible());
    QTRY_VERIFY(!assistantForm->trayIcon->geometry().isEmpty());
}

int main(int argc, char** argv)
{
    AssistantApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestTrays test;
    const int result = QTest::qExec(&test, argc, argv);
    return result;
}
#include "tst_trays.moc"
