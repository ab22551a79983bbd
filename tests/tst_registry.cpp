#include "TestSupport.h"
#include "platform/AppError.h"
#include "platform/Autostart.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void roundTripKeepsKindsAndCase();
    void readFailures_data();
    void readFailures();
    void openWithoutCreateFailsOnMissingKey();
    void writesWithoutAnOpenKeyFail();
    void refusedWriteKeepsTheFileAndTheOldValue_data();
    void refusedWriteKeepsTheFileAndTheOldValue();
    void realFullDiskKeepsTheFile();
    void fileIsReadableExportSyntax();
    void parse_data();
    void parse();
    void damagedFileIsKeptAndReported();
    void everyOpeningRereadsTheFile();
    void autostartEntry_data();
    void autostartEntry();
    void replacedFilesAreTheUsersAlone_data();
    void replacedFilesAreTheUsersAlone();
    void dataFolderOfAMarker_data();
    void dataFolderOfAMarker();
};

void TestRegistry::roundTripKeepsKindsAndCase()
{
    TestEnvironment env;
    {
        RegistryKey key(env.registryFile());
        QVERIFY(key.openKey(QStringLiteral("Software\\Tavimor\\Option"), true));
        key.writeInteger(QStringLiteral("AutoRun"), 1);
        key.writeString(QStringLiteral("zm"), QStringLiteral("滚动 \"字幕\" C:\\path"));
        key.writeInteger(QStringLiteral("negative"), -5);
        // The settings window writes autoRun: the same value as AutoRun.
        key.writeInteger(QStringLiteral("autoRun"), 0);
    }
    RegistryKey key(env.registryFile());
    QVERIFY(key.openKey(QStringLiteral("SOFTWARE\\tavimor\\OPTION"), false));
    QCOMPARE(key.readInteger(QStringLiteral("AUTORUN")), 0);
    QCOMPARE(key.readInteger(QStringLiteral("negative")), -5);
    QCOMPARE(key.readString(QStringLiteral("ZM")), QStringLiteral("滚动 \"字幕\" C:\\path"));
    const QString text = QString::fromUtf8(readFile(env.registryFile()));
    QVERIFY2(text.contains(QLatin1String("\"AutoRun\"=dword:00000000")), qPrintable(text));
    QVERIFY(!text.contains(QLatin1String("\"autoRun\"")));
}

void TestRegistry::readFailures_data()
{
    QTest::addColumn<QString>("stored"); // "dword:N", "sz:TEXT" or "" (missing)
    QTest::addColumn<bool>("asInteger");
    QTest::addColumn<QString>("error"); // "" when the read succeeds
    QTest::addColumn<QString>("result");
    const auto row = [](const char* name, const char* stored, bool asInteger, const char* error,
                        const char* result = "") {
        QTest::newRow(name) << QString::fromUtf8(stored) << asInteger << QString(error)
                            << QString::fromUtf8(result);
    };
    const char* missing = "Failed to get data for 'v'";
    const char* invalid = "Invalid data type for 'v'";
    row("missing integer", "", true, missing);
    row("missing string", "", false, "");
    row("short string as integer", "sz:abc", true, invalid);
    row("long string as integer", "sz:abcd", true, missing);
    // Two GBK bytes and the NUL fit in four bytes; two Chinese characters do not.
    row("one Chinese char as integer", "sz:时", true, invalid);
    row("two Chinese chars as integer", "sz:时雀", true, missing);
    row("integer as string", "dword:7", false, invalid);
    row("integer", "dword:60", true, "", "60");
    row("string", "sz:clRed", false, "", "clRed");
}

void TestRegistry::readFailures()
{
    QFETCH(QString, stored);
    QFETCH(bool, asInteger);
    QFETCH(QString, error);
    QFETCH(QString, result);
    TestEnvironment env;
    RegistryKey key(env.registryFile());
    QVERIFY(key.openKey(QStringLiteral("Software\\Tavimor\\Option"), true));
    if (stored.startsWith(QLatin1String("dword:")))
        key.writeInteger(QStringLiteral("v"), stored.mid(6).toInt());
    else if (stored.startsWith(QLatin1String("sz:")))
        key.writeString(QStringLiteral("v"), stored.mid(3));
    QString got;
    QCOMPARE(errorOf([&] {
                 got = asInteger ? QString::number(key.readInteger(QStringLiteral("v")))
                                 : key.readString(QStringLiteral("v"));
             }),
             error);
    QCOMPARE(got, result);
}

