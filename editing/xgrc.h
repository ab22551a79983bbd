#pragma once

#include "ui_xgrc.h"

#include <QWidget>
#include <memory>

class DbConnection;
class DbQuery;

// The modify window: created at start, hidden when closed, reused. The opener
// sets scheduleId and shows it modally.
class TxgrcForm : public QWidget, public Ui::TxgrcForm {
    Q_OBJECT
public:
    explicit TxgrcForm(QWidget* parent = nullptr);
    ~TxgrcForm() override;

    int scheduleId = 0;

    void addPageShow();
    void FormActivate();
    void tx_checkClick();
    void xgConfirmClick();
    void RzBitBtn1Click();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    DbQuery& rcQuery();
    DbQuery& openRow(); // the schedule named by scheduleId, on rcQuery
    // Fills the controls from the row; false when no row has the id.
    bool load();
    void loadOrGiveUp();
    void giveUpMissing();

    std::unique_ptr<DbQuery> m_rcQuery;
    DbConnection* m_queryConnection = nullptr;
    bool m_loadFailed = false;
    bool m_givingUp = false;
};

extern TxgrcForm* xgrcForm;
