#include "reminders/tx.h"

#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/Desktop.h"
#include "platform/Formats.h"
#include "platform/Notifications.h"
#include "platform/ProgramDir.h"
#include "platform/Sound.h"
#include "platform/WindowManager.h"
#include "reminders/ReminderLogic.h"
#include "shell/Application.h"
#include "shell/Forms.h"
#include "shell/data/Schedules.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"
#include "ui_tx.h"
#include "widgets/HoverTip.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QShowEvent>
#include <QTimer>
#include <QVariantAnimation>

TtxForm* txForm = nullptr;

using namespace ReminderLogic;

namespace {
constexpr int frameExtraWidth = 8;
constexpr int frameExtraHeight = 27;
constexpr int itemHeight = 17;
// The icon the desktop entry installs into the icon theme.
const QString themeIconName = QStringLiteral("tavimor");
// How long the window takes to appear and to fade out.
constexpr int duration = 800;

void setRed(QWidget* w, QPalette::ColorRole role)
{
    QPalette p = w->palette();
    p.setColor(role, Qt::red);
    w->setPalette(p);
}
} // namespace

TtxForm::TtxForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TtxForm>())
{
    // Built once the main window is on screen (or at once, in tests): the
    // start shows nothing of it.
    Forms::build(this, [this] { build(); });
}

void TtxForm::build()
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    txCheckList = ui->txCheckList;
    Label2 = ui->Label2;
    Label3 = ui->Label3;
    Label4 = ui->Label4;
    Label5 = ui->Label5;

    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFixedSize(303, 123);
    Forms::fixColours(this, Qt::white);
    setRed(txCheckList, QPalette::Text);
    for (QLabel* label : {Label3, Label4, Label5})
        setRed(label, QPalette::WindowText);

    // The content sits in a clipping frame, which the appearing grows out of
    // the centre while the content itself stays in place.
    m_content = ui->content;
    m_clip = new QWidget(this);
    m_clip->setGeometry(rect());
    m_content->setParent(m_clip);
    m_content->move(0, 0);

    Forms::nameInputsByLabels(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(20000);
    // Precise, as RemindTimer is: both keep step from start-up, and a window
    // a check has just shown must not be closed by a tick that slipped.
    Timer1->setTimerType(Qt::PreciseTimer);
    Forms::connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

TtxForm::~TtxForm()
{
    if (txForm == this)
        txForm = nullptr;
}

QSize TtxForm::windowSize() const
{
    return size() + QSize(frameExtraWidth, frameExtraHeight);
}

void TtxForm::placeAndShow(int txWinPos)
{
    // A window fading out is as good as closed: it comes back as a new showing.
    if (m_fading) {
        stopAnimation();
        hide();
    }
    move(placement(Desktop::screenSize(), windowSize(), txWinPos));
    show();
    raise();
    activateWindow();
}

void TtxForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        runGuardedWhileShowing([this] { FormShow(); }, this);
}

void TtxForm::FormShow()
{
    // Until its reads succeed the window says nothing: a failed read must
    // not pass for "nothing is due".
    for (QWidget* w : QList<QWidget*>{txCheckList, Label2, Label3, Label4, Label5})
        w->hide();
    if (firstActivation == 1)
        showDaySummary();
    else
        showReminderList();
}

void TtxForm::showDaySummary()
{
    const QDate today = Clock::today();
    Label5->setText(todayText(ScheduleData::countOfDay(*remindQuery, today)));
    const QDate yesterday = today.addDays(-1);
    const int notCompleted = ScheduleData::notCompletedCountOfDay(*remindQuery, yesterday);
    const int completed = ScheduleData::completedCountOfDay(*remindQuery, yesterday);
    Label4->setText(yesterdayText(completed, notCompleted));
    firstActivation = 0;
    Label4->show();
    Label5->show();
}

