#pragma once

#include "editing/ScheduleFields.h"
#include "editing/Series.h"

#include <QDate>
#include <QWidget>
#include <memory>

class DateEdit;
class LimitedMemo;
class QCheckBox;
class QComboBox;
class QPushButton;
class QTabWidget;
class SpinEdit;
class TimeEdit;

namespace Ui {
class TaddrcForm;
}

// The add window: one schedule, or a repeated series, at a time. Created on
// demand behind addrcForm, shown modally, destroyed when closed.
class TaddrcForm : public QWidget, public ScheduleFields {
    Q_OBJECT
public:
    explicit TaddrcForm(QWidget* parent = nullptr);
    ~TaddrcForm() override;

    // Controls, by the names the window gives them.
    QTabWidget* PageControl1 = nullptr;
    QWidget* addPage = nullptr;
    QComboBox* title = nullptr;
    QCheckBox* cfszCheckBox = nullptr;
    QPushButton* cfsz = nullptr;
    QPushButton* addConfirm = nullptr;
    QPushButton* RzBitBtn1 = nullptr;

    // Filled by 设置, reset when the page is shown and after each add.
    RepeatSettings cfSettings;

    void addPageShow();
    void cfszCheckBoxClick();
    void cfszClick();
    void addConfirmClick();
    void insertRc(const QDate& date);
    void RzBitBtn1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void resetForNext();

    std::unique_ptr<Ui::TaddrcForm> ui;
    bool m_placed = false;
};

extern TaddrcForm* addrcForm;
