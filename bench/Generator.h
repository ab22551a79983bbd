#pragma once

#include "platform/Dialogs.h"

#include <QDate>
#include <QElapsedTimer>
#include <QString>
#include <functional>

struct sqlite3;

// Test data for the benchmarks: realistic schedules and work notes written
// straight into a database file of the program's schema, in one transaction.
namespace Generator {
struct Options {
    int schedules = 10000;
    QDate firstDay;    // schedules are spread evenly at random from here...
    int days = 3650;   // ...over this many days
    int workNotes = 0; // one per day, ending today
    QDate today;
    quint32 seed = 20261209;
};

// Creates (or replaces) the database file and fills it.
void createDatabase(const QString& path, const Options& options);

// Ten years around today (five back, five ahead).
Options aroundToday(int schedules, const QDate& today);
// Only from today on, as the tree shows them.
Options fromToday(int schedules, const QDate& today, int days = 3650);

sqlite3* openBare(const QString& path); // bare SQLite, with the program's pragmas
int countRows(const QString& path);     // schedules in the file

// The real dialogs, but nothing may wait for a click: messages and errors
// go to the console.
class ConsoleDialogs : public WidgetDialogs {
public:
    void message(QWidget*, const QString& text) override;
    void error(QWidget*, const QString& text) override;
};

// Best of `runs` timings of fn, in milliseconds.
double bestOf(int runs, const std::function<void()>& fn);
void printRow(const QString& what, double ours, double bare);
} // namespace Generator
