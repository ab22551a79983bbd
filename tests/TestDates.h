#pragma once

#include <QDate>
#include <QList>
#include <QString>

// Dates written as ISO text, for tables of expected dates.
inline QDate d(const char* iso)
{
    return QDate::fromString(QLatin1String(iso), Qt::ISODate);
}

inline QList<QDate> dates(const char* isoList)
{
    QList<QDate> out;
    for (const QString& s :
         QString::fromLatin1(isoList).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out << QDate::fromString(s, Qt::ISODate);
    return out;
}
