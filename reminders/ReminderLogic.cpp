#include "reminders/ReminderLogic.h"

#include "platform/Cp936.h"
#include "shell/data/Schedules.h"

#include <QDir>

namespace ReminderLogic {

qint64 leadMinutes(int txTime, int txTimeFlag)
{
    return qint64(txTime) * Codes::unitMinutes(txTimeFlag);
}

qint64 minutesLeft(const QDateTime& moment, const QDateTime& now)
{
    // Counted as the stored values are, in local days and times of day: no
    // time zone or daylight-saving shift enters.
    const qint64 ms =
        now.date().daysTo(moment.date()) * 86'400'000 + now.time().msecsTo(moment.time());
    return ms / 60'000; // truncates toward zero
}

bool isDue(const Schedule& s, const QDateTime& now)
{
    if (s.isTx != 1 || (s.ztFlag != 1 && s.ztFlag != 2))
        return false;
    const qint64 left = minutesLeft(s.moment(), now);
    return left > 0 && left < leadMinutes(s.txTime, s.txTimeFlag);
}

QPoint placement(const QSize& screen, const QSize& window, int txWinPos)
{
    if (txWinPos == 1)
        return {screen.width() / 2 - window.width() / 2, screen.height() / 2 - window.height() / 2};
    return {screen.width() - window.width() - 1, screen.height() - window.height() - 25};
}

QString itemText(const QString& dateTimeText, const QString& title)
{
    QString text = dateTimeText;
    const int bytes = Cp936::byteLength(text);
    if (bytes < 25)
        text += QString(25 - bytes, QLatin1Char(' '));
    return text + QStringLiteral("   ") + title;
}

QString noticeLine(const QString& dateTimeText, const QString& title)
{
    QString line = title;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (const QChar brk : {QChar(u'\n'), QChar(u'\r'), QChar(0x85), QChar(0x2028), QChar(0x2029)})
        line.replace(brk, QLatin1Char(' '));
    return dateTimeText + QLatin1Char(' ') + line;
}

QString soundPath(const QString& stored, const QString& programDir)
{
    const QString name = Cp936::trimmed(stored);
    return QDir::isAbsolutePath(name) ? name : programDir + name;
}

QString todayText(int count)
{
    if (count == 0)
        return QStringLiteral("您还没有安排今天的日程。");
    return QStringLiteral("今天共有") + QString::number(count) + QStringLiteral("个日程。");
}

QString yesterdayText(int completed, int notCompleted)
{
    return QStringLiteral("昨天共完成") + QString::number(completed) +
           QStringLiteral("个日程，有") + QString::number(notCompleted) +
           QStringLiteral("个日程没有完成。");
}

bool ClockJump::look(qint64 wallMs, qint64 monotonicMs)
{
    const qint64 offset = wallMs - monotonicMs;
    const bool jumped = m_seen && qAbs(offset - m_offset) > 60'000;
    m_seen = true;
    m_offset = offset;
    return jumped;
}

} // namespace ReminderLogic
