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

using namespace DbDetail;

DbConnection::DbConnection() = default;

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
        rc = providePathValues(db, path);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "BEGIN;", nullptr, nullptr, &err);
    for (const QByteArray& step : std::as_const(m_schema.steps))
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(db, step.constData(), nullptr, nullptr, &err);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(
            db,
            QByteArray("PRAGMA user_version=" + QByteArray::number(m_schema.version()) + ";COMMIT;")
                .constData(),
            nullptr, nullptr, &err);
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

namespace {
void giveText(sqlite3_context* context, int, sqlite3_value**)
{
    const auto* text = static_cast<const QByteArray*>(sqlite3_user_data(context));
    sqlite3_result_text(context, text->constData(), int(text->size()), SQLITE_TRANSIENT);
}
} // namespace

int DbConnection::providePathValues(sqlite3* db, const QString& path)
{
    for (const DbSchema::PathValue& v : std::as_const(m_schema.pathValues)) {
        auto* text = new QByteArray(v.of(path).toUtf8());
        const int rc = sqlite3_create_function_v2(
            db, v.function.constData(), 0, SQLITE_UTF8 | SQLITE_DETERMINISTIC, text, giveText,
            nullptr, nullptr, [](void* p) { delete static_cast<QByteArray*>(p); });
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

namespace {
// One integer from a statement of one row (a pragma, a count); -1 on failure.
int intOf(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    int value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW)
            value = sqlite3_column_int(st, 0);
        else if (rc == SQLITE_DONE)
            value = 0;
    }
    sqlite3_finalize(st);
    return value;
}
} // namespace

sqlite3* DbConnection::openFile(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    m_readOnlyFolder = !writable(folder);
    const QByteArray name = QFile::encodeName(path);
    if (!m_readOnlyFolder && writable(path)) {
        // The engine makes its journal files with the database's mode: after
        // a start on a read-only file they stay read-only when the user mends
        // the file itself. Give them the file's mode again, so that mending
        // it is enough.
        struct stat dbStat {};
        if (::stat(name.constData(), &dbStat) == 0) {
            for (const char* suffix : {"-wal", "-shm"}) {
                const QByteArray side = name + suffix;
                struct stat sideStat {};
                if (::stat(side.constData(), &sideStat) == 0 && sideStat.st_uid == ::geteuid() &&
                    ::access(side.constData(), W_OK) != 0)
                    ::chmod(side.constData(), dbStat.st_mode & 07777);
            }
        }
    }
    // Never SQLITE_OPEN_CREATE here: a file that vanished is an error, not a new empty database.
    // One thread uses the connection: no per-call locking (NOMUTEX).
    QByteArray target = name;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (m_readOnlyFolder) {
        // The log a reader of a WAL file needs cannot be made in a read-only
        // folder. Without one, no other connection has the file open (every
        // one keeps a log while it does) and none can start writing (a writer
        // would have to make the log, or a rollback journal, here too): the
        // file cannot change under us, which is what "immutable" promises.
        // A log left beside it by a crash is read through, as it holds
        // committed data the file itself lacks.
        flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
        const bool sideFiles = QFileInfo::exists(path + QStringLiteral("-wal")) ||
                               QFileInfo::exists(path + QStringLiteral("-journal"));
        if (!sideFiles) {
            flags |= SQLITE_OPEN_URI;
            target = "file:" +
                     QFile::encodeName(QFileInfo(path).absoluteFilePath()).toPercentEncoding("/") +
                     "?immutable=1";
        }
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(target.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = engineMessage(db);
        sqlite3_close_v2(db);
        throw AppError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), message));
    }
    return db;
}

void DbConnection::migrate(sqlite3* db, const QString& path)
{
    const int known = m_schema.version();
    if (known == 0)
        return;
    const QString file = QDir::toNativeSeparators(path);
    const auto fail = [&](const QString& text) {
        sqlite3_close_v2(db);
        throw AppError(QStringLiteral("%1: %2").arg(file, text));
    };
    const auto versionOf = [&]() -> int {
        int v = intOf(db, "PRAGMA user_version");
        if (v == 0 && !m_schema.unversionedProbe.isEmpty() &&
            intOf(db, m_schema.unversionedProbe.constData()) > 0)
            v = m_schema.unversioned;
        return v;
    };
    int version = versionOf();
    if (version < 0)
        fail(engineMessage(db));
    if (version == 0 || version == known)
        return;
    if (version > known)
        fail(QStringLiteral(
                 "数据库文件是第 %1 版的，本程序只认识到第 %2 版，没有打开它（文件未作改动）")
                 .arg(version)
                 .arg(known));
    if (m_readOnlyFolder)
        fail(QStringLiteral(
                 "数据库文件是第 %1 版的，要升级到第 %2 版才能使用，但它所在的文件夹是只读的")
                 .arg(version)
                 .arg(known));
    const auto failed = [&](int from) {
        const QString message = engineMessage(db);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        fail(QStringLiteral("无法把数据库从第 %1 版升级到第 %2 版（%3），文件保持原样")
                 .arg(from)
                 .arg(known)
                 .arg(message));
    };
    // IMMEDIATE: of two programs opening an old file at once, the second
    // waits here and then finds it done.
    if (providePathValues(db, path) != SQLITE_OK ||
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        failed(version);
    version = versionOf();
    if (version < 0 || version > known)
        failed(version);
    for (int v = version; v < known; ++v)
        if (sqlite3_exec(db, m_schema.steps[v].constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            failed(version);
    const QByteArray stamp = "PRAGMA user_version=" + QByteArray::number(known);
    if (sqlite3_exec(db, stamp.constData(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        failed(version);
}

sqlite3* DbConnection::handle()
{
    if (m_db)
        return m_db;
    const QString path = dataSource();
    if (path.isEmpty())
        throw AppError(QStringLiteral("No database file is set"));
    if (!QFileInfo::exists(path)) {
        if (m_schema.steps.isEmpty() || !m_createsMissingFile)
            throw AppError(QStringLiteral("%1: the database file does not exist")
                               .arg(QDir::toNativeSeparators(path)));
        createDatabase(path);
    }
    sqlite3* db = openFile(path);
    sqlite3_busy_timeout(db, 5000);
    sqlite3_extended_result_codes(db, 1);
    migrate(db, path);
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

QString DbConnection::errorText() const
{
    const QString message = engineMessage(m_db);
    const int code = m_db ? (sqlite3_errcode(m_db) & 0xff) : SQLITE_NOMEM;
    if (code == SQLITE_READONLY && m_readOnlyFolder)
        return QStringLiteral("%1: 文件夹是只读的，不能写入")
            .arg(QDir::toNativeSeparators(QFileInfo(dataSource()).absolutePath()));
    const bool aboutFile = code == SQLITE_NOTADB || code == SQLITE_CORRUPT ||
                           code == SQLITE_CANTOPEN || code == SQLITE_READONLY ||
                           code == SQLITE_IOERR || code == SQLITE_FULL;
    // A refused write names the file that cannot be written, which need not
    // be the database itself.
    const QString file =
        code == SQLITE_READONLY || code == SQLITE_CANTOPEN ? unwritableFile() : dataSource();
    return aboutFile ? QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), message)
                     : message;
}

void DbConnection::raise(const QString& context) const
{
    QString text = errorText();
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
