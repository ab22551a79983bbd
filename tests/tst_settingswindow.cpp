#include "WindowTestSupport.h"
#include "platform/Cp936.h"
#include "platform/SafeFile.h"
#include "settings/ColorPicker.h"
#include "settings/gxsz.h"
#include "shell/Application.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"
#include "widgets/SpinEdit.h"

#include <QAccessible>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

namespace {
using Values = QList<QPair<Settings::Id, QVariant>>;

// Every value of the store, in one go.
void store(const Values& values)
{
    Settings::Writer w(true);
    for (const auto& [id, v] : values)
        w.value(id, v);
}

QVariantList stored()
{
    QVariantList out;
    const Settings::Reader r;
    for (const Settings::Definition& s : Settings::table())
        out << r.value(s.id);
    return out;
}

// Chooses an entry of a picker as the user does.
void choose(ColorPicker* p, int index)
{
    p->setCurrentIndex(index);
    emit p->activated(index);
}

const QString plansFile()
{
    return Settings::plansFile();
}
} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { env.reset(); }

    void layout();
    void roundTrip_data();
    void roundTrip();
    void savesWhatTheUserChose();
    void colours_data();
    void colours();
    void soundFile();
    void plans();
    void autostartFollowsTheBox();
    void unreadableValueEndsTheLoading_data();
    void unreadableValueEndsTheLoading();
    void refusedWriteKeepsTheWindowOpen();
    void closeBoxSavesNothing();
    void byteLimits();

private:
    TgxszForm* open();
    void confirm();
    std::unique_ptr<WindowTestEnvironment> env;
};

void TestSettingsWindow::init()
{
    env = std::make_unique<WindowTestEnvironment>();
    Settings::writeFirstRunDefaults();
    writeFile(plansFile(), "");
    env->own(gxszForm);
}

TgxszForm* TestSettingsWindow::open()
{
    gxszForm = new TgxszForm();
    gxszForm->show(); // loads
    return gxszForm;
}

void TestSettingsWindow::confirm()
{
    click(gxszForm->confirmButton);
}

void TestSettingsWindow::layout()
{
    TgxszForm* w = open();
    QCOMPARE(w->size(), QSize(376, 247));
    QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(w->managerPageControl->currentIndex(), 0);
    const QStringList tabs = {w->managerPageControl->tabText(0), w->managerPageControl->tabText(1),
                              w->managerPageControl->tabText(2)};
    QCOMPARE(tabs, QStringList({"个性设置", "日程颜色方案", "常用日程设置"}));
    QCOMPARE(w->txckRadioGroup_0->text(), QString("屏幕右下角") + QString(13, ' '));
    QCOMPARE(w->High_ColorEdit->accessibleName(), QString("高"));
    QCOMPARE(QAccessible::queryAccessibleInterface(w->lunarCheckBox)->text(QAccessible::Name),
             QString("显示农历"));
}

void TestSettingsWindow::roundTrip_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<bool>("purge");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("lunar");
    QTest::newRow("sound on, no purge, centre, lunar")
        << Values{{Settings::intervalTime, 7},
                  {Settings::isPlayMusic, 1},
                  {Settings::playFileName, "/home/u/声音/ding.wav"},
                  {Settings::autoRun, 0},
                  {Settings::oldrcDays, 120},
                  {Settings::highColor, "$00C08000"},
                  {Settings::middleColor, "clBtnFace"},
                  {Settings::lowColor, "clLime"},
                  {Settings::deleteRc, 0},
                  {Settings::txWinPos, 1},
                  {Settings::zm, " 开会别迟到 "},
                  {Settings::showLunar, 1}}
        << true << false << 1 << true;
    QTest::newRow("sound off, purge, corner") << Values{{Settings::intervalTime, 60},
                                                        {Settings::isPlayMusic, 0},
                                                        {Settings::playFileName, "/tmp/a b.wav"},
                                                        {Settings::autoRun, 1},
                                                        {Settings::oldrcDays, 1},
                                                        {Settings::highColor, "clRed"},
                                                        {Settings::middleColor, "clNone"},
                                                        {Settings::lowColor, "$00000001"},
                                                        {Settings::deleteRc, 1},
                                                        {Settings::txWinPos, 0},
                                                        {Settings::zm, QString(25, QChar(0x5B57))}}
                                              << false << true << 0 << false; // showLunar missing
}

