#include "TestSupport.h"
#include "app/Startup.h"
#include "platform/Autostart.h"
#include "platform/DatabaseBackup.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "shell/settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString runtimeFolder()
{
    return SingleInstance::runtimeDir(QStringLiteral("brenwick"));
}

// Whether a lock file is free: no copy holds it.
bool lockIsFree(const QString& lock)
{
    const int fd = ::open(QFile::encodeName(lock).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}
} // namespace

// The real executable, started as a user would: from its own program folder,
// against a settings folder of the test's own.
class TestProcesses : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstStartWritesTheDefaultsAndTheNextWritesNothing();
    void secondStartTellsTheRunningCopyAndEnds();
    void oneCopyPerDatabase_data();
    void oneCopyPerDatabase();
    void tenStartsLeaveOneCopy();
    void lockOfACrashedCopyDoesNotBlock();
    void logoutEndsAsQuitDoes_data();
    void logoutEndsAsQuitDoes();
    void anotherUsersFolderDoesNotStopTheStart();
    void aLockThatCannotBeMadeIsAFirstStart();
    void theStartTakesTheDaysBackup();
    void theStartRemovesWhatKilledCopiesLeft();
    void theStartKeepsTheDataPrivate_data();
    void theStartKeepsTheDataPrivate();
    void theAutostartEntryStartsTheProgram();
    void aPackagedInstallKeepsTheDataInTheUsersFolder();
    void withoutXItRunsOnWayland();

private:
    QProcessEnvironment programEnvironment() const;
    QProcess* start(const QProcessEnvironment& extra = QProcessEnvironment(),
                    const QString& executable = QString());
    bool waitUntilListening(int ms = 10000);
    QString lockFile() const { return env->databaseFile() + QStringLiteral(".lock"); }
    QString socketFile(const QString& runtime = runtimeFolder()) const
    {
        return SingleInstance(QStringLiteral("时雀"), env->databaseFile(), runtime).socketPath();
    }
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

QProcessEnvironment TestProcesses::programEnvironment() const
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), env->configHome());
    e.insert(QStringLiteral("XDG_RUNTIME_DIR"), qEnvironmentVariable("XDG_RUNTIME_DIR"));
    return e;
}

QProcess* TestProcesses::start(const QProcessEnvironment& extra, const QString& executable)
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
    p->start(executable.isEmpty() ? program : executable, {});
    processes << p;
    return p;
}

bool TestProcesses::waitUntilListening(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QLocalSocket s;
        s.connectToServer(socketFile()); // there once the copy has made its lock
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
    SingleInstance running(QStringLiteral("时雀"), env->databaseFile(), runtimeFolder());
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

void TestProcesses::oneCopyPerDatabase_data()
{
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("outcome");
    textRow("the same session", "session", "forwarded");
    textRow("a shell without XDG_RUNTIME_DIR", "unset", "told");
    textRow("another program folder", "folder", "runs");
    textRow("another local user tried the lock first", "user", "runs");
}

void TestProcesses::oneCopyPerDatabase()
{
    QFETCH(QString, second);
    QFETCH(QString, outcome);
    QProcess* first = nullptr;
    if (second == QLatin1String("user")) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (::geteuid() != 0 || setpriv.isEmpty())
            QSKIP("needs root and setpriv to play another local user");
        {
            SingleInstance earlier(QStringLiteral("时雀"), env->databaseFile(), QString());
            QVERIFY(earlier.tryBecomePrimary()); // leaves the lock file of an earlier run
        }
        QCOMPARE(otherUserCanRead(lockFile()), std::optional<bool>(false));
        // Holding it would block every start of ours; it cannot even open it.
        QProcess other;
        other.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                              QStringLiteral("--clear-groups"), QStringLiteral("flock"),
                              QStringLiteral("--nonblock"), lockFile(), QStringLiteral("sleep"),
                              QStringLiteral("30")});
        const bool ended = other.waitForFinished(5000);
        if (!ended)
            other.kill();
        QVERIFY2(ended && other.exitCode() != 0, "another user holds our lock");
    } else {
        first = start();
        QVERIFY(waitUntilListening());
    }

    QProcessEnvironment extra;
    QTemporaryDir tmp, home;
    QString executable = program, database = env->databaseFile(), runtime = runtimeFolder();
    if (second == QLatin1String("unset")) {
        extra.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString());
        extra.insert(QStringLiteral("TMPDIR"), tmp.path());
        extra.insert(QStringLiteral("HOME"), home.path());
        runtime = tmp.path() + QStringLiteral("/brenwick-%1").arg(::geteuid());
    } else if (second == QLatin1String("folder")) {
        const QString other = env->programDir() + QStringLiteral("other/");
        QVERIFY(QDir().mkpath(other));
        executable = other + QStringLiteral("Brenwick");
        QVERIFY(QFile::copy(program, executable));
        database = other + QStringLiteral("assistant.mdb");
    }
    QProcess* p = start(extra, executable);
    QVERIFY(p->waitForStarted());
    const auto listening = [&] {
        QLocalSocket s;
        s.connectToServer(SingleInstance(QStringLiteral("时雀"), database, runtime).socketPath());
        return s.waitForConnected(200);
    };
    if (outcome == QLatin1String("forwarded")) {
        QVERIFY(p->waitForFinished(10000));
        QCOMPARE(p->exitCode(), 0);
    } else if (outcome == QLatin1String("runs")) {
        QTRY_VERIFY_WITH_TIMEOUT(listening(), 10000);
        QCOMPARE(p->state(), QProcess::Running);
    } else {
        // This process as such a start: it cannot reach the running copy, and
        // says so instead of running beside it.
        SingleInstance me(QStringLiteral("时雀"), env->databaseFile(), QDir(runtime).path());
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(!claimDatabase(me, env->databaseFile()));
        QCOMPARE(env->dialogs().errors().size(), 1);
        QVERIFY2(env->dialogs().errors().first().startsWith(
                     QStringLiteral("时雀已在运行，正在使用“%1”").arg(env->databaseFile())),
                 qPrintable(env->dialogs().errors().first()));
        // The real start showed the same box meanwhile, and never listened.
        QCOMPARE(p->state(), QProcess::Running);
        QVERIFY(!listening());
        p->terminate();
        QVERIFY(p->waitForFinished(10000));
        QCOMPARE(p->exitCode(), 0);
    }
    if (first)
        QCOMPARE(first->state(), QProcess::Running);
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
    QVERIFY(QFile::exists(lockFile()));
    QProcess* next = start();
    QTest::qWait(200);
    QVERIFY(waitUntilListening());
    QCOMPARE(next->state(), QProcess::Running);
}

