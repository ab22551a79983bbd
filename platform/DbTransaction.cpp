#include "platform/Database.h"

#include "platform/AppError.h"
#include "platform/DbDetail.h"

using namespace DbDetail;

DbTransaction::DbTransaction(DbConnection& connection)
    : m_connection(connection)
{
    sqlite3* db = connection.handle();
    ++connection.m_uses;
    // IMMEDIATE: a writer elsewhere makes us wait here, not fail half-way.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString message = connection.errorText();
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