void TestSettingsWindow::roundTrip()
{
    QFETCH(Values, values);
    QFETCH(bool, sound);
    QFETCH(bool, purge);
    QFETCH(int, position);
    QFETCH(bool, lunar);
    store(values);
    const QVariantList before = stored();
    TgxszForm* w = open();
    QVERIFY(env->dialogs().errors().isEmpty());
    QCOMPARE(w->SoundCheckBox->isChecked(), sound);
    QCOMPARE(w->playFileName->isEnabled(), sound);
    QCOMPARE(w->BrowseFile->isEnabled(), sound);
    QCOMPARE(w->deletercCheckBox->isChecked(), purge);
    QCOMPARE(w->oldrc_days->isEnabled(), purge);
    QCOMPARE(w->txckItemIndex(), position);
    QCOMPARE(w->lunarCheckBox->isChecked(), lunar);
    QPointer<TgxszForm> open = w;
    confirm();
    QVERIFY(env->dialogs().errors().isEmpty());
    QTRY_VERIFY(!open);
    QCOMPARE(gxszForm, nullptr);
    QCOMPARE(refreshFlag, 1);
    QCOMPARE(stored(), before); // unchanged, the marquee's blanks included
}

void TestSettingsWindow::savesWhatTheUserChose()
{
    store({{Settings::playFileName, "  /x/y.wav  "}, {Settings::txWinPos, 7}});
    TgxszForm* w = open();
    QCOMPARE(w->playFileName->text(), QString("/x/y.wav"));
    QCOMPARE(w->txckItemIndex(), 0);                    // what the reminder window makes of a 7
    w->minutes->findChild<QLineEdit*>()->setText("99"); // typed beyond the bound
    w->oldrc_days->setValue(250);
    w->zm->setText("  新字幕 ");
    click(w->AutoRunCheckBox);  // off
    click(w->deletercCheckBox); // off
    click(w->txckRadioGroup_1);
    click(w->lunarCheckBox);
    confirm();
    const Settings::Reader r;
    QCOMPARE(r.integer(Settings::intervalTime), 60);
    QCOMPARE(r.integer(Settings::oldrcDays), 250);
    QCOMPARE(r.string(Settings::zm), QString("  新字幕 "));
    QCOMPARE(r.string(Settings::playFileName), QString("/x/y.wav")); // sound off, still saved
    QCOMPARE(r.integer(Settings::isPlayMusic), 0);
    QCOMPARE(r.integer(Settings::autoRun), 0);
    QCOMPARE(r.integer(Settings::deleteRc), 0);
    QCOMPARE(r.integer(Settings::txWinPos), 1);
    QCOMPARE(r.integer(Settings::showLunar), 1);
}

void TestSettingsWindow::colours_data()
{
    QTest::addColumn<int>("entry"); // -1: 其他颜色…
    QTest::addColumn<QColor>("dialogAnswer");
    QTest::addColumn<QString>("text");
    QTest::newRow("named") << 4 << QColor() << "clNavy";
    QTest::newRow("system colour") << 35 << QColor() << "clBtnFace";
    QTest::newRow("custom") << -1 << QColor(0x00, 0x80, 0xC0) << "$00C08000";
    QTest::newRow("custom that is a named one") << -1 << QColor(Qt::yellow) << "clYellow";
    QTest::newRow("dialog cancelled") << -1 << QColor() << "clRed";
}

void TestSettingsWindow::colours()
{
    QFETCH(int, entry);
    QFETCH(QColor, dialogAnswer);
    QFETCH(QString, text);
    TgxszForm* w = open();
    ColorPicker* p = w->High_ColorEdit;
    QCOMPARE(p->currentText(), QString("红色"));
    QCOMPARE(p->count(), 53); // the 52 named ones and 其他颜色…
    if (dialogAnswer.isValid())
        env->dialogs().colors << dialogAnswer;
    choose(p, entry < 0 ? p->count() - 1 : entry);
    if (entry < 0) {
        QCOMPARE(env->dialogs().texts("color"), QStringList("#ff0000")); // it starts at red
        QVERIFY(p->currentText() != ColorPicker::otherCaption());
    }
    confirm();
    QCOMPARE(Settings::readString(Settings::highColor), text);
    QCOMPARE(Settings::readString(Settings::middleColor), QString("clBlack"));
}

