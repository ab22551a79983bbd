#pragma once

#include <QByteArray>
#include <QString>

// Files the user keeps, replaced whole and atomically: a write that fails
// part way (a full disk, a folder gone) leaves the old file as it was, byte
// for byte, and says so.
namespace SafeFile {
// Writes bytes in place of the file at path, making its folder when missing.
// Returns an empty text on success, else the reason.
QString replace(const QString& path, const QByteArray& bytes);

// Tests: every later write fails once this many bytes have gone out, as on a
// full disk; a negative number ends it.
void failWritesAfter(qint64 bytes);
} // namespace SafeFile