void TestRegistry::openWithoutCreateFailsOnMissingKey()
{
    TestEnvironment env;
    RegistryKey key(env.registryFile());
    QVERIFY(!key.openKey(QStringLiteral("Software\\Tavimor\\Option"), false));
    QVERIFY(!QFile::exists(env.registryFile())); // opening does not write
    // Reading from a key that failed to open.
    QVERIFY_THROWS_EXCEPTION(AppError, key.readInteger(QStringLiteral("intervalTime")));
    QCOMPARE(key.readString(QStringLiteral("zm")), QString());
}

void TestRegistry::writesWithoutAnOpenKeyFail()
{
    TestEnvironment env;
    RegistryKey key(env.registryFile());
    key.openKey(QStringLiteral("Software\\Tavimor\\Option"), false);
    QCOMPARE(errorOf([&] { key.writeInteger(QStringLiteral("intervalTime"), 1); }),
             QStringLiteral("Failed to set data for 'intervalTime'"));
}

void TestRegistry::refusedWriteKeepsTheFileAndTheOldValue_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("folder turned into a file") << "folder";
    QTest::newRow("disk full part way") << "full";
    QTest::newRow("disk full at once") << "empty";
}

void TestRegistry::refusedWriteKeepsTheFileAndTheOldValue()
{
    QFETCH(QString, how);
    TestEnvironment env;
    RegistryKey key(env.registryFile());
    QVERIFY(key.openKey(QStringLiteral("Software\\Tavimor\\Option"), true));
    key.writeString(QStringLiteral("zm"), QStringLiteral("旧的字幕"));
    key.writeInteger(QStringLiteral("intervalTime"), 5);
    const QByteArray before = readFile(env.registryFile());
    const QString folder = QFileInfo(env.registryFile()).absolutePath();
    if (how == QLatin1String("folder")) {
        // No write can land (even as root).
        QVERIFY(QDir(folder).removeRecursively());
        writeFile(folder, "not a folder");
    } else {
        SafeFile::failWritesAfter(how == QLatin1String("full") ? 20 : 0);
    }
    QCOMPARE(errorOf([&] { key.writeString(QStringLiteral("zm"), QStringLiteral("新的字幕")); }),
             QStringLiteral("Failed to set data for 'zm'"));
    SafeFile::failWritesAfter(-1);
    // The open key reads what the file still holds, and the file is untouched.
    QCOMPARE(key.readString(QStringLiteral("zm")), QStringLiteral("旧的字幕"));
    if (how != QLatin1String("folder")) {
        QCOMPARE(readFile(env.registryFile()), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"registry.reg"});
        RegistryKey again(env.registryFile());
        QVERIFY(again.openKey(QStringLiteral("Software\\Tavimor\\Option"), false));
        QCOMPARE(again.readInteger(QStringLiteral("intervalTime")), 5);
    }
}

void TestRegistry::realFullDiskKeepsTheFile()
{
    // A small file system of its own, where the machine allows one.
    TestEnvironment env;
    QTemporaryDir mount;
    if (QProcess::execute(QStringLiteral("mount"),
                          {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                           QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mount.path()}) != 0)
        QSKIP("no tmpfs can be mounted here");
    const QString file = mount.path() + QStringLiteral("/registry.reg");
    {
        RegistryKey key(file);
        QVERIFY(key.openKey(QStringLiteral("A"), true));
        key.writeString(QStringLiteral("zm"), QStringLiteral("old"));
    }
    const QByteArray before = readFile(file);
    writeFile(mount.path() + QStringLiteral("/filler"), QByteArray(60 * 1024, 'x'));
    RegistryKey key(file);
    QVERIFY(key.openKey(QStringLiteral("A"), false));
    QVERIFY_THROWS_EXCEPTION(
        AppError, key.writeString(QStringLiteral("zm"), QString(20000, QLatin1Char('n'))));
    const QByteArray after = readFile(file);
    QProcess::execute(QStringLiteral("umount"), {mount.path()});
    QCOMPARE(after, before);
}

