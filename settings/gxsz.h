#pragma once

#include <QWidget>
#include <memory>

class ColorPicker;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class SpinEdit;

namespace Ui {
class TgxszForm;
}

// The personal settings window: every value of the settings store, the
// autostart entry and the plan list. Created on demand behind gxszForm,
// shown modally, loaded when shown, saved by 确定, freed when closed.
class TgxszForm : public QWidget {
    Q_OBJECT
public:
    explicit TgxszForm(QWidget* parent = nullptr);
    ~TgxszForm() override;

    // Controls, by the names the window gives them.
    QTabWidget* managerPageControl;
    QWidget* addPage;
    SpinEdit* minutes;
    QLineEdit* zm;
    QCheckBox* SoundCheckBox;
    QLineEdit* playFileName;
    QPushButton* BrowseFile;
    QCheckBox* AutoRunCheckBox;
    QCheckBox* lunarCheckBox; // 显示农历
    QCheckBox* deletercCheckBox;
    SpinEdit* oldrc_days;
    QGroupBox* txckRadioGroup;
    QRadioButton* txckRadioGroup_0; // 屏幕右下角
    QRadioButton* txckRadioGroup_1; // 屏幕中央
    QWidget* TabSheet1;
    ColorPicker* High_ColorEdit;
    ColorPicker* Middle_ColorEdit;
    ColorPicker* low_ColorEdit;
    QWidget* TabSheet2;
    QLineEdit* planedit;
    QPushButton* SpeedButton1;
    QFrame* GroupBox1;
    QListWidget* plans;
    QPushButton* SpeedButton2;
    QPushButton* confirmButton;
    QPushButton* RzBitBtn1;

    // The radio group's selected item: 0, 1, or -1 for none.
    int txckItemIndex() const;
    void setTxckItemIndex(int index);

    void FormShow();
    void SoundCheckBoxClick();
    void deletercCheckBoxClick();
    void BrowseFileClick();
    void addplanClick();
    void deleteplanClick();
    void confirmButtonClick();
    void RzBitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setSoundEnabled(bool on);

    std::unique_ptr<Ui::TgxszForm> ui;
    QButtonGroup* m_txckGroup;
    bool m_shown = false;
};

extern TgxszForm* gxszForm;
