// The desktop notifications over D-Bus, on a bus of the test's own with a
// notification server of the test's own that records what it is asked.
#include "TestSupport.h"
#include "platform/Notifications.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QtTest>

namespace {
const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };
    QStringList capabilities;
    QList<Call> calls;
    int capabilityAsks = 0;

    bool serve(QDBusConnection bus)
    {
        m_bus = bus;
        return bus.registerObject(objectPath, this, QDBusConnection::ExportAllSlots) &&
               bus.registerService(serviceName);
    }
    void emitSignal(const QString& name, const QVariantList& args)
    {
        QDBusMessage m = QDBusMessage::createSignal(objectPath, serviceName, name);
        m.setArguments(args);
        m_bus.send(m);
    }

public slots:
    QStringList GetCapabilities()
    {
        ++capabilityAsks;
        return capabilities;
    }
    uint Notify(const QString& appName, uint replacesId, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int)
    {
        calls.append({appName, replacesId, icon, summary, body, actions, hints});
        return replacesId ? replacesId : ++m_lastId;
    }

private:
    QDBusConnection m_bus{QString()};
    uint m_lastId = 40;
};

class TestNotifications : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void whatTheServerIsSent_data();
    void whatTheServerIsSent();
    void eachReplacesTheLast();
    void actionsAndClosing();
    void noServerIsSilent();
    void aRestartedServerStartsAfresh();
    void installedIcon();
    void withoutAnIconNameThePicture();

private:
    Notification notice(const QString& body);
    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<NotificationServer> server;
    std::unique_ptr<DesktopNotifications> notifications;
    QStringList invoked;
};

void TestNotifications::init()
{
    bus = std::make_unique<PrivateBus>();
    if (!bus->started())
        QSKIP("no dbus-daemon");
    server = std::make_unique<NotificationServer>();
    server->capabilities = QStringList{"actions", "body", "body-markup"};
    QVERIFY(server->serve(bus->connect("server")));
    notifications = std::make_unique<DesktopNotifications>(bus->connect("client"), nullptr);
    invoked.clear();
}

void TestNotifications::cleanup()
{
    notifications.reset();
    server.reset();
    bus.reset();
}

Notification TestNotifications::notice(const QString& body)
{
    Notification n;
    n.appName = QStringLiteral("时雀");
    n.summary = QStringLiteral("时雀");
    n.icon = QStringLiteral("tavimor");
    n.body = body;
    n.actions = {{QStringLiteral("default"), QStringLiteral("查看")},
                 {QStringLiteral("view"), QStringLiteral("查看")}};
    n.onAction = [this](const QString& key) {
        invoked << key;
    };
    return n;
}

void TestNotifications::whatTheServerIsSent_data()
{
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("actions");
    const QString text = "9:00 会议 <b>A&B</b>\n9:30 \"午饭\"";
    const QStringList both{"default", "查看", "view", "查看"};
    QTest::newRow("actions and markup")
        << QStringList{"actions", "body", "body-markup"}
        << "9:00 会议 &lt;b&gt;A&amp;B&lt;/b&gt;\n9:30 &quot;午饭&quot;" << both;
    QTest::newRow("plain text: as it stands") << QStringList{"actions", "body"} << text << both;
    QTest::newRow("no actions: none offered") << QStringList{"body"} << text << QStringList();
}

void TestNotifications::whatTheServerIsSent()
{
    QFETCH(QStringList, capabilities);
    QFETCH(QString, body);
    QFETCH(QStringList, actions);
    server->capabilities = capabilities;
    QGuiApplication::setDesktopFileName("Tavimor");
    QSignalSpy shown(notifications.get(), &DesktopNotifications::shown);
    notifications->notify(notice("9:00 会议 <b>A&B</b>\n9:30 \"午饭\""));
    QVERIFY(server->calls.isEmpty()); // nothing waits for the server
    QTRY_COMPARE(shown.size(), 1);
    QCOMPARE(server->calls.size(), 1);
    const NotificationServer::Call& c = server->calls[0];
    QCOMPARE(c.appName, QString("时雀"));
    QCOMPARE(c.summary, QString("时雀"));
    QCOMPARE(c.icon, QString("tavimor"));
    QCOMPARE(c.body, body);
    QCOMPARE(c.actions, actions);
    QCOMPARE(c.replacesId, 0u);
    QCOMPARE(c.hints.value("desktop-entry").toString(), QString("Tavimor"));
    QCOMPARE(notifications->shownId(), 41u);
}

void TestNotifications::eachReplacesTheLast()
{
    QSignalSpy shown(notifications.get(), &DesktopNotifications::shown);
    // Asked for before the server has answered anything: only the last goes.
    notifications->notify(notice("一"));
    notifications->notify(notice("二"));
    QTRY_COMPARE(shown.size(), 1);
    QTest::qWait(50);
    QCOMPARE(server->calls.size(), 1);
    QCOMPARE(server->calls[0].body, QString("二"));
    // The next waits for the id of the one on its way, and replaces it.
    notifications->notify(notice("三"));
    notifications->notify(notice("四"));
    notifications->notify(notice("五"));
    QTRY_COMPARE(shown.size(), 3);
    QTest::qWait(50);
    QCOMPARE(server->calls.size(), 3);
    QCOMPARE(server->calls[1].body, QString("三"));
    QCOMPARE(server->calls[1].replacesId, 41u);
    QCOMPARE(server->calls[2].body, QString("五"));
    QCOMPARE(server->calls[2].replacesId, 41u);
    QCOMPARE(server->capabilityAsks, 1);
}

