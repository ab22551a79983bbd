#include "views/showbz.h"

#include "platform/Dialogs.h"
#include "shell/Forms.h"
#include "shell/data/Schedules.h"
#include "shell/settings/ColorText.h"
#include "ui_showbz.h"
#include "views/ViewsLogic.h"
#include "views/tjbz.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

TshowbzForm* showbzForm = nullptr;

namespace {
constexpr quint32 desktopColour = 0xFF000001; // clDesktop
constexpr quint32 activeCaption = 0xFF000002; // clActiveCaption
} // namespace

TshowbzForm::TshowbzForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TshowbzForm>())
{
    // Built once the main window is on screen (or at once, in tests): the
    // start shows nothing of it.
    Forms::build(this, [this] { build(); });
}

void TshowbzForm::build()
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    RzLabel1 = ui->RzLabel1;
    Label1 = ui->Label1;
    RzBitBtn1 = ui->RzBitBtn1;
    bzMemo = ui->bzMemo;

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(239, 109);
    Forms::fixColours(this, QColor(192, 220, 192));

    const QColor desktop = ColorText::toQColor(desktopColour, palette());
    RzLabel1->setAutoFillBackground(true);
    QPalette strip = RzLabel1->palette();
    strip.setColor(QPalette::Window, desktop);
    RzLabel1->setPalette(strip);
    QPalette white = Label1->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(white);
    // The caption lies on the strip: pressing it takes the strip too.
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette button = RzBitBtn1->palette();
    button.setColor(QPalette::Button, desktop);
    button.setColor(QPalette::Window, desktop);
    button.setColor(QPalette::ButtonText, Qt::white);
    RzBitBtn1->setPalette(button);
    RzBitBtn1->setAutoFillBackground(true);
    QFont cross = RzBitBtn1->font();
    cross.setPixelSize(16);
    RzBitBtn1->setFont(cross);
    QPalette memo = bzMemo->palette();
    memo.setColor(QPalette::WindowText, ColorText::toQColor(activeCaption, palette()));
    bzMemo->setPalette(memo);
    bzMemo->setFrameStyle(QFrame::Box | QFrame::Plain);
    bzMemo->setReadOnly(true);
    RzLabel1->installEventFilter(this);

    Forms::connect(RzBitBtn1, &QPushButton::clicked, this, [this] { RzBitBtn1Click(); });
}

TshowbzForm::~TshowbzForm() = default;

void TshowbzForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        Forms::centreOverMainWindow(this);
        runGuarded([this] { FormShow(); }, this);
    }
    QWidget::showEvent(event);
}

void TshowbzForm::FormShow()
{
    // Read afresh at every showing: the row may have changed, or gone (the
    // purge deletes rows the browse grid still lists).
    const std::optional<ScheduleData::ScheduleNote> n = ScheduleData::noteOf(*rcQuery, scheduleId);
    if (n) {
        bzMemo->setPlainText(n->bz);
        return;
    }
    bzMemo->clear();
    m_loading.giveUp();
}

void TshowbzForm::RzBitBtn1Click()
{
    close();
}

bool TshowbzForm::eventFilter(QObject* watched, QEvent* event)
{
    // The strip moves the window with the mouse, whichever button holds it,
    // until that button is released.
    if (watched == RzLabel1) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            m_dragging = true;
            m_grip = e->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (m_dragging && e->buttons() != Qt::NoButton)
                move(e->globalPosition().toPoint() - m_grip);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->buttons() == Qt::NoButton)
                m_dragging = false;
            return true;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
