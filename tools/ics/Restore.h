#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

// Putting a backup in the place of the database.
namespace Restore {
// The tables a copy must hold to be taken for the program's database.
QStringList requiredTables();

// Checks the copy (the engine's integrity check and the tables), refuses
// while the program (or another restore) runs on the database or another
// program has it open, brings the database's journal into it, keeps it as
// "<database>.before-restore-<date-time>" (a second name for the same file,
// or a copy where the file system has no hard links) and puts the copy in its
// place with one rename: at every moment the database is the old or the new
// one. Returns the name the current file was kept under, empty when there
// was none. Raises AppError, and then the database has not changed.
QString restore(const QString& backup, const QString& database, const QDateTime& now);

// Tests: called as each step is done ("checked", "aside", "replaced"), where
// a test may end the process as a crash would; and a file system without
// hard links.
void setStepHook(std::function<void(const char* step)> hook);
void setHardLinks(bool available);
} // namespace Restore
