#include "views/zj.h"

#include "lunar/LunarText.h"
#include "platform/Clock.h"
#include "platform/Cp936.h"
#include "platform/Dialogs.h"
#include "platform/Formats.h"
#include "shell/Forms.h"
#include "shell/data/Schedules.h"
#include "shell/settings/ColorText.h"
#include "shell/settings/Settings.h"
#include "ui_zj.h"
#include "views/ViewsLogic.h"
#include "widgets/DateTimeEdits.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>

TzjForm* zjForm = nullptr;

namespace {
constexpr quint32 activeCaption = 0xFF000002; // clActiveCaption
const QString savedMessage = QStringLiteral("     工作笔记保存完毕！     ");

// Silver while read-only, white while it can be edited.
// The search's two labels: screen readers read their text, or what they
// are for while they are empty.
void showText(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setAccessibleName(text.isEmpty() ? label->property("emptyName").toString() : text);
}

void setEditable(QPlainTextEdit* memo, bool editable)
{
    memo->setReadOnly(!editable);
    QPalette p = memo->palette();
    p.setColor(QPalette::Base, editable ? QColor(Qt::white) : QColor(192, 192, 192));
    memo->setPalette(p);
}

void colourText(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::Text, c);
    w->setPalette(p);
}
} // namespace

TzjForm::TzjForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TzjForm>())
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    Forms::closeOnEscape(this);
    RzPageControl1 = ui->RzPageControl1;
    TabSheet1 = ui->TabSheet1;
    TabSheet2 = ui->TabSheet2;
    DateEdit = ui->zjDate;
    DateEdit->setObjectName(QStringLiteral("DateEdit"));
    zjMemo = ui->zjMemo;
    edit = ui->edit;
    save = ui->save;
    RzURLLabel1 = ui->RzURLLabel1;
    RzURLLabel2 = ui->RzURLLabel2;
    keywordEdit = ui->keywordEdit;
    search = ui->search;
    RzLabel2 = ui->RzLabel2;
    RzLabel3 = ui->RzLabel3;
    zjMemo2 = ui->zjMemo2;
    edit1 = ui->edit1;
    save1 = ui->save1;
    priorButton = ui->priorButton;
    nextButton = ui->nextButton;

    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFixedSize(291, 447);
    Forms::fixColours(this, Qt::white);
    colourText(DateEdit, Qt::red);
    colourText(RzLabel2, ColorText::toQColor(activeCaption, palette()));
    colourText(RzLabel3, Qt::red);
    QFont underlined = RzLabel3->font();
    underlined.setUnderline(true);
    RzLabel3->setFont(underlined);
    ui->Panel1->setAutoFillBackground(true);
    QPalette purple = ui->Panel1->palette();
    purple.setColor(QPalette::Window, QColor(128, 0, 128));
    ui->Panel1->setPalette(purple);
    ui->Panel1->setAccessibleName(QStringLiteral("分隔线"));
    search->setAccessibleName(QStringLiteral("搜索"));
    RzLabel2->setProperty("emptyName", QStringLiteral("搜索结果"));
    RzLabel3->setProperty("emptyName", QStringLiteral("笔记日期"));
    showText(RzLabel2, QString());
    showText(RzLabel3, QString());
    setEditable(zjMemo, false);
    setEditable(zjMemo2, false);
    Forms::nameInputsByLabels(this);
    // Beside 工作笔记：, under the date's end; empty while the setting is off.
    lunarLabel = new QLabel(TabSheet1);
    lunarLabel->setObjectName(QStringLiteral("lunarLabel"));
    lunarLabel->setGeometry(89, 36, 169, 16);
    lunarLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    colourText(lunarLabel, Qt::red);

    Forms::connect(DateEdit, &::DateEdit::dateChanged, this, [this] { DateEditChange(); });
    Forms::connect(RzURLLabel1, &QPushButton::clicked, this, [this] { RzURLLabel1Click(); });
    Forms::connect(RzURLLabel2, &QPushButton::clicked, this, [this] { RzURLLabel2Click(); });
    Forms::connect(edit, &QPushButton::clicked, this, [this] { editClick(); });
    Forms::connect(save, &QPushButton::clicked, this, [this] { saveClick(); });
    Forms::connect(search, &QPushButton::clicked, this, [this] { searchClick(); });
    Forms::connect(priorButton, &QPushButton::clicked, this, [this] { priorButtonClick(); });
    Forms::connect(nextButton, &QPushButton::clicked, this, [this] { nextButtonClick(); });
    Forms::connect(edit1, &QPushButton::clicked, this, [this] { edit1Click(); });
    Forms::connect(save1, &QPushButton::clicked, this, [this] { save1Click(); });
    Forms::connect(RzPageControl1, &QTabWidget::currentChanged, this,
                   [this] { RzPageControl1Change(); });
}

TzjForm::~TzjForm()
{
    if (zjForm == this)
        zjForm = nullptr;
}

void TzjForm::showEvent(QShowEvent* event)
{
    if (!m_shown && !event->spontaneous()) {
        m_shown = true;
        Forms::centreOverMainWindow(this);
        runGuarded([this] { FormShow(); }, this);
    }
    QWidget::showEvent(event);
}

