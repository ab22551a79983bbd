#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

// How a window that shows one schedule (the modify window, the note window,
// the note popup) loads it: when shown, and again whenever it becomes the
// active window, so that what was typed and not saved goes. Not on the
// return from a failed load's own error box, which would only bring the box
// back for ever. A schedule no row holds any more is said so, and the window
// closes.
class ScheduleLoading {
public:
    // load: fills the window from its row; false when no row has the id.
    ScheduleLoading(QWidget* window, std::function<bool()> load);

    void onShow();
    void onActivation();
    // The row is gone: the message and the closing come after the handler
    // that found it out, not inside its showing.
    void giveUp();

    static QString missingMessage(); // "该日程已不存在！"

private:
    void loadOrGiveUp();

    QPointer<QWidget> m_window;
    std::function<bool()> m_load;
    bool m_loadFailed = false;
    bool m_givingUp = false;
};
