#pragma once

#include <QDateTime>
#include <QPoint>
#include <QSize>
#include <QString>

struct Schedule;

// The reminder's decisions, apart from any window: what is due, where the
// reminder window goes and what it says.
namespace ReminderLogic {
// The lead in minutes: tx_time by its unit (1, 60, and 1440 for any other code).
qint64 leadMinutes(int txTime, int txTimeFlag);
// Whole minutes from now to the schedule's moment, truncated toward zero.
qint64 minutesLeft(const QDateTime& moment, const QDateTime& now);
// A not-finished schedule with its reminder on is due while fewer than its
// lead minutes, but at least one whole minute, remain.
bool isDue(const Schedule& s, const QDateTime& now);

// The reminder window's top-left: centred for txWin_Pos 1, otherwise in the
// bottom-right corner above a taskbar of 25 pixels.
QPoint placement(const QSize& screen, const QSize& window, int txWinPos);

// A list item: the date-and-time text filled with blanks to 25 bytes of the
// Chinese code page, three blanks, the title.
QString itemText(const QString& dateTimeText, const QString& title);
// A line of the desktop notice of a list: the date-and-time text, a blank
// and the title, whose line breaks become blanks (one schedule, one line).
QString noticeLine(const QString& dateTimeText, const QString& title);
// The sound file to play: a stored absolute path as it stands, a relative
// one in the program folder (which ends in '/').
QString soundPath(const QString& stored, const QString& programDir);

// The day summary's two lines.
QString todayText(int count);
QString yesterdayText(int completed, int notCompleted);

// Notices the wall clock moving against the monotonic one (a suspend, or the
// clock being set) by more than a minute between two looks.
class ClockJump {
public:
    bool look(qint64 wallMs, qint64 monotonicMs);

private:
    bool m_seen = false;
    qint64 m_offset = 0;
};
} // namespace ReminderLogic
