#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

// Files the user keeps, replaced whole and atomically: a write that fails
// part way (a full disk, a folder gone) leaves the old file as it was, byte
// for byte, and says so. They hold the user's data alone: a file made here is
// 0600 and a folder 0700, whatever the process umask.
namespace SafeFile {
// Writes bytes in place of the file at path, making its folder when missing.
// A new file is 0600; one that exists keeps its mode where that is narrower,
// never more than 0600. Returns an empty text on success, else the reason.
QString replace(const QString& path, const QByteArray& bytes);

// Takes the pieces of a text one after another: false once a write has
// failed, when the writer may stop.
using Sink = std::function<bool(QByteArrayView)>;
// The same for a text made while it is written, so that it is never held
// whole: produce hands its pieces to the sink. An exception from produce
// leaves the old file as it was and goes on to the caller.
QString replace(const QString& path, const std::function<void(const Sink&)>& produce);

// Makes the folder and any missing folder above it, each 0700 (folders that
// exist keep their modes). Returns an empty text on success, else the reason.
QString makeFolder(const QString& path);

// Takes from a file or folder of the user's every access of the group and of
// others (a data file of an older install). Anything else is left alone.
void keepPrivate(const QString& path);

// Beyond any sane size of a settings or list file.
constexpr qint64 readLimit = qint64(64) << 20;

// Reads a regular file whole into bytes. Anything else (a FIFO, a device, a
// folder) and a file larger than limit are refused without blocking or
// reading on. Returns an empty text on success, else the reason.
QString read(const QString& path, QByteArray* bytes, qint64 limit = readLimit);

// Tests: every later write fails once this many bytes have gone out, as on a
// full disk; a negative number ends it.
void failWritesAfter(qint64 bytes);
} // namespace SafeFile
