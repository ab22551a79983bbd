#pragma once

#include "shell/ScheduleLoading.h"
#include "shell/data/dataForm.h"

#include <QWidget>
#include <memory>

class LimitedMemo;
class QLabel;
class QPushButton;

namespace Ui {
class TtjbzForm;
}

// The note window: a schedule's title, date and time, and its note to write,
// change or clear. Created at start, hidden when closed, reused; the opener
// sets scheduleId and shows it modally.
class TtjbzForm : public QWidget {
    Q_OBJECT
public:
    explicit TtjbzForm(QWidget* parent = nullptr);
    ~TtjbzForm() override;

    // Controls, by the names the window gives them.
    QLabel* titleLabel = nullptr;
    QLabel* dateLabel = nullptr;
    LimitedMemo* bzMemo = nullptr;
    QPushButton* confirm = nullptr;

    int scheduleId = 0;

    void FormShow();
    void FormActivate();
    void confirmClick();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build();
    bool load(); // false when no row has the id

    std::unique_ptr<Ui::TtjbzForm> ui;
    WindowQuery rcQuery;
    ScheduleLoading m_loading{this, [this] {
                                  return load();
                              }};
};

extern TtjbzForm* tjbzForm;