void TestSettingsWindow::soundFile()
{
    store({{Settings::isPlayMusic, 0}, {Settings::playFileName, "/old.wav"}});
    TgxszForm* w = open();
    QVERIFY(!w->BrowseFile->isEnabled());
    click(w->SoundCheckBox);
    QVERIFY(w->BrowseFile->isEnabled() && w->playFileName->isEnabled());
    env->dialogs().fileLists << QStringList{"/声音/一.wav", "/声音/二.wav"};
    click(w->BrowseFile);
    QCOMPARE(w->playFileName->text(), QString("/声音/一.wav"));
    click(w->BrowseFile); // cancelled
    QCOMPARE(w->playFileName->text(), QString());
    env->dialogs().fileLists << QStringList{"/声音/三.wav"};
    click(w->BrowseFile);
    confirm();
    QCOMPARE(Settings::readString(Settings::playFileName), QString("/声音/三.wav"));
    QCOMPARE(Settings::readInteger(Settings::isPlayMusic), 1);
}

void TestSettingsWindow::plans()
{
    writeFile(plansFile(), Cp936::encode("周会\nA\r\nB\r\nC\r\n日报"));
    TgxszForm* w = open();
    QCOMPARE(w->plans->count(), 5);
    click(w->SpeedButton2);
    QCOMPARE(env->dialogs().messages(), QStringList("请选中需要删除的日程项！"));
    w->planedit->setText(" \t ");
    click(w->SpeedButton1);
    QCOMPARE(env->dialogs().messages().last(), QString("日程为空，请输入日程！"));
    QCOMPARE(w->plans->count(), 5);
    w->planedit->setText(" 客户 ");
    click(w->SpeedButton1);
    click(w->SpeedButton1); // twice is allowed
    QCOMPARE(w->planedit->text(), QString(" 客户 "));
    for (int row : {1, 2, 3}) // as the user picks them: several at once
        QTest::mouseClick(w->plans->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          w->plans->visualItemRect(w->plans->item(row)).center());
    click(w->SpeedButton2);
    QCOMPARE(env->dialogs().messages().size(), 2);
    confirm();
    QCOMPARE(readFile(plansFile()), QByteArray("\xd6\xdc\xbb\xe1\r\n\xc8\xd5\xb1\xa8\r\n"
                                               " \xbf\xcd\xbb\xa7 \r\n \xbf\xcd\xbb\xa7 \r\n"));
}

void TestSettingsWindow::autostartFollowsTheBox()
{
    const QString entry = env->configHome() + "/autostart/Tavimor.desktop";
    store({{Settings::autoRun, 0}});
    open();
    confirm(); // unchecked, never written: no error
    QVERIFY(env->dialogs().errors().isEmpty());
    QVERIFY(!QFile::exists(entry));
    TgxszForm* w = open();
    click(w->AutoRunCheckBox);
    confirm();
    QVERIFY(Settings::autostartExists());
    QCOMPARE(Settings::readInteger(Settings::autoRun), 1);
    w = open();
    QVERIFY(w->AutoRunCheckBox->isChecked());
    click(w->AutoRunCheckBox);
    confirm();
    QVERIFY(!QFile::exists(entry));
}

void TestSettingsWindow::unreadableValueEndsTheLoading_data()
{
    QTest::addColumn<QString>("value"); // the value to damage
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("minutes"); // what the controls show after it; the marquee stays empty
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("middle");
    const auto row = [](const char* name, const char* value, const char* error, int minutes,
                        int days, const char* middle) {
        QTest::newRow(name) << QString(value) << QString(error) << minutes << days
                            << QString(middle);
    };
    row("missing first value", "intervalTime", "Failed to get data for 'intervalTime'", 5, 100,
        "黑色");
    row("integer stored as text", "deleteRc", "Invalid data type for 'deleteRc'", 9, 100, "黑色");
    row("colour that is no colour", "middleColor", "'绿色' is not a valid integer value.", 9, 77,
        "黑色");
    row("text stored as integer", "zm", "Invalid data type for 'zm'", 9, 77, "银色");
}

