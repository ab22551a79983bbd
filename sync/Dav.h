#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// The WebDAV and CalDAV words the sync speaks: what a request asks, what a
// multistatus answer holds, and how hrefs are compared. Pure: no network.
namespace Dav {

// Why a request failed. Everything but None means nothing was done that the
// answer would have confirmed.
enum class ErrorKind {
    None,
    Network,      // refused, unreachable, cut off
    Timeout,      // no data for too long
    Tls,          // the certificate did not verify (texts in the error)
    Auth,         // no or wrong credentials
    NotFound,     // 404 where something was expected
    Conflict,     // 412: the server's copy is not the one named
    UidConflict,  // a new object whose UID the server holds elsewhere
    TokenInvalid, // the sync token is no longer accepted
    Http,         // any other status the request cannot go on with
    Protocol,     // an answer that cannot be read
    Cancelled,    // the client went away first
};

struct Error {
    ErrorKind kind = ErrorKind::None;
    int status = 0; // the HTTP status, where there was one
    QString text;   // for the user
    QString detail; // the toolkit's or the server's own words
    explicit operator bool() const { return kind != ErrorKind::None; }
};

// One user-facing text per kind; TLS errors append their reasons.
QString errorText(ErrorKind kind, int status = 0);

// A resource as the server names it: its href exactly as the server wrote it
// (path-absolute, percent-encoded), its ETag with the quotes, its data.
struct Resource {
    QString href;
    QString etag;
    QByteArray data; // calendar-data, where asked for; CRLF line ends
};

struct Calendar {
    QUrl url;
    QString displayName;
    bool vevents = true; // says VEVENT, or says nothing
};

// ---- Reading a multistatus ---------------------------------------------------

// One property as found: its text (trimmed) and, for properties that hold
// hrefs, those hrefs; for components sets, the component names; for
// resourcetype, its children's local names with their namespaces.
struct Property {
    QString text;
    QStringList hrefs;
    QStringList names; // child element names as "{namespace}local"
    QStringList components;
};

struct Response {
    QString href;   // as written, trimmed
    int status = 0; // the response's own status (sync-collection removals), 0 if none
    QHash<QString, Property> found; // "{namespace}local" -> property, 200 propstats only
    QStringList missing;            // properties reported with a non-2xx status
};

struct Multistatus {
    QList<Response> responses;
    QString syncToken;
    bool ok = false; // a multistatus root was read to its end
    QString error;   // the reader's complaint, when not ok
};

Multistatus parseMultistatus(const QByteArray& body);

// A 403/409 body naming the DAV:valid-sync-token precondition.
bool namesInvalidSyncToken(const QByteArray& body);

// The status code of a "HTTP/1.1 200 OK" line; 0 when unreadable.
int statusOfLine(const QString& line);

// "{DAV:}getetag" and the like.
QString qualified(const QString& ns, const QString& local);
extern const QString davNs, caldavNs, calendarServerNs;

// ---- Writing requests --------------------------------------------------------

// PROPFIND asking for the named properties, each as {ns, local}.
QByteArray propfindBody(const QList<QPair<QString, QString>>& props);
QByteArray syncCollectionBody(const QString& token);
// calendar-query for the ETags of every VEVENT object.
QByteArray etagQueryBody();
QByteArray multigetBody(const QStringList& hrefs);

// ---- Hrefs ---------------------------------------------------------------

// The address a user typed, as a URL: "https://" where no scheme is given,
// "/" where no path is.
QUrl serverUrl(const QString& typed);

// Resolves an href (path-absolute, relative or a full URL) against the URL of
// the request it answered. Percent-encoding is kept as the server wrote it.
QUrl resolve(const QUrl& base, const QString& href);

// The identity of a resource's path for comparing hrefs that name it in
// different spellings: the path with every escape decoded but %2F, and the
// trailing slash of a collection dropped.
QString hrefKey(const QUrl& base, const QString& href);
QString hrefKey(const QUrl& url);

// The path-absolute href, encoded, of a URL: what requests are made with.
QString hrefOf(const QUrl& url);

// ---- Calendar objects ----------------------------------------------------------

// The UID of the first component that has one; empty when none.
QString uidOf(const QByteArray& ics);
// Every line end as CRLF (XML answers bring LF), so equal objects hash equal.
QByteArray withCrlf(const QByteArray& text);
// The name a new object gets in the collection: the UID where it is made of
// safe characters only, else a digest of it; always ending in ".ics".
QString resourceNameFor(const QString& uid);

} // namespace Dav
