#include "platform/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
qint64 failAfter = -1;

QString notRegular()
{
    return QStringLiteral("Not a regular file");
}

QString tooLarge(qint64 limit)
{
    return QStringLiteral("The file is larger than %1 MB").arg(limit >> 20);
}
} // namespace

namespace SafeFile {

QString replace(const QString& path, const std::function<void(const Sink&)>& produce)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QString madeNot = makeFolder(folder);
    if (!madeNot.isEmpty())
        return madeNot;
    // The save file writes where a link points, and would give a new file the
    // umask's mode and an old one its own, however open.
    mode_t mode = 0600;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        mode = st.st_mode & 0600;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    if (::fchmod(out.handle(), mode) != 0) {
        const QString why = qt_error_string(errno);
        out.cancelWriting();
        return why;
    }
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

QString makeFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const auto failed = [&clean] {
        return QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(clean));
    };
    if (QFileInfo(clean).isDir())
        return QString();
    int from = 1;
    for (;;) {
        const int slash = clean.indexOf(QLatin1Char('/'), from);
        const QString step = slash < 0 ? clean : clean.left(slash);
        const QByteArray name = QFile::encodeName(step);
        if (::mkdir(name.constData(), 0700) == 0) {
            ::chmod(name.constData(), 0700); // whatever the umask took away
        } else if (errno != EEXIST) {
            return failed();
        }
        if (slash < 0)
            break;
        from = slash + 1;
    }
    return QFileInfo(clean).isDir() ? QString() : failed();
}

void keepPrivate(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || st.st_uid != ::geteuid() || !(st.st_mode & 077))
        return;
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
        ::chmod(name.constData(), st.st_mode & 0700);
}

QString read(const QString& path, QByteArray* bytes, qint64 limit)
{
    bytes->clear();
    const QByteArray name = QFile::encodeName(path);
    // Looked at before it is opened: opening a FIFO waits for a writer, and
    // a device may do something on being opened.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return qt_error_string(errno);
    if (!S_ISREG(st.st_mode))
        return notRegular();
    // It may be another file by now: the open never waits, and the file it
    // opened is looked at again.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return qt_error_string(errno);
    QString failure;
    if (::fstat(fd, &st) != 0)
        failure = qt_error_string(errno);
    else if (!S_ISREG(st.st_mode))
        failure = notRegular();
    else if (st.st_size > limit)
        failure = tooLarge(limit);
    else
        bytes->reserve(qsizetype(st.st_size));
    char buffer[64 * 1024];
    while (failure.isEmpty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failure = qt_error_string(errno);
        else if (n == 0)
            break;
        else if (bytes->size() + n > limit)
            failure = tooLarge(limit); // it grew while being read
        else
            bytes->append(buffer, n);
    }
    ::close(fd);
    if (!failure.isEmpty())
        bytes->clear();
    return failure;
}

void failWritesAfter(qint64 bytes)
{
    failAfter = bytes;
}

} // namespace SafeFile
