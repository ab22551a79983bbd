#include "platform/DatabaseBackup.h"

#include "platform/AppError.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// A connection closed whatever happens.
struct Connection {
    sqlite3* db = nullptr;
    ~Connection() { sqlite3_close_v2(db); }
    QString message() const
    {
        return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
    }
};

void open(Connection& c, const QString& path, int flags)
{
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &c.db, flags | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        throw AppError(QStringLiteral("%1: %2").arg(native(path), c.message()));
    sqlite3_busy_timeout(c.db, 5000);
}

void removeWithJournals(const QString& path)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

// Whether a failed copy failed on the side it writes (a full disk, a folder
// that cannot be written), as against reading the source.
bool failedWriting(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
        return true;
    case SQLITE_IOERR:
        return rc != SQLITE_IOERR_READ && rc != SQLITE_IOERR_SHORT_READ;
    default:
        return false;
    }
}
} // namespace

namespace DatabaseBackup {

void copy(const QString& source, const QString& target)
{
    struct stat sourceStat {};
    if (::stat(QFile::encodeName(source).constData(), &sourceStat) != 0)
        throw AppError(QStringLiteral("%1: the database file does not exist").arg(native(source)));
    const QString folder = QFileInfo(target).absolutePath();
    if (!SafeFile::makeFolder(folder).isEmpty())
        throw AppError(QStringLiteral("%1: cannot make the folder").arg(native(folder)));
    const QString part = target + QStringLiteral(".part");
    removeWithJournals(part);
    // Made here, the user's alone: the engine would make it with the umask's
    // mode, and its journal takes the mode of the file.
    const QByteArray partName = QFile::encodeName(part);
    const int fd =
        ::open(partName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw AppError(QStringLiteral("%1: %2").arg(native(target), qt_error_string(errno)));
    ::fchmod(fd, 0600);
    ::close(fd);
    {
        Connection from, to;
        open(from, source, SQLITE_OPEN_READWRITE);
        if (sqlite3_open_v2(partName.constData(), &to.db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
            const QString why = to.message();
            removeWithJournals(part);
            throw AppError(QStringLiteral("%1: %2").arg(native(target), why));
        }
        sqlite3_busy_timeout(to.db, 5000);
        sqlite3_backup* backup = sqlite3_backup_init(to.db, "main", from.db, "main");
        if (!backup) {
            const QString why = to.message();
            removeWithJournals(part);
            throw AppError(QStringLiteral("%1: %2").arg(native(target), why));
        }
        // All pages in one step: one read transaction on the source, so the
        // copy is the database as one moment left it; writers go on meanwhile.
        int rc = SQLITE_OK;
        for (int attempt = 0; attempt < 50; ++attempt) {
            rc = sqlite3_backup_step(backup, -1);
            if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
                break;
            sqlite3_sleep(100);
        }
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE) {
            const QString why = QString::fromUtf8(sqlite3_errstr(rc));
            removeWithJournals(part);
            throw AppError(
                QStringLiteral("%1: %2").arg(native(failedWriting(rc) ? target : source), why));
        }
    }
    // Never more open than the file it came from.
    ::chmod(partName.constData(), sourceStat.st_mode & 0600);
    if (std::rename(partName.constData(), QFile::encodeName(target).constData()) != 0) {
        removeWithJournals(part);
        throw AppError(QStringLiteral("%1: cannot write the copy").arg(native(target)));
    }
    removeWithJournals(part);
}

QString incomingName(const QString& database)
{
    return database + QStringLiteral(".restoring");
}

QStringList removeLeftovers(const QString& database, const QString& backupFolder)
{
    QStringList removed;
    const auto remove = [&removed](const QString& path) {
        if (QFileInfo(path).isSymLink() || QFileInfo::exists(path))
            removed << path;
        removeWithJournals(path);
    };
    remove(incomingName(database));
    remove(incomingName(database) + QStringLiteral(".part"));
    const QFileInfo info(database);
    const QRegularExpression pattern(
        QLatin1Char('^') + QRegularExpression::escape(info.completeBaseName()) +
        QStringLiteral("-\\d{4}-\\d{2}-\\d{2}\\.") + QRegularExpression::escape(info.suffix()) +
        QStringLiteral("\\.part(-journal|-wal|-shm)?$"));
    const QDir folder(backupFolder);
    const QStringList names = folder.entryList(QDir::Files | QDir::System, QDir::Name);
    for (const QString& name : names)
        if (pattern.match(name).hasMatch()) {
            removed << folder.filePath(name);
            const QString part = name.left(name.lastIndexOf(QLatin1String(".part")) + 5);
            removeWithJournals(folder.filePath(part)); // a journal: with its file
        }
    return removed;
}

QString problemWith(const QString& file, const QStringList& tables)
{
    if (!QFileInfo(file).isFile())
        return QStringLiteral("%1: no such file").arg(native(file));
    Connection c;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &c.db,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
        return QStringLiteral("%1: %2").arg(native(file), c.message());
    QStringList findings;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, "PRAGMA integrity_check", -1, &st, nullptr) != SQLITE_OK)
        return QStringLiteral("%1: %2").arg(native(file), c.message());
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        findings << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return QStringLiteral("%1: %2").arg(native(file), c.message());
    if (findings != QStringList{QStringLiteral("ok")})
        return QStringLiteral("%1: %2").arg(native(file), findings.join(QStringLiteral("; ")));
    for (const QString& table : tables) {
        const QByteArray name = table.toUtf8();
        if (sqlite3_table_column_metadata(c.db, nullptr, name.constData(), nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr) != SQLITE_OK)
            return QStringLiteral("%1: holds no table %2").arg(native(file), table);
    }
    return QString();
}

