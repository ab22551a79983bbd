#include "platform/Database.h"

#include "platform/AppError.h"
#include "platform/DayNumber.h"
#include "platform/DbDetail.h"

using namespace DbDetail;

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
