#pragma once

#include "platform/Database.h"

#include <QObject>

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
    static QString connectionStringFor(const QString& programDir);
};

extern TDataModule1* DataModule1;
