#include "platform/Database.h"

#include "platform/AppError.h"
#include "platform/DayNumber.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
QString engineMessage(sqlite3* db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

// Jet writes "delete * from"; SQLite knows only "delete from".
QString toEngineDialect(const QString& sql)
{
    static const QRegularExpression deleteStar(QStringLiteral("^\\s*delete\\s+\\*\\s+from\\b"),
                                               QRegularExpression::CaseInsensitiveOption);
    QString out = sql;
    out.replace(deleteStar, QStringLiteral("delete from"));
    return out;
}

QString quotedName(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

// A value as the file stores it: dates and times become day numbers, text
// stays text (a null QString too: columns hold the empty text, never null).
struct StoredValue {
    DbCell::Type type = DbCell::Null;
    qint64 i = 0;
    double d = 0;
    QString s;
};

StoredValue stored(const QVariant& v)
{
    StoredValue out;
    switch (v.typeId()) {
    case QMetaType::QDate:
        out.type = DbCell::Real;
        out.d = DayNumber::fromDate(v.toDate());
        break;
    case QMetaType::QDateTime:
        out.type = DbCell::Real;
        out.d = DayNumber::fromDateTime(v.toDateTime());
        break;
    case QMetaType::QTime:
        out.type = DbCell::Real;
        out.d = DayNumber::fromTime(v.toTime());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        out.type = DbCell::Real;
        out.d = v.toDouble();
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
    case QMetaType::Short:
    case QMetaType::UShort:
        out.type = DbCell::Integer;
        out.i = v.toLongLong();
        break;
    case QMetaType::UnknownType:
        break;
    default:
        out.type = DbCell::Text;
        out.s = v.toString();
    }
    return out;
}

void bind(sqlite3* db, sqlite3_stmt* stmt, int index, const QVariant& value)
{
    const StoredValue v = stored(value);
    int rc = SQLITE_OK;
    switch (v.type) {
    case DbCell::Real:
        rc = sqlite3_bind_double(stmt, index, v.d);
        break;
    case DbCell::Integer:
        rc = sqlite3_bind_int64(stmt, index, v.i);
        break;
    case DbCell::Null:
        rc = sqlite3_bind_null(stmt, index);
        break;
    case DbCell::Text: {
        const QByteArray utf8 = v.s.toUtf8();
        rc = sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    }
    if (rc != SQLITE_OK)
        throw AppError(engineMessage(db));
}

[[noreturn]] void nullValue(const QString& column)
{
    throw AppError(QStringLiteral("Column '%1' holds no value").arg(column));
}

// The keys a connection string may carry; a ';' is a separator only before one of them.
bool startsWithKnownKey(QStringView rest)
{
    static const char* const keys[] = {
        "Provider", "Data Source", "Persist Security Info", "User ID",
        "Password", "Mode",        "Extended Properties",   "Jet OLEDB:"};
    rest = rest.trimmed();
    for (const char* key : keys) {
        const QLatin1String k(key);
        if (!rest.startsWith(k, Qt::CaseInsensitive))
            continue;
        if (k.back() == QLatin1Char(':'))
            return true;
        const QStringView after = rest.mid(k.size()).trimmed();
        if (after.startsWith(QLatin1Char('=')))
            return true;
    }
    return false;
}

bool writable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}
} // namespace

// Holds the connection's file for the length of a scope.
class DbUse {
public:
    explicit DbUse(DbConnection& c)
        : m_c(c)
        , m_db(c.handle())
    {
        ++m_c.m_uses;
    }
    ~DbUse() { m_c.endUse(); }
    DbUse(const DbUse&) = delete;
    DbUse& operator=(const DbUse&) = delete;
    sqlite3* db() const { return m_db; }

private:
    DbConnection& m_c;
    sqlite3* m_db;
};

// A prepared statement. Those the layer builds itself are kept prepared for
// the next use while the file stays open; the program's own texts vary with
// the ids spliced into them and are prepared afresh.
class DbStatement {
public:
    DbStatement(DbConnection& c, sqlite3* db, const QString& sql, bool keep = false)
        : m_c(c)
        , m_db(db)
    {
        const QByteArray utf8 = sql.toUtf8();
        if (keep) {
            auto it = c.m_cached.find(utf8);
            if (it != c.m_cached.end() && it.value()) {
                m_stmt = it.value();
                it.value() = nullptr; // taken: a nested use prepares its own
                m_key = utf8;
                return;
            }
        }
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) !=
            SQLITE_OK)
            c.raise();
        if (keep)
            m_key = utf8;
    }
    ~DbStatement()
    {
        if (!m_key.isEmpty() && m_c.m_db == m_db) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
            sqlite3_stmt*& slot = m_c.m_cached[m_key];
            if (!slot) {
                slot = m_stmt;
                return;
            }
        }
        sqlite3_finalize(m_stmt);
    }
    DbStatement(const DbStatement&) = delete;
    DbStatement& operator=(const DbStatement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }

