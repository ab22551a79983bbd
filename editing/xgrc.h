#pragma once

#include "editing/ScheduleFields.h"
#include "shell/ScheduleLoading.h"
#include "shell/data/dataForm.h"

#include <QWidget>
#include <memory>

class DateEdit;
class LimitedMemo;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class SpinEdit;
class TimeEdit;

namespace Ui {
class TxgrcForm;
}

// The modify window: created at start, hidden when closed, reused. The opener
// sets scheduleId and shows it modally.
class TxgrcForm : public QWidget, public ScheduleFields {
    Q_OBJECT
public:
    explicit TxgrcForm(QWidget* parent = nullptr);
    ~TxgrcForm() override;

    // Controls, by the names the window gives them.
    QTabWidget* PageControl1 = nullptr;
    QWidget* addPage = nullptr;
    QLineEdit* title = nullptr;
    QPushButton* xgConfirm = nullptr;
    QPushButton* RzBitBtn1 = nullptr;

    int scheduleId = 0;

    void addPageShow();
    void FormActivate();
    void xgConfirmClick();
    void RzBitBtn1Click();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build();
    // Fills the controls from the row; false when no row has the id.
    bool load();

    std::unique_ptr<Ui::TxgrcForm> ui;
    WindowQuery rcQuery;
    int m_loadedYxj = 0;
    int m_loadedUnit = 0;
    ScheduleLoading m_loading{this, [this] {
                                  return load();
                              }};
};

extern TxgrcForm* xgrcForm;