void TzjForm::FormShow()
{
    m_showLunar = Settings::readInteger(Settings::showLunar) == 1;
    const QDate today = Clock::today();
    DateEdit->setDate(today); // loads its note
    zjMemo->setPlainText(ScheduleData::workNoteText(*zjQuery, today));
    showText(RzLabel2, QString());
    showText(RzLabel3, QString());
    zjMemo2->clear();
    keywordEdit->clear();
    for (QPushButton* b : {priorButton, nextButton, save, save1, edit1})
        b->setEnabled(false);
    setEditable(zjMemo, false);
    setEditable(zjMemo2, false);
}

void TzjForm::DateEditChange()
{
    // A date typed that is no date raises here, and the memo keeps its text.
    // The memo stays editable if it was: only 编辑 enables 保存 again.
    lunarLabel->setText(m_showLunar ? Lunar::fullText(DateEdit->dateOrNull()) : QString());
    zjMemo->setPlainText(ScheduleData::workNoteText(*zjQuery, DateEdit->date()));
    save->setEnabled(false);
}

void TzjForm::stepDay(int days)
{
    // By calendar day, whether or not the day has a note; unsaved text is dropped.
    const QDate day = DateEdit->date().addDays(days);
    DateEdit->setDate(day);
    save->setEnabled(false);
    setEditable(zjMemo, false);
}

void TzjForm::RzURLLabel1Click()
{
    stepDay(-1);
}

void TzjForm::RzURLLabel2Click()
{
    stepDay(1);
}

void TzjForm::editClick()
{
    setEditable(zjMemo, true);
    save->setEnabled(true);
}

void TzjForm::saveClick()
{
    ScheduleData::storeWorkNote(*zjQuery, DateEdit->date(), zjMemo->toPlainText());
    Dialogs::instance().message(this, savedMessage);
    setEditable(zjMemo, false);
    save->setEnabled(false);
}

void TzjForm::searchClick()
{
    for (QPushButton* b : {priorButton, nextButton, edit1, save1})
        b->setEnabled(false);
    zjQuery1->close();
    m_hits = 0;
    zjMemo2->clear();
    showText(RzLabel2, QString());
    showText(RzLabel3, QString());
    if (Cp936::trimmed(keywordEdit->text()).isEmpty()) {
        Dialogs::instance().message(this, QStringLiteral("     请输入关键字！     "));
        return;
    }
    m_hits = ScheduleData::openWorkNotesContaining(*zjQuery1, keywordEdit->text());
    showText(RzLabel2,
             QStringLiteral("(共搜索到") + QString::number(m_hits) + QStringLiteral("篇工作笔记)"));
    if (m_hits == 0)
        return;
    const ViewsLogic::HitButtons paging = ViewsLogic::hitButtons(zjQuery1->recNo(), m_hits);
    priorButton->setEnabled(paging.prior);
    nextButton->setEnabled(paging.next);
    showHit();
    edit1->setEnabled(true);
}

void TzjForm::showHit()
{
    const WorkNote hit = ScheduleData::currentWorkNote(*zjQuery1);
    QString date = Formats::dateText(hit.date);
    if (m_showLunar && !Lunar::dateText(hit.date).isEmpty())
        date += QLatin1Char(' ') + Lunar::dateText(hit.date);
    showText(RzLabel3, QStringLiteral("日期：") + date);
    zjMemo2->setPlainText(hit.text);
}

void TzjForm::pageHit(bool forward)
{
    if (forward)
        zjQuery1->next();
    else
        zjQuery1->prior();
    save1->setEnabled(false);
    setEditable(zjMemo2, false);
    showHit();
    const ViewsLogic::HitButtons paging = ViewsLogic::hitButtons(zjQuery1->recNo(), m_hits);
    priorButton->setEnabled(paging.prior);
    nextButton->setEnabled(paging.next);
}

void TzjForm::priorButtonClick()
{
    pageHit(false);
}

void TzjForm::nextButtonClick()
{
    pageHit(true);
}

void TzjForm::edit1Click()
{
    setEditable(zjMemo2, true);
    save1->setEnabled(true);
}

void TzjForm::save1Click()
{
    const WorkNote hit = ScheduleData::currentWorkNote(*zjQuery1);
    ScheduleData::storeWorkNote(*zjQuery, hit.date, zjMemo2->toPlainText());
    Dialogs::instance().message(this, savedMessage);
    ScheduleData::refreshWorkNotes(*zjQuery1, *zjQuery);
    setEditable(zjMemo2, false);
    save1->setEnabled(false);
}

void TzjForm::RzPageControl1Change()
{
    resetSearchTab();
}

void TzjForm::resetSearchTab()
{
    showText(RzLabel2, QString());
    showText(RzLabel3, QString());
    zjMemo2->clear();
    setEditable(zjMemo2, false);
    keywordEdit->clear();
    for (QPushButton* b : {priorButton, nextButton, edit1, save1})
        b->setEnabled(false);
}
