#include "KeyringSession.h"
#include "platform/SecretStore.h"

#include <QDir>
#include <QProcess>
#include <QtTest>
#include <cstdio>

// The secret store against a real GNOME Keyring on a message bus of the
// test's own, and without any: first the bus alone, then the keyring on it.
class TestSecretStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void withoutASecretServiceNothingIsKept();
    void withoutABusNothingIsKept();
    void passwordsByServerAndUser();

private:
    KeyringSession m_session;
};

namespace {
const QString server = QStringLiteral("https://dav.example.org/");
const QString otherServer = QStringLiteral("http://127.0.0.1:5232/");
} // namespace

void TestSecretStore::initTestCase()
{
    QVERIFY(m_session.start());
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
               QStringLiteral("unix:path=") +
                   QDir(m_session.folder()).filePath(QStringLiteral("no-bus-here")));
    env.remove(QStringLiteral("DISPLAY"));
    probe.setProcessEnvironment(env);
    probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--probe")});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(probe.readAllStandardOutput().trimmed(),
             QByteArray::number(int(SecretStore::Status::Unavailable)));
}

void TestSecretStore::passwordsByServerAndUser()
{
    QVERIFY(m_session.startKeyring());
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
