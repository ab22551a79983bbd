#pragma once

#include "editing/Series.h"

#include <QWidget>
#include <memory>

class DateEdit;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
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
    QRadioButton* RadioGroup1_0;
    QRadioButton* RadioGroup1_1;
    QRadioButton* RadioGroup1_2;
    QRadioButton* RadioGroup1_3;
    QFrame* dayPanel;
    SpinEdit* dayEdit;
    QFrame* weekPanel;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox6;
    QCheckBox* CheckBox7;
    QFrame* monthPanel;
    SpinEdit* monthEdit;
    QCheckBox* monthCheckBox;
    QFrame* yearPanel;
    QComboBox* yearComboBox;
    SpinEdit* yearEdit;
    DateEdit* cfksdate;
    QRadioButton* RadioGroup2_0;
    QRadioButton* RadioGroup2_1;
    SpinEdit* cfcsEdit;
    DateEdit* cfjsdate;
    QPushButton* confirmButton;
    QPushButton* RzBitBtn3;

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
    std::unique_ptr<Ui::TcfszForm> ui;
    QButtonGroup* m_mode;
    QButtonGroup* m_range;
    RepeatSettings* m_target = nullptr;
};

extern TcfszForm* cfszForm;
