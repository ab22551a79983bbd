#include "shell/ScheduleLoading.h"

#include "platform/Dialogs.h"
#include "shell/Application.h"

#include <QTimer>

ScheduleLoading::ScheduleLoading(QWidget* window, std::function<bool()> load)
    : m_window(window)
    , m_load(std::move(load))
{}

QString ScheduleLoading::missingMessage()
{
    return QStringLiteral("该日程已不存在！");
}

void ScheduleLoading::onShow()
{
    loadOrGiveUp();
}

void ScheduleLoading::onActivation()
{
    if (!m_window || !m_window->isVisible() || m_givingUp)
        return;
    if (m_loadFailed) {
        m_loadFailed = false;
        return;
    }
    loadOrGiveUp();
}

void ScheduleLoading::loadOrGiveUp()
{
    // Set while loading: an error leaves it set, for the activation that
    // comes back from the error box.
    m_loadFailed = true;
    const bool found = m_load();
    m_loadFailed = false;
    if (!found)
        giveUp();
}

void ScheduleLoading::giveUp()
{
    if (m_givingUp || !m_window)
        return;
    m_givingUp = true;
    QWidget* window = m_window;
    QTimer::singleShot(0, window, [this, window] {
        runGuarded(
            [window] {
                Dialogs::instance().message(window, missingMessage());
                window->close();
            },
            window);
        m_givingUp = false;
    });
}
