#include "TestSupport.h"
#include "platform/Autostart.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// The install rules of the desktop entry and icons (as scripts/run uses them,
// and a package will), and scripts/uninstall, in folders of the test's own.
class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }
    void theEntryAndIconsAreInstalled_data();
    void theEntryAndIconsAreInstalled();
    void uninstallKeepsTheDataUnlessPurged_data();
    void uninstallKeepsTheDataUnlessPurged();
    void uninstallRefusesOnlyForACopyOfItsFolder_data();
    void uninstallRefusesOnlyForACopyOfItsFolder();

private:
    int run(const QString& program, const QStringList& args, QByteArray* out = nullptr,
            const QString& destdir = QString());
    bool install(const QString& programDir, const QString& dataDir, const QString& prefix,
                 const QString& destdir = QString());
    QString root() const { return QDir::cleanPath(env->configHome() + QStringLiteral("/..")); }
    QString dataHome() const { return root() + QStringLiteral("/share"); }
    std::unique_ptr<TestEnvironment> env;
};

int TestDesktop::run(const QString& program, const QStringList& args, QByteArray* out,
                     const QString& destdir)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), env->configHome());
    e.remove(QStringLiteral("DESTDIR"));
    if (!destdir.isEmpty())
        e.insert(QStringLiteral("DESTDIR"), destdir);
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(120000);
    const QByteArray output = p.readAll();
    if (out)
        *out = output;
    const int code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (code != 0)
        qWarning("%s: %s", qPrintable(program), output.constData());
    return code;
}

// The desktop rules alone, in a project of their own: configured, built (the
// icons) and installed as a user's install or a package's staging does it.
bool TestDesktop::install(const QString& programDir, const QString& dataDir, const QString& prefix,
                          const QString& destdir)
{
    const QString project = root() + QStringLiteral("/project");
    writeFile(project + QStringLiteral("/CMakeLists.txt"),
              "cmake_minimum_required(VERSION 3.19)\n"
              "project(DesktopRules NONE)\n"
              "set(CMAKE_INSTALL_LIBDIR lib)\n"
              "include(GNUInstallDirs)\n"
              "include(\"" BRENWICK_SOURCE_DIR "/cmake/BrenwickDesktop.cmake\")\n"
              "brenwick_install_desktop(\"${PROGRAM_DIR}\")\n");
    const QString build = project + QStringLiteral("/build");
    const QString cmake = QStringLiteral("cmake");
    return run(cmake,
               {QStringLiteral("-S"), project, QStringLiteral("-B"), build, QStringLiteral("-G"),
                QStringLiteral("Ninja"), QStringLiteral("-DPROGRAM_DIR=") + programDir,
                QStringLiteral("-DCMAKE_INSTALL_DATADIR=") + dataDir}) == 0 &&
           run(cmake, {QStringLiteral("--build"), build}) == 0 &&
           run(cmake, {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefix},
               nullptr, destdir) == 0;
}

void TestDesktop::theEntryAndIconsAreInstalled_data()
{
    QTest::addColumn<QString>("programDir"); // relative: under the prefix
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<QString>("prefix");  // under the test's folder
    QTest::addColumn<bool>("staged");     // into a DESTDIR, as a package is built
    QTest::addColumn<QString>("program"); // where Exec= points, under the test's folder
    textRow("plain", "opt/Brenwick", "share", "/usr", false, "/usr/opt/Brenwick/Brenwick");
    textRow("blanks, quotes and a dollar", "opt/Brenwick", "share", "/My \"Apps\" $HOME", false,
            "/My \"Apps\" $HOME/opt/Brenwick/Brenwick");
    // To install(), a backslash separates folders: the entry names where it put the program.
    textRow("percent and backslash, a folder of its own", "@/100% a\\b", "@/data", "/unused", false,
            "/100% a/b/Brenwick");
    textRow("staged for a package", ".", "@/usr/share", "/opt/Brenwick", true,
            "/opt/Brenwick/Brenwick");
}

void TestDesktop::theEntryAndIconsAreInstalled()
{
    QFETCH(QString, programDir);
    QFETCH(QString, dataDir);
    QFETCH(QString, prefix);
    QFETCH(bool, staged);
    QFETCH(QString, program);
    // "@" stands for the test's folder; a staged install writes below DESTDIR
    // what names the folders of the installed system.
    const QString base = staged ? QString() : root();
    const QString stage = staged ? root() + QStringLiteral("/stage") : QString();
    programDir.replace(QLatin1Char('@'), base);
    dataDir.replace(QLatin1Char('@'), base);
    QVERIFY(install(programDir, dataDir, base + prefix, stage));

    const QString data =
        stage + (dataDir.startsWith(QLatin1Char('/')) ? dataDir
                                                      : base + prefix + QLatin1Char('/') + dataDir);
    const QString entry = data + QStringLiteral("/applications/Tavimor.desktop");
    QByteArray complaints;
    QCOMPARE(run(QStringLiteral("desktop-file-validate"), {entry}, &complaints), 0);
    QCOMPARE(complaints, QByteArray());

    const QStringList lines = QString::fromUtf8(readFile(entry)).split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("Name=时雀")));
    QVERIFY(lines.contains(QStringLiteral("Icon=tavimor")));
    QVERIFY(lines.contains(QStringLiteral("Categories=Office;Calendar;")));
    // Found under its English name and by what it is for; the window's class
    // (the application's name) ties its windows to the entry.
    for (const char* line :
         {"Name[en]=Shique", "GenericName=日程助手", "GenericName[en]=Schedule Assistant",
          "Keywords=日程;提醒;日历;calendar;reminder;schedule;", "StartupWMClass=Brenwick"})
        QVERIFY2(lines.contains(QString::fromUtf8(line)), line);
    const QStringList exec = lines.filter(QRegularExpression(QStringLiteral("^Exec=")));
    QCOMPARE(exec.size(), 1);
    // The same rules the autostart entry is read back by.
    QCOMPARE(AutostartEntry::programFromExec(exec.first().mid(5)), QDir::cleanPath(base + program));

    const QString icons = data + QStringLiteral("/icons/hicolor/");
    QVERIFY(QFileInfo::exists(icons + QStringLiteral("scalable/apps/tavimor.svg")));
    for (int size : {16, 32, 48, 256}) {
        const QImage image(icons + QStringLiteral("%1x%1/apps/tavimor.png").arg(size));
        QCOMPARE(image.size(), QSize(size, size));
    }
}

