#include "platform/Database.h"

#include "platform/AppError.h"
#include "platform/DbDetail.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace DbDetail;

DbConnection::DbConnection()
{
#ifdef __GLIBC__
    // A result of tens of thousands of rows takes some megabytes, and is
    // often read again in place of the last one. Left to mmap, each would come
    // as fresh pages the kernel must zero (a third of such a read's time);
    // kept in the heap, the next result reuses the last one's memory.
    static const bool tuned = [] {
        mallopt(M_MMAP_THRESHOLD, 64 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
        return true;
    }();
    Q_UNUSED(tuned);
#endif
}

DbConnection::~DbConnection()
{
    delete m_closer;
    closeFile();
}

void DbConnection::closeFile()
{
    if (!m_db || m_uses > 0)
        return;
    for (sqlite3_stmt* s : std::as_const(m_cached))
        sqlite3_finalize(s);
    m_cached.clear();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void DbConnection::setConnectionString(const QString& text)
{
    m_connectionString = text;
}

QString DbConnection::dataSourceOf(const QString& connectionString)
{
    static const QLatin1String key("Data Source");
    int from = 0;
    for (;;) {
        const int at = connectionString.indexOf(key, from, Qt::CaseInsensitive);
        if (at < 0)
            return QString();
        from = at + key.size();
        // Only a key at the start or after a separator counts.
        const QStringView before = QStringView(connectionString).left(at).trimmed();
        if (!before.isEmpty() && !before.endsWith(QLatin1Char(';')))
            continue;
        int pos = from;
        while (pos < connectionString.size() && connectionString.at(pos).isSpace())
            ++pos;
        if (pos >= connectionString.size() || connectionString.at(pos) != QLatin1Char('='))
            continue;
        ++pos;
        while (pos < connectionString.size() && connectionString.at(pos) == QLatin1Char(' '))
            ++pos;
        if (pos < connectionString.size() && connectionString.at(pos) == QLatin1Char('"')) {
            const int close = connectionString.indexOf(QLatin1Char('"'), pos + 1);
            return connectionString.mid(pos + 1, close < 0 ? -1 : close - pos - 1);
        }
        int end = pos;
        for (;;) {
            end = connectionString.indexOf(QLatin1Char(';'), end);
            if (end < 0 || startsWithKnownKey(QStringView(connectionString).mid(end + 1)))
                break;
            ++end;
        }
        return connectionString.mid(pos, end < 0 ? -1 : end - pos).trimmed();
    }
}

QString DbConnection::dataSource() const
{
    return dataSourceOf(m_connectionString);
}

void DbConnection::createDatabase(const QString& path)
{
    // Built beside the target and renamed into place, so that a crash never
    // leaves a half-made file where the next start would look for the data.
    const QString temp = path + QStringLiteral(".new");
    QFile::remove(temp);
    sqlite3* db = nullptr;
    const QByteArray tempName = QFile::encodeName(temp);
    // The user's alone, whatever the umask; the journals take the file's mode.
    const int fd =
        ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }
    int rc = sqlite3_open_v2(tempName.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    char* err = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, &err);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, QByteArray("BEGIN;" + m_schema + "COMMIT;").constData(), nullptr,
                          nullptr, &err);
    QString message = err ? QString::fromUtf8(err) : engineMessage(db);
    sqlite3_free(err);
    sqlite3_close_v2(db);
    if (rc != SQLITE_OK) {
        QFile::remove(temp);
        throw AppError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), message));
    }
    if (!QFile::rename(temp, path)) {
        QFile::remove(temp);
        if (!QFile::exists(path))
            throw AppError(QStringLiteral("%1: cannot create the database file")
                               .arg(QDir::toNativeSeparators(path)));
    }
    // The journal files beside it are made anew by the engine.
    QFile::remove(temp + QStringLiteral("-wal"));
    QFile::remove(temp + QStringLiteral("-shm"));
}

sqlite3* DbConnection::handle()
{
    if (m_db)
        return m_db;
    const QString path = dataSource();
    if (path.isEmpty())
        throw AppError(QStringLiteral("No database file is set"));
    if (!QFileInfo::exists(path)) {
        if (m_schema.isEmpty())
            throw AppError(QStringLiteral("%1: the database file does not exist")
                               .arg(QDir::toNativeSeparators(path)));
        createDatabase(path);
    }
    // The engine makes its journal files with the database's mode: after a
    // start on a read-only file they stay read-only when the user mends the
    // file itself. Give them the file's mode again, so that mending it is enough.
    const QByteArray name = QFile::encodeName(path);
    struct stat dbStat {};
    if (::stat(name.constData(), &dbStat) == 0 && writable(path)) {
        for (const char* suffix : {"-wal", "-shm"}) {
            const QByteArray side = name + suffix;
            struct stat sideStat {};
            if (::stat(side.constData(), &sideStat) == 0 && sideStat.st_uid == ::geteuid() &&
                ::access(side.constData(), W_OK) != 0)
                ::chmod(side.constData(), dbStat.st_mode & 07777);
        }
    }
    sqlite3* db = nullptr;
    // Never SQLITE_OPEN_CREATE here: a file that vanished is an error, not a new empty database.
    // One thread uses the connection: no per-call locking (NOMUTEX).
    const int rc = sqlite3_open_v2(name.constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = engineMessage(db);
        sqlite3_close_v2(db);
        throw AppError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), message));
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_extended_result_codes(db, 1);
    // WAL with NORMAL sync: a commit survives a killed process.
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    m_db = db;
    return m_db;
}

void DbConnection::endUse()
{
    if (--m_uses > 0)
        return;
    if (!QCoreApplication::instance()) {
        closeFile();
        return;
    }
    if (!m_closer) {
        m_closer = new QTimer;
        m_closer->setSingleShot(true);
        m_closer->setInterval(0);
        QObject::connect(m_closer, &QTimer::timeout, [this] { closeFile(); });
    }
    m_closer->start();
}

void DbConnection::release()
{
    if (m_users > 0)
        --m_users;
}

QString DbConnection::unwritableFile() const
{
    const QString path = dataSource();
    const QString files[] = {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")};
    for (const QString& f : files)
        if (QFileInfo::exists(f) && !writable(f))
            return f;
    const QString dir = QFileInfo(path).absolutePath();
    if (!writable(dir))
        return dir;
    return path;
}

void DbConnection::raise(const QString& context) const
{
    const QString message = engineMessage(m_db);
    const int code = m_db ? (sqlite3_errcode(m_db) & 0xff) : SQLITE_NOMEM;
    const bool aboutFile = code == SQLITE_NOTADB || code == SQLITE_CORRUPT ||
                           code == SQLITE_CANTOPEN || code == SQLITE_READONLY ||
                           code == SQLITE_IOERR || code == SQLITE_FULL;
    // A refused write names the file that cannot be written, which need not
    // be the database itself.
    const QString file =
        code == SQLITE_READONLY || code == SQLITE_CANTOPEN ? unwritableFile() : dataSource();
    QString text =
        aboutFile ? QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), message) : message;
    if (!context.isEmpty())
        text = context + QStringLiteral(": ") + text;
    throw AppError(text);
}

void DbConnection::exec(const QString& sql)
{
    DbUse use(*this);
    char* err = nullptr;
    if (sqlite3_exec(use.db(), sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        sqlite3_free(err);
        raise();
    }
}