void TestRegistry::fileIsReadableExportSyntax()
{
    TestEnvironment env;
    {
        RegistryKey key(env.registryFile());
        key.openKey(QStringLiteral("Software\\Tavimor\\Option"), true);
        key.writeInteger(QStringLiteral("intervalTime"), 1);
        key.writeString(QStringLiteral("zm"), QStringLiteral("a\\b\"c"));
    }
    QCOMPARE(QString::fromUtf8(readFile(env.registryFile())),
             QStringLiteral("Windows Registry Editor Version 5.00\n"
                            "\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Tavimor\\Option]\n"
                            "\"intervalTime\"=dword:00000001\n"
                            "\"zm\"=\"a\\\\b\\\"c\"\n"));
}

void TestRegistry::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("value"); // the first value as read: its text, or dword:N
    const QString head = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n");
    QTest::newRow("empty store") << head << true << QString();
    QTest::newRow("crlf and comments")
        << head + "[HKEY_LOCAL_MACHINE\\A]\r\n; note\r\n\"x\"=dword:0000000a\r\n"
        << true << "dword:10";
    QTest::newRow("dword of the top bit")
        << head + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:ff00000d\n"
        << true << "dword:4278190093";
    QTest::newRow("quoted string with escapes")
        << head + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"a\\\\b\\\"c\"\n"
        << true << "a\\b\"c";
    QTest::newRow("string with control characters as hex(1)")
        << head + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex(1):61,00,0a,00,62,00,00,00\n"
        << true << "a\nb";
    // Low byte first: 中 is U+4E2D, 文 U+6587.
    QTest::newRow("hex(1) over two lines, not ASCII")
        << head + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex(1):2d,4e,87,65,\\\n  00,00\n"
        << true << "中文";
    QTest::newRow("no header") << "[HKEY_LOCAL_MACHINE\\A]\n" << false << QString();
    QTest::newRow("value outside key") << head + "\"x\"=dword:00000001\n" << false << QString();
    QTest::newRow("short dword") << head + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:1\n"
                                 << false << QString();
    QTest::newRow("unterminated string") << head + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"abc\n"
                                         << false << QString();
    QTest::newRow("odd hex(1) bytes") << head + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex(1):61,00,62\n"
                                      << false << QString();
    QTest::newRow("other root") << head + "[HKEY_CURRENT_USER\\A]\n" << false << QString();
    QTest::newRow("binary value") << head + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex:00\n"
                                  << false << QString();
    QTest::newRow("truncated write")
        << head + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dwo" << false << QString();
}

void TestRegistry::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, value);
    QString error;
    const auto doc = Registry::parse(text, &error);
    QCOMPARE(doc.has_value(), valid);
    QCOMPARE(error.isEmpty(), valid);
    if (!doc || value.isEmpty())
        return;
    const auto shown = [](const Registry::Value& v) {
        return v.kind == Registry::Kind::Dword ? QStringLiteral("dword:%1").arg(v.dword) : v.text;
    };
    QCOMPARE(shown(doc->keys[0].values[0]), value);
    // What was parsed is written back the same way.
    const auto again = Registry::parse(Registry::serialize(*doc), nullptr);
    QVERIFY(again);
    QCOMPARE(shown(again->keys[0].values[0]), value);
}

void TestRegistry::damagedFileIsKeptAndReported()
{
    TestEnvironment env;
    const QByteArray damaged =
        "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Software";
    writeFile(env.registryFile(), damaged);
    RegistryKey key(env.registryFile());
    QVERIFY(!key.openKey(QStringLiteral("Software\\Tavimor\\Option"), false)); // an empty store
    QVERIFY(key.damage());
    QCOMPARE(key.damage()->file, env.registryFile());
    QVERIFY(key.damage()->keptAs.startsWith(env.registryFile() + QStringLiteral(".damaged-")));
    const QStringList kept = QDir(QFileInfo(env.registryFile()).absolutePath())
                                 .entryList({QStringLiteral("registry.reg.damaged-*")});
    QCOMPARE(kept.size(), 1);
    QCOMPARE(readFile(QFileInfo(env.registryFile()).absolutePath() + QLatin1Char('/') + kept[0]),
             damaged);
    QVERIFY(!QFile::exists(env.registryFile()));
    // The program goes on: a new store is written beside the kept one.
    QVERIFY(key.openKey(QStringLiteral("Software\\Tavimor\\Option"), true));
    key.writeInteger(QStringLiteral("intervalTime"), 1);
    QVERIFY(QFile::exists(env.registryFile()));
}

