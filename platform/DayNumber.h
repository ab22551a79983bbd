#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

// Dates are stored as day numbers counted from 1899-12-30, the time of day
// being the fraction, so that equality, order and "date + N" keep their meaning.
namespace DayNumber {
inline const QDate epoch()
{
    return QDate(1899, 12, 30);
}

double fromDate(const QDate& date);
double fromTime(const QTime& time);
double fromDateTime(const QDateTime& dateTime);

QDate toDate(double dayNumber);
QTime toTime(double dayNumber); // the fraction only, to the millisecond
QDateTime toDateTime(double dayNumber);
} // namespace DayNumber
