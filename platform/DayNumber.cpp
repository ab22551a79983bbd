#include "platform/DayNumber.h"

#include <cmath>

namespace DayNumber {

double fromDate(const QDate& date)
{
    return double(epoch().daysTo(date));
}

double fromTime(const QTime& time)
{
    return time.msecsSinceStartOfDay() / 86400000.0;
}

double fromDateTime(const QDateTime& dateTime)
{
    return fromDate(dateTime.date()) + fromTime(dateTime.time());
}

QDate toDate(double dayNumber)
{
    return epoch().addDays(qint64(std::trunc(dayNumber)));
}

QTime toTime(double dayNumber)
{
    const double fraction = std::fabs(dayNumber - std::trunc(dayNumber));
    qint64 ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000)
        ms = 86400000 - 1;
    return QTime::fromMSecsSinceStartOfDay(int(ms));
}

QDateTime toDateTime(double dayNumber)
{
    return QDateTime(toDate(dayNumber), toTime(dayNumber));
}

} // namespace DayNumber
