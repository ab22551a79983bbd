#pragma once

#include <QDateTime>
#include <QString>

// Putting a backup in the place of the database.
namespace Restore {
// The tables a copy must hold to be taken for the program's database.
QStringList requiredTables();

// Checks the copy (the engine's integrity check and the tables), refuses
// while the program runs, keeps the current file (and its journal) as
// "<database>.before-restore-<date-time>" and puts the copy in its place.
// Returns the name the current file was kept under, empty when there was
// none. Raises AppError, and then nothing has changed.
QString restore(const QString& backup, const QString& database, const QDateTime& now);
} // namespace Restore
