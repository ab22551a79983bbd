#include "views/tjbz.h"

#include "platform/Dialogs.h"
#include "platform/Formats.h"
#include "resources/Pictures.h"
#include "shell/Forms.h"
#include "shell/data/Schedules.h"
#include "shell/settings/ColorText.h"
#include "ui_tjbz.h"
#include "widgets/TextLimits.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

TtjbzForm* tjbzForm = nullptr;

namespace {
// clActiveCaption: the labels and the memo's border.
constexpr quint32 activeCaption = 0xFF000002;
constexpr int noteBytes = fieldOf(&Schedule::bz).maxBytes;
} // namespace

TtjbzForm::TtjbzForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TtjbzForm>())
{
    // Built once the main window is on screen (or at once, in tests): the
    // start shows nothing of it.
    Forms::build(this, [this] { build(); });
}

void TtjbzForm::build()
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    Forms::closeOnEscape(this);
    titleLabel = ui->titleLabel;
    dateLabel = ui->dateLabel;
    bzMemo = ui->bzMemo;
    confirm = ui->confirm;

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(328, 147);
    Forms::fixColours(this, Qt::white);
    // A title from storage (or another calendar) is shown as it is, never as markup.
    titleLabel->setTextFormat(Qt::PlainText);
    const QColor caption = ColorText::toQColor(activeCaption, palette());
    for (QLabel* label : {ui->RzLabel1, ui->RzLabel2, ui->RzLabel3}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, caption);
        label->setPalette(p);
    }
    // A plain box frame is drawn in the window-text colour; the text itself
    // uses the text colour.
    QPalette memo = bzMemo->palette();
    memo.setColor(QPalette::WindowText, caption);
    bzMemo->setPalette(memo);
    bzMemo->setFrameStyle(QFrame::Box | QFrame::Plain);
    bzMemo->setMaxBytes(noteBytes);
    confirm->setIcon(Pictures::viewPicture(2));
    Forms::nameInputsByLabels(this);

    Forms::connect(confirm, &QPushButton::clicked, this, [this] { confirmClick(); });
}

TtjbzForm::~TtjbzForm() = default;

void TtjbzForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        Forms::centreOnScreen(this);
        runGuarded([this] { FormShow(); }, this);
    }
    QWidget::showEvent(event);
}

bool TtjbzForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        runGuarded([this] { FormActivate(); }, this);
    return QWidget::event(event);
}

void TtjbzForm::FormShow()
{
    m_loading.onShow();
}

void TtjbzForm::FormActivate()
{
    // Coming back to the window drops what was typed and not confirmed.
    m_loading.onActivation();
}

bool TtjbzForm::load()
{
    const std::optional<ScheduleData::ScheduleNote> n = ScheduleData::noteOf(*rcQuery, scheduleId);
    if (!n)
        return false;
    titleLabel->setText(n->title);
    dateLabel->setText(Formats::dateText(n->date) + QLatin1Char('-') + Formats::timeText(n->time));
    bzMemo->setPlainText(n->bz);
    return true;
}

void TtjbzForm::confirmClick()
{
    // The memo's whole text, the empty text too (which removes the note).
    if (!ScheduleData::setNote(*rcQuery, scheduleId, bzMemo->toPlainText())) {
        // Storing never adds a row.
        Dialogs::instance().message(this, ScheduleLoading::missingMessage());
        close();
        return;
    }
    Dialogs::instance().message(this, QStringLiteral("备注修改成功！"));
    close();
}
