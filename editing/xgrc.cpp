#include "editing/xgrc.h"

#include "platform/Cp936.h"
#include "platform/DayNumber.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "shell/Application.h"
#include "shell/Statements.h"
#include "shell/dataForm.h"
#include "shell/public.h"

#include <QScreen>
#include <QShowEvent>
#include <QTimer>

TxgrcForm* xgrcForm = nullptr;

namespace {
const QString missingMessage = QStringLiteral("该日程已不存在！");
}

TxgrcForm::TxgrcForm(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(396, 314);
    Cp936::limitBytes(title, 30);
    Cp936::limitBytes(content, 200);
    addPage->installEventFilter(this);

    connect(tx_check, &QCheckBox::clicked, this, &TxgrcForm::tx_checkClick);
    connect(xgConfirm, &QPushButton::clicked, this, &TxgrcForm::xgConfirmClick);
    connect(RzBitBtn1, &QPushButton::clicked, this, &TxgrcForm::RzBitBtn1Click);
}

TxgrcForm::~TxgrcForm() = default;

DbQuery& TxgrcForm::rcQuery()
{
    // Made on the data module's connection at first use, again if the data
    // module was replaced.
    if (!m_rcQuery || m_queryConnection != &DataModule1->ADOConnection1) {
        m_rcQuery.reset();
        m_queryConnection = &DataModule1->ADOConnection1;
        m_rcQuery = std::make_unique<DbQuery>(*m_queryConnection);
    }
    return *m_rcQuery;
}

void TxgrcForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        if (const QScreen* s = screen()) {
            QRect r = frameGeometry();
            r.moveCenter(s->availableGeometry().center());
            move(r.topLeft());
        }
    }
    QWidget::showEvent(event);
}

bool TxgrcForm::eventFilter(QObject* watched, QEvent* event)
{
    // Guarded here: an error must not stop the showing.
    if (watched == addPage && event->type() == QEvent::Show && !event->spontaneous())
        runGuarded([this] { addPageShow(); });
    return QWidget::eventFilter(watched, event);
}

bool TxgrcForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(event);
}

void TxgrcForm::addPageShow()
{
    loadOrGiveUp();
}

void TxgrcForm::FormActivate()
{
    if (!isVisible() || m_givingUp)
        return;
    // Coming back from the error box of a failed load: loading again would
    // only bring the box back, for ever.
    if (m_loadFailed) {
        m_loadFailed = false;
        return;
    }
    loadOrGiveUp();
}

void TxgrcForm::loadOrGiveUp()
{
    m_loadFailed = true;
    const bool found = load();
    m_loadFailed = false;
    if (!found)
        giveUpMissing();
}

void TxgrcForm::giveUpMissing()
{
    if (m_givingUp)
        return;
    m_givingUp = true;
    // Later, not inside the showing that found the row missing.
    QTimer::singleShot(0, this, [this] {
        runGuarded([this] {
            Dialogs::instance().message(this, missingMessage);
            close();
        });
        m_givingUp = false;
    });
}

DbQuery& TxgrcForm::openRow()
{
    DbQuery& q = rcQuery();
    q.close();
    q.setSql(Sql::scheduleById(scheduleId));
    q.open();
    return q;
}

bool TxgrcForm::load()
{
    DbQuery& q = openRow();
    if (q.recordCount() == 0) {
        q.close();
        return false;
    }
    title->setText(q.textField(QStringLiteral("title")));
    content->setPlainText(q.textField(QStringLiteral("content")));
    date_value->setDate(DayNumber::toDate(q.dateTimeField(QStringLiteral("rc_date"))));
    time_value->setTime(DayNumber::toTime(q.dateTimeField(QStringLiteral("rc_time"))));
    yxj->setCurrentIndex(q.intField(QStringLiteral("yxj")));
    tx_time_flag->setCurrentIndex(q.intField(QStringLiteral("tx_time_flag")));
    tx_time_edit->setValue(q.intField(QStringLiteral("tx_time")));
    const bool on = q.intField(QStringLiteral("is_tx")) != 0;
    tx_check->setChecked(on);
    tx_time_flag->setEnabled(on);
    tx_time_edit->setEnabled(on);
    q.close();
    return true;
}

void TxgrcForm::tx_checkClick()
{
    tx_time_edit->setEnabled(tx_check->isChecked());
    tx_time_flag->setEnabled(tx_check->isChecked());
}

void TxgrcForm::xgConfirmClick()
{
    // Nothing is validated or trimmed; only a field that holds no date or
    // time at all is refused, by the conversion error, before anything is written.
    const QString newTitle = title->text();
    const QString newContent = content->toPlainText();
    const QDate date = date_value->date();
    const QTime time = time_value->time();
    const int lead = tx_time_edit->readValue();

    DbQuery& q = openRow();
    if (q.recordCount() == 0) {
        // Saving never adds a row.
        q.close();
        Dialogs::instance().message(this, missingMessage);
        close();
        return;
    }
    q.edit();
    q.setField(QStringLiteral("title"), newTitle);
    q.setField(QStringLiteral("content"), newContent);
    q.setField(QStringLiteral("rc_date"), date);
    q.setField(QStringLiteral("rc_time"), time);
    q.setField(QStringLiteral("yxj"), yxj->currentIndex());
    q.setField(QStringLiteral("tx_time_flag"), tx_time_flag->currentIndex());
    q.setField(QStringLiteral("tx_time"), lead);
    q.setField(QStringLiteral("is_tx"), tx_check->isChecked() ? 1 : 0);
    q.post();
    q.close();
    Dialogs::instance().message(this, QStringLiteral("     日程修改成功！     "));
    refreshFlag = 1;
    close();
}

void TxgrcForm::RzBitBtn1Click()
{
    Desktop::openDocument(QStringLiteral("help.chm"));
}
