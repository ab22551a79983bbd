#include "platform/DbDetail.h"

#include "platform/AppError.h"
#include "platform/DayNumber.h"

#include <QFile>
#include <QRegularExpression>
#include <unistd.h>

namespace DbDetail {

QString engineMessage(sqlite3* db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

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

} // namespace DbDetail
