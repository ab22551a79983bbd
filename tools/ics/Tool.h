#pragma once

#include <QStringList>

// brenwick-ics: the command line over the calendar exchange and the restore.
// Arguments without the program's name; returns the exit code. Output goes
// to standard output, errors as one line to standard error.
int runIcsTool(const QStringList& arguments);

// The database used without --database: the program's own.
QString defaultDatabase();

// The text of --help.
QString icsHelp();
