#include "editing/cfsz.h"

#include "lunar/LunarText.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "shell/Forms.h"
#include "ui_cfsz.h"
#include "widgets/DateTimeEdits.h"
#include "widgets/SpinEdit.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QShowEvent>

TcfszForm* cfszForm = nullptr;

TcfszForm::TcfszForm(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TcfszForm>())
{
    // Built once the main window is on screen (or at once, in tests): the
    // start shows nothing of it.
    Forms::build(this, [this] { build(); });
}

void TcfszForm::build()
{
    ui->setupUi(this);
    Forms::markAsForm(this);
    Forms::closeOnEscape(this);
    RadioGroup1_0 = ui->RadioGroup1_0;
    RadioGroup1_1 = ui->RadioGroup1_1;
    RadioGroup1_2 = ui->RadioGroup1_2;
    RadioGroup1_3 = ui->RadioGroup1_3;
    RadioGroup1_4 = ui->RadioGroup1_4;
    dayPanel = ui->dayPanel;
    dayEdit = ui->dayEdit;
    weekPanel = ui->weekPanel;
    CheckBox1 = ui->CheckBox1;
    CheckBox2 = ui->CheckBox2;
    CheckBox3 = ui->CheckBox3;
    CheckBox4 = ui->CheckBox4;
    CheckBox5 = ui->CheckBox5;
    CheckBox6 = ui->CheckBox6;
    CheckBox7 = ui->CheckBox7;
    monthPanel = ui->monthPanel;
    monthEdit = ui->monthEdit;
    monthCheckBox = ui->monthCheckBox;
    yearPanel = ui->yearPanel;
    yearComboBox = ui->yearComboBox;
    yearEdit = ui->yearEdit;
    lunarPanel = ui->lunarPanel;
    lunarMonthComboBox = ui->lunarMonthComboBox;
    lunarDayLabel = ui->lunarDayLabel;
    cfksdate = ui->cfksdate;
    RadioGroup2_0 = ui->RadioGroup2_0;
    RadioGroup2_1 = ui->RadioGroup2_1;
    cfcsEdit = ui->cfcsEdit;
    cfjsdate = ui->cfjsdate;
    confirmButton = ui->confirmButton;
    RzBitBtn3 = ui->RzBitBtn3;

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(446, 306);
    Forms::nameInputsByLabels(this);
    dayEdit->setTypingAllowed(false);

    m_mode = new QButtonGroup(this);
    m_mode->addButton(RadioGroup1_0, 0);
    m_mode->addButton(RadioGroup1_1, 1);
    m_mode->addButton(RadioGroup1_2, 2);
    m_mode->addButton(RadioGroup1_3, 3);
    m_mode->addButton(RadioGroup1_4, 4);
    m_range = new QButtonGroup(this);
    m_range->addButton(RadioGroup2_0, 0);
    m_range->addButton(RadioGroup2_1, 1);

    Forms::connect(m_mode, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    Forms::connect(m_range, &QButtonGroup::idClicked, this, [this] { RadioGroup2Click(); });
    Forms::connect(monthCheckBox, &QCheckBox::clicked, this, [this] { monthCheckBoxClick(); });
    Forms::connect(cfksdate, &DateEdit::dateChanged, this, [this] { cfksdateChange(); });
    Forms::connect(cfjsdate, &DateEdit::dateChanged, this, [this] { cfjsdateChange(); });
    // After the date checks above, so that the choices follow the dates kept.
    Forms::connect(cfksdate, &DateEdit::dateChanged, this, [this] { lunarChoicesChange(); });
    Forms::connect(cfjsdate, &DateEdit::dateChanged, this, [this] { lunarChoicesChange(); });
    Forms::connect(cfcsEdit, &SpinEdit::valueChanged, this, [this] { lunarChoicesChange(); });
    Forms::connect(m_range, &QButtonGroup::idClicked, this, [this] { lunarChoicesChange(); });
    Forms::connect(confirmButton, &QPushButton::clicked, this, [this] { confirmButtonClick(); });
    Forms::connect(RzBitBtn3, &QPushButton::clicked, this, [this] { RzBitBtn3Click(); });
}

TcfszForm::~TcfszForm() = default;

int TcfszForm::RadioGroup1Index() const
{
    return m_mode->checkedId();
}

int TcfszForm::RadioGroup2Index() const
{
    return m_range->checkedId();
}

void TcfszForm::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        Forms::centreOnScreen(this);
        // Guarded here: an error must not stop the showing.
        runGuarded([this] { FormShow(); }, this);
    }
    QWidget::showEvent(event);
}

void TcfszForm::closeEvent(QCloseEvent* event)
{
    // Closing takes the values over; a field that cannot be read keeps the
    // window open, and the add window's settings as they were.
    if (m_target) {
        RepeatSettings read = *m_target;
        if (!runGuarded([&] { readBack(read); }, this)) {
            event->ignore();
            return;
        }
        *m_target = read;
        m_target = nullptr;
    }
    event->accept();
}

