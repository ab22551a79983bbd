#include "tools/ics/Restore.h"

#include "platform/AppError.h"
#include "platform/DatabaseBackup.h"
#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::function<void(const char*)> stepHook;
bool hardLinks = true;

void step(const char* name)
{
    if (stepHook)
        stepHook(name);
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool exists(const QString& path)
{
    struct stat st {};
    return ::lstat(encoded(path).constData(), &st) == 0;
}

void removeWithJournals(const QString& path)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

bool syncFile(const QString& path, int flags = O_RDONLY)
{
    const int fd = ::open(encoded(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// A new name of the file, on disk before the next step.
void syncFolderOf(const QString& path)
{
    syncFile(QFileInfo(path).absolutePath(), O_RDONLY | O_DIRECTORY);
}

// Copies from into a new file to, of from's mode where narrower than 0600.
// False, with nothing left at to, on failure; errno EEXIST when to exists.
bool copyFile(const QString& from, const QString& to)
{
    const int in = ::open(encoded(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st {};
    ::fstat(in, &st);
    const int out =
        ::open(encoded(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        errno = error;
        return false;
    }
    ::fchmod(out, st.st_mode & 0600);
    bool ok = true;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            done += qMax<ssize_t>(w, 0);
        }
        if (!ok)
            break;
    }
    ok = ok && ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    if (!ok)
        ::unlink(encoded(to).constData());
    return ok;
}

// A second name for the file (the same file), or where the file system has
// no hard links a copy of it. False, with errno EEXIST when to is taken.
bool keepAs(const QString& from, const QString& to)
{
    if (hardLinks) {
        if (::link(encoded(from).constData(), encoded(to).constData()) == 0)
            return true;
        if (errno == EEXIST)
            return false;
    }
    return copyFile(from, to);
}

// Brings the old database's journal into its file, so that the file alone is
// the whole old database and no journal is left beside it that the engine
// would apply to the new one. False when the old file is no sound database:
// its journal then goes aside with it.
bool settle(const QString& database)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(encoded(database).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    QString message;
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        // The read applies a journal a crash left; the checkpoint empties the WAL.
        rc =
            sqlite3_exec(db, "SELECT count(*) FROM sqlite_master; PRAGMA wal_checkpoint(TRUNCATE);",
                         nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK)
        message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
    sqlite3_close_v2(db); // the last connection removes the WAL and its index
    rc &= 0xff;
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT)
        return false;
    if (rc != SQLITE_OK)
        throw AppError(QStringLiteral("%1: %2（没有恢复）").arg(native(database), message));
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        if (exists(database + QLatin1String(suffix)))
            throw AppError(QStringLiteral("%1 正被另一个程序使用：请先关闭它，再恢复数据库")
                               .arg(native(database)));
    return true;
}
} // namespace

namespace Restore {

QStringList requiredTables()
{
    return {QStringLiteral("main"), QStringLiteral("zjTable")};
}

QString restore(const QString& backup, const QString& database, const QDateTime& now)
{
    if (!QFileInfo(backup).isFile())
        throw AppError(QStringLiteral("%1: 没有这个文件").arg(native(backup)));
    // The running program's own lock, beside the database: held for the
    // whole swap, so that the program cannot start meanwhile either.
    SingleInstance running(QStringLiteral("时雀"), database, QString());
    if (!running.tryBecomePrimary())
        throw AppError(QStringLiteral("时雀正在运行：请先退出它，再恢复数据库"));
    if (!running.lockError().isEmpty())
        throw AppError(QStringLiteral("%1: %2（没有恢复）")
                           .arg(native(running.lockPath()), running.lockError()));
    DatabaseBackup::removeLeftovers(database, QFileInfo(database).absolutePath() +
                                                  QStringLiteral("/backups"));

    // The copy is checked where it will be used, beside the database.
    const QString incoming = DatabaseBackup::incomingName(database);
    try {
        DatabaseBackup::copy(backup, incoming);
    } catch (const AppError& e) {
        removeWithJournals(incoming);
        throw AppError(QStringLiteral("%1 不能用来恢复：%2").arg(native(backup), e.text()));
    }
    const QString problem = DatabaseBackup::problemWith(incoming, requiredTables());
    if (!problem.isEmpty()) {
        removeWithJournals(incoming);
        throw AppError(QStringLiteral("%1 不能用来恢复：%2")
                           .arg(native(backup), QString(problem).replace(incoming, backup)));
    }
    // The check leaves an empty journal of the copy's own name behind.
    for (const char* suffix : {"-wal", "-shm"})
        QFile::remove(incoming + QLatin1String(suffix));
    ::chmod(encoded(incoming).constData(), 0600); // the live file, the user's alone
    syncFile(incoming);
    step("checked");

    QString kept;
    bool sideFilesAside = false;
    if (exists(database)) {
        bool sound = true;
        try {
            sound = settle(database);
        } catch (...) {
            removeWithJournals(incoming);
            throw;
        }
        const QString stem = database + QStringLiteral(".before-restore-") +
                             now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
        for (int n = 1; kept.isEmpty(); ++n) {
            const QString name = n == 1 ? stem : stem + QLatin1Char('-') + QString::number(n);
            if (keepAs(database, name))
                kept = name;
            else if (errno != EEXIST || n > 1000)
                break;
        }
        if (kept.isEmpty()) {
            removeWithJournals(incoming);
            throw AppError(QStringLiteral("%1: 无法改名保留").arg(native(database)));
        }
        // A damaged file's journal is kept with it, and must not meet the new one.
        const QString wal = database + QStringLiteral("-wal");
        if (!sound && exists(wal)) {
            if (!keepAs(wal, kept + QStringLiteral("-wal"))) {
                QFile::remove(kept);
                removeWithJournals(incoming);
                throw AppError(QStringLiteral("%1: 无法改名保留").arg(native(wal)));
            }
            sideFilesAside = true;
        }
        syncFolderOf(database);
        step("aside");
        if (sideFilesAside) {
            QFile::remove(wal);
            QFile::remove(database + QStringLiteral("-shm"));
        }
    }
    if (std::rename(encoded(incoming).constData(), encoded(database).constData()) != 0) {
        if (sideFilesAside) {
            keepAs(kept + QStringLiteral("-wal"), database + QStringLiteral("-wal"));
            QFile::remove(kept + QStringLiteral("-wal"));
        }
        if (!kept.isEmpty())
            QFile::remove(kept); // a second name: the database is where it was
        removeWithJournals(incoming);
        throw AppError(QStringLiteral("%1: 无法放到原处").arg(native(database)));
    }
    syncFolderOf(database);
    step("replaced");
    removeWithJournals(incoming);
    return kept;
}

void setStepHook(std::function<void(const char*)> hook)
{
    stepHook = std::move(hook);
}

void setHardLinks(bool available)
{
    hardLinks = available;
}

} // namespace Restore