QString datedName(const QString& database, const QDate& day)
{
    const QFileInfo info(database);
    return info.completeBaseName() + QLatin1Char('-') + day.toString(QStringLiteral("yyyy-MM-dd")) +
           QLatin1Char('.') + info.suffix();
}

QStringList datedCopies(const QString& folder, const QString& database)
{
    const QFileInfo info(database);
    const QRegularExpression pattern(QLatin1Char('^') +
                                     QRegularExpression::escape(info.completeBaseName()) +
                                     QStringLiteral("-\\d{4}-\\d{2}-\\d{2}\\.") +
                                     QRegularExpression::escape(info.suffix()) + QLatin1Char('$'));
    QStringList out;
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names)
        if (pattern.match(name).hasMatch())
            out << name;
    return out; // the date sorts as the name does
}

QStringList prune(const QString& folder, const QString& database, int keep)
{
    QStringList copies = datedCopies(folder, database);
    QStringList removed;
    while (copies.size() > qMax(0, keep)) {
        const QString name = copies.takeFirst();
        removeWithJournals(QDir(folder).filePath(name));
        removed << name;
    }
    return removed;
}

} // namespace DatabaseBackup

DailyBackup::DailyBackup(QString database, QString folder, int keep, QObject* parent)
    : QObject(parent)
    , m_database(std::move(database))
    , m_folder(std::move(folder))
    , m_keep(keep)
{}

DailyBackup::~DailyBackup()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

bool DailyBackup::runFor(const QDate& day)
{
    if (busy() || day == m_tried)
        return false;
    const QString target = QDir(m_folder).filePath(DatabaseBackup::datedName(m_database, day));
    if (QFileInfo::exists(target)) {
        m_tried = day;
        return false;
    }
    // Before the first start has made it there is nothing to keep.
    if (!QFileInfo::exists(m_database))
        return false;
    m_tried = day;
    m_target = target;
    m_error = std::make_shared<QString>();
    auto error = m_error;
    m_thread =
        QThread::create([error, database = m_database, folder = m_folder, target, keep = m_keep] {
            try {
                DatabaseBackup::copy(database, target);
                DatabaseBackup::prune(folder, database, keep);
            } catch (const AppError& e) {
                *error = e.text();
            } catch (const std::exception& e) {
                *error = QString::fromUtf8(e.what());
            }
        });
    connect(m_thread, &QThread::finished, this, &DailyBackup::finish);
    m_thread->start(QThread::LowPriority);
    return true;
}

void DailyBackup::wait()
{
    if (m_thread) {
        m_thread->wait();
        finish();
    }
}

void DailyBackup::finish()
{
    if (!m_thread || !m_thread->isFinished())
        return;
    delete m_thread;
    m_thread = nullptr;
    const QString error = *m_error;
    if (error.isEmpty())
        emit succeeded(m_target);
    else
        emit failed(error);
}
