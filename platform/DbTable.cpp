#include "platform/Database.h"

#include "platform/AppError.h"
#include "platform/DbDetail.h"

using namespace DbDetail;

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
    bool same = !m_lastSql.isEmpty() && m_lastColumns.size() == pending.size();
    for (qsizetype i = 0; same && i < pending.size(); ++i)
        same = m_lastColumns[i] == pending[i].first;
    if (!same) {
        QStringList names, marks;
        m_lastColumns.clear();
        for (const auto& p : pending) {
            names << quotedName(p.first);
            marks << QStringLiteral("?");
            m_lastColumns << p.first;
        }
        m_lastSql = pending.isEmpty()
                        ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedName(m_table))
                        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                              .arg(quotedName(m_table), names.join(QLatin1Char(',')),
                                   marks.join(QLatin1Char(',')));
    }
    DbUse use(m_connection);
    DbStatement st(m_connection, use.db(), m_lastSql, true);
    int i = 1;
    for (const auto& p : pending)
        bind(use.db(), st.get(), i++, p.second);
    if (sqlite3_step(st.get()) != SQLITE_DONE)
        m_connection.raise();
    m_lastId = sqlite3_last_insert_rowid(use.db());
}
