#pragma once

#include "editing/Series.h"

#include <QWidget>
#include <memory>

class DateEdit;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;
class SpinEdit;

namespace Ui {
class TcfszForm;
}

// The repeat settings window: created at start, hidden when closed, reused by
// every add window. It has no cancel: closing it always takes its values over.
class TcfszForm : public QWidget {
    Q_OBJECT
public:
    explicit TcfszForm(QWidget* parent = nullptr);
    ~TcfszForm() override;

    // Controls, by the names the window gives them.
    QRadioButton* RadioGroup1_0 = nullptr;
    QRadioButton* RadioGroup1_1 = nullptr;
    QRadioButton* RadioGroup1_2 = nullptr;
    QRadioButton* RadioGroup1_3 = nullptr;
    QRadioButton* RadioGroup1_4 = nullptr; // 每年农历
    QFrame* dayPanel = nullptr;
    SpinEdit* dayEdit = nullptr;
    QFrame* weekPanel = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QCheckBox* CheckBox6 = nullptr;
    QCheckBox* CheckBox7 = nullptr;
    QFrame* monthPanel = nullptr;
    SpinEdit* monthEdit = nullptr;
    QCheckBox* monthCheckBox = nullptr;
    QFrame* yearPanel = nullptr;
    QComboBox* yearComboBox = nullptr;
    SpinEdit* yearEdit = nullptr;
    QFrame* lunarPanel = nullptr;
    QComboBox* lunarMonthComboBox = nullptr; // the start's month, and its leap month where offered
    QLabel* lunarDayLabel = nullptr;         // the start's lunar day
    DateEdit* cfksdate = nullptr;
    QRadioButton* RadioGroup2_0 = nullptr;
    QRadioButton* RadioGroup2_1 = nullptr;
    SpinEdit* cfcsEdit = nullptr;
    DateEdit* cfjsdate = nullptr;
    QPushButton* confirmButton = nullptr;
    QPushButton* RzBitBtn3 = nullptr;

    // Positions of the choices in the two radio groups.
    int RadioGroup1Index() const;
    int RadioGroup2Index() const;

    // The record the next closing reads the controls back into.
    void editSettings(RepeatSettings* target) { m_target = target; }

    void FormShow();
    void RadioGroup1Click();
    void RadioGroup2Click();
    void monthCheckBoxClick();
    void cfksdateChange();
    void cfjsdateChange();
    // The lunar month and day of the start, again after every change of the
    // start or the range: a leap choice is kept while it is still offered.
    void lunarChoicesChange();
    void confirmButtonClick();
    void RzBitBtn3Click();

    // The controls into the record: the fields of the chosen mode, then the
    // start, end, count and range kind whatever the mode. Every field is read
    // before any is written, so a field that cannot be read changes nothing.
    void readBack(RepeatSettings& r);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    std::unique_ptr<Ui::TcfszForm> ui;
    QButtonGroup* m_mode = nullptr;
    QButtonGroup* m_range = nullptr;
    RepeatSettings* m_target = nullptr;
};

extern TcfszForm* cfszForm;