void TestRegistry::everyOpeningRereadsTheFile()
{
    TestEnvironment env;
    RegistryKey writer(env.registryFile());
    QVERIFY(writer.openKey(QStringLiteral("Software\\Tavimor\\Option"), true));
    writer.writeInteger(QStringLiteral("intervalTime"), 5);
    RegistryKey reader(env.registryFile());
    QVERIFY(reader.openKey(QStringLiteral("Software\\Tavimor\\Option"), false));
    QCOMPARE(reader.readInteger(QStringLiteral("intervalTime")), 5);
    // Another program changes the file: the next opening sees it.
    writeFile(env.registryFile(), "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_LOCAL_MACHINE\\Software\\Tavimor\\Option]\n"
                                  "\"intervalTime\"=dword:0000000c\n");
    QVERIFY(reader.openKey(QStringLiteral("Software\\Tavimor\\Option"), false));
    QCOMPARE(reader.readInteger(QStringLiteral("intervalTime")), 12);
}

void TestRegistry::autostartEntry_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    const auto row = [](const char* name, const char* program, const char* exec) {
        QTest::newRow(name) << QString::fromUtf8(program) << QString::fromUtf8(exec);
    };
    row("plain", "/home/u/.local/opt/Brenwick/Brenwick", "/home/u/.local/opt/Brenwick/Brenwick");
    row("blank", "/home/u/my apps/Brenwick", "\"/home/u/my apps/Brenwick\"");
    row("dollar and quote", "/opt/a$b\"c/Brenwick", "\"/opt/a\\\\$b\\\\\"c/Brenwick\"");
    row("percent", "/opt/100%/Brenwick", "/opt/100%%/Brenwick");
    row("Chinese", "/home/用户/时雀/Brenwick", "/home/用户/时雀/Brenwick");
}

void TestRegistry::autostartEntry()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    TestEnvironment env;
    const AutostartEntry entry(QStringLiteral("Tavimor"));
    const QString file = env.configHome() + QStringLiteral("/autostart/Tavimor.desktop");
    QVERIFY(!entry.exists());
    QVERIFY(entry.remove()); // absent: no failure, nothing done
    QCOMPARE(entry.write(program, QStringLiteral("时雀")), QString());
    const QString text = QString::fromUtf8(readFile(file));
    QVERIFY2(text.startsWith(QLatin1String("[Desktop Entry]\n")), qPrintable(text));
    QVERIFY(text.contains(QLatin1String("\nType=Application\n")));
    QVERIFY(text.contains(QStringLiteral("\nName=时雀\n")));
    QVERIFY2(text.contains(QStringLiteral("\nExec=") + exec + QLatin1Char('\n')), qPrintable(text));
    QCOMPARE(AutostartEntry(QStringLiteral("tavimor")).program(), program);
    QVERIFY(entry.remove());
    QVERIFY(!QFile::exists(file));
}

void TestRegistry::replacedFilesAreTheUsersAlone_data()
{
    QTest::addColumn<QString>("name"); // under a folder of the test's own
    QTest::addColumn<int>("oldMode");  // -1: no file before
    QTest::addColumn<int>("umask");
    QTest::newRow("a new file") << "registry.reg" << -1 << 022;
    QTest::newRow("a new file, under umask 000") << "registry.reg" << -1 << 0;
    QTest::newRow("an old file open to all") << "registry.reg" << 0644 << 022;
    QTest::newRow("an old file the group may read") << "registry.reg" << 0640 << 0;
    QTest::newRow("in folders it makes") << "new/Tavimor/registry.reg" << -1 << 0;
}

