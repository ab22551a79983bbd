#pragma once

#include "sync/CalDavClient.h"
#include "sync/SyncDecision.h"

#include <QHash>
#include <QList>
#include <QStringList>

// The local side of a sync: items known by UID, each an iCalendar object
// (a VCALENDAR with the item's VEVENT) and a hash of its content. The hash is
// the local side's own: equal for equal content, computed the same way by
// items(), write() and hashOf(). Errors are exceptions (std::exception).
class SyncLocalSide {
public:
    virtual ~SyncLocalSide() = default;

    struct Item {
        QString uid;
        QByteArray hash;
    };
    virtual QList<Item> items() = 0;
    virtual QByteArray read(const QString& uid) = 0;
    // Creates or replaces the item; returns its hash as items() will give it.
    virtual QByteArray write(const QString& uid, const QByteArray& ics) = 0;
    virtual void remove(const QString& uid) = 0;
    // The hash the item would have if this text were written.
    virtual QByteArray hashOf(const QByteArray& ics) = 0;
    // Keeps what was changed here of the item as new items with new UIDs,
    // marked as conflict copies; returns their UIDs (none when nothing
    // changed here can stand alone).
    virtual QStringList keepConflictCopies(const QString& uid) = 0;
    // The server took this text for the item.
    virtual void uploaded(const QString& uid, const QByteArray& ics)
    {
        Q_UNUSED(uid);
        Q_UNUSED(ics);
    }
};

// The record of the last sync: one status per item and the collection's sync
// token. Each put() must be durable when it returns: a round cut off at any
// point leaves records that the next round converges from.
class SyncStatusStore {
public:
    virtual ~SyncStatusStore() = default;
    virtual QList<Sync::Status> statuses() = 0;
    virtual void put(const Sync::Status& status) = 0;
    virtual void forget(const QString& uid) = 0;
    virtual QString token() = 0;
    virtual void setToken(const QString& token) = 0;
};

class MemoryStatusStore : public SyncStatusStore {
public:
    QList<Sync::Status> statuses() override { return m_items.values(); }
    void put(const Sync::Status& status) override { m_items.insert(status.uid, status); }
    void forget(const QString& uid) override { m_items.remove(uid); }
    QString token() override { return m_token; }
    void setToken(const QString& token) override { m_token = token; }

private:
    QHash<QString, Sync::Status> m_items;
    QString m_token;
};

struct SyncReport {
    Dav::Error error;   // the round stopped here; what it did before is recorded
    QString localError; // the local side failed
    int uploaded = 0, downloaded = 0, deletedRemote = 0, deletedLocal = 0;
    QStringList conflicts; // UIDs of the local copies kept beside the server's versions
    QStringList refused;   // UIDs the server would not take (the rest went on)
    int skipped = 0;       // server objects without a UID, or a second object of one UID
    bool fullListing = false;
    int requests = 0; // made by this round

    bool ok() const { return !error && localError.isEmpty(); }
    bool changedLocal() const { return downloaded + deletedLocal + conflicts.size() > 0; }
    QString text() const; // for the user
};

// One sync round over a client, a collection, the local side and the
// records. It waits for the client's answers, so it runs on a thread of its
// own (never the GUI thread) or in a command-line program.
class SyncEngine {
public:
    SyncEngine(CalDavClient& client, const QUrl& collection, SyncLocalSide& local,
               SyncStatusStore& status);

    SyncReport run();

private:
    struct RemoteItem {
        bool present = false;
        QString href, etag;
        QByteArray data; // fetched: changed or new on the server
    };
    class Round;

    CalDavClient& m_client;
    QUrl m_collection;
    SyncLocalSide& m_local;
    SyncStatusStore& m_status;
};