void TestDesktop::uninstallKeepsTheDataUnlessPurged_data()
{
    QTest::addColumn<bool>("purge");
    QTest::newRow("kept") << false;
    QTest::newRow("--purge") << true;
}

void TestDesktop::uninstallKeepsTheDataUnlessPurged()
{
    QFETCH(bool, purge);
    const QString program = env->programDir() + QStringLiteral("Brenwick");
    QVERIFY(install(program, QStringLiteral("share"), root()));
    const QStringList programFiles{"Brenwick", "brenwick-ics", "brenwick_soundeffect.so",
                                   "ovak.ico", "help.chm"};
    const QStringList data{"assistant.mdb", "plans.txt", "backups/assistant-2026-03-30.mdb",
                           "assistant.mdb.before-restore-20260331-090000"};
    for (const QString& f : programFiles + data)
        writeFile(program + QLatin1Char('/') + f, "x");
    const QString autostart = env->configHome() + QStringLiteral("/autostart/Tavimor.desktop");
    const QString settings = env->configHome() + QStringLiteral("/Tavimor/registry.reg");
    writeFile(autostart, "[Desktop Entry]\n");
    writeFile(settings, "REGEDIT4\n");

    QByteArray out;
    QStringList args{program};
    if (purge)
        args.prepend(QStringLiteral("--purge"));
    QCOMPARE(run(QStringLiteral(BRENWICK_SOURCE_DIR "/scripts/uninstall"), args, &out), 0);
    for (const QString& f : programFiles)
        QVERIFY2(!QFileInfo::exists(program + QLatin1Char('/') + f), qPrintable(f));
    QVERIFY(!QFileInfo::exists(dataHome() + QStringLiteral("/applications/Tavimor.desktop")));
    QVERIFY(
        !QFileInfo::exists(dataHome() + QStringLiteral("/icons/hicolor/48x48/apps/tavimor.png")));
    QVERIFY(!QFileInfo::exists(autostart));
    for (const QString& f : data) {
        QCOMPARE(QFileInfo::exists(program + QLatin1Char('/') + f), !purge);
        const QByteArray listed = "\n  " + QFile::encodeName(program) + '/' +
                                  QFile::encodeName(f.section(QLatin1Char('/'), 0, 0)) + '\n';
        QCOMPARE(out.contains(listed), !purge); // it says which it kept
    }
    QCOMPARE(QFileInfo::exists(settings), !purge);
    QCOMPARE(QFileInfo::exists(program), !purge); // an emptied folder goes too
}

void TestDesktop::uninstallRefusesOnlyForACopyOfItsFolder_data()
{
    QTest::addColumn<QString>("running"); // the program folder of the copy that runs
    QTest::addColumn<bool>("refused");
    QTest::newRow("a copy of the folder removed") << "removed" << true;
    QTest::newRow("a copy of another program folder") << "other" << false;
}

void TestDesktop::uninstallRefusesOnlyForACopyOfItsFolder()
{
    QFETCH(QString, running);
    QFETCH(bool, refused);
    const QString removed = env->programDir() + QStringLiteral("removed");
    const QString folder = env->programDir() + running;
    QVERIFY(QDir().mkpath(removed));
    QVERIFY(QDir().mkpath(folder));
    writeFile(removed + QStringLiteral("/brenwick-ics"), "x");
    QVERIFY(
        QFile::copy(qEnvironmentVariable("BRENWICK_EXE"), folder + QStringLiteral("/Brenwick")));
    QProcess copy;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), env->configHome());
    copy.setProcessEnvironment(e);
    copy.start(folder + QStringLiteral("/Brenwick"), {});
    // Running once it holds the lock beside its database.
    const QByteArray lock = QFile::encodeName(folder + QStringLiteral("/assistant.mdb.lock"));
    const auto held = [&lock] {
        const int fd = ::open(lock.constData(), O_RDONLY | O_CLOEXEC);
        const bool locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        if (fd >= 0)
            ::close(fd);
        return locked;
    };
    QTRY_VERIFY_WITH_TIMEOUT(held(), 10000);
    QByteArray out;
    const int code = run(QStringLiteral(BRENWICK_SOURCE_DIR "/scripts/uninstall"), {removed}, &out);
    copy.kill();
    copy.waitForFinished();
    QCOMPARE(code, refused ? 1 : 0);
    QCOMPARE(out.contains("时雀 is running from " + QFile::encodeName(removed)), refused);
    QCOMPARE(QFileInfo::exists(removed + QStringLiteral("/brenwick-ics")), refused);
}

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
