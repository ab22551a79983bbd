#include "TestSupport.h"
#include "platform/AppError.h"
#include "platform/Cp936.h"
#include "shell/settings/ColorText.h"
#include "shell/settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <sys/stat.h>

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void firstRunWritesElevenDefaults();
    void existingKeyIsLeftAsItIs();
    void laterSettingsReadAsTheirDefault_data();
    void laterSettingsReadAsTheirDefault();
    void colorToText_data();
    void colorToText();
    void textToColor_data();
    void textToColor();
    void priorityColorFollowsSettings();
    void parsePlans_data();
    void parsePlans();
    void savePlansWritesCrLfAfterEveryTitle();
    void plansFileErrors();
    void hostileFilesFailNamingTheFile_data();
    void hostileFilesFailNamingTheFile();
    void autostartNamesTheProgramFolder();
};

void TestSettings::firstRunWritesElevenDefaults()
{
    TestEnvironment env;
    Settings::writeFirstRunDefaults();
    const auto doc = Registry::parse(QString::fromUtf8(readFile(env.registryFile())), nullptr);
    QVERIFY(doc);
    QCOMPARE(doc->keys.size(), 1);
    QCOMPARE(doc->keys[0].path, QStringLiteral("Software\\Tavimor\\Option"));
    QStringList got;
    for (const Registry::Value& v : doc->keys[0].values)
        got << v.name + QLatin1Char('=') +
                   (v.kind == Registry::Kind::Dword ? QString::number(v.dword)
                                                    : QLatin1Char('"') + v.text + QLatin1Char('"'));
    const QStringList expected = {QStringLiteral("intervalTime=1"),
                                  QStringLiteral("isPlayMusic=0"),
                                  QStringLiteral("playFileName=\"\""),
                                  QStringLiteral("AutoRun=1"),
                                  QStringLiteral("oldrcDays=30"),
                                  QStringLiteral("highColor=\"clRed\""),
                                  QStringLiteral("middleColor=\"clBlack\""),
                                  QStringLiteral("lowColor=\"clYellow\""),
                                  QStringLiteral("deleteRc=1"),
                                  QStringLiteral("txWin_Pos=0"),
                                  QStringLiteral("zm=\"欢迎使用时雀，您还没有设置滚动字幕！\"")};
    QCOMPARE(got, expected);
    // The default marquee text needs 36 bytes.
    QCOMPARE(Cp936::byteLength(Settings::readString(Settings::zm)), 36);
    // The first-run default of AutoRun does not by itself create the entry.
    QVERIFY(!QFile::exists(env.configHome() + QStringLiteral("/autostart/Tavimor.desktop")));

    const QByteArray before = readFile(env.registryFile());
    Settings::writeFirstRunDefaults();
    QCOMPARE(readFile(env.registryFile()), before);
}

void TestSettings::existingKeyIsLeftAsItIs()
{
    TestEnvironment env;
    const QByteArray partial = "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_LOCAL_MACHINE\\Software\\Tavimor\\Option]\n"
                               "\"zm\"=\"hello\"\n";
    writeFile(env.registryFile(), partial);
    Settings::writeFirstRunDefaults();
    QCOMPARE(readFile(env.registryFile()), partial);
    QCOMPARE(errorOf([] { Settings::readInteger(Settings::intervalTime); }),
             QStringLiteral("Failed to get data for 'intervalTime'"));
}

void TestSettings::laterSettingsReadAsTheirDefault_data()
{
    // A setting of the table's kind, under the name "x"; the store holds
    // `stored` (a line of the store file, "" for none, "-" for no key at all).
    QTest::addColumn<int>("since");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QVariant>("expected"); // a string starting "!" is the error
    using S = Settings::Since;
    using K = Settings::Kind;
    const int first = int(S::First), later = int(S::Later);
    const int integer = int(K::Integer), string = int(K::String);
    QTest::newRow("first design, missing")
        << first << integer << QVariant(5) << "" << QVariant("!Failed to get data for 'x'");
    QTest::newRow("first design string, missing")
        << first << string << QVariant("默认") << "" << QVariant(QString());
    QTest::newRow("later, missing") << later << integer << QVariant(5) << "" << QVariant(5);
    QTest::newRow("later string, missing")
        << later << string << QVariant("默认") << "" << QVariant("默认");
    QTest::newRow("later, no key at all") << later << integer << QVariant(5) << "-" << QVariant(5);
    QTest::newRow("later, stored")
        << later << integer << QVariant(5) << "\"X\"=dword:00000007" << QVariant(7);
    QTest::newRow("later string, stored empty")
        << later << string << QVariant("默认") << "\"x\"=\"\"" << QVariant(QString());
    QTest::newRow("later, stored as a string") << later << integer << QVariant(5) << "\"x\"=\"ab\""
                                               << QVariant("!Invalid data type for 'x'");
}