void TestProcesses::logoutEndsAsQuitDoes_data()
{
    QTest::addColumn<bool>("boxAtStart");
    QTest::newRow("running") << false;
    // Settings that cannot be read: the start waits in an error box.
    QTest::newRow("an error box of the start up") << true;
}

void TestProcesses::logoutEndsAsQuitDoes()
{
    QFETCH(bool, boxAtStart);
    if (boxAtStart) {
        const QString folder = env->configHome() + QStringLiteral("/Tavimor");
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/registry.reg")), 0600), 0);
    }
    QProcess* p = start();
    QVERIFY(waitUntilListening());
    p->terminate(); // SIGTERM, as a logout sends it
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
    // It ended as 退出 does: its lock is free for the next start.
    QVERIFY(lockIsFree(lockFile()));
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
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socketFile(own)), 10000);
    QCOMPARE(p->state(), QProcess::Running);
    QVERIFY(SingleInstance::isPrivateFolder(own));
}

void TestProcesses::aLockThatCannotBeMadeIsAFirstStart()
{
    // A folder where the lock file should go: no lock can be made, even as root.
    const QString lock = lockFile();
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

void TestProcesses::theStartRemovesWhatKilledCopiesLeft()
{
    const QStringList left{QStringLiteral("backups/assistant-2026-03-30.mdb.part"),
                           QStringLiteral("assistant.mdb.restoring")};
    for (const QString& file : left)
        writeFile(env->programDir() + file, QByteArray(64 * 1024, 'x')); // of full size
    QProcess* p = start();
    QVERIFY(waitUntilListening());
    for (const QString& file : left)
        QTRY_VERIFY2(!QFileInfo::exists(env->programDir() + file), qPrintable(file));
    QCOMPARE(p->state(), QProcess::Running);
}

void TestProcesses::theStartKeepsTheDataPrivate_data()
{
    QTest::addColumn<QString>("file"); // in the program folder, or "config:" the settings'
    QTest::addColumn<bool>("folder");
    QTest::newRow("the database") << "assistant.mdb" << false;
    textRow("a file a restore kept", "assistant.mdb.before-restore-20260301-090000", false);
    QTest::newRow("the backups folder") << "backups" << true;
    QTest::newRow("a backup") << "backups/assistant-2026-03-30.mdb" << false;
    QTest::newRow("the plan list") << "plans.txt" << false;
    QTest::newRow("the settings folder") << "config:Tavimor" << true;
    QTest::newRow("the settings") << "config:Tavimor/registry.reg" << false;
    QTest::newRow("the autostart entry") << "config:autostart/Tavimor.desktop" << false;
}

void TestProcesses::theStartKeepsTheDataPrivate()
{
    // As an older version left them: open to every local user.
    QFETCH(QString, file);
    QFETCH(bool, folder);
    const bool settings = file.startsWith(QLatin1String("config:"));
    const QDir base(settings ? env->configHome() : env->programDir());
    const QString path = base.filePath(settings ? file.mid(7) : file);
    if (folder) {
        QVERIFY(QDir().mkpath(path));
        writeFile(path + QStringLiteral("/x"), "data");
    } else {
        // The settings as a valid store: a damaged one would be kept aside.
        writeFile(path, path.endsWith(QLatin1String(".reg"))
                            ? "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\Software\\Tavimor\\Option]\r\n"
                            : "data");
    }
    for (QString p = path; p != base.path(); p = QFileInfo(p).path())
        QVERIFY(::chmod(QFile::encodeName(p).constData(), folder || p != path ? 0755 : 0644) == 0);
    const std::optional<bool> before = otherUserCanRead(path);
    QProcess* p = start();
    QVERIFY(waitUntilListening());
    QTRY_COMPARE(modeOf(path), folder ? 0700u : 0600u);
    QCOMPARE(p->state(), QProcess::Running);
    if (!before)
        QSKIP("needs root and setpriv to play another local user");
    QVERIFY(*before); // the check can tell
    QCOMPARE(otherUserCanRead(path), std::optional<bool>(false));
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
    // The copy that runs is the one in the program folder: it holds the lock
    // beside that folder's database, and wrote its process id into it.
    const QString lock = folder + QStringLiteral("/assistant.mdb.lock");
    QTRY_VERIFY_WITH_TIMEOUT(!lockIsFree(lock), 10000);
    launched = readFile(lock).trimmed().toLongLong();
    QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/exe").arg(launched)).symLinkTarget(),
             folder + QStringLiteral("/Brenwick"));
    ::kill(pid_t(launched), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(lockIsFree(lock), 10000);
}

void TestProcesses::aPackagedInstallKeepsTheDataInTheUsersFolder()
{
    // A package's marker beside the program; started through a link on PATH,
    // as /usr/bin/brenwick is.
    writeFile(env->programDir() + QLatin1String(ProgramDir::markerName), "Tavimor\n");
    ProgramDir::set(env->programDir());
    const QString data = env->dataHome() + QStringLiteral("/Tavimor/");
    QCOMPARE(env->databaseFile(), data + QStringLiteral("assistant.mdb"));
    const QString ics = env->programDir() + QStringLiteral("brenwick-ics");
    QVERIFY(QFile::copy(qEnvironmentVariable("BRENWICK_ICS"), ics));
    const QString bin = QDir::cleanPath(env->programDir() + QStringLiteral("../bin"));
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(QFile::link(program, bin + QStringLiteral("/brenwick")));
    const QStringList programFiles = QDir(env->programDir()).entryList(QDir::AllEntries);

    QProcess* p = start(QProcessEnvironment(), bin + QStringLiteral("/brenwick"));
    QVERIFY(waitUntilListening());
    QTRY_VERIFY(QFileInfo::exists(env->databaseFile()));
    QTRY_VERIFY(!lockIsFree(lockFile()));
    QCOMPARE(modeOf(data), 0700u);
    QCOMPARE(modeOf(env->databaseFile()), 0600u);
    p->terminate();
    QVERIFY(p->waitForFinished());
    QCOMPARE(QDir(env->programDir()).entryList(QDir::AllEntries), programFiles);

    // The command-line program finds the same database.
    QProcess tool;
    tool.setProcessEnvironment(programEnvironment());
    tool.start(ics, {QStringLiteral("--help")});
    QVERIFY(tool.waitForFinished());
    QVERIFY2(QString::fromUtf8(tool.readAllStandardOutput()).contains(env->databaseFile()),
             "--help names the database it uses");
    tool.start(ics, {QStringLiteral("export"), QStringLiteral("-")});
    QVERIFY(tool.waitForFinished());
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(tool.readAllStandardOutput().startsWith("BEGIN:VCALENDAR"));
}

void TestProcesses::withoutXItRunsOnWayland()
{
    // A Wayland session without XWayland: a compositor with no screen, in
    // the private runtime folder, and no X display at all.
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    if (weston.isEmpty())
        QSKIP("needs weston");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = QStringLiteral("brenwick-test-wayland");
    QProcess compositor;
    QProcessEnvironment ce = QProcessEnvironment::systemEnvironment();
    ce.remove(QStringLiteral("DISPLAY"));
    ce.remove(QStringLiteral("WAYLAND_DISPLAY"));
    compositor.setProcessEnvironment(ce);
    compositor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    compositor.setStandardOutputFile(QProcess::nullDevice());
    compositor.start(weston, {QStringLiteral("--backend=headless-backend.so"),
                              QStringLiteral("--socket=") + socket});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(runtime + QLatin1Char('/') + socket).exists(), 10000);

    QProcessEnvironment extra;
    extra.insert(QStringLiteral("QT_QPA_PLATFORM"), QString()); // the user chose nothing
    extra.insert(QStringLiteral("DISPLAY"), QString());
    extra.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
    extra.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    extra.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client")); // its requests
    QProcess* p = start(extra);
    QVERIFY(waitUntilListening());
    // The window maps, by the name of its menu entry.
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += p->readAllStandardError()).contains("ack_configure"), 10000);
    QVERIFY(said.contains("set_app_id(\"Tavimor\")"));
    QVERIFY(said.contains("set_title(\"" + QStringLiteral("时雀").toUtf8() + "\")"));
    QTest::qWait(500);
    QCOMPARE(p->state(), QProcess::Running);
    p->terminate();
    QVERIFY(p->waitForFinished(10000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
    compositor.terminate();
    QVERIFY(compositor.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
