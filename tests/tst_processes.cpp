#include "TestSupport.h"
#include "platform/Autostart.h"
#include "platform/DatabaseBackup.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "shell/settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <unistd.h>

// The real executable, started as a user would: from its own program folder,
// against a settings folder of the test's own.
class TestProcesses : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstStartWritesTheDefaultsAndTheNextWritesNothing();
    void secondStartTellsTheRunningCopyAndEnds();
    void tenStartsLeaveOneCopy();
    void lockOfACrashedCopyDoesNotBlock();
    void logoutEndsAsQuitDoes();
    void anotherUsersFolderDoesNotStopTheStart();
    void aLockThatCannotBeMadeIsAFirstStart();
    void theStartTakesTheDaysBackup();
    void theAutostartEntryStartsTheProgram();

private:
    QProcessEnvironment programEnvironment() const;
    QProcess* start(const QProcessEnvironment& extra = QProcessEnvironment());
    bool waitUntilListening(int ms = 10000);
    std::unique_ptr<TestEnvironment> env;
    QString program;
    QList<QProcess*> processes;
    qint64 launched = 0; // a copy started by the desktop's launcher, not by us
};

void TestProcesses::init()
{
    env = std::make_unique<TestEnvironment>();
    program = env->programDir() + QStringLiteral("Brenwick");
    QVERIFY(QFile::copy(qEnvironmentVariable("BRENWICK_EXE"), program));
}

void TestProcesses::cleanup()
{
    for (QProcess* p : processes) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished();
        }
        delete p;
    }
    processes.clear();
    if (launched > 0 && QFile::exists(QStringLiteral("/proc/%1/exe").arg(launched)))
        ::kill(pid_t(launched), SIGKILL);
    launched = 0;
    env.reset();
}

namespace {
QString runtimeFolder()
{
    return SingleInstance::runtimeDir(QStringLiteral("brenwick"));
}
} // namespace

QProcessEnvironment TestProcesses::programEnvironment() const
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), env->configHome());
    e.insert(QStringLiteral("XDG_RUNTIME_DIR"), qEnvironmentVariable("XDG_RUNTIME_DIR"));
    return e;
}

QProcess* TestProcesses::start(const QProcessEnvironment& extra)
{
    auto* p = new QProcess;
    QProcessEnvironment e = programEnvironment();
    for (const QString& key : extra.keys()) {
        if (extra.value(key).isEmpty())
            e.remove(key);
        else
            e.insert(key, extra.value(key));
    }
    p->setProcessEnvironment(e);
    p->setWorkingDirectory(QDir::tempPath()); // not the program folder
    p->start(program, {});
    processes << p;
    return p;
}

bool TestProcesses::waitUntilListening(int ms)
{
    const QString socket = SingleInstance(QStringLiteral("时雀"), runtimeFolder()).socketPath();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QLocalSocket s;
        s.connectToServer(socket);
        if (s.waitForConnected(200))
            return true;
        QTest::qWait(50);
    }
    return false;
}

void TestProcesses::firstStartWritesTheDefaultsAndTheNextWritesNothing()
{
    QProcess* first = start();
    QVERIFY(waitUntilListening());
    // The copy listens before it creates its windows, which write the
    // defaults one value at a time: wait for the eleventh.
    auto values = [this] {
        const auto doc = Registry::parse(QString::fromUtf8(readFile(env->registryFile())), nullptr);
        return doc && doc->keys.size() == 1 ? doc->keys[0].values.size() : qsizetype(-1);
    };
    QTRY_COMPARE_WITH_TIMEOUT(values(), qsizetype(11), 10000);
    QTest::qWait(200);
    QCOMPARE(values(), qsizetype(11)); // and no more
    first->terminate();
    QVERIFY(first->waitForFinished());

    const QByteArray before = readFile(env->registryFile());
    const QDateTime stamp = QFileInfo(env->registryFile()).lastModified();
    QTest::qWait(20);
    QProcess* second = start();
    QVERIFY(waitUntilListening());
    QTest::qWait(700); // let it create its windows, which is where defaults would be written
    second->terminate();
    QVERIFY(second->waitForFinished());
    QCOMPARE(readFile(env->registryFile()), before);
    QCOMPARE(QFileInfo(env->registryFile()).lastModified(), stamp);
    QVERIFY(!QFile::exists(env->configHome() + QStringLiteral("/autostart/Tavimor.desktop")));
}

void TestProcesses::secondStartTellsTheRunningCopyAndEnds()
{
    // This test process plays the running copy.
    SingleInstance running(QStringLiteral("时雀"), runtimeFolder());
    QVERIFY(running.tryBecomePrimary());
    QSignalSpy asked(&running, &SingleInstance::activationRequested);
    QProcess* second = start();
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QTRY_COMPARE(asked.size(), 1);
    // It showed nothing and wrote nothing: no window was created.
    QVERIFY(!QFile::exists(env->registryFile()));
}

