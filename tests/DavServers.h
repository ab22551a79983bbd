#pragma once

#include "sync/SyncEngine.h"

#include <QHash>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <atomic>
#include <memory>

struct DavServerOptions {
    bool password = false;    // Radicale: htpasswd with user "alice", password "秘密 pw"
    QString certificate, key; // Radicale: serve HTTPS with these
};

// A calendar server of Debian's for one test: Radicale or Xandikos in a
// temporary folder, on a free port of 127.0.0.1, started and stopped here.
class DavTestServer {
public:
    enum class Kind { Radicale, Xandikos };
    using Options = DavServerOptions;

    explicit DavTestServer(Kind kind, const Options& options = Options());
    ~DavTestServer();

    bool start(); // waits until it answers; keeps port and folder across restarts
    void stop();
    bool restart() { return stop(), start(); }

    Kind kind() const { return m_kind; }
    QString name() const;
    quint16 port() const { return m_port; }
    QUrl root() const;
    QString user() const;     // the name to log in with ("" for Xandikos: it asks none)
    QString password() const; // Radicale without htpasswd takes any password
    DavAccount account() const;
    QString folder() const { return m_dir.path(); }
    QString log() const;

    // Makes a calendar collection; returns its URL (ending in '/').
    QUrl makeCalendar(const QString& name, const QString& displayName,
                      const QString& components = QStringLiteral("VEVENT"));
    // Radicale keeps the tokens it gave in a cache; removing it makes it
    // forget them all. Xandikos's tokens are its git trees: it forgets none.
    bool forgetSyncTokens();

private:
    Kind m_kind;
    Options m_options;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    std::unique_ptr<QProcess> m_process;
};

// A TCP relay between a client and a server on its own thread, for what the
// servers never do by themselves: drop the ETag header from answers, hold or
// slow answers, cut one answer off in the middle. It counts connections and
// answers.
class TestProxy {
public:
    explicit TestProxy(quint16 target);
    ~TestProxy();

    quint16 port() const { return m_port; }
    QUrl url(const QUrl& serverUrl) const; // serverUrl with the proxy's port

    std::atomic<bool> stripEtags{false};
    std::atomic<int> delayMs{0};                   // before each answer goes on
    std::atomic<bool> hold{false};                 // answers go nowhere
    std::atomic<int> cutAnswer{0};                 // the n-th answer from now is cut off half-way,
    std::atomic<int> cutRun{1};                    // and so many after it
    std::atomic<bool> refuseSyncCollection{false}; // as a server without RFC 6578 would
    std::atomic<int> connections{0};
    std::atomic<int> answers{0};
    std::atomic<int> unauthorized{0}; // 401 answers

    class Relay;

private:
    std::unique_ptr<class QThread> m_thread;
    class QTcpServer* m_server = nullptr;
    quint16 m_port = 0;
};

// An HTTP server of canned answers on its own thread, for the spellings of
// servers not at hand (a principal at the root, absolute and relative hrefs,
// a context path behind the well-known address).
class CannedServer {
public:
    CannedServer();
    ~CannedServer();
    QUrl url(const QString& path = QStringLiteral("/")) const;
    // Answers METHOD PATH (the path as sent; "*" for any other path);
    // "{base}" in the body and the headers becomes http://127.0.0.1:PORT.
    // Anything else: 404.
    void answer(const QByteArray& method, const QString& path, int status, const QByteArray& body,
                const QList<QPair<QByteArray, QByteArray>>& headers = {});
    QStringList asked() const; // "METHOD PATH", " (with credentials)" where sent, in order
    // Refuses requests without credentials of this scheme ("Basic" or
    // "Digest") for this user; a Digest answer's hash goes unchecked (the
    // toolkit's business).
    void requireAuth(const QByteArray& scheme, const QByteArray& user);

    struct Private;

private:
    std::unique_ptr<Private> d;
};

// The other client: Debian's python3-caldav through tests/phone.py.
struct Phone {
    QUrl calendar;
    QString user, password;
    // Runs commands (put UID SUMMARY, del UID, list); returns what it printed.
    QString run(const QStringList& commands) const;
    // "UID\tSUMMARY" lines of every event, sorted.
    QStringList list() const;
};

// A local side in memory: items are iCalendar texts by UID, hashed by their
// content lines (unfolded and sorted, stamps and producer left out), so the
// servers' reordering of a text is no change.
class MemoryLocalSide : public SyncLocalSide {
public:
    QHash<QString, QByteArray> texts;
    int writes = 0, removals = 0;
    int failAfterWrites = -1; // a full disk: write() throws once this many more went well

    QList<Item> items() override;
    QByteArray read(const QString& uid) override;
    QByteArray write(const QString& uid, const QByteArray& ics) override;
    void remove(const QString& uid) override;
    QByteArray hashOf(const QByteArray& ics) override;
    QStringList keepConflictCopies(const QString& uid) override;

    // Adds or replaces an item with this summary; the text of a simple event.
    void put(const QString& uid, const QString& summary);
    QString summaryOf(const QString& uid) const;
    // "UID\tSUMMARY" lines, sorted, as Phone::list() gives them.
    QStringList list() const;
};

QByteArray eventText(const QString& uid, const QString& summary);
// The folder of tests/ in the sources (phone.py).
QString testSourceDir();
// A key and a certificate for 127.0.0.1 made with openssl: signed by a new
// authority of its own (whose certificate file is returned through ca), or
// self-signed when ca is null. hosts: the names it is valid for.
bool makeCertificate(const QString& folder, const QString& hosts, QString* ca);
