#include "sync/Dav.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace Dav {

const QString davNs = QStringLiteral("DAV:");
const QString caldavNs = QStringLiteral("urn:ietf:params:xml:ns:caldav");
const QString calendarServerNs = QStringLiteral("http://calendarserver.org/ns/");

QString errorText(ErrorKind kind, int status)
{
    switch (kind) {
    case ErrorKind::None:
        return QString();
    case ErrorKind::Network:
        return QStringLiteral("无法连接服务器");
    case ErrorKind::Timeout:
        return QStringLiteral("服务器长时间没有应答");
    case ErrorKind::Tls:
        return QStringLiteral("服务器的证书未通过验证");
    case ErrorKind::Auth:
        return QStringLiteral("服务器不接受这个用户名和密码");
    case ErrorKind::NotFound:
        return QStringLiteral("服务器上没有这个地址");
    case ErrorKind::Conflict:
        return QStringLiteral("服务器上的这一项已在别处改过");
    case ErrorKind::UidConflict:
        return QStringLiteral("服务器上已有同一 UID 的另一项");
    case ErrorKind::TokenInvalid:
        return QStringLiteral("服务器已不认得上次同步的记号");
    case ErrorKind::Http:
        return QStringLiteral("服务器拒绝了请求（HTTP %1）").arg(status);
    case ErrorKind::Protocol:
        return QStringLiteral("服务器的应答无法识别");
    case ErrorKind::Cancelled:
        return QStringLiteral("同步已中止");
    }
    return QString();
}

QString qualified(const QString& ns, const QString& local)
{
    return QLatin1Char('{') + ns + QLatin1Char('}') + local;
}

