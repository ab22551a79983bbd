#pragma once

#include "shell/data/Schedules.h"

class DateEdit;
class LimitedMemo;
class QCheckBox;
class QComboBox;
class QWidget;
class SpinEdit;
class TimeEdit;

// The fields of a schedule that the add and the modify window share, by the
// names both give them, and what both do with them.
struct ScheduleFields {
    LimitedMemo* content = nullptr;
    DateEdit* date_value = nullptr;
    TimeEdit* time_value = nullptr;
    QComboBox* yxj = nullptr;
    QCheckBox* tx_check = nullptr;
    SpinEdit* tx_time_edit = nullptr;
    QComboBox* tx_time_flag = nullptr;

    static constexpr int titleBytes = fieldOf(&Schedule::title).maxBytes;
    static constexpr int contentBytes = fieldOf(&Schedule::content).maxBytes;

    // The fields of a window's generated form; wires 提醒 and the limits.
    template <class Form> void takeFields(Form& ui, QWidget* window)
    {
        content = ui.content;
        date_value = ui.date_value;
        time_value = ui.time_value;
        yxj = ui.yxj;
        tx_check = ui.tx_check;
        tx_time_edit = ui.tx_time_edit;
        tx_time_flag = ui.tx_time_flag;
        wire(window);
    }

    // The lead and its unit are enabled while 提醒 is checked.
    void tx_checkClick();
    void setReminder(bool on);

private:
    void wire(QWidget* window);
};