void TestSettings::laterSettingsReadAsTheirDefault()
{
    QFETCH(int, since);
    QFETCH(int, kind);
    QFETCH(QVariant, defaultValue);
    QFETCH(QString, stored);
    QFETCH(QVariant, expected);
    TestEnvironment env;
    if (stored != QLatin1String("-"))
        writeFile(env.registryFile(), "Windows Registry Editor Version 5.00\n\n"
                                      "[HKEY_LOCAL_MACHINE\\Software\\Tavimor\\Option]\n" +
                                          stored.toUtf8() + "\n");
    const Settings::Definition definition{Settings::Id(0), "x", Settings::Kind(kind), defaultValue,
                                          Settings::Since(since)};
    try {
        const QVariant got = Settings::Reader().value(definition);
        QCOMPARE(got.toString(), expected.toString());
        QCOMPARE(got.typeId(),
                 kind == int(Settings::Kind::Integer) ? QMetaType::Int : QMetaType::QString);
    } catch (const AppError& e) {
        QCOMPARE(QLatin1Char('!') + e.text(), expected.toString());
    }
    QVERIFY(env.dialogs().errors().isEmpty());
}

void TestSettings::colorToText_data()
{
    QTest::addColumn<quint32>("color");
    QTest::addColumn<QString>("text");
    QTest::newRow("red") << 0x0000FFu << "clRed";
    QTest::newRow("yellow") << 0x00FFFFu << "clYellow";
    QTest::newRow("black") << 0x000000u << "clBlack";
    QTest::newRow("custom blue-green") << 0x00C08000u << "$00C08000";
    QTest::newRow("medium grey") << 0xA4A0A0u << "clMedGray";
    QTest::newRow("highlight") << 0xFF00000Du << "clHighlight";
    QTest::newRow("menu bar") << 0xFF00001Eu << "clMenuBar";
    QTest::newRow("index 25 has no name") << 0xFF000019u << "$FF000019";
    QTest::newRow("none") << 0x1FFFFFFFu << "clNone";
    QTest::newRow("default") << 0x20000000u << "clDefault";
}

void TestSettings::colorToText()
{
    QFETCH(quint32, color);
    QFETCH(QString, text);
    QCOMPARE(ColorText::toText(color), text);
    QCOMPARE(ColorText::fromText(text), color);
}

void TestSettings::textToColor_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("color");
    QTest::addColumn<bool>("valid");
    QTest::newRow("upper case name") << "CLRED" << 0x0000FFu << true;
    QTest::newRow("lower case name") << "clred" << 0x0000FFu << true;
    QTest::newRow("hex") << "$000000FF" << 0x0000FFu << true;
    QTest::newRow("decimal") << "255" << 0x0000FFu << true;
    QTest::newRow("negative decimal") << "-16777203" << 0xFF00000Du << true;
    QTest::newRow("full hex") << "$FFFFFFFF" << 0xFFFFFFFFu << true;
    QTest::newRow("word") << "red" << 0u << false;
    QTest::newRow("empty") << "" << 0u << false;
    QTest::newRow("bare dollar") << "$" << 0u << false;
    QTest::newRow("too large") << "$100000000" << 0u << false;
    QTest::newRow("decimal past 32 bits") << "4294967296" << 0u << false;
}

void TestSettings::textToColor()
{
    QFETCH(QString, text);
    QFETCH(quint32, color);
    QFETCH(bool, valid);
    quint32 got = 0;
    QCOMPARE(errorOf([&] { got = ColorText::fromText(text); }),
             valid ? QString() : QStringLiteral("'%1' is not a valid integer value").arg(text));
    QCOMPARE(got, color);
}

void TestSettings::priorityColorFollowsSettings()
{
    TestEnvironment env;
    Settings::writeFirstRunDefaults();
    QCOMPARE(Settings::priorityColorValue(0), 0x0000FFu);
    QCOMPARE(Settings::priorityColorValue(1), 0x000000u);
    QCOMPARE(Settings::priorityColorValue(2), 0x00FFFFu);
    QCOMPARE(Settings::priorityColorValue(7), 0x00FFFFu);
    Settings::Writer().string(Settings::lowColor, QStringLiteral("$00C08000"));
    QCOMPARE(Settings::priorityColorValue(2), 0x00C08000u);
    QCOMPARE(ColorText::toQColor(0x00C08000u), QColor(0x00, 0x80, 0xC0));
    Settings::Writer().string(Settings::lowColor, QStringLiteral("green-ish"));
    QVERIFY_THROWS_EXCEPTION(AppError, Settings::priorityColorValue(2));
}

