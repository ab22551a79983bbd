#include "platform/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {
qint64 failAfter = -1;
} // namespace

namespace SafeFile {

QString replace(const QString& path, const QByteArray& bytes)
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
    while (done < bytes.size()) {
        qint64 chunk = bytes.size() - done;
        if (failAfter >= 0 && done + chunk > failAfter)
            chunk = qMax<qint64>(0, failAfter - done);
        const qint64 n = chunk > 0 ? out.write(bytes.constData() + done, chunk) : -1;
        if (n <= 0) {
            failure =
                n < 0 && chunk > 0 ? out.errorString() : QStringLiteral("No space left on device");
            break;
        }
        done += n;
    }
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

void failWritesAfter(qint64 bytes)
{
    failAfter = bytes;
}

} // namespace SafeFile
