#include "TestSupport.h"
#include "platform/Autostart.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QtTest>

// scripts/install-desktop (run by scripts/run) and scripts/uninstall, in
// folders of the test's own.
class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void theEntryAndIconsAreInstalled_data();
    void theEntryAndIconsAreInstalled();
    void uninstallKeepsTheDataUnlessPurged_data();
    void uninstallKeepsTheDataUnlessPurged();

private:
    int script(const QString& name, const QStringList& args, QByteArray* out = nullptr);
    QString dataHome() const { return env->configHome() + QStringLiteral("/../share"); }
    std::unique_ptr<TestEnvironment> env;
};

void TestDesktop::init()
{
    env = std::make_unique<TestEnvironment>();
}

void TestDesktop::cleanup()
{
    env.reset();
}

int TestDesktop::script(const QString& name, const QStringList& args, QByteArray* out)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), env->configHome());
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(BRENWICK_SOURCE_DIR "/scripts/") + name, args);
    p.waitForFinished(60000);
    if (out)
        *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TestDesktop::theEntryAndIconsAreInstalled_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "Brenwick";
    QTest::newRow("blanks, quotes and a dollar") << "My \"Apps\" $HOME";
    QTest::newRow("percent and backslash") << "100% a\\b";
}

void TestDesktop::theEntryAndIconsAreInstalled()
{
    QFETCH(QString, folder);
    const QString program = env->programDir() + folder;
    QVERIFY(QDir().mkpath(program));
    QByteArray out;
    QCOMPARE(script(QStringLiteral("install-desktop"), {program}, &out), 0);
    const QString entry = dataHome() + QStringLiteral("/applications/Tavimor.desktop");
    QProcess validate;
    validate.start(QStringLiteral("desktop-file-validate"), {entry});
    QVERIFY(validate.waitForFinished());
    QCOMPARE(validate.exitCode(), 0);
    QCOMPARE(validate.readAll(), QByteArray());

    const QStringList lines = QString::fromUtf8(readFile(entry)).split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("Name=时雀")));
    QVERIFY(lines.contains(QStringLiteral("Icon=tavimor")));
    QVERIFY(lines.contains(QStringLiteral("Categories=Office;Calendar;")));
    const QStringList exec = lines.filter(QRegularExpression(QStringLiteral("^Exec=")));
    QCOMPARE(exec.size(), 1);
    // The same rules the autostart entry is read back by.
    QCOMPARE(AutostartEntry::programFromExec(exec.first().mid(5)),
             QDir(program).absolutePath() + QStringLiteral("/Brenwick"));

    const QString icons = dataHome() + QStringLiteral("/icons/hicolor/");
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
    QVERIFY(QDir().mkpath(program));
    QCOMPARE(script(QStringLiteral("install-desktop"), {program}), 0);
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
    QCOMPARE(script(QStringLiteral("uninstall"), args, &out), 0);
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

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