void TtxForm::showReminderList()
{
    txCheckList->clear();
    m_ids.clear();
    m_applied = 0;

    const QList<Schedule> due = ScheduleData::dueReminders(
        *remindQuery, Clock::today(), [](const Schedule& s) { return isDue(s, Clock::now()); });
    QStringList noticeLines;
    for (const Schedule& s : due) {
        const QString when = Formats::dateText(s.date) + QLatin1Char('[') +
                             Formats::timeText(s.time) + QLatin1Char(']');
        noticeLines << noticeLine(when, s.title);
        auto* item = new QListWidgetItem(itemText(when, s.title), txCheckList);
        item->setToolTip(plainToolTip(item->text())); // a long title ends in "…" in the list
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                       Qt::ItemIsUserTristate);
        item->setCheckState(Qt::Checked);
        item->setSizeHint(QSize(txCheckList->viewport()->width(), itemHeight));
        m_ids.append(s.id);
    }

    const bool empty = m_ids.isEmpty();
    txCheckList->setVisible(!empty);
    Label2->setVisible(!empty);
    Label3->setVisible(empty);
    if (!empty)
        notifyDesktop(noticeLines);

    // The sound also greets an empty list: the command asked for the window.
    int play = 0;
    QString file;
    {
        const Settings::Reader settings;
        play = settings.integer(Settings::isPlayMusic);
        file = settings.string(Settings::playFileName);
    }
    if (play == 1 && !Cp936::trimmed(file).isEmpty())
        Sound::instance().playFile(soundPath(file, ProgramDir::path()));

    appear();
}

void TtxForm::notifyDesktop(const QStringList& lines)
{
    // The window goes after 20 seconds; the notice stays in the desktop's
    // list, and brings the window back.
    Notification n;
    n.appName = APP_TITLE;
    n.summary = APP_TITLE;
    n.body = lines.join(QLatin1Char('\n'));
    n.icon = Notifications::installedIcon(themeIconName); // else the window icon, as a picture
    n.actions = {{QStringLiteral("default"), QStringLiteral("查看")},
                 {QStringLiteral("view"), QStringLiteral("查看")}};
    QPointer<TtxForm> self(this);
    n.onAction = [self](const QString&) {
        if (self)
            runGuarded([self] { self->placeAndShow(Settings::readInteger(Settings::txWinPos)); },
                       self);
    };
    Notifications::instance().notify(n);
}

void TtxForm::closeEvent(QCloseEvent* event)
{
    // An error ends the closing where it arose: the window stays, and the
    // next closing carries on from the item that failed.
    if (!runGuarded([this] { FormClose(); }, this)) {
        event->ignore();
        return;
    }
    if (m_fading) {
        event->ignore();
        return;
    }
    if (isVisible() && WindowManager::compositing()) {
        event->ignore();
        fadeOut();
        return;
    }
    stopAnimation();
    event->accept();
}

void TtxForm::FormClose()
{
    // Each list is applied once, at the first closing after it was built: a
    // reminder the user turns on again afterwards stays on.
    while (m_applied < m_ids.size()) {
        const int i = m_applied;
        const QListWidgetItem* item = txCheckList->item(i);
        if (!item || item->checkState() != Qt::Checked)
            ScheduleData::switchReminderOff(*remindQuery, m_ids[i]);
        m_applied = i + 1;
    }
}

void TtxForm::Timer1Timer()
{
    // Closing a hidden window runs only its close handling.
    if (isVisible())
        close();
    else
        FormClose();
}

// ---- appearing and fading -------------------------------------------------

void TtxForm::stopAnimation()
{
    if (m_animation)
        m_animation->stop();
    delete m_animation;
    m_fading = false;
    reveal(1.0);
    setWindowOpacity(1.0);
}

void TtxForm::reveal(double part)
{
    const QSize full = size();
    const int w = qRound(full.width() * part), h = qRound(full.height() * part);
    m_clip->setGeometry((full.width() - w) / 2, (full.height() - h) / 2, w, h);
    m_content->move(-m_clip->x(), -m_clip->y());
}

void TtxForm::appear()
{
    stopAnimation();
    // Out of the centre; where a compositing manager shows opacity, it also
    // comes up from transparent.
    const bool fade = WindowManager::compositing();
    auto* animation = new QVariantAnimation(this);
    animation->setDuration(duration);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    connect(animation, &QVariantAnimation::valueChanged, this, [this, fade](const QVariant& v) {
        reveal(v.toDouble());
        if (fade)
            setWindowOpacity(v.toDouble());
    });
    reveal(0.0);
    if (fade)
        setWindowOpacity(0.0);
    m_animation = animation;
    animation->start();
}

void TtxForm::fadeOut()
{
    stopAnimation();
    m_fading = true;
    auto* animation = new QVariantAnimation(this);
    animation->setDuration(duration);
    animation->setStartValue(1.0);
    animation->setEndValue(0.0);
    connect(animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& v) { setWindowOpacity(v.toDouble()); });
    connect(animation, &QVariantAnimation::finished, this, [this] {
        m_fading = false;
        hide();
        setWindowOpacity(1.0);
    });
    m_animation = animation;
    animation->start();
}
