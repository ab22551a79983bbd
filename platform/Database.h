#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <vector>

struct sqlite3;

// The data-access layer: one connection, query objects holding a static
// snapshot of their result, and table objects that append rows. The
// connection opens with the first query or table that opens and closes with
// the last one. Every post and every delete is committed when it returns.
// Failures raise AppError.
class DbConnection {
public:
    DbConnection() = default;
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;
    ~DbConnection();

    void setConnectionString(const QString& text);
    QString connectionString() const { return m_connectionString; }
    QString dataSource() const; // the file named by "Data Source="
    // In use by at least one open query or table. The file itself is closed
    // once the program is idle again, so that a command of many statements
    // opens it once and an idle program holds nothing open.
    bool connected() const { return m_users > 0; }
    bool fileOpen() const { return m_db != nullptr; }
    void closeIfUnused();

    // For the layer's own objects: acquire() opens on first use, release() closes after the last.
    sqlite3* acquire();
    void release();

    // Raises the engine's last error on this connection as AppError.
    [[noreturn]] void raise(const QString& context = QString()) const;
    // Runs statements that return nothing, outside any query object.
    void exec(const QString& sql);

    static QString dataSourceOf(const QString& connectionString);
    // The schema a new file gets; kept here so that tests and tools share it.
    static const char* schemaSql();

private:
    void createDatabase(const QString& path);

    QString m_connectionString;
    sqlite3* m_db = nullptr;
    int m_users = 0;
    QTimer* m_closer = nullptr;
};

// One value of a result: integers and reals as the engine holds them, text
// as a piece of the result's UTF-8 store, decoded only when it is read.
struct DbCell {
    enum Type : quint8 { Null, Integer, Real, Text };
    Type type = Null;
    quint32 length = 0;
    union {
        qint64 i = 0;
        double d;
        quint64 offset;
    };
};

class DbQuery {
public:
    explicit DbQuery(DbConnection& connection)
        : m_connection(connection)
    {}
    DbQuery(const DbQuery&) = delete;
    DbQuery& operator=(const DbQuery&) = delete;
    ~DbQuery();

    // The statement text as the program writes it; Jet's "delete * from" is accepted.
    void setSql(const QString& sql);
    QString sql() const { return m_sql; }
    // Parameters are bound by position (0 is the first), whatever their names.
    void setParameter(int position, const QVariant& value);
    void setDateParameter(const QDate& date) { setParameter(0, date); }
    void clearParameters() { m_params.clear(); }

    void open();
    void close();
    bool active() const { return m_active; }
    void execSql(); // a statement that returns no rows
    void requery(); // runs the statement again, keeping the current row number

    int recordCount() const;
    bool eof() const;
    bool bof() const;
    void first();
    void next();
    void prior();
    void last();
    int recNo() const; // 1-based; 0 when there is no row
    void setRecNo(int recNo);

    bool isNull(const QString& column) const;
    double dateTimeField(const QString& column) const; // a day number
    int intField(const QString& column) const;
    QString textField(const QString& column) const;
    QVariant value(const QString& column) const;
    QStringList columnNames() const { return m_columns; }

    // Edit the current row, assign columns, post: the row is updated at once.
    void edit();
    void setField(const QString& column, const QVariant& value);
    void post();
    bool editing() const { return m_editing; }

private:
    const DbCell& cell(const QString& column) const;
    QString text(const DbCell& cell) const;
    void store(DbCell& cell, const QVariant& value);
    int columnIndex(const QString& column) const;
    void requireActive() const;
    void run(bool wantRows);

    DbConnection& m_connection;
    QString m_sql;
    QList<QVariant> m_params;
    bool m_active = false;
    bool m_holdsConnection = false;
    QStringList m_columns;
    std::vector<DbCell> m_cells; // row-major snapshot
    QByteArray m_text;           // the text of every Text cell
    int m_rows = 0;
    int m_row = 0; // 0-based; == m_rows at end of data
    bool m_bof = true;
    bool m_eof = true;
    QString m_table;      // the single table the columns come from, if any
    int m_keyColumn = -1; // that table's integer primary key among the columns
    bool m_editing = false;
    QList<QPair<int, QVariant>> m_pending;
};

class DbTable {
public:
    DbTable(DbConnection& connection, QString tableName)
        : m_connection(connection)
        , m_table(std::move(tableName))
    {}
    DbTable(const DbTable&) = delete;
    DbTable& operator=(const DbTable&) = delete;
    ~DbTable();

    QString tableName() const { return m_table; }
    void open();
    void close();
    bool active() const { return m_active; }

    void append();
    void setField(const QString& column, const QVariant& value);
    void post(); // inserts the row; lastId() is its key
    qint64 lastId() const { return m_lastId; }

private:
    DbConnection& m_connection;
    QString m_table;
    bool m_active = false;
    bool m_appending = false;
    QList<QPair<QString, QVariant>> m_pending;
    qint64 m_lastId = 0;
};

// Binds one value the way the layer stores it: dates as day numbers.
void bindDbValue(sqlite3* db, struct sqlite3_stmt* stmt, int index, const QVariant& value);