void TestProcesses::tenStartsLeaveOneCopy()
{
    QList<QProcess*> all;
    for (int i = 0; i < 10; ++i)
        all << start();
    for (QProcess* p : all)
        QVERIFY(p->waitForStarted());
    QVERIFY(waitUntilListening());
    // Every copy but one ends by itself, with exit code 0.
    QTRY_COMPARE_WITH_TIMEOUT(
        std::count_if(all.begin(), all.end(),
                      [](QProcess* p) { return p->state() == QProcess::NotRunning; }),
        qsizetype(9), 15000);
    for (QProcess* p : all)
        if (p->state() == QProcess::NotRunning) {
            QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            QCOMPARE(p->exitCode(), 0);
        }
    QTest::qWait(300);
    QCOMPARE(std::count_if(all.begin(), all.end(),
                           [](QProcess* p) { return p->state() == QProcess::Running; }),
             qsizetype(1));
}

void TestProcesses::lockOfACrashedCopyDoesNotBlock()
{
    QProcess* crashed = start();
    QVERIFY(waitUntilListening());
    crashed->kill(); // leaves its lock file and socket behind
    QVERIFY(crashed->waitForFinished());
    QVERIFY(QFile::exists(SingleInstance(QStringLiteral("时雀"), runtimeFolder()).lockPath()));
    QProcess* next = start();
    QTest::qWait(200);
    QVERIFY(waitUntilListening());
    QCOMPARE(next->state(), QProcess::Running);
}

void TestProcesses::logoutEndsAsQuitDoes()
{
    QProcess* p = start();
    QVERIFY(waitUntilListening());
    p->terminate(); // SIGTERM, as a logout sends it
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
    // It ended as 退出 does: its lock is gone with it, not left for the next start.
    QVERIFY(!QFile::exists(SingleInstance(QStringLiteral("时雀"), runtimeFolder()).lockPath()));
}

void TestProcesses::anotherUsersFolderDoesNotStopTheStart()
{
    // No runtime folder set; the shared one in the temporary folder was made
    // first by someone else, open to all, with a lock naming a live process.
    QTemporaryDir tmp, home;
    const QString shared = tmp.path() + QStringLiteral("/brenwick-%1").arg(::geteuid());
    QVERIFY(QDir().mkpath(shared));
    QVERIFY(QFile::setPermissions(shared, QFileDevice::Permissions(0x7777)));
    writeFile(shared + QStringLiteral("/时雀.lock"),
              QByteArray::number(QCoreApplication::applicationPid()) + "\nBrenwick\n" +
                  QSysInfo::machineHostName().toUtf8() + "\n");
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString());
    extra.insert(QStringLiteral("TMPDIR"), tmp.path());
    extra.insert(QStringLiteral("HOME"), home.path());
    QProcess* p = start(extra);
    const QString own = home.path() + QStringLiteral("/.cache/brenwick-runtime");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(own + QStringLiteral("/时雀.socket")), 10000);
    QCOMPARE(p->state(), QProcess::Running);
    QVERIFY(SingleInstance::isPrivateFolder(own));
}

void TestProcesses::aLockThatCannotBeMadeIsAFirstStart()
{
    // A folder where the lock file should go: no lock can be made, even as root.
    const QString lock = SingleInstance(QStringLiteral("时雀"), runtimeFolder()).lockPath();
    QVERIFY(QDir().mkpath(lock));
    QProcess* p = start();
    QTest::qWait(1500);
    QCOMPARE(p->state(), QProcess::Running);
    QDir(lock).removeRecursively();
}

void TestProcesses::theStartTakesTheDaysBackup()
{
    QProcess* p = start();
    const QString copy =
        env->programDir() +
        QStringLiteral("backups/assistant-%1.mdb").arg(QDate::currentDate().toString(Qt::ISODate));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(copy), 15000);
    p->terminate();
    QVERIFY(p->waitForFinished());
    QCOMPARE(DatabaseBackup::problemWith(copy, {QStringLiteral("main"), QStringLiteral("zjTable")}),
             QString());
}

void TestProcesses::theAutostartEntryStartsTheProgram()
{
    // What a login does with the entry: the desktop's own launcher reads its
    // Exec= and starts it. The folder's blank and dollar sign need quoting.
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        QSKIP("needs gio (libglib2.0-bin) to launch a desktop entry");
    const QString folder = env->programDir() + QStringLiteral("我的 程序$HOME");
    QVERIFY(QDir().mkpath(folder));
    ProgramDir::set(folder);
    QVERIFY(QFile::copy(program, folder + QStringLiteral("/Brenwick")));
    Settings::writeAutostart();
    QProcess launcher;
    launcher.setProcessEnvironment(programEnvironment());
    launcher.setWorkingDirectory(QDir::tempPath());
    // The program outlives the launcher: a pipe closed behind it would end it
    // at its first message.
    launcher.setStandardOutputFile(QProcess::nullDevice());
    launcher.setStandardErrorFile(QProcess::nullDevice());
    launcher.start(gio,
                   {QStringLiteral("launch"), AutostartEntry(QStringLiteral("Tavimor")).file()});
    QVERIFY(launcher.waitForFinished(10000));
    QCOMPARE(launcher.exitCode(), 0);
    QVERIFY(waitUntilListening());
    // The copy that runs is the one in the program folder.
    const QString lock = SingleInstance(QStringLiteral("时雀"), runtimeFolder()).lockPath();
    QVERIFY(QLockFile(lock).getLockInfo(&launched, nullptr, nullptr));
    QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/exe").arg(launched)).symLinkTarget(),
             folder + QStringLiteral("/Brenwick"));
    ::kill(pid_t(launched), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(lock), 10000);
}

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