void TcfszForm::FormShow()
{
    // Only these are set again; the other controls keep the last showing's values.
    RadioGroup1_0->setChecked(true);
    RadioGroup1Click();
    const QDate today = Clock::today();
    monthEdit->setValue(today.day());
    yearComboBox->setCurrentIndex(today.month() - 1);
    yearEdit->setValue(today.day());
    cfksdate->setDate(today);
    cfjsdate->setDate(cfksdate->date().addDays(cfcsEdit->readValue()));
    lunarMonthComboBox->clear(); // the start's own month again
    lunarChoicesChange();
}

void TcfszForm::RadioGroup1Click()
{
    const int mode = RadioGroup1Index();
    dayPanel->setVisible(mode == RepeatSettings::Daily);
    weekPanel->setVisible(mode == RepeatSettings::Weekly);
    monthPanel->setVisible(mode == RepeatSettings::Monthly);
    yearPanel->setVisible(mode == RepeatSettings::Yearly);
    lunarPanel->setVisible(mode == RepeatSettings::LunarYearly);
}

void TcfszForm::lunarChoicesChange()
{
    const QDate start = cfksdate->dateOrNull();
    const QDate end =
        lunarRangeEnd(start, RadioGroup2Index(), cfcsEdit->value(), cfjsdate->dateOrNull());
    const QVariant chosen = lunarMonthComboBox->currentData();
    const QList<LunarDate> choices = lunarMonthChoices(start, end);
    lunarMonthComboBox->clear();
    // The data: the month, negative for its leap month.
    for (const LunarDate& m : choices)
        lunarMonthComboBox->addItem(Lunar::monthName(m.month, m.leap), m.leap ? -m.month : m.month);
    // None chosen yet: the start's own month, listed first.
    for (int i = 0; chosen.isValid() && i < choices.size(); ++i)
        if (choices[i].leap == (chosen.toInt() < 0))
            lunarMonthComboBox->setCurrentIndex(i);
    lunarDayLabel->setText(choices.isEmpty() ? QString() : Lunar::dayName(choices[0].day));
}

void TcfszForm::RadioGroup2Click()
{
    const bool byCount = RadioGroup2Index() == RepeatSettings::ByCount;
    cfcsEdit->setEnabled(byCount);
    cfjsdate->setEnabled(!byCount);
}

void TcfszForm::monthCheckBoxClick()
{
    monthEdit->setEnabled(!monthCheckBox->isChecked());
}

void TcfszForm::cfksdateChange()
{
    // An emptied field counts as earlier than any date.
    const QDate today = Clock::today();
    if (today > cfksdate->dateOrNull()) {
        Dialogs::instance().message(this, QStringLiteral("重复开始日期不能早于今天!"));
        cfksdate->setDate(today);
    }
}

void TcfszForm::cfjsdateChange()
{
    if (cfksdate->dateOrNull() > cfjsdate->dateOrNull()) {
        Dialogs::instance().message(this, QStringLiteral("重复截止日期不能早于重复开始日期!"));
        cfjsdate->setDate(cfksdate->date().addDays(cfcsEdit->readValue()));
    }
}

void TcfszForm::confirmButtonClick()
{
    close();
}

void TcfszForm::RzBitBtn3Click()
{
    Forms::openHelp(this);
}

void TcfszForm::readBack(RepeatSettings& r)
{
    RepeatSettings read = r;
    read.cfMode = RadioGroup1Index();
    switch (read.cfMode) {
    case RepeatSettings::Daily:
        read.cfDays = dayEdit->readValue();
        break;
    case RepeatSettings::Weekly: {
        read.cfWeekdays.clear();
        const QCheckBox* boxes[] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4,
                                    CheckBox5, CheckBox6, CheckBox7};
        for (int k = 1; k <= 7; ++k)
            if (boxes[k - 1]->isChecked())
                read.cfWeekdays.insert(k);
        break;
    }
    case RepeatSettings::Monthly:
        read.cfMonthDay = monthEdit->readValue();
        read.cfMonthLast = monthCheckBox->isChecked() ? 1 : 0;
        break;
    case RepeatSettings::Yearly:
        read.cfYearMonth = yearComboBox->currentIndex() + 1;
        read.cfYearDay = yearEdit->readValue();
        break;
    case RepeatSettings::LunarYearly: {
        // The month as chosen, the day the start's: outside the lunar
        // calendar both are 0, and the series has no date.
        const int month = lunarMonthComboBox->currentData().toInt();
        read.cfLunarMonth = qAbs(month);
        read.cfLunarLeap = month < 0 ? 1 : 0;
        read.cfLunarDay = Lunar::fromSolar(cfksdate->date()).day;
        break;
    }
    }
    read.cfStart = cfksdate->date();
    read.cfEnd = cfjsdate->date();
    read.cfCount = cfcsEdit->readValue();
    read.cfRangeKind = RadioGroup2Index();
    r = read;
}
