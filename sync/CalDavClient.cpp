#include "sync/CalDavClient.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPromise>
#include <QSet>
#include <QSslConfiguration>
#include <QThread>
#include <QTimer>
#include <functional>

using Dav::ErrorKind;

namespace {

const QByteArray xmlType = "application/xml; charset=utf-8";

struct Reply {
    int status = 0;
    QByteArray body;
    QUrl url;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    Dav::Error error;
};

Dav::Error makeError(ErrorKind kind, int status = 0, const QString& detail = QString())
{
    Dav::Error e;
    e.kind = kind;
    e.status = status;
    e.text = Dav::errorText(kind, status);
    e.detail = detail;
    return e;
}

bool redirected(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Failures no other address of the same server would mend.
bool fatal(const Dav::Error& e)
{
    switch (e.kind) {
    case ErrorKind::Network:
    case ErrorKind::Timeout:
    case ErrorKind::Tls:
    case ErrorKind::Auth:
    case ErrorKind::Cancelled:
        return true;
    default:
        return false;
    }
}

using Prop = QPair<QString, QString>;
Prop dav(const char* local)
{
    return {Dav::davNs, QString::fromLatin1(local)};
}
Prop caldav(const char* local)
{
    return {Dav::caldavNs, QString::fromLatin1(local)};
}
QString key(const Prop& p)
{
    return Dav::qualified(p.first, p.second);
}

// The response of a multistatus that speaks of the URL asked for, else its first.
const Dav::Response* responseFor(const Dav::Multistatus& ms, const QUrl& url)
{
    const QString want = Dav::hrefKey(url);
    for (const Dav::Response& r : ms.responses)
        if (Dav::hrefKey(url, r.href) == want)
            return &r;
    return ms.responses.isEmpty() ? nullptr : &ms.responses.first();
}

bool isCalendar(const Dav::Response& r)
{
    const auto it = r.found.constFind(key(dav("resourcetype")));
    return it != r.found.cend() && it->names.contains(key(caldav("calendar")));
}

} // namespace

// Lives on the client's thread; everything it does runs there.
class DavWorker : public QObject {
public:
    DavWorker(const DavAccount& account, std::shared_ptr<CalDavClient::Counters> counters)
        : m_account(account)
        , m_counters(std::move(counters))
    {
        if (m_account.server.path().isEmpty())
            m_account.server.setPath(QStringLiteral("/"));
    }

    ~DavWorker() override { shutdown(); }

    // Ends every request still running; their callers get Cancelled, and so
    // do those of the calls not begun (their promises go unfulfilled).
    void shutdown()
    {
        m_closing = true;
        m_queue.clear();
        const auto open = m_open;
        for (const QPointer<QNetworkReply>& reply : open)
            if (reply)
                reply->abort();
    }

    // Calls run one after another, each to its end: one request at a time.
    using Operation = std::function<void(std::function<void()> finished)>;
    void enqueue(Operation op)
    {
        m_queue.append(std::move(op));
        if (!m_busy)
            next();
    }

    using Done = std::function<void(Reply)>;
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    void send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
              const Headers& headers, Done done, bool retried = false);

    // PROPFIND following redirects (the well-known address answers with one).
    void propfind(const QUrl& url, int depth, const QList<Prop>& props, int hops,
                  std::function<void(Reply, Dav::Multistatus)> done);

    void discover(std::function<void(DavDiscovery)> done);
    void syncCollection(const QUrl& collection, const QString& token,
                        std::function<void(DavListing)> done);
    void listEtags(const QUrl& collection, std::function<void(DavListing)> done);
    void fetch(const QUrl& collection, const QStringList& hrefs,
               std::function<void(DavFetched)> done);
    void put(const QUrl& url, const QByteArray& ics, const QString& etag,
             std::function<void(DavStored)> done);
    void remove(const QUrl& url, const QString& etag, std::function<void(DavStored)> done);

private:
    QNetworkAccessManager* nam();
    Reply finish(QNetworkReply* reply);
    void listing(const QUrl& collection, const Reply& reply, DavListing& out);
    void fetchFrom(const QUrl& collection, QStringList hrefs, std::shared_ptr<DavFetched> result,
                   std::function<void(DavFetched)> done);
    void listHomes(std::shared_ptr<DavDiscovery> found, int index,
                   std::function<void(DavDiscovery)> done);

