#pragma once

#include "exchange/ScheduleObject.h"
#include "sync/SyncEngine.h"

#include <QHash>
#include <QUrl>
#include <atomic>
#include <memory>

class DbConnection;
class DbQuery;

// The schedules as the sync's local side. An item is a schedule that
// overrides no occurrence, by its kept UID, hashed over its mapped fields:
// whatever statement changed a schedule, its hash differs from the one the
// records hold. A recurring event from the server is kept as it came and
// shows one schedule per occurrence from the day it came, as the import
// makes them; the item is the object with what was done here to them
// (overrides, EXDATEs), hashed over that text. Each write is one short
// transaction.
class ScheduleSyncSide : public SyncLocalSide {
public:
    // connection: the sync's own, on the thread that runs the round.
    explicit ScheduleSyncSide(DbConnection& connection, QByteArray localZone = {},
                              const std::atomic_bool* cancel = nullptr);
    ~ScheduleSyncSide() override;

    QList<Item> items() override;
    QByteArray read(const QString& uid) override;
    QByteArray write(const QString& uid, const QByteArray& ics) override;
    void remove(const QString& uid) override;
    QByteArray hashOf(const QByteArray& ics) override;
    QStringList keepConflictCopies(const QString& uid) override;
    void uploaded(const QString& uid, const QByteArray& ics) override;

    // The title of the local version kept beside the server's.
    static QString conflictTitle(const QString& title);

private:
    qint64 scheduleOf(const QString& uid);
    void checkCancel() const;
    QByteArray kept(const QString& uid);
    QByteArray writeSeries(const QString& uid, const QByteArray& ics);
    QList<Exchange::Occurrence> occurrences(const QString& uid);
    QByteArray seriesObject(const QString& uid, const QByteArray& kept);

    DbConnection& m_connection;
    std::unique_ptr<DbQuery> m_q;
    QByteArray m_zone;
    QHash<QString, qint64> m_ids; // schedule by UID, from items()
    bool m_listed = false;        // m_ids holds every schedule that has a UID
    const std::atomic_bool* m_cancel;
};

// The records of the last sync in the same database, each put committed.
// Made for one collection: records of another one are forgotten, with the
// server objects kept for it.
class ScheduleSyncStatus : public SyncStatusStore {
public:
    ScheduleSyncStatus(DbConnection& connection, const QString& collection);
    ~ScheduleSyncStatus() override;

    QList<Sync::Status> statuses() override;
    void put(const Sync::Status& status) override;
    void forget(const QString& uid) override;
    QString token() override;
    void setToken(const QString& token) override;

private:
    QString state(const QString& name);
    void setState(const QString& name, const QString& value);

    std::unique_ptr<DbQuery> m_q;
};

// One round of the schedules in a database with a calendar collection, on a
// connection of its own (made and closed here, on the calling thread): what
// the window's thread and brenwick-ics both run.
struct ScheduleSyncRound {
    QString database; // the file
    DavAccount account;
    QUrl collection;
    QByteArray localZone; // empty: the system's
    // Set to stop the round at its next item (the program is quitting):
    // what it did before is recorded, the request under way ends first.
    const std::atomic_bool* cancel = nullptr;
};
SyncReport runScheduleSync(const ScheduleSyncRound& round);

// The name the program's passwords carry in the secret store.
QString syncSecretSchema();
