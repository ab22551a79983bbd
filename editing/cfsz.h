#pragma once

#include "editing/Series.h"
#include "ui_cfsz.h"

#include <QWidget>

class QButtonGroup;

// The repeat settings window: created at start, hidden when closed, reused by
// every add window. It has no cancel: closing it always takes its values over.
class TcfszForm : public QWidget, public Ui::TcfszForm {
    Q_OBJECT
public:
    explicit TcfszForm(QWidget* parent = nullptr);

    // Positions of the choices in the two radio groups.
    int RadioGroup1Index() const;
    int RadioGroup2Index() const;

    void FormShow();
    void RadioGroup1Click();
    void RadioGroup2Click();
    void monthCheckBoxClick();
    void cfksdateChange();
    void cfjsdateChange();
    void confirmButtonClick();
    void RzBitBtn3Click();

    // The controls into the record: the fields of the chosen mode, then the
    // start, end, count and range kind whatever the mode.
    void readBack(RepeatSettings& r);

signals:
    // The window is closing, by 确  定 or by its close box.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QButtonGroup* m_mode;
    QButtonGroup* m_range;
};

extern TcfszForm* cfszForm;