    void next()
    {
        if (m_queue.isEmpty() || m_closing) {
            m_busy = false;
            return;
        }
        m_busy = true;
        const Operation op = m_queue.takeFirst();
        op([this] {
            QMetaObject::invokeMethod(
                this, [this] { next(); }, Qt::QueuedConnection);
        });
    }

    DavAccount m_account;
    std::shared_ptr<CalDavClient::Counters> m_counters;
    QList<Operation> m_queue;
    bool m_busy = false;
    QNetworkAccessManager* m_nam = nullptr;
    QList<QPointer<QNetworkReply>> m_open;
    bool m_closing = false;
    // In UTF-8: the toolkit would send Latin-1, and Chinese passwords
    // would never match.
    QByteArray basicCredentials() const
    {
        return "Basic " +
               (m_account.user + QLatin1Char(':') + m_account.password).toUtf8().toBase64();
    }
    static QString originOf(const QUrl& url)
    {
        return url.scheme() + QStringLiteral("://") + url.host() + QLatin1Char(':') +
               QString::number(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
    }

    QSet<QString> m_basicOrigins; // the servers that asked for Basic
    bool m_toolkitAuth = false;   // a server asked for another scheme
};

QNetworkAccessManager* DavWorker::nam()
{
    if (m_nam)
        return m_nam;
    m_nam = new QNetworkAccessManager(this);
    // Only schemes other than Basic go through the toolkit, and only once
    // the server has named one: send() learns it from the refusal.
    connect(m_nam, &QNetworkAccessManager::authenticationRequired, this,
            [this](QNetworkReply* reply, QAuthenticator* auth) {
                // A second asking for one request means the answer was refused.
                if (!m_toolkitAuth || m_account.user.isEmpty() || reply->property("asked").toBool())
                    return;
                reply->setProperty("asked", true);
                auth->setUser(m_account.user);
                auth->setPassword(m_account.password);
            });
    return m_nam;
}

void DavWorker::send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                     const Headers& headers, Done done, bool retried)
{
    if (m_closing) {
        Reply r;
        r.error = makeError(ErrorKind::Cancelled);
        done(r);
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    if (url.scheme() == QLatin1String("https") && !m_account.caCertificates.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(m_account.caCertificates);
        request.setSslConfiguration(ssl);
    }
    request.setHeader(QNetworkRequest::UserAgentHeader, QCoreApplication::applicationName());
    // Once a server has asked for Basic, every later request to it carries
    // it, rather than paying a refused request on every new connection.
    // Another host (a redirect's) gets it only once it asks.
    const bool withBasic = m_basicOrigins.contains(originOf(url));
    if (withBasic)
        request.setRawHeader("Authorization", basicCredentials());
    qint64 sent = verb.size() + url.path(QUrl::FullyEncoded).size() + 12 + body.size() + 2;
    for (const auto& [name, value] : headers) {
        request.setRawHeader(name, value);
        sent += name.size() + value.size() + 4;
    }
    if (!body.isEmpty())
        sent += 40; // Content-Length
    ++m_counters->requests;
    m_counters->bytesSent += sent;

    QNetworkReply* reply = body.isEmpty() ? nam()->sendCustomRequest(request, verb)
                                          : nam()->sendCustomRequest(request, verb, body);
    m_open << reply;
    // A request fails once nothing has moved for the timeout, however long
    // the whole transfer takes.
    auto* idle = new QTimer(reply);
    idle->setSingleShot(true);
    idle->start(m_account.timeoutMs);
    const auto moved = [idle] {
        idle->start();
    };
    connect(reply, &QNetworkReply::uploadProgress, idle, moved);
    connect(reply, &QNetworkReply::downloadProgress, idle, moved);
    connect(idle, &QTimer::timeout, reply, [reply] {
        reply->setProperty("timedOut", true);
        reply->abort();
    });
    connect(reply, &QNetworkReply::sslErrors, reply, [reply](const QList<QSslError>& errors) {
        QStringList texts;
        for (const QSslError& e : errors)
            texts << e.errorString();
        reply->setProperty("sslErrors", texts);
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, done, verb, url, body, headers, retried, withBasic] {
                const Reply r = finish(reply);
                // Refused before we knew the server's scheme: learn it, and once more.
                if (r.status == 401 && !retried && !m_closing && !m_account.user.isEmpty()) {
                    const QByteArray challenge = r.headers.value("www-authenticate").toLower();
                    if (challenge.contains("basic") && !withBasic) {
                        m_basicOrigins.insert(originOf(url));
                        send(verb, url, body, headers, done, true);
                        return;
                    }
                    if (!challenge.contains("basic") && !m_toolkitAuth) {
                        m_toolkitAuth = true; // Digest and the like
                        send(verb, url, body, headers, done, true);
                        return;
                    }
                }
                done(r);
            });
}

Reply DavWorker::finish(QNetworkReply* reply)
{
    m_open.removeAll(reply);
    reply->deleteLater();
    Reply r;
    r.url = reply->url();
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        r.body = reply->readAll();
    qint64 received =
        r.body.size() + 17 +
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray().size();
    for (const auto& [name, value] : reply->rawHeaderPairs()) {
        r.headers.insert(name.toLower(), value);
        received += name.size() + value.size() + 4;
    }
    if (r.status > 0)
        m_counters->bytesReceived += received + 2;

    const QStringList sslErrors = reply->property("sslErrors").toStringList();
    if (reply->property("timedOut").toBool()) {
        r.error = makeError(ErrorKind::Timeout);
    } else if (!sslErrors.isEmpty()) {
        r.error = makeError(ErrorKind::Tls, 0, sslErrors.join(QStringLiteral("；")));
        r.error.text += QStringLiteral("：") + r.error.detail;
    } else if (r.status >= 200 && r.status < 400) {
        // Success, or a redirect for the caller to follow.
    } else if (r.status == 401 || r.status == 407) {
        r.error = makeError(ErrorKind::Auth, r.status);
        if (m_account.user.isEmpty())
            r.error.text = QStringLiteral("服务器要求用户名和密码");
    } else if (r.status == 404 || r.status == 410) {
        r.error = makeError(ErrorKind::NotFound, r.status);
    } else if (r.status == 412) {
        r.error = makeError(ErrorKind::Conflict, r.status);
    } else if (r.status > 0) {
        r.error = makeError(ErrorKind::Http, r.status, QString::fromUtf8(r.body.left(300)));
    } else if (reply->error() == QNetworkReply::SslHandshakeFailedError) {
        r.error = makeError(ErrorKind::Tls, 0, reply->errorString());
        r.error.text += QStringLiteral("：") + r.error.detail;
    } else {
        r.error = makeError(ErrorKind::Network, 0, reply->errorString());
    }
    if (m_closing && r.error)
        r.error = makeError(ErrorKind::Cancelled);
    return r;
}

void DavWorker::propfind(const QUrl& url, int depth, const QList<Prop>& props, int hops,
                         std::function<void(Reply, Dav::Multistatus)> done)
{
    send("PROPFIND", url, Dav::propfindBody(props),
         {{"Depth", QByteArray::number(depth)}, {"Content-Type", xmlType}},
         [this, url, depth, props, hops, done](Reply r) {
             if (!r.error && redirected(r.status)) {
                 const QUrl next = url.resolved(QUrl::fromEncoded(r.headers.value("location")));
                 // Never from an encrypted address to a plain one.
                 if (hops <= 0 || !next.isValid() ||
                     (url.scheme() == QLatin1String("https") && next.scheme() != url.scheme())) {
                     r.error = makeError(ErrorKind::Http, r.status);
                     done(r, {});
                     return;
                 }
                 propfind(next, depth, props, hops - 1, done);
                 return;
             }
             if (r.error) {
                 done(r, {});
                 return;
             }
             Dav::Multistatus ms = Dav::parseMultistatus(r.body);
             if (!ms.ok || r.status != 207)
                 r.error = makeError(ErrorKind::Protocol, r.status, ms.error);
             done(r, ms);
         });
}

void DavWorker::discover(std::function<void(DavDiscovery)> done)
{
    const QList<Prop> contextProps = {dav("current-user-principal"), dav("resourcetype"),
                                      dav("displayname"), caldav("calendar-home-set"),
                                      caldav("supported-calendar-component-set")};
    auto found = std::make_shared<DavDiscovery>();
    const auto fail = [done, found](const Dav::Error& e) {
        found->error = e;
        done(*found);
    };

    // From the context path: the principal, then its calendar homes.
    const auto fromContext = [this, found, fail, done](const QUrl& url,
                                                       const Dav::Multistatus& ms) {
        const Dav::Response* r = responseFor(ms, url);
        if (!r) {
            fail(makeError(ErrorKind::Protocol, 207, QStringLiteral("empty multistatus")));
            return;
        }
        if (isCalendar(*r)) {
            Dav::Calendar own;
            own.url = url;
            own.displayName = r->found.value(key(dav("displayname"))).text;
            const QStringList comps =
                r->found.value(key(caldav("supported-calendar-component-set"))).components;
            own.vevents = comps.isEmpty() || comps.contains(QStringLiteral("VEVENT"));
            if (own.vevents)
                found->calendars << own;
        }
        const QStringList principal = r->found.value(key(dav("current-user-principal"))).hrefs;
        found->principal = principal.isEmpty() ? url : Dav::resolve(url, principal.first());
        const QStringList homes = r->found.value(key(caldav("calendar-home-set"))).hrefs;
        if (Dav::hrefKey(found->principal) == Dav::hrefKey(url) && !homes.isEmpty()) {
            for (const QString& h : homes)
                found->homes << Dav::resolve(url, h);
            listHomes(found, 0, done);
            return;
        }
        propfind(found->principal, 0, {caldav("calendar-home-set")}, 3,
                 [this, found, fail, done](const Reply& reply, const Dav::Multistatus& answer) {
                     if (reply.error) {
                         // A calendar given by its own address needs no home.
                         if (!found->calendars.isEmpty() && !fatal(reply.error))
                             done(*found);
                         else
                             fail(reply.error);
                         return;
                     }
                     const Dav::Response* self = responseFor(answer, reply.url);
                     const QStringList sets =
                         self ? self->found.value(key(caldav("calendar-home-set"))).hrefs
                              : QStringList();
                     for (const QString& h : sets)
                         found->homes << Dav::resolve(reply.url, h);
                     if (found->homes.isEmpty() && found->calendars.isEmpty())
                         found->homes << found->principal;
                     listHomes(found, 0, done);
                 });
    };

    const QUrl start = m_account.server;
    const auto tryStart = [this, start, contextProps, fromContext, fail] {
        propfind(start, 0, contextProps, 3,
                 [fromContext, fail](const Reply& r, const Dav::Multistatus& ms) {
                     if (r.error)
                         fail(r.error);
                     else
                         fromContext(r.url, ms);
                 });
    };
    if (start.path() != QLatin1String("/")) {
        tryStart();
        return;
    }
    // RFC 6764: the well-known address leads to the context path; a server
    // without it may still answer at its root.
    propfind(start.resolved(QUrl(QStringLiteral("/.well-known/caldav"))), 0, contextProps, 5,
             [tryStart, fromContext, fail](const Reply& r, const Dav::Multistatus& ms) {
                 if (!r.error)
                     fromContext(r.url, ms);
                 else if (fatal(r.error))
                     fail(r.error);
                 else
                     tryStart();
             });
}

void DavWorker::listHomes(std::shared_ptr<DavDiscovery> found, int index,
                          std::function<void(DavDiscovery)> done)
{
    if (index >= found->homes.size()) {
        done(*found);
        return;
    }
    const QUrl home = found->homes.at(index);
    propfind(home, 1,
             {dav("resourcetype"), dav("displayname"), caldav("supported-calendar-component-set")},
             3, [this, found, index, home, done](const Reply& reply, const Dav::Multistatus& ms) {
                 if (reply.error) {
                     found->error = reply.error;
                     done(*found);
                     return;
                 }
                 for (const Dav::Response& r : ms.responses) {
                     const QUrl url = Dav::resolve(reply.url, r.href);
                     if (!isCalendar(r) || Dav::hrefKey(url) == Dav::hrefKey(reply.url))
                         continue;
                     bool known = false;
                     for (const Dav::Calendar& c : std::as_const(found->calendars))
                         known = known || Dav::hrefKey(c.url) == Dav::hrefKey(url);
                     if (known)
                         continue;
                     Dav::Calendar c;
                     c.url = url;
                     c.displayName = r.found.value(key(dav("displayname"))).text;
                     if (c.displayName.isEmpty())
                         c.displayName = Dav::hrefKey(url).section(QLatin1Char('/'), -1);
                     const QStringList comps =
                         r.found.value(key(caldav("supported-calendar-component-set"))).components;
                     c.vevents = comps.isEmpty() || comps.contains(QStringLiteral("VEVENT"));
                     if (c.vevents)
                         found->calendars << c;
                 }
                 listHomes(found, index + 1, done);
             });
}

// The members of a listing's multistatus: changed with their ETags, removed.
void DavWorker::listing(const QUrl& collection, const Reply& reply, DavListing& out)
{
    const Dav::Multistatus ms = Dav::parseMultistatus(reply.body);
    if (!ms.ok || reply.status != 207) {
        out.error = makeError(ErrorKind::Protocol, reply.status, ms.error);
        return;
    }
    out.token = ms.syncToken;
    const QString self = Dav::hrefKey(collection);
    for (const Dav::Response& r : ms.responses) {
        const QString k = Dav::hrefKey(reply.url, r.href);
        if (k == self) {
            if (r.status == 507)
                out.truncated = true;
            continue;
        }
        if (r.href.endsWith(QLatin1Char('/')))
            continue; // a collection inside, not an object
        if (r.status == 404 || r.status == 410) {
            out.removed << r.href;
            continue;
        }
        const auto etag = r.found.constFind(key(dav("getetag")));
        if (etag == r.found.cend() && r.status >= 300)
            continue;
        out.changed << Dav::Resource{r.href, etag == r.found.cend() ? QString() : etag->text, {}};
    }
}

void DavWorker::syncCollection(const QUrl& collection, const QString& token,
                               std::function<void(DavListing)> done)
{
    send("REPORT", collection, Dav::syncCollectionBody(token),
         {{"Depth", "0"}, {"Content-Type", xmlType}}, [this, collection, token, done](Reply r) {
             DavListing out;
             if ((r.status == 403 || r.status == 409) && Dav::namesInvalidSyncToken(r.body))
                 out.error = makeError(ErrorKind::TokenInvalid, r.status);
             else if (r.error)
                 out.error = r.error;
             else
                 listing(collection, r, out);
             done(out);
         });
}

void DavWorker::listEtags(const QUrl& collection, std::function<void(DavListing)> done)
{
    send("REPORT", collection, Dav::etagQueryBody(), {{"Depth", "1"}, {"Content-Type", xmlType}},
         [this, collection, done](Reply r) {
             DavListing out;
             if (!r.error) {
                 listing(collection, r, out);
                 out.token.clear();
                 done(out);
                 return;
             }
             if (fatal(r.error)) {
                 out.error = r.error;
                 done(out);
                 return;
             }
             // A server without calendar-query still lists its members' ETags.
             propfind(collection, 1, {dav("getetag"), dav("resourcetype")}, 0,
                      [this, collection, done](const Reply& answer, const Dav::Multistatus&) {
                          DavListing members;
                          if (answer.error)
                              members.error = answer.error;
                          else
                              listing(collection, answer, members);
                          members.token.clear();
                          done(members);
                      });
         });
}

void DavWorker::fetch(const QUrl& collection, const QStringList& hrefs,
                      std::function<void(DavFetched)> done)
{
    fetchFrom(collection, hrefs, std::make_shared<DavFetched>(), done);
}

void DavWorker::fetchFrom(const QUrl& collection, QStringList hrefs,
                          std::shared_ptr<DavFetched> result, std::function<void(DavFetched)> done)
{
    if (hrefs.isEmpty()) {
        done(*result);
        return;
    }
    const QStringList batch = hrefs.mid(0, CalDavClient::fetchBatch);
    hrefs.remove(0, batch.size());
    send("REPORT", collection, Dav::multigetBody(batch),
         {{"Depth", "1"}, {"Content-Type", xmlType}},
         [this, collection, hrefs, batch, result, done](const Reply& reply) {
             if (reply.error) {
                 result->error = reply.error;
                 done(*result);
                 return;
             }
             const Dav::Multistatus ms = Dav::parseMultistatus(reply.body);
             if (!ms.ok || reply.status != 207) {
                 result->error = makeError(ErrorKind::Protocol, reply.status, ms.error);
                 done(*result);
                 return;
             }
             // Answer in the caller's spelling of each href, whatever the server's.
             QHash<QString, QString> asked;
             for (const QString& h : batch)
                 asked.insert(Dav::hrefKey(reply.url, h), h);
             QSet<QString> answered;
             const QString dataKey = key(caldav("calendar-data"));
             for (const Dav::Response& r : ms.responses) {
                 const QString k = Dav::hrefKey(reply.url, r.href);
                 const auto it = asked.constFind(k);
                 if (it == asked.cend())
                     continue;
                 const auto data = r.found.constFind(dataKey);
                 if (data == r.found.cend() || data->text.isEmpty())
                     continue;
                 answered.insert(k);
                 result->resources << Dav::Resource{*it, r.found.value(key(dav("getetag"))).text,
                                                    Dav::withCrlf(data->text.toUtf8()) + "\r\n"};
             }
             for (auto it = asked.cbegin(); it != asked.cend(); ++it)
                 if (!answered.contains(it.key()))
                     result->missing << it.value();
             fetchFrom(collection, hrefs, result, done);
         });
}

// A write refused in other words than its status: a multistatus for the
// one resource (Xandikos), or a precondition of CalDAV's.
static Dav::Error refusal(const Reply& r)
{
    int status = r.status;
    if (status == 207) {
        const Dav::Multistatus ms = Dav::parseMultistatus(r.body);
        for (const Dav::Response& one : ms.responses)
            if (one.status >= 300)
                status = one.status;
    }
    if (r.body.contains("no-uid-conflict"))
        return makeError(ErrorKind::UidConflict, status);
    if (status == 412)
        return makeError(ErrorKind::Conflict, status);
    return makeError(ErrorKind::Http, status, QString::fromUtf8(r.body.left(300)));
}

void DavWorker::put(const QUrl& url, const QByteArray& ics, const QString& etag,
                    std::function<void(DavStored)> done)
{
    QList<QPair<QByteArray, QByteArray>> headers = {
        {"Content-Type", "text/calendar; charset=utf-8"}};
    if (etag.isEmpty())
        headers.append(qMakePair(QByteArray("If-None-Match"), QByteArray("*")));
    else
        headers.append(qMakePair(QByteArray("If-Match"), etag.toUtf8()));
    send("PUT", url, ics, headers, [this, url, done](const Reply& r) {
        DavStored out;
        if (r.error || redirected(r.status) || r.status == 207) {
            out.error = r.error.kind == ErrorKind::Http || !r.error ? refusal(r) : r.error;
            done(out);
            return;
        }
        out.written = true;
        const QString given = QString::fromUtf8(r.headers.value("etag")).trimmed();
        // A weak ETag cannot guard the next write; ask for the strong one.
        if (!given.isEmpty() && !given.startsWith(QLatin1String("W/"))) {
            out.etag = given;
            done(out);
            return;
        }
        // No ETag: the server may have changed what it stored. Its ETag comes
        // from a PROPFIND, never from a second upload.
        propfind(url, 0, {dav("getetag")}, 0,
                 [out, done](const Reply& reply, const Dav::Multistatus& ms) {
                     DavStored stored = out;
                     const Dav::Response* self = reply.error ? nullptr : responseFor(ms, reply.url);
                     if (self)
                         stored.etag = self->found.value(key(dav("getetag"))).text;
                     else
                         stored.error = reply.error;
                     done(stored);
                 });
    });
}

void DavWorker::remove(const QUrl& url, const QString& etag, std::function<void(DavStored)> done)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    if (!etag.isEmpty())
        headers.append(qMakePair(QByteArray("If-Match"), etag.toUtf8()));
    send("DELETE", url, {}, headers, [done](const Reply& r) {
        DavStored out;
        if (r.error.kind == ErrorKind::NotFound || (!r.error && !redirected(r.status)))
            out.written = true; // gone, whoever removed it
        else
            out.error = r.error ? r.error : makeError(ErrorKind::Http, r.status);
        done(out);
    });
}

