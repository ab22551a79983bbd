#include "editing/cfsz.h"

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "shell/Application.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QScreen>
#include <QShowEvent>

TcfszForm* cfszForm = nullptr;

TcfszForm::TcfszForm(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(446, 288);
    dayEdit->setTypingAllowed(false);

    m_mode = new QButtonGroup(this);
    m_mode->addButton(RadioGroup1_0, 0);
    m_mode->addButton(RadioGroup1_1, 1);
    m_mode->addButton(RadioGroup1_2, 2);
    m_mode->addButton(RadioGroup1_3, 3);
    m_range = new QButtonGroup(this);
    m_range->addButton(RadioGroup2_0, 0);
    m_range->addButton(RadioGroup2_1, 1);

    connect(m_mode, &QButtonGroup::idClicked, this, &TcfszForm::RadioGroup1Click);
    connect(m_range, &QButtonGroup::idClicked, this, &TcfszForm::RadioGroup2Click);
    connect(monthCheckBox, &QCheckBox::clicked, this, &TcfszForm::monthCheckBoxClick);
    connect(cfksdate, &DateEdit::dateChanged, this, &TcfszForm::cfksdateChange);
    connect(cfjsdate, &DateEdit::dateChanged, this, &TcfszForm::cfjsdateChange);
    connect(confirmButton, &QPushButton::clicked, this, &TcfszForm::confirmButtonClick);
    connect(RzBitBtn3, &QPushButton::clicked, this, &TcfszForm::RzBitBtn3Click);
}

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
        if (const QScreen* s = screen()) {
            QRect r = frameGeometry();
            r.moveCenter(s->availableGeometry().center());
            move(r.topLeft());
        }
        // Guarded here: an error must not stop the showing.
        runGuarded([this] { FormShow(); });
    }
    QWidget::showEvent(event);
}

void TcfszForm::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
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
}

void TcfszForm::RadioGroup1Click()
{
    const int mode = RadioGroup1Index();
    dayPanel->setVisible(mode == RepeatSettings::Daily);
    weekPanel->setVisible(mode == RepeatSettings::Weekly);
    monthPanel->setVisible(mode == RepeatSettings::Monthly);
    yearPanel->setVisible(mode == RepeatSettings::Yearly);
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
    Desktop::openDocument(QStringLiteral("help.chm"));
}

void TcfszForm::readBack(RepeatSettings& r)
{
    r.cfMode = RadioGroup1Index();
    switch (r.cfMode) {
    case RepeatSettings::Daily:
        r.cfDays = dayEdit->readValue();
        break;
    case RepeatSettings::Weekly: {
        r.cfWeekdays.clear();
        const QCheckBox* boxes[] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4,
                                    CheckBox5, CheckBox6, CheckBox7};
        for (int k = 1; k <= 7; ++k)
            if (boxes[k - 1]->isChecked())
                r.cfWeekdays.insert(k);
        break;
    }
    case RepeatSettings::Monthly:
        r.cfMonthDay = monthEdit->readValue();
        r.cfMonthLast = monthCheckBox->isChecked() ? 1 : 0;
        break;
    case RepeatSettings::Yearly:
        r.cfYearMonth = yearComboBox->currentIndex() + 1;
        r.cfYearDay = yearEdit->readValue();
        break;
    }
    r.cfStart = cfksdate->date();
    r.cfEnd = cfjsdate->date();
    r.cfCount = cfcsEdit->readValue();
    r.cfRangeKind = RadioGroup2Index();
}
