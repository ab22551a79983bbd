#include "platform/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {
qint64 failAfter = -1;
} // namespace

namespace SafeFile {

QString replace(const QString& path, const std::function<void(const Sink&)>& produce)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(folder));
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    // The save file would commit a short temporary file after a failed
    // write: every write and the flush are checked before the commit.
    qint64 done = 0;
    QString failure;
    const Sink sink = [&](QByteArrayView bytes) {
        qint64 at = 0;
        while (failure.isEmpty() && at < bytes.size()) {
            qint64 chunk = bytes.size() - at;
            if (failAfter >= 0 && done + chunk > failAfter)
                chunk = qMax<qint64>(0, failAfter - done);
            const qint64 n = chunk > 0 ? out.write(bytes.data() + at, chunk) : -1;
            if (n <= 0) {
                failure = n < 0 && chunk > 0 ? out.errorString()
                                             : QStringLiteral("No space left on device");
                break;
            }
            at += n;
            done += n;
        }
        return failure.isEmpty();
    };
    produce(sink); // the save file is discarded when this throws
    if (failure.isEmpty() && !out.flush())
        failure = out.errorString();
    if (!failure.isEmpty()) {
        out.cancelWriting();
        return failure;
    }
    if (!out.commit())
        return out.errorString();
    return QString();
}

QString replace(const QString& path, const QByteArray& bytes)
{
    return replace(path, [&](const Sink& sink) { sink(bytes); });
}

void failWritesAfter(qint64 bytes)
{
    failAfter = bytes;
}

} // namespace SafeFile