// ---- The client: hands each call to the worker's thread -------------------------

CalDavClient::CalDavClient(const DavAccount& account, QObject* parent)
    : QObject(parent)
    , m_counters(std::make_shared<Counters>())
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("CalDavClient"));
    m_worker = new DavWorker(account, m_counters);
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

CalDavClient::~CalDavClient()
{
    DavWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker] { delete worker; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

template <class T, class Op> QFuture<T> CalDavClient::post(Op op)
{
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    QFuture<T> future = promise->future();
    DavWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker, promise, op] {
            worker->enqueue([worker, promise, op](std::function<void()> finished) {
                op(*worker, [promise, finished](T result) {
                    promise->addResult(std::move(result));
                    promise->finish();
                    finished();
                });
            });
        },
        Qt::QueuedConnection);
    return future;
}

QFuture<DavDiscovery> CalDavClient::discover()
{
    return post<DavDiscovery>([](DavWorker& w, auto done) { w.discover(done); });
}

QFuture<DavListing> CalDavClient::syncCollection(const QUrl& collection, const QString& token)
{
    return post<DavListing>([collection, token](DavWorker& w, auto done) {
        w.syncCollection(collection, token, done);
    });
}

QFuture<DavListing> CalDavClient::listEtags(const QUrl& collection)
{
    return post<DavListing>(
        [collection](DavWorker& w, auto done) { w.listEtags(collection, done); });
}

QFuture<DavFetched> CalDavClient::fetch(const QUrl& collection, const QStringList& hrefs)
{
    return post<DavFetched>(
        [collection, hrefs](DavWorker& w, auto done) { w.fetch(collection, hrefs, done); });
}

QFuture<DavStored> CalDavClient::put(const QUrl& resource, const QByteArray& ics,
                                     const QString& etag)
{
    return post<DavStored>(
        [resource, ics, etag](DavWorker& w, auto done) { w.put(resource, ics, etag, done); });
}

QFuture<DavStored> CalDavClient::remove(const QUrl& resource, const QString& etag)
{
    return post<DavStored>(
        [resource, etag](DavWorker& w, auto done) { w.remove(resource, etag, done); });
}

DavCounters CalDavClient::counters() const
{
    return {m_counters->requests.load(), m_counters->bytesSent.load(),
            m_counters->bytesReceived.load()};
}

void CalDavClient::resetCounters()
{
    m_counters->requests = 0;
    m_counters->bytesSent = 0;
    m_counters->bytesReceived = 0;
}
