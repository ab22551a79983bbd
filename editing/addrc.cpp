#include "editing/addrc.h"

#include "editing/cfsz.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "shell/Application.h"
#include "shell/Settings.h"
#include "shell/dataForm.h"
#include "shell/public.h"

#include <QCloseEvent>
#include <QFile>
#include <QLineEdit>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

TaddrcForm* addrcForm = nullptr;

namespace {
const QString pastMessage = QStringLiteral("日程时间不能早于当前时间，请重新输！");
} // namespace

TaddrcForm::TaddrcForm(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFixedSize(396, 396);

    title->setInsertPolicy(QComboBox::NoInsert);
    title->setCompleter(nullptr);
    Cp936::limitBytes(title->lineEdit(), 30);
    Cp936::limitBytes(content, 200);
    addPage->installEventFilter(this);

    connect(tx_check, &QCheckBox::clicked, this, &TaddrcForm::tx_checkClick);
    connect(cfszCheckBox, &QCheckBox::clicked, this, &TaddrcForm::cfszCheckBoxClick);
    connect(cfsz, &QPushButton::clicked, this, &TaddrcForm::cfszClick);
    connect(addConfirm, &QPushButton::clicked, this, &TaddrcForm::addConfirmClick);
    connect(RzBitBtn1, &QPushButton::clicked, this, &TaddrcForm::RzBitBtn1Click);

    runGuarded([this] { FormCreate(); });
}

TaddrcForm::~TaddrcForm()
{
    if (addrcForm == this)
        addrcForm = nullptr;
}

void TaddrcForm::FormCreate()
{
    date_value->setDate(Clock::today());
    title->setEditText(QString());
    content->clear();
    time_value->setTime(Clock::now().time());
    tx_time_flag->setCurrentIndex(0);
    yxj->setCurrentIndex(0);
    tx_check->setChecked(true);
    tx_time_edit->setEnabled(true);
    tx_time_flag->setEnabled(true);
    cfszCheckBox->setChecked(false);
    cfsz->setEnabled(false);
}

bool TaddrcForm::eventFilter(QObject* watched, QEvent* event)
{
    // A show of the page by the program, not the window coming back from
    // the window manager. Guarded here: an error must not stop the showing.
    if (watched == addPage && event->type() == QEvent::Show && !event->spontaneous())
        runGuarded([this] { addPageShow(); });
    return QWidget::eventFilter(watched, event);
}

void TaddrcForm::showEvent(QShowEvent* event)
{
    if (!m_placed && !event->spontaneous()) {
        centreOnScreen();
        m_placed = true;
    }
    QWidget::showEvent(event);
}

void TaddrcForm::centreOnScreen()
{
    if (const QScreen* s = screen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
}

void TaddrcForm::addPageShow()
{
    title->setFocus();
    title->clear();
    // The repeat defaults come first, so that a plan list that cannot be read
    // costs only the titles.
    cfSettings.reset(Clock::today());
    // A missing list is an empty one; one that exists but cannot be read is
    // reported.
    if (QFile::exists(Settings::plansFile()))
        title->addItems(Settings::loadPlans());
    title->setEditText(QString());
}

void TaddrcForm::tx_checkClick()
{
    tx_time_edit->setEnabled(tx_check->isChecked());
    tx_time_flag->setEnabled(tx_check->isChecked());
}

void TaddrcForm::cfszCheckBoxClick()
{
    cfsz->setEnabled(cfszCheckBox->isChecked());
}

void TaddrcForm::cfszClick()
{
    // The read-back runs when the settings window closes, by 确  定 or by its
    // close box alike: that window has no cancel.
    connect(
        cfszForm, &TcfszForm::closed, this, [this] { cfszForm->readBack(cfSettings); },
        Qt::SingleShotConnection);
    // Kept above this always-on-top window while it is open.
    Dialogs::instance().showModal(cfszForm);
}

void TaddrcForm::addConfirmClick()
{
    Dialogs& dialogs = Dialogs::instance();
    if (Cp936::trimmed(title->currentText()).isEmpty()) {
        dialogs.message(this, QStringLiteral("     请填写日程标题！     "));
        return;
    }
    if (time_value->isEmpty()) {
        dialogs.message(this, QStringLiteral("     请选择日程时间！     "));
        return;
    }
    if (cfszCheckBox->isChecked()) {
        // A series takes its dates from the repeat settings alone: the date
        // field, the past test and the question do not apply.
        for (const QDate& d : generateSeries(cfSettings))
            insertRc(d);
    } else {
        if (date_value->isEmpty()) {
            dialogs.message(this, QStringLiteral("     请选择日程日期！     "));
            return;
        }
        const QDateTime now = Clock::now();
        const QDate chosen = date_value->date();
        if (now.date() > chosen) {
            dialogs.message(this, pastMessage);
            return;
        }
        if (chosen == now.date() && now.time() > time_value->time()) {
            dialogs.message(this, pastMessage);
            return;
        }
        if (!dialogs.confirm(this, QStringLiteral("     确定添加该日程吗？     ")))
            return;
        insertRc(chosen);
    }
    dialogs.message(this, QStringLiteral("     日程添加成功！     "));
    resetForNext();
}

void TaddrcForm::resetForNext()
{
    title->setEditText(QString());
    content->clear();
    date_value->setDate(Clock::today());
    time_value->setTime(QTime());
    tx_time_flag->setCurrentIndex(0);
    yxj->setCurrentIndex(0);
    cfSettings.reset(Clock::today());
    title->setFocus();
    cfszCheckBox->setChecked(false);
    cfsz->setEnabled(false);
}

namespace {
// The table is closed after each row, also when the row failed.
struct ClosedAfter {
    DbTable& table;
    ~ClosedAfter() { table.close(); }
};
} // namespace

void TaddrcForm::insertRc(const QDate& date)
{
    DbTable& table = DataModule1->mydata;
    table.close();
    ClosedAfter closing{table};
    table.open();
    table.append();
    table.setField(QStringLiteral("title"), Cp936::trimmed(title->currentText()));
    table.setField(QStringLiteral("content"), Cp936::trimmed(content->toPlainText()));
    table.setField(QStringLiteral("rc_date"), date);
    table.setField(QStringLiteral("rc_time"), time_value->time());
    table.setField(QStringLiteral("yxj"), yxj->currentIndex());
    table.setField(QStringLiteral("tx_time_flag"), tx_time_flag->currentIndex());
    table.setField(QStringLiteral("is_tx"), tx_check->isChecked() ? 1 : 0);
    table.setField(QStringLiteral("tx_time"), tx_time_edit->readValue());
    table.post();
}

void TaddrcForm::RzBitBtn1Click()
{
    Desktop::openDocument(QStringLiteral("help.chm"));
}

void TaddrcForm::closeEvent(QCloseEvent* event)
{
    refreshFlag = 1;
    event->accept(); // and WA_DeleteOnClose frees the window
}
