#include "app/Startup.h"

#include "editing/cfsz.h"
#include "editing/xgrc.h"
#include "mainwindow/Assistant.h"
#include "platform/Clock.h"
#include "platform/DatabaseBackup.h"
#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "platform/SafeFile.h"
#include "platform/SingleInstance.h"
#include "platform/Termination.h"
#include "platform/ToolkitTranslations.h"
#include "reminders/tx.h"
#include "resources/Pictures.h"
#include "shell/Application.h"
#include "shell/Forms.h"
#include "shell/data/dataForm.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"
#include "views/rccx.h"
#include "views/showbz.h"
#include "views/tjbz.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace {
// The start's copy waits until the window is up and its first rebuild done.
constexpr int startBackupDelayMs = 1500;

QString databaseFile()
{
    return ProgramDir::dataFile(QStringLiteral("assistant.mdb"));
}

QString backupFolder()
{
    return ProgramDir::dataFile(QStringLiteral("backups"));
}

// Files an older version left readable by every local user are closed now.
void keepDataPrivate()
{
    const QString database = databaseFile();
    for (const char* suffix : {"", "-wal", "-shm"})
        SafeFile::keepPrivate(database + QLatin1String(suffix));
    // A folder of the data alone is closed too; an install's program folder
    // is the user's to open.
    if (ProgramDir::dataApart())
        SafeFile::keepPrivate(ProgramDir::dataPath());
    const QDir data(ProgramDir::dataPath());
    const QString kept = QFileInfo(database).fileName() + QStringLiteral(".before-restore-*");
    for (const QString& name : data.entryList({kept}, QDir::Files | QDir::System))
        SafeFile::keepPrivate(data.filePath(name));
    const QDir backups(backupFolder());
    if (backups.exists()) {
        SafeFile::keepPrivate(backups.path());
        for (const QString& name : backups.entryList(QDir::Files | QDir::System | QDir::Hidden))
            SafeFile::keepPrivate(backups.filePath(name));
    }
    for (const QString& path : Settings::privateFiles())
        SafeFile::keepPrivate(path);
}
} // namespace

bool claimDatabase(SingleInstance& instance, const QString& database)
{
    if (instance.tryBecomePrimary())
        return true;
    if (instance.notifyPrimary())
        return false;
    if (instance.tryBecomePrimary()) // the running copy ended meanwhile
        return true;
    Dialogs::instance().error(nullptr,
                              QStringLiteral("时雀已在运行，正在使用“%1”；无法把它的窗口调到前面"
                                             "（它可能是在另一个会话中启动的）")
                                  .arg(QDir::toNativeSeparators(database)));
    return false;
}

void createStartupWindows(bool deferBuilding)
{
    // In the order of the start-up table; windows of later work join here.
    assistantForm = new TassistantForm();
    if (deferBuilding)
        Forms::deferBuilding(assistantForm);
    cfszForm = new TcfszForm();
    txForm = new TtxForm();
    tjbzForm = new TtjbzForm();
    rccxForm = new TrccxForm();
    showbzForm = new TshowbzForm();
    DataModule1 = new TDataModule1();
    DataModule1->ADOConnection1.setConnectionString(
        TDataModule1::connectionStringFor(ProgramDir::dataPath()));
    xgrcForm = new TxgrcForm();
}

void destroyStartupWindows()
{
    delete assistantForm;
    assistantForm = nullptr;
    // Before the data module: its query uses the connection.
    delete xgrcForm;
    xgrcForm = nullptr;
    delete showbzForm;
    showbzForm = nullptr;
    delete rccxForm;
    rccxForm = nullptr;
    delete tjbzForm;
    tjbzForm = nullptr;
    delete txForm;
    txForm = nullptr;
    delete cfszForm;
    cfszForm = nullptr;
    delete DataModule1;
    DataModule1 = nullptr;
}

int runAssistant(int argc, char** argv)
{
    // Always-on-top, docking and placing windows need X: X11 (or XWayland)
    // where there is one, else Wayland itself, unless the user chose.
    const bool choosePlatform = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (choosePlatform)
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    AssistantApplication app(argc, argv);
    if (choosePlatform)
        qunsetenv("QT_QPA_PLATFORM"); // not for the programs it starts
    ToolkitTranslations::install();
    // The title "时雀" is written into every caption itself: a display name
    // would be appended to each ("Confirm — 时雀").
    QApplication::setWindowIcon(Pictures::appIcon());
    // Only closing the main window ends the program: closing the last window
    // shown while the main window waits in the tray must not.
    QApplication::setQuitOnLastWindowClosed(false);

    // A logout or kill ends the program as 退出 does. Delivered through the
    // event loop, so only once the windows exist.
    // One that comes while a box of the start waits ends that box's loop, not
    // the main loop, which has yet to run: it is remembered for then.
    Termination termination;
    bool ending = false;
    QObject::connect(&termination, &Termination::requested, &app, [&ending] {
        ending = true;
        if (assistantForm)
            runGuarded([] { assistantForm->leaveClick(); }, assistantForm);
        else
            QCoreApplication::exit(0);
    });

    QString why;
    const QString folder = SingleInstance::runtimeDir(QStringLiteral("brenwick"), &why);
    if (folder.isEmpty()) {
        Dialogs::instance().error(nullptr, QStringLiteral("时雀无法启动：") + why);
        return 1;
    }
    // A package's first start makes the folder of the user's data.
    if (!ProgramDir::makeDataPath().isEmpty()) {
        Dialogs::instance().error(nullptr,
                                  QStringLiteral("时雀无法启动：无法建立数据文件夹“%1”")
                                      .arg(QDir::toNativeSeparators(ProgramDir::dataPath())));
        return 1;
    }
    // One copy per database, whatever the environment it was started in.
    SingleInstance instance(APP_TITLE, databaseFile(), folder);
    if (!claimDatabase(instance, databaseFile()))
        return 0;
    keepDataPrivate();
    DatabaseBackup::removeLeftovers(databaseFile(), backupFolder());

    createStartupWindows(true);
    QObject::connect(&instance, &SingleInstance::activationRequested, assistantForm,
                     [] { runGuarded([] { assistantForm->bringForward(); }, assistantForm); });
    AssistantApplication::applyToolTipSettings();

    assistantForm->show();

    // A copy of the database a day, on a thread of its own: at the start and
    // at the first rebuild of each new day. A failure is told once; the next
    // day tries again.
    DailyBackup backup(DataModule1->ADOConnection1.dataSource(), backupFolder());
    QObject::connect(&backup, &DailyBackup::failed, assistantForm, [](const QString& text) {
        reportError(QStringLiteral("每日备份失败：") + text, assistantForm);
    });
    QObject::connect(assistantForm, &TassistantForm::dayBegan, &backup,
                     [&backup] { backup.runFor(Clock::today()); });
    QTimer::singleShot(startBackupDelayMs, &backup, [&backup] { backup.runFor(Clock::today()); });

    if (!ending)
        app.exec();
    destroyStartupWindows();
    return 0;
}
