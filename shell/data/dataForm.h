#pragma once

#include "platform/Database.h"

#include <QObject>
#include <memory>

// The data module: the one connection and the two table objects that append
// schedules and work notes. Every window's query objects use ADOConnection1.
class TDataModule1 : public QObject {
    Q_OBJECT
public:
    explicit TDataModule1(QObject* parent = nullptr);
    ~TDataModule1() override;

    DbConnection ADOConnection1;
    DbTable mydata{ADOConnection1, QStringLiteral("main")};
    DbTable zjTable{ADOConnection1, QStringLiteral("zjTable")};

    // "Provider=...;Data Source=<dir>assistant.mdb;Persist Security Info=False"
    static QString connectionStringFor(const QString& dataDir);
};

extern TDataModule1* DataModule1;

// A window's own query object on the data module's connection, made at its
// first use: the data module is created after the first windows. Made again
// when the data module was replaced.
class WindowQuery {
public:
    WindowQuery() = default;
    WindowQuery(const WindowQuery&) = delete;
    WindowQuery& operator=(const WindowQuery&) = delete;

    DbQuery& get();
    DbQuery& operator*() { return get(); }
    DbQuery* operator->() { return &get(); }

private:
    std::unique_ptr<DbQuery> m_query;
    const DbConnection* m_connection = nullptr;
};
