#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The schema of the files a connection opens, by versions (PRAGMA
// user_version): steps[i] takes a file of version i to version i + 1. A new
// file runs every step; an older one the steps it lacks, all in one
// transaction that leaves the file as it was when any of them fails.
struct DbSchema {
    QList<QByteArray> steps;
    // A file made before versions were kept (user_version 0) is of version
    // `unversioned` when `unversionedProbe` finds a row in it. One it finds
    // nothing in (an empty or a foreign file) is opened as it is, unchanged.
    int unversioned = 0;
    QByteArray unversionedProbe;
    // Values the steps may read as SQL functions without arguments, made
    // from the file's path when the steps run: what only the opening knows.
    struct PathValue {
        QByteArray function;
        std::function<QString(const QString& file)> of;
    };
    QList<PathValue> pathValues;
    int version() const { return int(steps.size()); }
};

// The data-access layer: one connection, query objects holding a static
// snapshot of their result, and table objects that append rows. Every post
// and every delete is committed when it returns. Failures raise AppError.
class DbConnection {
public:
    DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;
    ~DbConnection();

    void setConnectionString(const QString& text);
    QString connectionString() const { return m_connectionString; }
    QString dataSource() const; // the file named by "Data Source="
    // Every opening brings an older file up to the schema's version and
    // refuses a newer one. A missing file is made with the schema, unless
    // creating is off or there are no steps: then it is an error.
    void setSchema(DbSchema schema) { m_schema = std::move(schema); }
    void setCreatesMissingFile(bool on) { m_createsMissingFile = on; }
    // The file's folder could not be written when it was opened: the file
    // is read and nothing is written.
    bool readOnlyFolder() const { return m_readOnlyFolder; }

    // In use by at least one open query or table.
    bool connected() const { return m_users > 0; }
    // The file itself is open only while statements run: it closes once the
    // program is idle again, so that a command of many statements opens it
    // once and an idle program holds nothing open, whatever results it keeps.
    bool fileOpen() const { return m_db != nullptr; }
    void closeFile();

    // Counted users (open queries and tables), for connected().
    void acquire() { ++m_users; }
    void release();

    // Raises the engine's last error on this connection as AppError.
    [[noreturn]] void raise(const QString& context = QString()) const;
    QString errorText() const; // the text raise() gives
    // Runs statements that return nothing, outside any query object.
    void exec(const QString& sql);

    // The "Data Source" of a connection string: a value in double quotes, or
    // everything up to the next ';' that starts another known key, so that a
    // folder with ';' in its name is still one path.
    static QString dataSourceOf(const QString& connectionString);

private:
    friend class DbUse;
    friend class DbStatement;
    friend class DbTransaction;
    sqlite3* handle(); // opens the file when it is closed
    void endUse();
    void createDatabase(const QString& path);
    sqlite3* openFile(const QString& path);
    void migrate(sqlite3* db, const QString& path);
    int providePathValues(sqlite3* db, const QString& path);
    QString unwritableFile() const;

    QString m_connectionString;
    DbSchema m_schema;
    bool m_createsMissingFile = true;
    bool m_readOnlyFolder = false;
    sqlite3* m_db = nullptr;
    int m_users = 0;
    int m_uses = 0;
    QTimer* m_closer = nullptr;
    // Statements the layer builds itself (inserts, updates), prepared once per opening.
    QHash<QByteArray, sqlite3_stmt*> m_cached;
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

// The rows of one result, in the statement's order. Views keep it after the
// query has moved on, and read a row only when they show it.
class DbSnapshot {
public:
    int rowCount() const { return m_rows; }
    int columnCount() const { return int(m_columns.size()); }
    const QStringList& columns() const { return m_columns; }
    int findColumn(const QString& name) const;  // -1 when absent
    int columnIndex(const QString& name) const; // raises when absent

    bool isNull(int row, int column) const { return cell(row, column).type == DbCell::Null; }
    // These raise for a null, as the engine's readers did.
    double dateTime(int row, int column) const; // a day number
    int integer(int row, int column) const;
    QString text(int row, int column) const;
    QVariant value(int row, int column) const; // null for a null

    // What a post wrote, so that the result shows it.
    void store(int row, int column, const QVariant& value);

private:
    friend class DbQuery;
    const DbCell& cell(int row, int column) const
    {
        return m_cells[size_t(row) * size_t(m_columns.size()) + size_t(column)];
    }
    QString decode(const DbCell& cell) const;

    QStringList m_columns;
    std::vector<DbCell> m_cells; // row-major
    QByteArray m_text;           // the text of every Text cell
    int m_rows = 0;
};
using DbSnapshotPtr = std::shared_ptr<DbSnapshot>;

class DbQuery {
public:
    explicit DbQuery(DbConnection& connection)
        : m_connection(connection)
    {}
    DbQuery(const DbQuery&) = delete;
    DbQuery& operator=(const DbQuery&) = delete;
    ~DbQuery();

    DbConnection& connection() const { return m_connection; }
    // The statement text as the program writes it; Jet's "delete * from" is accepted.
    void setSql(const QString& sql);
    QString sql() const { return m_sql; }
    // Parameters are bound by position (0 is the first), whatever their names.
    void setParameter(int position, const QVariant& value);
    void setDateParameter(const QDate& date) { setParameter(0, date); }

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
    int row() const { return m_row; } // 0-based, for readers of the snapshot

    // The open result, shared: it outlives close() for whoever holds it.
    DbSnapshotPtr snapshot() const { return m_snap; }

    bool isNull(const QString& column) const;
    double dateTimeField(const QString& column) const; // a day number
    int intField(const QString& column) const;
    QString textField(const QString& column) const;
    QVariant value(const QString& column) const;

    // Edit the current row, assign columns, post: the row is updated at once.
    void edit();
    void setField(const QString& column, const QVariant& value);
    void post();
    bool editing() const { return m_editing; }

private:
    int readable(const QString& column) const; // the column of a current row
    void requireActive() const;
    void run(bool wantRows);

    DbConnection& m_connection;
    QString m_sql;
    QList<QVariant> m_params;
    bool m_active = false;
    DbSnapshotPtr m_snap;
    int m_row = 0; // 0-based; == rows at end of data
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
    // The insert of the last post, made again only for other columns: a
    // table object appending many rows builds its statement once.
    QStringList m_lastColumns;
    QString m_lastSql;
};

// One transaction on a connection: the file stays open and every statement
// until commit() is one unit, undone when the scope ends without it. The
// program's windows commit each post by itself; tools that add many rows as
// one whole use this.
class DbTransaction {
public:
    explicit DbTransaction(DbConnection& connection);
    DbTransaction(const DbTransaction&) = delete;
    DbTransaction& operator=(const DbTransaction&) = delete;
    ~DbTransaction();
    void commit();

private:
    DbConnection& m_connection;
    bool m_open = false;
};
