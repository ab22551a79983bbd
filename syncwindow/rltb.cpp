#include "syncwindow/rltb.h"

#include "platform/SecretStore.h"
#include "shell/Forms.h"
#include "shell/settings/Settings.h"
#include "syncside/ScheduleSyncSide.h"
#include "syncwindow/SyncRunner.h"
#include "ui_rltb.h"

#include <QKeyEvent>
#include <QtConcurrent>

TrltbForm* rltbForm = nullptr;

const QList<int>& TrltbForm::intervals()
{
    static const QList<int> minutes{0, 5, 15, 60};
    return minutes;
}

TrltbForm::TrltbForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TrltbForm>())
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    server = ui->server;
    user = ui->user;
    password = ui->password;
    connectButton = ui->connectButton;
    calendar = ui->calendar;
    interval = ui->interval;
    syncButton = ui->syncButton;
    result = ui->result;
    closeButton = ui->closeButton;

    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    for (int m : intervals())
        interval->addItem(m ? QStringLiteral("每 %1 分钟").arg(m) : QStringLiteral("关闭"));
    Forms::nameInputsByLabels(this);
    result->setAccessibleName(ui->resultLabel->text());

    Forms::connect(connectButton, &QPushButton::clicked, this, [this] { connectClick(); });
    Forms::connect(syncButton, &QPushButton::clicked, this, [this] { syncClick(); });
    Forms::connect(closeButton, &QPushButton::clicked, this, [this] { close(); });
    Forms::connect(interval, &QComboBox::activated, this, [this] { intervalChange(); });
    Forms::connect(&m_discovery, &QFutureWatcher<DavDiscovery>::finished, this,
                   [this] { discovered(); });
    Forms::connect(&SyncRunner::instance(), &SyncRunner::finished, this, [this] {
        result->setText(SyncRunner::lastResult());
        syncButton->setEnabled(true);
    });
    load();
}

TrltbForm::~TrltbForm()
{
    m_discovery.waitForFinished();
    if (rltbForm == this)
        rltbForm = nullptr;
}

void TrltbForm::load()
{
    server->setText(Settings::readString(Settings::syncServer));
    user->setText(Settings::readString(Settings::syncUser));
    const QString chosen = Settings::readString(Settings::syncCalendar);
    if (!chosen.isEmpty())
        calendar->addItem(chosen, chosen);
    const int index = int(intervals().indexOf(Settings::readInteger(Settings::syncInterval)));
    interval->setCurrentIndex(qMax(0, index));
    result->setText(SyncRunner::lastResult());
    if (SyncRunner::instance().running())
        showRunning();
}

void TrltbForm::saveAccount()
{
    Settings::Writer w;
    w.string(Settings::syncServer, server->text().trimmed());
    w.string(Settings::syncUser, user->text().trimmed());
}

void TrltbForm::connectClick()
{
    if (m_discovery.isRunning())
        return;
    saveAccount();
    DavAccount account;
    account.server = Dav::serverUrl(server->text().trimmed());
    account.user = user->text().trimmed();
    const QString typed = password->text();
    result->setText(QStringLiteral("正在连接……"));
    connectButton->setEnabled(false);
    // The secret store and the server are waited for off the GUI thread.
    m_discovery.setFuture(QtConcurrent::run([account, typed] {
        DavAccount a = account;
        a.password = typed;
        if (typed.isEmpty() && !a.user.isEmpty())
            a.password =
                SecretStore(syncSecretSchema()).lookup(a.server.toString(), a.user).password;
        CalDavClient client(a);
        return CalDavClient::wait(client.discover());
    }));
}

void TrltbForm::discovered()
{
    connectButton->setEnabled(true);
    const DavDiscovery d = m_discovery.result();
    if (d.error) {
        result->setText(d.error.text);
        return;
    }
    const QString chosen = Settings::readString(Settings::syncCalendar);
    calendar->clear();
    for (const Dav::Calendar& c : d.calendars) {
        if (!c.vevents)
            continue;
        const QString url = c.url.toString();
        calendar->addItem(c.displayName.isEmpty() ? url : c.displayName, url);
        if (url == chosen)
            calendar->setCurrentIndex(calendar->count() - 1);
    }
    result->setText(calendar->count()
                        ? QStringLiteral("找到 %1 个日历，请选一个再同步").arg(calendar->count())
                        : QStringLiteral("服务器上没有存放日程的日历"));
}

void TrltbForm::syncClick()
{
    saveAccount();
    const QString url = calendar->currentData().toString();
    if (url.isEmpty()) {
        result->setText(QStringLiteral("请先连接服务器，选好日历"));
        return;
    }
    Settings::Writer().string(Settings::syncCalendar, url);
    if (SyncRunner::instance().start(password->text()))
        showRunning();
}

void TrltbForm::showRunning()
{
    result->setText(QStringLiteral("正在同步……"));
    syncButton->setEnabled(false);
}

void TrltbForm::intervalChange()
{
    Settings::Writer().integer(Settings::syncInterval, intervals().value(interval->currentIndex()));
    SyncRunner::instance().applyInterval();
}

void TrltbForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->key() == Qt::Key_F1) {
        Forms::openHelp(this);
        return;
    }
    QWidget::keyPressEvent(event);
}
