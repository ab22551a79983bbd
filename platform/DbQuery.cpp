#include "platform/Database.h"

#include "platform/AppError.h"
#include "platform/DayNumber.h"
#include "platform/DbDetail.h"

using namespace DbDetail;

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