private:
    DbConnection& m_c;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QByteArray m_key;
};

// ---- DbConnection -------------------------------------------------------

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

// ---- DbSnapshot ---------------------------------------------------------

int DbSnapshot::findColumn(const QString& name) const
{
    // A handful of columns: a scan beats hashing a lower-cased copy per read,
    // and names are mostly written as the schema spells them.
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns[c] == name)
            return c;
    for (int c = 0; c < m_columns.size(); ++c)
        if (m_columns[c].compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

int DbSnapshot::columnIndex(const QString& name) const
{
    const int c = findColumn(name);
    if (c < 0)
        throw AppError(QStringLiteral("Column '%1' not found").arg(name));
    return c;
}

QString DbSnapshot::decode(const DbCell& c) const
{
    return c.length ? QString::fromUtf8(m_text.constData() + c.offset, qsizetype(c.length))
                    : QString();
}

double DbSnapshot::dateTime(int row, int column) const
{
    const DbCell& c = cell(row, column);
    switch (c.type) {
    case DbCell::Real:
        return c.d;
    case DbCell::Integer:
        return double(c.i);
    case DbCell::Text: {
        bool ok = false;
        const double d = decode(c).toDouble(&ok);
        if (!ok)
            throw AppError(QStringLiteral("'%1' is not a valid date").arg(decode(c)));
        return d;
    }
    default:
        nullValue(m_columns[column]);
    }
}

int DbSnapshot::integer(int row, int column) const
{
    const DbCell& c = cell(row, column);
    switch (c.type) {
    case DbCell::Integer:
        return int(c.i);
    case DbCell::Real:
        return int(c.d);
    case DbCell::Text: {
        bool ok = false;
        const int v = decode(c).trimmed().toInt(&ok);
        if (!ok)
            throw AppError(QStringLiteral("'%1' is not a valid integer value").arg(decode(c)));
        return v;
    }
    default:
        nullValue(m_columns[column]);
    }
}

QString DbSnapshot::text(int row, int column) const
{
    const DbCell& c = cell(row, column);
    switch (c.type) {
    case DbCell::Text:
        return decode(c);
    case DbCell::Integer:
        return QString::number(c.i);
    case DbCell::Real:
        return QString::number(c.d);
    default:
        nullValue(m_columns[column]);
    }
}

QVariant DbSnapshot::value(int row, int column) const
{
    const DbCell& c = cell(row, column);
    switch (c.type) {
    case DbCell::Text:
        return decode(c);
    case DbCell::Integer:
        return c.i;
    case DbCell::Real:
        return c.d;
    default:
        return QVariant();
    }
}

void DbSnapshot::store(int row, int column, const QVariant& value)
{
    const StoredValue v = stored(value);
    DbCell& c = m_cells[size_t(row) * size_t(m_columns.size()) + size_t(column)];
    c = DbCell();
    c.type = v.type;
    if (v.type == DbCell::Real)
        c.d = v.d;
    else if (v.type == DbCell::Integer)
        c.i = v.i;
    else if (v.type == DbCell::Text) {
        const QByteArray utf8 = v.s.toUtf8();
        c.offset = quint64(m_text.size());
        c.length = quint32(utf8.size());
        m_text.append(utf8);
    }
}

// ---- DbQuery ------------------------------------------------------------

DbQuery::~DbQuery()
{
    close();
}

void DbQuery::setSql(const QString& sql)
{
    close();
    m_sql = sql;
}

void DbQuery::setParameter(int position, const QVariant& value)
{
    while (m_params.size() <= position)
        m_params.append(QVariant());
    m_params[position] = value;
}

void DbQuery::close()
{
    if (m_active)
        m_connection.release();
    m_active = false;
    m_editing = false;
    m_pending.clear();
    m_snap.reset();
    m_row = 0;
    m_bof = m_eof = true;
    m_table.clear();
    m_keyColumn = -1;
}

void DbQuery::run(bool wantRows)
{
    DbUse use(m_connection);
    sqlite3* db = use.db();
    DbStatement st(m_connection, db, toEngineDialect(m_sql));
    sqlite3_stmt* s = st.get();
    const int count = sqlite3_bind_parameter_count(s);
    for (int i = 0; i < count && i < m_params.size(); ++i)
        bind(db, s, i + 1, m_params[i]);

    const int ncols = sqlite3_column_count(s);
    auto snap = std::make_shared<DbSnapshot>();
    QString table;
    int keyColumn = -1;
    if (wantRows) {
        bool oneTable = ncols > 0;
        for (int c = 0; c < ncols; ++c) {
            snap->m_columns << QString::fromUtf8(sqlite3_column_name(s, c));
            const char* t = sqlite3_column_table_name(s, c);
            const QString tn = t ? QString::fromUtf8(t) : QString();
            if (c == 0)
                table = tn;
            else if (tn != table)
                oneTable = false;
        }
        if (!oneTable || table.isEmpty())
            table.clear();
        for (int c = 0; !table.isEmpty() && c < ncols; ++c) {
            const char* origin = sqlite3_column_origin_name(s, c);
            const char* type = nullptr;
            int primary = 0;
            if (origin &&
                sqlite3_table_column_metadata(db, nullptr, table.toUtf8().constData(), origin,
                                              &type, nullptr, nullptr, &primary,
                                              nullptr) == SQLITE_OK &&
                primary && type && qstricmp(type, "INTEGER") == 0)
                keyColumn = c;
        }
    }
    std::vector<DbCell>& cells = snap->m_cells;
    QByteArray& textStore = snap->m_text;
    cells.reserve(size_t(ncols) * 256);
    int rows = 0;
    for (;;) {
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            m_connection.raise();
        if (!wantRows)
            continue;
        ++rows;
        const size_t first = cells.size();
        cells.resize(first + size_t(ncols));
        DbCell* cell = cells.data() + first;
        for (int c = 0; c < ncols; ++c, ++cell) {
            sqlite3_value* v = sqlite3_column_value(s, c);
            switch (sqlite3_value_type(v)) {
            case SQLITE_INTEGER:
                cell->type = DbCell::Integer;
                cell->i = sqlite3_value_int64(v);
                break;
            case SQLITE_FLOAT:
                cell->type = DbCell::Real;
                cell->d = sqlite3_value_double(v);
                break;
            case SQLITE_NULL:
                break;
            default: {
                cell->type = DbCell::Text;
                const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
                const int bytes = sqlite3_value_bytes(v);
                cell->offset = quint64(textStore.size());
                cell->length = quint32(bytes);
                textStore.append(text, bytes);
            }
            }
        }
    }
    if (!wantRows)
        return;
    snap->m_rows = rows;
    m_snap = std::move(snap);
    m_table = table;
    m_keyColumn = keyColumn;
}

void DbQuery::open()
{
    close();
    m_connection.acquire();
    try {
        run(true);
    } catch (...) {
        m_connection.release();
        close();
        throw;
    }
    m_active = true;
    first();
}

void DbQuery::execSql()
{
    close();
    run(false);
}

void DbQuery::requery()
{
    const int keep = recNo();
    open();
    if (keep > 0)
        setRecNo(qMin(keep, m_snap->rowCount()));
}

void DbQuery::requireActive() const
{
    if (!m_active)
        throw AppError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

int DbQuery::recordCount() const
{
    requireActive();
    return m_snap->rowCount();
}

bool DbQuery::eof() const
{
    return !m_active || m_eof;
}

bool DbQuery::bof() const
{
    return !m_active || m_bof;
}

void DbQuery::first()
{
    requireActive();
    m_row = 0;
    m_bof = true;
    m_eof = m_snap->rowCount() == 0;
}

void DbQuery::last()
{
    requireActive();
    m_row = qMax(0, m_snap->rowCount() - 1);
    m_eof = true;
    m_bof = m_snap->rowCount() == 0;
}

void DbQuery::next()
{
    requireActive();
    m_bof = false;
    if (m_row + 1 < m_snap->rowCount())
        ++m_row;
    else
        m_eof = true;
}

void DbQuery::prior()
{
    requireActive();
    m_eof = false;
    if (m_row > 0)
        --m_row;
    else
        m_bof = true;
    if (m_snap->rowCount() == 0)
        m_eof = true;
}

int DbQuery::recNo() const
{
    if (!m_active || m_snap->rowCount() == 0)
        return 0;
    return m_row + 1;
}

void DbQuery::setRecNo(int recNo)
{
    requireActive();
    if (recNo < 1 || recNo > m_snap->rowCount())
        return;
    m_row = recNo - 1;
    m_bof = m_eof = false;
}

int DbQuery::readable(const QString& column) const
{
    requireActive();
    const int c = m_snap->columnIndex(column);
    if (m_snap->rowCount() == 0)
        throw AppError(QStringLiteral("The result holds no row to read '%1' from").arg(column));
    return c;
}

bool DbQuery::isNull(const QString& column) const
{
    const int c = readable(column);
    return m_snap->isNull(m_row, c);
}

double DbQuery::dateTimeField(const QString& column) const
{
    const int c = readable(column);
    return m_snap->dateTime(m_row, c);
}

int DbQuery::intField(const QString& column) const
{
    const int c = readable(column);
    return m_snap->integer(m_row, c);
}

QString DbQuery::textField(const QString& column) const
{
    const int c = readable(column);
    return m_snap->text(m_row, c);
}

QVariant DbQuery::value(const QString& column) const
{
    const int c = readable(column);
    return m_snap->value(m_row, c);
}

void DbQuery::edit()
{
    requireActive();
    if (m_snap->rowCount() == 0)
        throw AppError(QStringLiteral("The result holds no row to edit"));
    if (m_keyColumn < 0)
        throw AppError(QStringLiteral("This result cannot be updated"));
    m_editing = true;
    m_pending.clear();
}

void DbQuery::setField(const QString& column, const QVariant& value)
{
    if (!m_editing)
        throw AppError(QStringLiteral("The result is not being edited"));
    m_pending.append({m_snap->columnIndex(column), value});
}

void DbQuery::post()
{
    if (!m_editing)
        throw AppError(QStringLiteral("The result is not being edited"));
    m_editing = false;
    const auto pending = std::move(m_pending);
    m_pending.clear();
    if (pending.isEmpty())
        return;
    const qint64 key = m_snap->cell(m_row, m_keyColumn).i;
    const QStringList& columns = m_snap->columns();
    QStringList sets;
    for (const auto& p : pending)
        sets << quotedName(columns[p.first]) + QStringLiteral("=?");
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3=?")
                            .arg(quotedName(m_table), sets.join(QLatin1Char(',')),
                                 quotedName(columns[m_keyColumn]));
    {
        DbUse use(m_connection);
        DbStatement st(m_connection, use.db(), sql, true);
        int i = 1;
        for (const auto& p : pending)
            bind(use.db(), st.get(), i++, p.second);
        sqlite3_bind_int64(st.get(), i, key);
        if (sqlite3_step(st.get()) != SQLITE_DONE)
            m_connection.raise();
    }
    // The result shows what was written.
    for (const auto& p : pending)
        m_snap->store(m_row, p.first, p.second);
}

// ---- DbTable ------------------------------------------------------------

DbTable::~DbTable()
{
    close();
}

void DbTable::open()
{
    if (m_active)
        return;
    {
        // Fails here, as the table object would, when the table is missing.
        DbUse use(m_connection);
        DbStatement st(m_connection, use.db(),
                       QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quotedName(m_table)), true);
    }
    m_connection.acquire();
    m_active = true;
}

void DbTable::close()
{
    if (m_active) {
        m_active = false;
        m_connection.release();
    }
    m_appending = false;
    m_pending.clear();
}

void DbTable::append()
{
    if (!m_active)
        throw AppError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    m_appending = true;
    m_pending.clear();
}

void DbTable::setField(const QString& column, const QVariant& value)
{
    if (!m_appending)
        throw AppError(QStringLiteral("The table is not appending a row"));
    for (auto& p : m_pending)
        if (p.first.compare(column, Qt::CaseInsensitive) == 0) {
            p.second = value;
            return;
        }
    m_pending.append({column, value});
}

void DbTable::post()
{
    if (!m_appending)
        throw AppError(QStringLiteral("The table is not appending a row"));
    m_appending = false;
    const auto pending = std::move(m_pending);
    m_pending.clear();
    QStringList names, marks;
    for (const auto& p : pending) {
        names << quotedName(p.first);
        marks << QStringLiteral("?");
    }
    const QString sql =
        pending.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedName(m_table))
                          : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(quotedName(m_table), names.join(QLatin1Char(',')),
                                     marks.join(QLatin1Char(',')));
    DbUse use(m_connection);
    DbStatement st(m_connection, use.db(), sql, true);
    int i = 1;
    for (const auto& p : pending)
        bind(use.db(), st.get(), i++, p.second);
    if (sqlite3_step(st.get()) != SQLITE_DONE)
        m_connection.raise();
    m_lastId = sqlite3_last_insert_rowid(use.db());
}

// ---- DbTransaction ------------------------------------------------------

DbTransaction::DbTransaction(DbConnection& connection)
    : m_connection(connection)
{
    sqlite3* db = connection.handle();
    ++connection.m_uses;
    // IMMEDIATE: a writer elsewhere makes us wait here, not fail half-way.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString message = engineMessage(db);
        connection.endUse();
        throw AppError(message);
    }
    m_open = true;
}

DbTransaction::~DbTransaction()
{
    if (m_open)
        sqlite3_exec(m_connection.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_connection.endUse();
}

void DbTransaction::commit()
{
    if (!m_open)
        throw AppError(QStringLiteral("No transaction is open"));
    if (sqlite3_exec(m_connection.m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        m_connection.raise();
    m_open = false;
}
