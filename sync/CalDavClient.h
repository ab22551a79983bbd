#pragma once

#include "sync/Dav.h"

#include <QFuture>
#include <QObject>
#include <QSslCertificate>
#include <QUrl>
#include <atomic>
#include <memory>

class QThread;
class DavWorker;

// Where and as whom to talk to a calendar server.
struct DavAccount {
    QUrl server; // Dav::serverUrl() of what the user typed
    QString user, password;
    // Trusted besides the system's certificates (a test's own authority, a
    // home server's); a certificate that verifies against neither is refused.
    QList<QSslCertificate> caCertificates;
    int timeoutMs = 30000; // a request with no data moving for this long fails
};

// What went over the wire, for the benchmarks: requests made and the bytes
// of their request lines, the headers the client sets and reads, and bodies.
struct DavCounters {
    qint64 requests = 0;
    qint64 bytesSent = 0;
    qint64 bytesReceived = 0;
};

struct DavDiscovery {
    Dav::Error error;
    QUrl principal;
    QList<QUrl> homes;
    QList<Dav::Calendar> calendars; // those that hold events (or do not say)
};

// A collection's members that changed since a sync token (or all of them
// with an empty token), and those removed.
struct DavListing {
    Dav::Error error;
    QList<Dav::Resource> changed; // href and ETag; no data
    QStringList removed;          // hrefs
    QString token;                // the new token; empty from a listing without one
    bool truncated = false;       // the server sent part of the changes: ask again
};

struct DavFetched {
    Dav::Error error;
    QList<Dav::Resource> resources; // with their data, hrefs spelled as asked
    QStringList missing;            // asked for but not there
};

struct DavStored {
    Dav::Error error;
    bool written = false; // the server took the request (even if its new ETag is unknown)
    QString etag;         // the resource's ETag after the write; empty when unknown
};

// CalDAV and WebDAV requests to one server. The network runs on a thread of
// the client's own, one request at a time over a connection kept open where
// the server allows it; every call returns at once with a future that a
// caller on another thread may wait for, or follow with then() on its own
// loop. Results carry their error; no call throws.
class CalDavClient : public QObject {
    Q_OBJECT
public:
    explicit CalDavClient(const DavAccount& account, QObject* parent = nullptr);
    ~CalDavClient() override;

    // The user's calendars: the server's well-known address or the address
    // given, its current-user-principal, calendar-home-set, and the
    // collections there (and the address itself, if it is a calendar).
    QFuture<DavDiscovery> discover();

    // sync-collection (RFC 6578). A forgotten token gives TokenInvalid.
    QFuture<DavListing> syncCollection(const QUrl& collection, const QString& token);
    // Every event object with its ETag, for servers without sync-collection.
    QFuture<DavListing> listEtags(const QUrl& collection);
    // The objects named, through calendar-multiget, so many hrefs per request.
    QFuture<DavFetched> fetch(const QUrl& collection, const QStringList& hrefs);

    // Writes an object: a new one (empty etag: If-None-Match: *) or over the
    // version named (If-Match). Conflict when the server's copy is not that.
    QFuture<DavStored> put(const QUrl& resource, const QByteArray& ics, const QString& etag);
    // Deletes over the version named; an object already gone is no error.
    QFuture<DavStored> remove(const QUrl& resource, const QString& etag);

    DavCounters counters() const;
    void resetCounters();

    static constexpr int fetchBatch = 100;

    // Waits for a result; a client gone before answering gives Cancelled.
    template <class T> static T wait(QFuture<T> future)
    {
        future.waitForFinished();
        if (future.resultCount() > 0)
            return future.result();
        T cancelled;
        cancelled.error.kind = Dav::ErrorKind::Cancelled;
        cancelled.error.text = Dav::errorText(Dav::ErrorKind::Cancelled);
        return cancelled;
    }

    struct Counters {
        std::atomic<qint64> requests{0}, bytesSent{0}, bytesReceived{0};
    };

private:
    template <class T, class Op> QFuture<T> post(Op op);

    QThread* m_thread = nullptr;
    DavWorker* m_worker = nullptr;
    std::shared_ptr<Counters> m_counters;
};
