#include "editing/xgrc.h"

#include "platform/Dialogs.h"
#include "shell/Forms.h"
#include "shell/data/Schedules.h"
#include "shell/public.h"
#include "ui_xgrc.h"
#include "widgets/DateTimeEdits.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextLimits.h"

#include <QShowEvent>
#include <QTimer>

TxgrcForm* xgrcForm = nullptr;

TxgrcForm::TxgrcForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TxgrcForm>())
{
    // Built once the main window is on screen (or at once, in tests): the
    // start shows nothing of it.
    Forms::build(this, [this] { build(); });
}

void TxgrcForm::build()
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    Forms::closeOnEscape(this);
    PageControl1 = ui->PageControl1;
    addPage = ui->addPage;
    title = ui->title;
    takeFields(*ui, this);
    xgConfirm = ui->xgConfirm;
    RzBitBtn1 = ui->RzBitBtn1;

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(396, 314);
    Forms::nameInputsByLabels(this);
    TextLimits::limitLine(title, titleBytes);
    addPage->installEventFilter(this);

    Forms::connect(xgConfirm, &QPushButton::clicked, this, [this] { xgConfirmClick(); });
    Forms::connect(RzBitBtn1, &QPushButton::clicked, this, [this] { RzBitBtn1Click(); });
}

TxgrcForm::~TxgrcForm() = default;

void TxgrcForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        Forms::centreOnScreen(this);
    QWidget::showEvent(event);
}

bool TxgrcForm::eventFilter(QObject* watched, QEvent* event)
{
    // Guarded here: an error must not stop the showing.
    if (watched == addPage && event->type() == QEvent::Show && !event->spontaneous())
        runGuarded([this] { addPageShow(); }, this);
    return QWidget::eventFilter(watched, event);
}

bool TxgrcForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        runGuarded([this] { FormActivate(); }, this);
    return QWidget::event(event);
}

void TxgrcForm::addPageShow()
{
    m_loading.onShow();
}

void TxgrcForm::FormActivate()
{
    m_loading.onActivation();
}

bool TxgrcForm::load()
{
    const std::optional<Schedule> s = ScheduleData::byId(*rcQuery, scheduleId);
    if (!s)
        return false;
    // Stored text is shown whole, whatever the typing limits.
    title->setText(s->title);
    content->setPlainText(s->content);
    date_value->setDate(s->date);
    time_value->setTime(s->time);
    yxj->setCurrentIndex(s->yxj);
    tx_time_flag->setCurrentIndex(s->txTimeFlag);
    m_loadedYxj = s->yxj;
    m_loadedUnit = s->txTimeFlag;
    tx_time_edit->setValue(s->txTime);
    setReminder(s->isTx != 0);
    return true;
}

void TxgrcForm::xgConfirmClick()
{
    // Nothing is validated or trimmed; only a field that holds no date or
    // time at all is refused, by the conversion error, before anything is written.
    Schedule s;
    s.id = scheduleId;
    s.title = title->text();
    s.content = content->toPlainText();
    s.date = date_value->date();
    s.time = time_value->time();
    // A stored code no list entry stands for is kept, not replaced by "none".
    s.yxj = yxj->currentIndex() >= 0 ? yxj->currentIndex() : m_loadedYxj;
    s.txTimeFlag = tx_time_flag->currentIndex() >= 0 ? tx_time_flag->currentIndex() : m_loadedUnit;
    s.txTime = tx_time_edit->readValue();
    s.isTx = tx_check->isChecked() ? 1 : 0;
    if (!ScheduleData::update(*rcQuery, s)) {
        // Saving never adds a row.
        Dialogs::instance().message(this, ScheduleLoading::missingMessage());
        close();
        return;
    }
    Dialogs::instance().message(this, QStringLiteral("     日程修改成功！     "));
    refreshFlag = 1;
    close();
}

void TxgrcForm::RzBitBtn1Click()
{
    Forms::openHelp(this);
}
