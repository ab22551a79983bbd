#include "editing/addrc.h"

#include "editing/cfsz.h"
#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/Dialogs.h"
#include "shell/Forms.h"
#include "shell/data/Schedules.h"
#include "shell/public.h"
#include "shell/settings/Settings.h"
#include "ui_addrc.h"
#include "widgets/DateTimeEdits.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextLimits.h"

#include <QCloseEvent>
#include <QFile>
#include <QLineEdit>
#include <QShowEvent>

TaddrcForm* addrcForm = nullptr;

namespace {
const QString pastMessage = QStringLiteral("日程时间不能早于当前时间，请重新输！");
} // namespace

TaddrcForm::TaddrcForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TaddrcForm>())
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    Forms::closeOnEscape(this);
    PageControl1 = ui->PageControl1;
    addPage = ui->addPage;
    title = ui->title;
    takeFields(*ui, this);
    cfszCheckBox = ui->cfszCheckBox;
    cfsz = ui->cfsz;
    addConfirm = ui->addConfirm;
    RzBitBtn1 = ui->RzBitBtn1;

    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFixedSize(396, 396);
    Forms::nameInputsByLabels(this);

    title->setInsertPolicy(QComboBox::NoInsert);
    title->setCompleter(nullptr);
    TextLimits::limitLine(title->lineEdit(), titleBytes);
    addPage->installEventFilter(this);

    Forms::connect(cfszCheckBox, &QCheckBox::clicked, this, [this] { cfszCheckBoxClick(); });
    Forms::connect(cfsz, &QPushButton::clicked, this, [this] { cfszClick(); });
    Forms::connect(addConfirm, &QPushButton::clicked, this, [this] { addConfirmClick(); });
    Forms::connect(RzBitBtn1, &QPushButton::clicked, this, [this] { RzBitBtn1Click(); });

    runGuarded([this] { FormCreate(); }, this);
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
    setReminder(true);
    cfszCheckBox->setChecked(false);
    cfsz->setEnabled(false);
}

bool TaddrcForm::eventFilter(QObject* watched, QEvent* event)
{
    // A show of the page by the program, not the window coming back from
    // the window manager. Guarded here: an error must not stop the showing.
    if (watched == addPage && event->type() == QEvent::Show && !event->spontaneous())
        runGuarded([this] { addPageShow(); }, this);
    return QWidget::eventFilter(watched, event);
}

void TaddrcForm::showEvent(QShowEvent* event)
{
    if (!m_placed && !event->spontaneous()) {
        Forms::centreOnScreen(this);
        m_placed = true;
    }
    QWidget::showEvent(event);
}

void TaddrcForm::addPageShow()
{
    title->setFocus();
    title->clear();
    // A missing list is an empty one. One that exists but cannot be read is
    // reported, and the repeat defaults after it are not set.
    if (QFile::exists(Settings::plansFile()))
        TextLimits::setItems(title, Settings::loadPlans(), titleBytes);
    title->setEditText(QString());
    cfSettings.reset(Clock::today());
}

void TaddrcForm::cfszCheckBoxClick()
{
    cfsz->setEnabled(cfszCheckBox->isChecked());
}

void TaddrcForm::cfszClick()
{
    // The read-back runs when the settings window closes, by 确  定 or by its
    // close box alike: that window has no cancel.
    cfszForm->editSettings(&cfSettings);
    Dialogs::instance().showModal(cfszForm, this);
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

void TaddrcForm::insertRc(const QDate& date)
{
    Schedule s;
    s.title = Cp936::trimmed(title->currentText());
    s.content = Cp936::trimmed(content->toPlainText());
    s.date = date;
    s.time = time_value->time();
    s.yxj = yxj->currentIndex();
    s.txTimeFlag = tx_time_flag->currentIndex();
    s.isTx = tx_check->isChecked() ? 1 : 0;
    s.txTime = tx_time_edit->readValue();
    ScheduleData::append(s);
}

void TaddrcForm::RzBitBtn1Click()
{
    Forms::openHelp(this);
}

void TaddrcForm::closeEvent(QCloseEvent* event)
{
    refreshFlag = 1;
    event->accept(); // and WA_DeleteOnClose frees the window
}