void TestRegistry::replacedFilesAreTheUsersAlone()
{
    QFETCH(QString, name);
    QFETCH(int, oldMode);
    QFETCH(int, umask);
    TestEnvironment env;
    const QString root = env.configHome();
    const QString file = root + QLatin1Char('/') + name;
    if (oldMode >= 0) {
        writeFile(file, "old");
        QVERIFY(::chmod(QFile::encodeName(file).constData(), mode_t(oldMode)) == 0);
    }
    const mode_t before = ::umask(mode_t(umask));
    const QString failed = SafeFile::replace(file, "the user's data");
    ::umask(before);
    QCOMPARE(failed, QString());
    QCOMPARE(readFile(file), QByteArray("the user's data"));
    QCOMPARE(modeOf(file), 0600u);
    for (QString folder = QFileInfo(file).path(); folder != root; folder = QFileInfo(folder).path())
        QCOMPARE(modeOf(folder), 0700u);
    const std::optional<bool> others = otherUserCanRead(file);
    if (!others)
        QSKIP("needs root and setpriv to play another local user");
    const QString open = root + QStringLiteral("/open.txt");
    writeFile(open, "x");
    QVERIFY(::chmod(QFile::encodeName(open).constData(), 0644) == 0);
    QVERIFY(*otherUserCanRead(open)); // the check can tell
    QVERIFY(!*others);
}

void TestRegistry::dataFolderOfAMarker_data()
{
    QTest::addColumn<QByteArray>("marker"); // beside the program; null: none
    QTest::addColumn<QString>("dataHome");  // $XDG_DATA_HOME; "~": unset
    QTest::addColumn<QString>("data");      // "program/", else under the data home
    const auto row = [](const char* name, const QByteArray& marker, const char* dataHome,
                        const char* data) {
        QTest::newRow(name) << marker << QString(dataHome) << QString::fromUtf8(data);
    };
    row("no marker: beside the program", QByteArray(), "", "program/");
    row("a package's", "Tavimor\n", "", "share/Tavimor/");
    row("without the line's end", "Tavimor", "", "share/Tavimor/");
    row("a folder below", "a/时雀\n", "", "share/a/时雀/");
    row("no data home: the default", "Tavimor\n", "~", "~/.local/share/Tavimor/");
    row("a relative data home is ignored", "Tavimor\n", "rel", "~/.local/share/Tavimor/");
    // A damaged marker leaves the data where an install of the user's own has it.
    row("empty", "", "", "program/");
    row("absolute", "/etc\n", "", "program/");
    row("up and out", "../Tavimor\n", "", "program/");
    row("an empty step", "a//b\n", "", "program/");
    row("a dot", "./Tavimor\n", "", "program/");
    row("a trailing slash", "Tavimor/\n", "", "program/");
    row("two lines", "Tavimor\nother\n", "", "program/");
    row("a control character", "Tav\timor\n", "", "program/");
    row("not UTF-8", "Tav\xffimor\n", "", "program/");
}

void TestRegistry::dataFolderOfAMarker()
{
    QFETCH(QByteArray, marker);
    QFETCH(QString, dataHome);
    QFETCH(QString, data);
    TestEnvironment env;
    const QString root =
        QDir::cleanPath(env.programDir() + QStringLiteral("/..")) + QLatin1Char('/');
    if (dataHome == QLatin1String("~"))
        qunsetenv("XDG_DATA_HOME");
    else if (!dataHome.isEmpty())
        qputenv("XDG_DATA_HOME", dataHome.toUtf8());
    if (!marker.isNull())
        writeFile(env.programDir() + QLatin1String(ProgramDir::markerName), marker);
    if (!marker.isNull() && data == QLatin1String("program/"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("names no folder")));
    ProgramDir::set(env.programDir()); // read the marker afresh
    const QString expected = data.startsWith(QLatin1Char('~'))
                                 ? QDir::homePath() + data.mid(1)
                                 : QDir::cleanPath(root + data) + QLatin1Char('/');
    QCOMPARE(ProgramDir::dataPath(), expected);
    QCOMPARE(ProgramDir::dataApart(), data != QLatin1String("program/"));
    QCOMPARE(ProgramDir::dataFile(QStringLiteral("plans.txt")),
             expected + QStringLiteral("plans.txt"));
    if (!ProgramDir::dataApart() || data.startsWith(QLatin1Char('~')))
        return;
    // The first use makes it, the user's alone.
    QVERIFY(!QFileInfo::exists(expected));
    QCOMPARE(ProgramDir::makeDataPath(), QString());
    QCOMPARE(modeOf(expected), 0700u);
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
