#include "syncwindow/SyncRunner.h"

#include "platform/Background.h"
#include "platform/Clock.h"
#include "platform/SecretStore.h"
#include "shell/data/dataForm.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"
#include "syncside/ScheduleSyncSide.h"

#include <QDateTime>
#include <QtConcurrent>

SyncRunner& SyncRunner::instance()
{
    static SyncRunner* runner = new SyncRunner; // lives as long as the application
    return *runner;
}

SyncRunner::SyncRunner()
{
    setParent(QCoreApplication::instance());
    connect(&m_watcher, &QFutureWatcher<Outcome>::finished, this, [this] { done(); });
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!running())
            start();
    });
}

SyncRunner::~SyncRunner()
{
    // A round records each item as it completes: stopped at its next item,
    // it leaves nothing half-recorded, and the exit waits only for the
    // request under way.
    m_cancel = true;
    m_watcher.waitForFinished();
}

QString SyncRunner::lastResult()
{
    return Settings::readString(Settings::syncLastResult);
}

void SyncRunner::applyInterval()
{
    const int minutes = Settings::readInteger(Settings::syncInterval);
    if (minutes > 0)
        m_timer.start(minutes * 60 * 1000);
    else
        m_timer.stop();
}

bool SyncRunner::start(const QString& typed)
{
    if (running() || !DataModule1)
        return false;
    ScheduleSyncRound round;
    round.account.server = Dav::serverUrl(Settings::readString(Settings::syncServer));
    round.account.user = Settings::readString(Settings::syncUser);
    round.collection = QUrl(Settings::readString(Settings::syncCalendar));
    round.database = DataModule1->ADOConnection1.dataSource();
    round.cancel = &m_cancel;
    if (round.account.server.isEmpty() || round.collection.isEmpty())
        return false;
    if (!typed.isEmpty())
        m_password = typed;
    m_watcher.setFuture(QtConcurrent::run(Background::pool(), [round, typedOrKept = m_password] {
        Background::lowerThisThread();
        Outcome o;
        ScheduleSyncRound r = round;
        QString password = typedOrKept;
        const SecretStore store(syncSecretSchema());
        const QString server = r.account.server.toString();
        if (!password.isEmpty()) {
            const SecretStore::Result kept = store.store(server, r.account.user, password);
            o.noSecretService = kept.status == SecretStore::Status::Unavailable;
        } else {
            const SecretStore::Result found = store.lookup(server, r.account.user);
            if (found.status == SecretStore::Status::Ok) {
                password = found.password;
            } else if (!r.account.user.isEmpty()) {
                o.noSecretService = found.status == SecretStore::Status::Unavailable;
                o.report.localError =
                    o.noSecretService
                        ? QStringLiteral("没有密钥服务，密码无处保存：请输入密码再同步"
                                         "（只在这次运行中记住）")
                        : QStringLiteral("请输入密码再同步");
                return o;
            }
        }
        r.account.password = password;
        o.report = runScheduleSync(r);
        return o;
    }));
    return true;
}

void SyncRunner::done()
{
    const Outcome o = m_watcher.result();
    if (!o.noSecretService && o.report.ok())
        m_password.clear(); // the store has it
    const QString text =
        Clock::now().toString(QStringLiteral("yyyy-MM-dd HH:mm  ")) + o.report.text();
    try {
        Settings::Writer().string(Settings::syncLastResult, text);
    } catch (...) { // the result is shown all the same
    }
    if (o.report.changedLocal())
        refreshFlag = 1;
    emit finished(text);
}