void TestSettings::parsePlans_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("titles");
    // The bytes themselves: an encoder and a decoder wrong alike must not pass.
    const QByteArray meeting = "\xbf\xaa\xbb\xe1"; // 开会
    QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("lf only") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("cr only") << QByteArray("a\rb") << QStringList{"a", "b"};
    QTest::newRow("mixed") << QByteArray("a\rb\nc\r\nd") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("empty line in the middle")
        << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("NUL ends the text") << QByteArray("a\r\nb\0c\r\n", 8) << QStringList{"a", "b"};
    QTest::newRow("code page 936") << meeting + "\r\n" << QStringList{QStringLiteral("开会")};
    QTest::newRow("four bytes of GB18030")
        << QByteArray("\x94\x39\xfc\x36") << QStringList{QStringLiteral("😀")};
    QTest::newRow("control and bidi characters")
        << Cp936::encode(QStringLiteral("付款给\u202e0001\u202c元\t\x1b[31m\r\n"))
        << QStringList{QStringLiteral("付款给0001元 [31m")};
}

void TestSettings::parsePlans()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, titles);
    QCOMPARE(Settings::parsePlans(bytes), titles);
}

void TestSettings::savePlansWritesCrLfAfterEveryTitle()
{
    TestEnvironment env;
    writeFile(Settings::plansFile(), "old\nlist\n");
    Settings::savePlans({QStringLiteral("开会"), QString(), QStringLiteral("report 😀")});
    QCOMPARE(readFile(Settings::plansFile()),
             QByteArray("\xbf\xaa\xbb\xe1\r\n\r\nreport \x94\x39\xfc\x36\r\n"));
    QCOMPARE(Settings::loadPlans(),
             (QStringList{QStringLiteral("开会"), QString(), QStringLiteral("report 😀")}));
    Settings::savePlans({});
    QCOMPARE(readFile(Settings::plansFile()), QByteArray());
    QCOMPARE(Settings::loadPlans(), QStringList());
}

void TestSettings::plansFileErrors()
{
    TestEnvironment env;
    const QString error = errorOf([] { Settings::loadPlans(); });
    QVERIFY2(
        error.startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(Settings::plansFile())),
        qPrintable(error));
    // Saving creates the missing list instead of losing it.
    Settings::savePlans({QStringLiteral("a")});
    QCOMPARE(readFile(Settings::plansFile()), QByteArray("a\r\n"));
}

void TestSettings::autostartNamesTheProgramFolder()
{
    TestEnvironment env;
    Settings::writeAutostart();
    const QString entry = QString::fromUtf8(
        readFile(env.configHome() + QStringLiteral("/autostart/Tavimor.desktop")));
    QVERIFY2(
        entry.contains(QStringLiteral("\nExec=") + env.programDir() + QStringLiteral("Brenwick\n")),
        qPrintable(entry));
    Settings::deleteAutostart();
    Settings::deleteAutostart(); // twice: its absence is no error
    QVERIFY(!QFile::exists(env.configHome() + QStringLiteral("/autostart/Tavimor.desktop")));
}

void TestSettings::hostileFilesFailNamingTheFile_data()
{
    QTest::addColumn<bool>("settings"); // else the plan list
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    for (const bool settings : {true, false}) {
        const char* of = settings ? "settings" : "plan list";
        const QString notRegular = QStringLiteral("Not a regular file");
        QTest::addRow("%s: a FIFO", of) << settings << "fifo" << notRegular;
        QTest::addRow("%s: a link to /dev/zero", of) << settings << "zero" << notRegular;
        QTest::addRow("%s: 65 MB", of)
            << settings << "large" << QStringLiteral("The file is larger than 64 MB");
    }
}

void TestSettings::hostileFilesFailNamingTheFile()
{
    QFETCH(bool, settings);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    TestEnvironment env;
    const QString file = settings ? Settings::storeFile() : Settings::plansFile();
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0); // no writer: never ends
    } else if (kind == QLatin1String("zero")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), file));
    } else {
        QFile big(file);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(65) << 20)); // sparse: no disk taken
    }
    const QString expected = fileOpenErrorText(QDir::toNativeSeparators(file), reason);
    QCOMPARE(errorOf([&] {
                 settings ? void(Settings::readInteger(Settings::intervalTime))
                          : void(Settings::loadPlans());
             }),
             expected);
    // Nor is it written over, as a missing or damaged one would be.
    QCOMPARE(errorOf([&] {
                 settings ? Settings::writeFirstRunDefaults()
                          : Settings::savePlans({QStringLiteral("开会")});
             }),
             expected);
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(file).constData(), &st), 0);
    QVERIFY(kind == QLatin1String("fifo")   ? S_ISFIFO(st.st_mode)
            : kind == QLatin1String("zero") ? S_ISLNK(st.st_mode)
                                            : st.st_size == qint64(65) << 20);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
