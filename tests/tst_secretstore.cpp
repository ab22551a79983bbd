#include "platform/SecretStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

// The secret store against a real GNOME Keyring on a message bus of the
// test's own, and without any: first the bus alone, then the keyring on it.
class TestSecretStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void withoutASecretServiceNothingIsKept();
    void withoutABusNothingIsKept();
    void passwordsByServerAndUser();

private:
    bool startKeyring();
    QTemporaryDir m_dir;
    QProcess m_bus, m_keyring;
};

namespace {
const QString server = QStringLiteral("https://dav.example.org/");
const QString otherServer = QStringLiteral("http://127.0.0.1:5232/");

void stop(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(5000);
    }
}
} // namespace

void TestSecretStore::initTestCase()
{
    // A session bus that can start nothing: no service folders.
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile f(config);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
            "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:dir=" +
            QFile::encodeName(m_dir.path()) +
            "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
            "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            "<allow own=\"*\"/></policy></busconfig>\n");
    f.close();
    // A test that crashes takes its bus and keyring with it.
    for (QProcess* p : {&m_bus, &m_keyring})
        p->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    QVERIFY(m_bus.waitForStarted(10000));
    QByteArray address;
    while (!address.contains('\n') && m_bus.waitForReadyRead(10000))
        address += m_bus.readAllStandardOutput();
    QVERIFY(!address.trimmed().isEmpty());
    // Before anything in this process opens the session bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.trimmed());
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestSecretStore::cleanupTestCase()
{
    stop(m_keyring);
    stop(m_bus);
}

void TestSecretStore::withoutASecretServiceNothingIsKept()
{
    QVERIFY(!SecretStore::available());
    const SecretStore store(QStringLiteral("test.brenwick"));
    QCOMPARE(store.store(server, QStringLiteral("alice"), QStringLiteral("pw")).status,
             SecretStore::Status::Unavailable);
    QCOMPARE(store.lookup(server, QStringLiteral("alice")).status,
             SecretStore::Status::Unavailable);
}

void TestSecretStore::withoutABusNothingIsKept()
{
    // As under cron: no session bus at all (in a process of its own, since
    // this one has its bus open).
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("no-bus-here")));
    env.remove(QStringLiteral("DISPLAY"));
    probe.setProcessEnvironment(env);
    probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--probe")});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(probe.readAllStandardOutput().trimmed(),
             QByteArray::number(int(SecretStore::Status::Unavailable)));
}

bool TestSecretStore::startKeyring()
{
    const QString home = m_dir.filePath(QStringLiteral("home"));
    const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")));
    env.remove(QStringLiteral("DISPLAY"));
    m_keyring.setProcessEnvironment(env);
    m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                     QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(10000))
        return false;
    m_keyring.write("keyring password\n");
    m_keyring.closeWriteChannel();
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(
                QStringLiteral("org.freedesktop.secrets")))
            return true;
        QTest::qWait(50);
    }
    return false;
}

void TestSecretStore::passwordsByServerAndUser()
{
    QVERIFY(startKeyring());
    QVERIFY(SecretStore::available());
    const SecretStore store(QStringLiteral("test.brenwick"));
    const QString alice = QStringLiteral("alice"), bob = QStringLiteral("bob");

    QCOMPARE(store.lookup(server, alice).status, SecretStore::Status::NotFound);
    QCOMPARE(store.store(server, alice, QStringLiteral("秘密 pw")).status, SecretStore::Status::Ok);
    QCOMPARE(store.store(server, bob, QStringLiteral("bob's")).status, SecretStore::Status::Ok);
    QCOMPARE(store.store(otherServer, alice, QStringLiteral("elsewhere")).status,
             SecretStore::Status::Ok);

    const SecretStore::Result found = store.lookup(server, alice);
    QCOMPARE(found.status, SecretStore::Status::Ok);
    QCOMPARE(found.password, QStringLiteral("秘密 pw"));
    QCOMPARE(store.lookup(server, bob).password, QStringLiteral("bob's"));
    QCOMPARE(store.lookup(otherServer, alice).password, QStringLiteral("elsewhere"));
    // Another program's schema sees none of them.
    QCOMPARE(SecretStore(QStringLiteral("test.other")).lookup(server, alice).status,
             SecretStore::Status::NotFound);

    // A new password replaces the old one.
    QCOMPARE(store.store(server, alice, QStringLiteral("新的")).status, SecretStore::Status::Ok);
    QCOMPARE(store.lookup(server, alice).password, QStringLiteral("新的"));

    QCOMPARE(store.remove(server, alice).status, SecretStore::Status::Ok);
    QCOMPARE(store.lookup(server, alice).status, SecretStore::Status::NotFound);
    QCOMPARE(store.remove(server, alice).status, SecretStore::Status::NotFound);
    QCOMPARE(store.lookup(server, bob).password, QStringLiteral("bob's"));
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--probe") == 0) {
        const auto r =
            SecretStore(QStringLiteral("test.brenwick")).lookup(server, QStringLiteral("a"));
        std::printf("%d\n", int(r.status));
        return 0;
    }
    TestSecretStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_secretstore.moc"