void TestNotifications::actionsAndClosing()
{
    QSignalSpy shown(notifications.get(), &DesktopNotifications::shown);
    notifications->notify(notice("一"));
    QTRY_COMPARE(shown.size(), 1);
    server->emitSignal("ActionInvoked", {99u, "default"}); // another program's notice
    server->emitSignal("ActionInvoked", {41u, "view"});
    QTRY_COMPARE(invoked, QStringList{"view"});
    // Closed (expired, or dismissed): the next one is a new notice; a click
    // in the server's list of past notices still counts until then.
    server->emitSignal("NotificationClosed", {41u, 1u});
    QTRY_COMPARE(notifications->shownId(), 0u);
    server->emitSignal("ActionInvoked", {41u, "default"});
    QTRY_COMPARE(invoked, (QStringList{"view", "default"}));
    notifications->notify(notice("二"));
    QTRY_COMPARE(shown.size(), 2);
    QCOMPARE(server->calls[1].replacesId, 0u);
    QCOMPARE(notifications->shownId(), 42u);
    server->emitSignal("ActionInvoked", {41u, "default"}); // an older notice's
    QTest::qWait(100);
    QCOMPARE(invoked, (QStringList{"view", "default"}));
}

void TestNotifications::noServerIsSilent()
{
    QDBusConnection serverBus = QDBusConnection::connectToBus(bus->address(), "server");
    QVERIFY(serverBus.unregisterService(serviceName));
    QSignalSpy shown(notifications.get(), &DesktopNotifications::shown);
    QElapsedTimer took;
    took.start();
    notifications->notify(notice("一"));
    QVERIFY(took.elapsed() < 100);
    QTest::qWait(300);
    QCOMPARE(shown.size(), 0);
    // A server that comes later gets the next notice.
    QVERIFY(serverBus.registerService(serviceName));
    notifications->notify(notice("二"));
    QTRY_COMPARE(shown.size(), 1);
    QCOMPARE(server->calls.size(), 1);
    QCOMPARE(server->calls[0].body, QString("二"));

    // And a program on no bus at all says nothing either.
    DesktopNotifications nowhere(QDBusConnection(QStringLiteral("none")), nullptr);
    nowhere.notify(notice("三"));
    QCOMPARE(nowhere.shownId(), 0u);
}

void TestNotifications::aRestartedServerStartsAfresh()
{
    QSignalSpy shown(notifications.get(), &DesktopNotifications::shown);
    notifications->notify(notice("一"));
    QTRY_COMPARE(shown.size(), 1);
    // The server ends; another takes its name, without actions.
    QDBusConnection serverBus = QDBusConnection::connectToBus(bus->address(), "server");
    QVERIFY(serverBus.unregisterService(serviceName));
    NotificationServer second;
    second.capabilities = QStringList{"body"};
    QVERIFY(second.serve(bus->connect("second")));
    QTest::qWait(100); // the name's change reaches the client
    notifications->notify(notice("二"));
    QTRY_COMPARE(shown.size(), 2);
    QCOMPARE(second.calls.size(), 1);
    QCOMPARE(second.calls[0].replacesId, 0u); // it knows nothing of 41
    QVERIFY(second.calls[0].actions.isEmpty());
    QCOMPARE(second.capabilityAsks, 1);
}

void TestNotifications::installedIcon()
{
    QTemporaryDir home, system;
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME"), oldDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(system.path()));
    QCOMPARE(Notifications::installedIcon("tavimor"), QString());
    writeFile(system.path() + "/icons/hicolor/scalable/apps/tavimor.svg", "<svg/>");
    QCOMPARE(Notifications::installedIcon("tavimor"), QString("tavimor"));
    QCOMPARE(Notifications::installedIcon("other"), QString());
    writeFile(home.path() + "/icons/hicolor/48x48/apps/other.png", "png");
    QCOMPARE(Notifications::installedIcon("other"), QString("other"));
    qputenv("XDG_DATA_HOME", oldHome);
    qputenv("XDG_DATA_DIRS", oldDirs);
}

void TestNotifications::withoutAnIconNameThePicture()
{
    // Where the theme does not know the icon, the window icon goes as the
    // notice's raw picture; a file name or a theme name goes as it is.
    QImage red(48, 48, QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0, 128));
    QGuiApplication::setWindowIcon(QIcon(QPixmap::fromImage(red)));
    QSignalSpy shown(notifications.get(), &DesktopNotifications::shown);
    Notification n = notice("一");
    n.icon.clear();
    notifications->notify(n);
    QTRY_COMPARE(shown.size(), 1);
    const NotificationServer::Call& c = server->calls[0];
    QCOMPARE(c.icon, QString());
    const QDBusArgument image = c.hints.value("image-data").value<QDBusArgument>();
    QCOMPARE(image.currentSignature(), QString("(iiibiiay)"));
    int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
    bool alpha = false;
    QByteArray bytes;
    image.beginStructure();
    image >> width >> height >> stride >> alpha >> bits >> channels >> bytes;
    image.endStructure();
    QCOMPARE(QSize(width, height), QSize(48, 48));
    QVERIFY(alpha);
    QCOMPARE(bits, 8);
    QCOMPARE(channels, 4);
    QCOMPARE(bytes.size(), stride * height);
    QCOMPARE(bytes.left(4), QByteArray("\xff\x00\x00\x80", 4)); // red, half seen, in RGBA

    n.icon = "/opt/x/ovak.png";
    notifications->notify(n);
    QTRY_COMPARE(shown.size(), 2);
    QCOMPARE(server->calls[1].icon, QString("file:///opt/x/ovak.png"));
    QVERIFY(!server->calls[1].hints.contains("image-data"));
    QGuiApplication::setWindowIcon(QIcon());
}

QTEST_MAIN(TestNotifications)
#include "tst_notifications.moc"