void TestSettingsWindow::unreadableValueEndsTheLoading()
{
    QFETCH(QString, value);
    QFETCH(QString, error);
    QFETCH(int, minutes);
    QFETCH(int, days);
    QFETCH(QString, middle);
    store({{Settings::intervalTime, 9},
           {Settings::oldrcDays, 77},
           {Settings::middleColor, "clSilver"},
           {Settings::zm, "字幕"}});
    writeFile(plansFile(), Cp936::encode("周会\r\n"));
    {
        RegistryKey key(env->registryFile());
        QVERIFY(key.openKey(Settings::keyPath(), false));
        if (value == "intervalTime")
            QVERIFY(key.deleteValue(value));
        else if (value == "middleColor")
            key.writeString(value, "绿色");
        else if (value == "zm")
            key.writeInteger(value, 1);
        else
            key.writeString(value, "1");
    }
    TgxszForm* w = open();
    QVERIFY(w->isVisible());
    QCOMPARE(env->dialogs().errors(), QStringList(error));
    QCOMPARE(w->minutes->value(), minutes);
    QCOMPARE(w->oldrc_days->value(), days);
    QCOMPARE(w->Middle_ColorEdit->currentText(), middle);
    QCOMPARE(w->zm->text(), QString());
    QCOMPARE(w->plans->count(), 0); // the list comes last
}

void TestSettingsWindow::refusedWriteKeepsTheWindowOpen()
{
    writeFile(plansFile(), Cp936::encode("周会\r\n"));
    Settings::deleteAutostart();
    TgxszForm* w = open();
    w->minutes->setValue(33);
    env->dialogs().colors << QColor(0x00, 0x80, 0xC0);
    choose(w->High_ColorEdit, w->High_ColorEdit->count() - 1);
    w->plans->clear();
    // The first write that makes the store longer is the custom colour's.
    SafeFile::failWritesAfter(QFileInfo(env->registryFile()).size());
    confirm();
    SafeFile::failWritesAfter(-1);
    QCOMPARE(env->dialogs().errors(), QStringList("Failed to set data for 'highColor'"));
    QVERIFY(w->isVisible());
    QCOMPARE(gxszForm, w);
    QCOMPARE(refreshFlag, 0);
    QCOMPARE(Settings::readInteger(Settings::intervalTime), 33); // written before it
    QCOMPARE(Settings::readString(Settings::highColor), QString("clRed"));
    QVERIFY(!Settings::autostartExists());                               // AutoRun is checked
    QCOMPARE(readFile(plansFile()), QByteArray("\xd6\xdc\xbb\xe1\r\n")); // not saved
    // The user tries again once the disk has room.
    confirm();
    QCOMPARE(Settings::readString(Settings::highColor), QString("$00C08000"));
    QVERIFY(Settings::autostartExists());
    QCOMPARE(readFile(plansFile()), QByteArray());
}

void TestSettingsWindow::closeBoxSavesNothing()
{
    writeFile(plansFile(), Cp936::encode("周会\r\n"));
    const QByteArray before = readFile(env->registryFile());
    QPointer<TgxszForm> w = open();
    w->zm->setText("改了");
    w->plans->clear();
    click(w->AutoRunCheckBox);
    w->close();
    QTRY_VERIFY(!w);
    QCOMPARE(gxszForm, nullptr);
    QCOMPARE(refreshFlag, 0);
    QCOMPARE(readFile(env->registryFile()), before);
    QCOMPARE(readFile(plansFile()), QByteArray("\xd6\xdc\xbb\xe1\r\n"));
}

void TestSettingsWindow::byteLimits()
{
    const QString longText = QString(30, QChar(0x5B57)); // 60 bytes
    store({{Settings::zm, longText}});
    TgxszForm* w = open();
    QCOMPARE(w->zm->text(), longText); // a stored text is shown whole
    w->zm->clear();
    type(w->zm, QString(26, QChar(0x5B57)) + "a");
    QCOMPARE(w->zm->text(), QString(25, QChar(0x5B57)));
    type(w->planedit, QString(15, QChar(0x65E5)) + "b");
    QCOMPARE(w->planedit->text(), QString(15, QChar(0x65E5)));
}

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
