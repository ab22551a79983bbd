#pragma once

#include "shell/ScheduleLoading.h"
#include "shell/data/dataForm.h"

#include <QPoint>
#include <QWidget>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace Ui {
class TshowbzForm;
}

// The note popup: a frameless window showing a schedule's note, moved by
// its top strip. Created at start, hidden when closed; the query window sets
// scheduleId and shows it modally.
class TshowbzForm : public QWidget {
    Q_OBJECT
public:
    explicit TshowbzForm(QWidget* parent = nullptr);
    ~TshowbzForm() override;

    // Controls, by the names the window gives them.
    QLabel* RzLabel1; // the title strip
    QLabel* Label1 = nullptr;
    QPushButton* RzBitBtn1 = nullptr;
    QPlainTextEdit* bzMemo = nullptr;

    int scheduleId = 0;

    void FormShow();
    void RzBitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    std::unique_ptr<Ui::TshowbzForm> ui;
    WindowQuery rcQuery;
    bool m_dragging = false;
    QPoint m_grip; // where the strip was taken, from the window's corner
    ScheduleLoading m_loading{this, [] {
                                  return true;
                              }};
};

extern TshowbzForm* showbzForm;
