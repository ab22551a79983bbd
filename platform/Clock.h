#pragma once

#include <QDate>
#include <QDateTime>

// The one source of "now": nothing else asks the system for the time, so tests
// can run any handler at any chosen moment.
class Clock {
public:
    static QDateTime now();
    static QDate today() { return now().date(); }

    // Tests: a fixed moment; reset() returns to the system clock.
    static void setNow(const QDateTime& fixed);
    static void reset();
};
