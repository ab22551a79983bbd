#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

// Files the user keeps, replaced whole and atomically: a write that fails
// part way (a full disk, a folder gone) leaves the old file as it was, byte
// for byte, and says so.
namespace SafeFile {
// Writes bytes in place of the file at path, making its folder when missing.
// Returns an empty text on success, else the reason.
QString replace(const QString& path, const QByteArray& bytes);

// Takes the pieces of a text one after another: false once a write has
// failed, when the writer may stop.
using Sink = std::function<bool(QByteArrayView)>;
// The same for a text made while it is written, so that it is never held
// whole: produce hands its pieces to the sink. An exception from produce
// leaves the old file as it was and goes on to the caller.
QString replace(const QString& path, const std::function<void(const Sink&)>& produce);

// Tests: every later write fails once this many bytes have gone out, as on a
// full disk; a negative number ends it.
void failWritesAfter(qint64 bytes);
} // namespace SafeFile
