#include "editing/ScheduleFields.h"

#include "shell/Forms.h"
#include "widgets/SpinEdit.h"
#include "widgets/TextLimits.h"

#include <QCheckBox>
#include <QComboBox>

void ScheduleFields::wire(QWidget* window)
{
    yxj->addItems(Codes::priorityCaptions());
    tx_time_flag->addItems(Codes::unitCaptions());
    content->setMaxBytes(contentBytes);
    Forms::connect(tx_check, &QCheckBox::clicked, window, [this] { tx_checkClick(); });
}

void ScheduleFields::tx_checkClick()
{
    tx_time_edit->setEnabled(tx_check->isChecked());
    tx_time_flag->setEnabled(tx_check->isChecked());
}

void ScheduleFields::setReminder(bool on)
{
    tx_check->setChecked(on);
    tx_checkClick();
}