int statusOfLine(const QString& line)
{
    // "HTTP/1.1 404 Not Found"; some servers leave out the reason.
    static const QRegularExpression re(QStringLiteral("^\\s*HTTP/\\d(?:\\.\\d)?\\s+(\\d{3})"));
    const auto m = re.match(line);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

namespace {

QString nameOf(const QXmlStreamReader& r)
{
    return qualified(r.namespaceUri().toString(), r.name().toString());
}

bool is(const QXmlStreamReader& r, const QString& ns, const char* local)
{
    return r.namespaceUri() == ns && r.name() == QLatin1String(local);
}

// Reads the element the reader stands on to its end, gathering what any
// property may hold.
Property readProperty(QXmlStreamReader& r)
{
    Property p;
    QString text;
    int depth = 1;
    while (depth > 0 && !r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            p.names << nameOf(r);
            if (is(r, davNs, "href")) {
                p.hrefs << r.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                --depth;
            } else if (is(r, caldavNs, "comp")) {
                p.components << r.attributes().value(QStringLiteral("name")).toString().toUpper();
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
            text += r.text();
            break;
        default:
            break;
        }
    }
    p.text = text.trimmed();
    return p;
}

void readPropstat(QXmlStreamReader& r, Response& response)
{
    QList<QPair<QString, Property>> props;
    int status = 200; // a propstat without its status is taken as found
    while (r.readNextStartElement()) {
        if (is(r, davNs, "prop")) {
            while (r.readNextStartElement()) {
                const QString name = nameOf(r);
                props.append({name, readProperty(r)});
            }
        } else if (is(r, davNs, "status")) {
            status = statusOfLine(r.readElementText(QXmlStreamReader::IncludeChildElements));
        } else {
            r.skipCurrentElement();
        }
    }
    for (const auto& [name, prop] : props) {
        if (status >= 200 && status < 300)
            response.found.insert(name, prop);
        else
            response.missing << name;
    }
}

void readResponse(QXmlStreamReader& r, QList<Response>& out)
{
    Response response;
    QStringList hrefs;
    while (r.readNextStartElement()) {
        if (is(r, davNs, "href"))
            hrefs << r.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        else if (is(r, davNs, "status"))
            response.status =
                statusOfLine(r.readElementText(QXmlStreamReader::IncludeChildElements));
        else if (is(r, davNs, "propstat"))
            readPropstat(r, response);
        else
            r.skipCurrentElement();
    }
    // One status may stand for several hrefs.
    for (const QString& href : std::as_const(hrefs)) {
        Response one = response;
        one.href = href;
        out << one;
    }
}

} // namespace

Multistatus parseMultistatus(const QByteArray& body)
{
    Multistatus ms;
    QXmlStreamReader r(body);
    if (!r.readNextStartElement() || !is(r, davNs, "multistatus")) {
        ms.error = r.hasError() ? r.errorString() : QStringLiteral("no multistatus");
        return ms;
    }
    while (r.readNextStartElement()) {
        if (is(r, davNs, "response"))
            readResponse(r, ms.responses);
        else if (is(r, davNs, "sync-token"))
            ms.syncToken = r.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        else
            r.skipCurrentElement();
    }
    if (r.hasError()) {
        ms.error = r.errorString();
        return ms;
    }
    ms.ok = true;
    return ms;
}

bool namesInvalidSyncToken(const QByteArray& body)
{
    QXmlStreamReader r(body);
    while (!r.atEnd()) {
        if (r.readNext() == QXmlStreamReader::StartElement && is(r, davNs, "valid-sync-token"))
            return true;
    }
    // A body that is no XML at all may still name it.
    return r.hasError() && body.contains("valid-sync-token");
}

// ---- Requests -----------------------------------------------------------------

namespace {

class Writer {
public:
    Writer()
        : w(&bytes)
    {
        w.writeStartDocument();
        w.writeNamespace(davNs, QStringLiteral("d"));
        w.writeNamespace(caldavNs, QStringLiteral("c"));
    }
    QByteArray finish()
    {
        w.writeEndDocument();
        return bytes;
    }
    QByteArray bytes;
    QXmlStreamWriter w;
};

} // namespace

QByteArray propfindBody(const QList<QPair<QString, QString>>& props)
{
    Writer x;
    for (const auto& [ns, local] : props)
        if (ns != davNs && ns != caldavNs)
            x.w.writeNamespace(ns, QStringLiteral("cs"));
    x.w.writeStartElement(davNs, QStringLiteral("propfind"));
    x.w.writeStartElement(davNs, QStringLiteral("prop"));
    for (const auto& [ns, local] : props)
        x.w.writeEmptyElement(ns, local);
    x.w.writeEndElement();
    x.w.writeEndElement();
    return x.finish();
}

QByteArray syncCollectionBody(const QString& token)
{
    Writer x;
    x.w.writeStartElement(davNs, QStringLiteral("sync-collection"));
    if (token.isEmpty())
        x.w.writeEmptyElement(davNs, QStringLiteral("sync-token"));
    else
        x.w.writeTextElement(davNs, QStringLiteral("sync-token"), token);
    x.w.writeTextElement(davNs, QStringLiteral("sync-level"), QStringLiteral("1"));
    x.w.writeStartElement(davNs, QStringLiteral("prop"));
    x.w.writeEmptyElement(davNs, QStringLiteral("getetag"));
    x.w.writeEndElement();
    x.w.writeEndElement();
    return x.finish();
}

QByteArray etagQueryBody()
{
    Writer x;
    x.w.writeStartElement(caldavNs, QStringLiteral("calendar-query"));
    x.w.writeStartElement(davNs, QStringLiteral("prop"));
    x.w.writeEmptyElement(davNs, QStringLiteral("getetag"));
    x.w.writeEndElement();
    x.w.writeStartElement(caldavNs, QStringLiteral("filter"));
    x.w.writeStartElement(caldavNs, QStringLiteral("comp-filter"));
    x.w.writeAttribute(QStringLiteral("name"), QStringLiteral("VCALENDAR"));
    x.w.writeEmptyElement(caldavNs, QStringLiteral("comp-filter"));
    x.w.writeAttribute(QStringLiteral("name"), QStringLiteral("VEVENT"));
    x.w.writeEndElement();
    x.w.writeEndElement();
    x.w.writeEndElement();
    return x.finish();
}

QByteArray multigetBody(const QStringList& hrefs)
{
    Writer x;
    x.w.writeStartElement(caldavNs, QStringLiteral("calendar-multiget"));
    x.w.writeStartElement(davNs, QStringLiteral("prop"));
    x.w.writeEmptyElement(davNs, QStringLiteral("getetag"));
    x.w.writeEmptyElement(caldavNs, QStringLiteral("calendar-data"));
    x.w.writeEndElement();
    for (const QString& href : hrefs)
        x.w.writeTextElement(davNs, QStringLiteral("href"), href);
    x.w.writeEndElement();
    return x.finish();
}

// ---- Hrefs ---------------------------------------------------------------------

QUrl serverUrl(const QString& typed)
{
    QString text = typed.trimmed();
    if (!text.contains(QLatin1String("://")))
        text.prepend(QStringLiteral("https://"));
    QUrl url(text, QUrl::TolerantMode);
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    return url;
}

QUrl resolve(const QUrl& base, const QString& href)
{
    return base.resolved(QUrl(href, QUrl::TolerantMode));
}

QString hrefKey(const QUrl& url)
{
    QString path = url.path(QUrl::FullyEncoded);
    if (path.isEmpty())
        path = QStringLiteral("/");
    // Decode everything but an escaped slash, which would change the segments.
    static const QRegularExpression slash(QStringLiteral("%2[fF]"));
    QStringList parts = path.split(slash);
    for (QString& part : parts)
        part = QString::fromUtf8(QByteArray::fromPercentEncoding(part.toUtf8()));
    QString key = parts.join(QStringLiteral("%2F"));
    while (key.size() > 1 && key.endsWith(QLatin1Char('/')))
        key.chop(1);
    return key;
}

QString hrefKey(const QUrl& base, const QString& href)
{
    return hrefKey(resolve(base, href));
}

QString hrefOf(const QUrl& url)
{
    const QString path = url.path(QUrl::FullyEncoded);
    return path.isEmpty() ? QStringLiteral("/") : path;
}

// ---- Calendar objects --------------------------------------------------------------

QByteArray withCrlf(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 40);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

QString uidOf(const QByteArray& ics)
{
    // Unfold (a line end followed by a blank continues the line), then look
    // for the UID of an event, a to-do or a journal, not of an alarm inside one.
    QList<QByteArray> lines;
    for (const QByteArray& raw : ics.split('\n')) {
        QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (!lines.isEmpty() && !line.isEmpty() && (line[0] == ' ' || line[0] == '\t'))
            lines.last() += line.mid(1);
        else
            lines << line;
    }
    QList<QByteArray> stack;
    for (const QByteArray& line : std::as_const(lines)) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        QByteArray name = line.left(colon);
        const qsizetype semi = name.indexOf(';');
        if (semi >= 0)
            name.truncate(semi);
        name = name.trimmed().toUpper();
        const QByteArray value = line.mid(colon + 1);
        if (name == "BEGIN") {
            stack << value.trimmed().toUpper();
        } else if (name == "END") {
            if (!stack.isEmpty())
                stack.removeLast();
        } else if (name == "UID" && !stack.isEmpty() &&
                   (stack.last() == "VEVENT" || stack.last() == "VTODO" ||
                    stack.last() == "VJOURNAL")) {
            return QString::fromUtf8(value.trimmed());
        }
    }
    return QString();
}

QString resourceNameFor(const QString& uid)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_@-][A-Za-z0-9_.@-]{0,199}$"));
    if (safe.match(uid).hasMatch())
        return uid + QStringLiteral(".ics");
    return QString::fromLatin1(
               QCryptographicHash::hash(uid.toUtf8(), QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".ics");
}

} // namespace Dav
