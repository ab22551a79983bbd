#pragma once

#include "editing/Series.h"
#include "ui_addrc.h"

#include <QDate>
#include <QWidget>

// The add window: one schedule, or a repeated series, at a time. Created on
// demand behind addrcForm, shown modally, destroyed when closed.
class TaddrcForm : public QWidget, public Ui::TaddrcForm {
    Q_OBJECT
public:
    explicit TaddrcForm(QWidget* parent = nullptr);
    ~TaddrcForm() override;

    // Filled by 设置, reset when the page is shown and after each add.
    RepeatSettings cfSettings;

    void addPageShow();
    void tx_checkClick();
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
    void centreOnScreen();

    bool m_placed = false;
};

extern TaddrcForm* addrcForm;
