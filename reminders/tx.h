#pragma once

#include "shell/data/dataForm.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <memory>

class QLabel;
#include "widgets/CheckList.h"
class QTimer;
class QVariantAnimation;

namespace Ui {
class TtxForm;
}

// The reminder window: created at start, hidden when closed, reused. Its
// first showing gives the day summary, every later one the list of what is
// due; closing it switches off the reminders of the items not left checked.
// Its own timer closes it every 20 seconds.
class TtxForm : public QWidget {
    Q_OBJECT
public:
    explicit TtxForm(QWidget* parent = nullptr);
    ~TtxForm() override;

    // Controls, by the names the window gives them.
    CheckList* txCheckList = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QTimer* Timer1 = nullptr;

    // Places the window on the primary screen by txWin_Pos and shows it; a
    // window already shown only comes to the front.
    void placeAndShow(int txWinPos);

    // Handlers, public so that tests run them at any chosen moment.
    void FormShow();  // the window going from hidden to shown
    void FormClose(); // every closing, shown or not
    void Timer1Timer();

    // The schedule ids of the list, one per item in item order.
    const QList<qint64>& ids() const { return m_ids; }

    // The window's outer size in its layout's units: the client area and a
    // frame of 8 by 27 pixels (311 by 150).
    QSize windowSize() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void showDaySummary();
    void showReminderList();
    void notifyDesktop(const QStringList& lines);
    void appear();
    void fadeOut();
    void stopAnimation();
    void reveal(double part);

    std::unique_ptr<Ui::TtxForm> ui;
    QWidget* m_clip = nullptr;
    QWidget* m_content = nullptr;
    WindowQuery remindQuery;
    QList<qint64> m_ids;
    int m_applied = 0; // items of the list whose closing is done
    QPointer<QVariantAnimation> m_animation;
    bool m_fading = false;
};

extern TtxForm* txForm;
