#include "DavServers.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <stdexcept>
#include <sys/prctl.h>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool writeWhole(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

QString testSourceDir()
{
    return QStringLiteral(BRENWICK_TESTS_DIR);
}

// ---- Servers -------------------------------------------------------------------

DavTestServer::DavTestServer(Kind kind, const Options& options)
    : m_kind(kind)
    , m_options(options)
{}

DavTestServer::~DavTestServer()
{
    stop();
}

QString DavTestServer::name() const
{
    return m_kind == Kind::Radicale ? QStringLiteral("radicale") : QStringLiteral("xandikos");
}

QString DavTestServer::user() const
{
    return m_kind == Kind::Radicale ? QStringLiteral("alice") : QString();
}

QString DavTestServer::password() const
{
    return m_kind == Kind::Radicale ? QStringLiteral("秘密 pw") : QString();
}

QUrl DavTestServer::root() const
{
    const bool tls = !m_options.certificate.isEmpty();
    return QUrl(QStringLiteral("%1://127.0.0.1:%2/")
                    .arg(tls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(m_port));
}

DavAccount DavTestServer::account() const
{
    DavAccount a;
    a.server = root();
    a.user = user();
    a.password = password();
    a.timeoutMs = 20000;
    return a;
}

QString DavTestServer::log() const
{
    QFile f(m_dir.filePath(QStringLiteral("server.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool DavTestServer::start()
{
    if (m_process)
        return true;
    if (m_port == 0)
        m_port = freePort();
    const QString data = m_dir.filePath(QStringLiteral("data"));
    QDir().mkpath(data);
    QStringList args;
    QString program;
    if (m_kind == Kind::Radicale) {
        program = QStringLiteral("radicale");
        // -C with no file: none of the system's configuration applies.
        args << QStringLiteral("-C") << QStringLiteral("--storage-filesystem-folder=") + data
             << QStringLiteral("--server-hosts=127.0.0.1:%1").arg(m_port)
             << QStringLiteral("--auth-delay=0") << QStringLiteral("--logging-level=warning");
        if (m_options.password) {
            const QString users = m_dir.filePath(QStringLiteral("users"));
            writeWhole(users,
                       (user() + QLatin1Char(':') + password() + QLatin1Char('\n')).toUtf8());
            args << QStringLiteral("--auth-type=htpasswd")
                 << QStringLiteral("--auth-htpasswd-filename=") + users
                 << QStringLiteral("--auth-htpasswd-encryption=plain");
        } else {
            args << QStringLiteral("--auth-type=none");
        }
        if (!m_options.certificate.isEmpty())
            args << QStringLiteral("--ssl")
                 << QStringLiteral("--certificate=") + m_options.certificate
                 << QStringLiteral("--key=") + m_options.key;
    } else {
        program = QStringLiteral("xandikos");
        args << QStringLiteral("-d") << data << QStringLiteral("--defaults") << QStringLiteral("-l")
             << QStringLiteral("127.0.0.1") << QStringLiteral("-p") << QString::number(m_port);
    }
    m_process = std::make_unique<QProcess>();
    // A test that crashes takes its server with it.
    m_process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(m_dir.filePath(QStringLiteral("server.log")),
                                     QIODevice::Append);
    m_process->start(program, args);
    if (!m_process->waitForStarted(10000)) {
        qWarning("%s did not start: %s", qPrintable(program), qPrintable(m_process->errorString()));
        m_process.reset();
        return false;
    }
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (m_process->state() != QProcess::Running)
            break;
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    qWarning("%s does not answer on %d:\n%s", qPrintable(program), m_port, qPrintable(log()));
    stop();
    return false;
}

void DavTestServer::stop()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_process.reset();
}

QUrl DavTestServer::makeCalendar(const QString& name, const QString& displayName,
                                 const QString& components)
{
    if (m_kind == Kind::Radicale) {
        // Radicale reads its folder at every request: a collection is a
        // folder with its properties beside.
        const QString folder =
            m_dir.filePath(QStringLiteral("data/collection-root/%1/%2").arg(user(), name));
        QDir().mkpath(folder);
        const QByteArray props =
            QByteArrayLiteral("{\"tag\": \"VCALENDAR\", \"D:displayname\": \"") +
            displayName.toUtf8() + "\", \"C:supported-calendar-component-set\": \"" +
            components.toUtf8() + "\"}";
        if (!writeWhole(folder + QStringLiteral("/.Radicale.props"), props))
            return {};
        return root().resolved(QUrl(QStringLiteral("/%1/%2/").arg(user(), name)));
    }
    const QUrl url = root().resolved(QUrl(QStringLiteral("/user/calendars/%1/").arg(name)));
    QByteArray comps;
    for (const QString& c : components.split(QLatin1Char(',')))
        comps += "<c:comp name=\"" + c.toUtf8() + "\"/>";
    const QByteArray body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><c:mkcalendar xmlns:d=\"DAV:\" "
        "xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:set><d:prop><d:displayname>" +
        displayName.toUtf8() + "</d:displayname><c:supported-calendar-component-set>" + comps +
        "</c:supported-calendar-component-set></d:prop></d:set></c:mkcalendar>";
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, m_port);
    if (!s.waitForConnected(5000))
        return {};
    s.write("MKCALENDAR " + url.path(QUrl::FullyEncoded).toUtf8() +
            " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/xml\r\nConnection: "
            "close\r\nContent-Length: " +
            QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray answer;
    while (s.waitForReadyRead(5000))
        answer += s.readAll();
    return answer.startsWith("HTTP/1.1 201") ? url : QUrl();
}

bool DavTestServer::forgetSyncTokens()
{
    if (m_kind != Kind::Radicale)
        return false;
    bool any = false;
    QDir root(m_dir.filePath(QStringLiteral("data/collection-root/%1").arg(user())));
    for (const QString& c : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QDir cache(root.filePath(c + QStringLiteral("/.Radicale.cache/sync-token")));
        any = cache.exists() && (cache.removeRecursively() || any);
    }
    return any;
}

// ---- The relay ----------------------------------------------------------------------

class TestProxy::Relay : public QObject {
public:
    Relay(TestProxy& proxy, QTcpSocket* client, quint16 target)
        : m_proxy(proxy)
        , m_client(client)
        , m_server(new QTcpSocket(this))
    {
        client->setParent(this);
        connect(m_client, &QTcpSocket::readyRead, this, [this] {
            m_toServer += m_client->readAll();
            flushToServer();
        });
        connect(m_server, &QTcpSocket::connected, this, [this] {
            m_connected = true;
            flushToServer();
        });
        connect(m_server, &QTcpSocket::errorOccurred, this, [this] {
            if (!m_connected) {
                m_client->abort(); // the server is down: so is the relay
                deleteLater();
            }
        });
        connect(m_server, &QTcpSocket::readyRead, this, [this] {
            m_fromServer += m_server->readAll();
            answer();
        });
        connect(m_client, &QTcpSocket::disconnected, this, [this] { end(); });
        connect(m_server, &QTcpSocket::disconnected, this, [this] {
            if (m_proxy.hold)
                return; // the client waits on, for an answer that never comes
            // Let answers held back by a delay go out first.
            QTimer::singleShot(m_proxy.delayMs.load() + 10, this, [this] { end(); });
        });
        m_server->connectToHost(QHostAddress::LocalHost, target);
    }

private:
    enum class State { Head, Body, Raw };

    // Requests go on whole, one by one, unless the relay answers one itself.
    void flushToServer()
    {
        while (m_server->state() == QAbstractSocket::ConnectedState) {
            const qsizetype end = m_toServer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            qint64 length = 0;
            for (const QByteArray& line : m_toServer.left(end).split('\n'))
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            if (m_toServer.size() < end + 4 + length)
                return;
            const QByteArray request = m_toServer.left(end + 4 + length);
            m_toServer.remove(0, request.size());
            if (m_proxy.refuseSyncCollection && request.startsWith("REPORT ") &&
                request.contains("sync-collection")) {
                const QByteArray body = "<?xml version=\"1.0\"?><D:error xmlns:D=\"DAV:\">"
                                        "<D:supported-report/></D:error>";
                m_client->write("HTTP/1.1 403 Forbidden\r\nContent-Type: application/xml\r\n"
                                "Content-Length: " +
                                QByteArray::number(body.size()) + "\r\n\r\n" + body);
                continue;
            }
            m_server->write(request);
        }
    }

    void toClient(const QByteArray& bytes)
    {
        if (m_proxy.hold || bytes.isEmpty())
            return;
        const int delay = m_proxy.delayMs;
        if (delay <= 0) {
            m_client->write(bytes);
            return;
        }
        QPointer<QTcpSocket> client = m_client;
        QTimer::singleShot(delay, this, [client, bytes] {
            if (client)
                client->write(bytes);
        });
    }

    void answer()
    {
        for (;;) {
            if (m_state == State::Raw) {
                toClient(m_fromServer);
                m_fromServer.clear();
                return;
            }
            if (m_state == State::Body) {
                const qint64 take = std::min<qint64>(m_left, m_fromServer.size());
                toClient(m_fromServer.left(take));
                m_fromServer.remove(0, take);
                m_left -= take;
                if (m_left > 0)
                    return;
                m_state = State::Head;
            }
            const qsizetype end = m_fromServer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            QByteArray head = m_fromServer.left(end + 4);
            m_fromServer.remove(0, end + 4);
            if (!head.startsWith("HTTP/"))
                continue;
            ++m_proxy.answers;
            const int status = head.mid(9, 3).toInt();
            if (status == 401)
                ++m_proxy.unauthorized;
            QList<QByteArray> lines = head.split('\n');
            qint64 length = -1;
            bool chunked = false;
            QByteArray out;
            for (const QByteArray& line : std::as_const(lines)) {
                const QByteArray lower = line.toLower();
                if (lower.startsWith("content-length:"))
                    length = lower.mid(15).trimmed().toLongLong();
                if (lower.startsWith("transfer-encoding:") && lower.contains("chunked"))
                    chunked = true;
                if (m_proxy.stripEtags && lower.startsWith("etag:"))
                    continue;
                out += line + '\n';
            }
            out.chop(1);
            const int cut = m_proxy.cutAnswer;
            if (cut > 0 && m_proxy.cutAnswer.fetch_sub(1) == 1) {
                if (m_proxy.cutRun.fetch_sub(1) > 1)
                    m_proxy.cutAnswer = 1; // the next one too
                // Half an answer, then nothing: the server has done the work,
                // the client never learns it.
                m_client->write(out.left(out.size() / 2));
                m_client->flush();
                m_client->abort();
                m_server->abort();
                return;
            }
            toClient(out);
            if (chunked || (length < 0 && status != 204 && status != 304)) {
                m_state = State::Raw;
            } else if (length > 0) {
                m_state = State::Body;
                m_left = length;
            }
        }
    }

    void end()
    {
        if (m_client->state() != QAbstractSocket::UnconnectedState)
            m_client->disconnectFromHost();
        if (m_server->state() != QAbstractSocket::UnconnectedState)
            m_server->disconnectFromHost();
        if (m_client->state() == QAbstractSocket::UnconnectedState &&
            m_server->state() == QAbstractSocket::UnconnectedState)
            deleteLater();
    }

    TestProxy& m_proxy;
    QTcpSocket* m_client;
    QTcpSocket* m_server;
    QByteArray m_toServer, m_fromServer;
    State m_state = State::Head;
    qint64 m_left = 0;
    bool m_connected = false;
};

TestProxy::TestProxy(quint16 target)
    : m_thread(std::make_unique<QThread>())
{
    m_thread->start();
    auto* server = new QTcpServer;
    server->moveToThread(m_thread.get());
    QMetaObject::invokeMethod(
        server,
        [this, server, target] {
            auto* relays = new QObject(server);
            relays->setObjectName(QStringLiteral("relays"));
            QObject::connect(server, &QTcpServer::newConnection, server,
                             [this, server, target, relays] {
                                 while (QTcpSocket* client = server->nextPendingConnection()) {
                                     ++connections;
                                     (new Relay(*this, client, target))->setParent(relays);
                                 }
                             });
            server->listen(QHostAddress::LocalHost, 0);
            m_port = server->serverPort();
        },
        Qt::BlockingQueuedConnection);
    m_server = server;
}

TestProxy::~TestProxy()
{
    QTcpServer* server = m_server;
    QMetaObject::invokeMethod(
        server, [server] { delete server; }, // the relays with it
        Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

QUrl TestProxy::url(const QUrl& serverUrl) const
{
    QUrl u = serverUrl;
    u.setPort(m_port);
    return u;
}

// ---- Canned answers ---------------------------------------------------------------

struct CannedServer::Private {
    struct Answer {
        int status;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
    };
    QThread thread;
    QTcpServer* server = nullptr;
    quint16 port = 0;
    mutable QMutex lock;
    QHash<QByteArray, Answer> answers; // "METHOD PATH"
    QStringList asked;
    QByteArray authScheme, authUser;

    QByteArray reply(const QByteArray& request)
    {
        const QList<QByteArray> first = request.left(request.indexOf("\r\n")).split(' ');
        const QByteArray key = first.value(0) + ' ' + first.value(1);
        QMutexLocker locked(&lock);
        const QByteArray head = request.left(request.indexOf("\r\n\r\n"));
        const bool credentials = head.toLower().contains("\r\nauthorization:");
        asked << QString::fromUtf8(key) +
                     (credentials ? QStringLiteral(" (with credentials)") : QString());
        bool answered = true;
        QByteArray challenge = authScheme + " realm=\"canned\"";
        if (authScheme == "Digest") {
            answered = head.toLower().contains("authorization: digest") &&
                       head.contains("username=\"" + authUser + '"');
            challenge += ", nonce=\"abc123\", qop=\"auth\"";
        } else if (authScheme == "Basic") {
            answered = head.contains("Authorization: Basic " + (authUser + ':').toBase64().left(4));
        }
        const Answer a = !answered ? Answer{401, "who?", {{"WWW-Authenticate", challenge}}}
                                   : answers.value(key, answers.value(first.value(0) + " *",
                                                                      Answer{404, "not here", {}}));
        const QByteArray base = "http://127.0.0.1:" + QByteArray::number(port);
        QByteArray body = a.body;
        body.replace("{base}", base);
        QByteArray out = "HTTP/1.1 " + QByteArray::number(a.status) + " Canned\r\n";
        for (auto [name, value] : a.headers)
            out += name + ": " + value.replace("{base}", base) + "\r\n";
        if (a.status == 207)
            out += "Content-Type: application/xml; charset=utf-8\r\n";
        return out + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }
};

CannedServer::CannedServer()
    : d(std::make_unique<Private>())
{
    d->thread.start();
    auto* server = new QTcpServer;
    server->moveToThread(&d->thread);
    Private* p = d.get();
    QMetaObject::invokeMethod(
        server,
        [p, server] {
            QObject::connect(server, &QTcpServer::newConnection, server, [p, server] {
                while (QTcpSocket* socket = server->nextPendingConnection()) {
                    socket->setParent(server);
                    auto buffer = std::make_shared<QByteArray>();
                    QObject::connect(socket, &QTcpSocket::readyRead, socket, [p, socket, buffer] {
                        *buffer += socket->readAll();
                        for (;;) {
                            const qsizetype end = buffer->indexOf("\r\n\r\n");
                            if (end < 0)
                                return;
                            qint64 length = 0;
                            for (const QByteArray& line : buffer->left(end).split('\n'))
                                if (line.toLower().startsWith("content-length:"))
                                    length = line.mid(15).trimmed().toLongLong();
                            if (buffer->size() < end + 4 + length)
                                return;
                            const QByteArray request = buffer->left(end + 4 + length);
                            buffer->remove(0, request.size());
                            socket->write(p->reply(request));
                        }
                    });
                    QObject::connect(socket, &QTcpSocket::disconnected, socket,
                                     &QObject::deleteLater);
                }
            });
            server->listen(QHostAddress::LocalHost, 0);
            p->port = server->serverPort();
        },
        Qt::BlockingQueuedConnection);
    d->server = server;
}

CannedServer::~CannedServer()
{
    QTcpServer* server = d->server;
    QMetaObject::invokeMethod(
        server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    d->thread.quit();
    d->thread.wait();
}

QUrl CannedServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(d->port).arg(path));
}

void CannedServer::answer(const QByteArray& method, const QString& path, int status,
                          const QByteArray& body,
                          const QList<QPair<QByteArray, QByteArray>>& headers)
{
    QMutexLocker locked(&d->lock);
    d->answers.insert(method + ' ' + path.toUtf8(), Private::Answer{status, body, headers});
}

void CannedServer::requireAuth(const QByteArray& scheme, const QByteArray& user)
{
    QMutexLocker locked(&d->lock);
    d->authScheme = scheme;
    d->authUser = user;
}

QStringList CannedServer::asked() const
{
    QMutexLocker locked(&d->lock);
    return d->asked;
}

// ---- The phone ---------------------------------------------------------------------

QString Phone::run(const QStringList& commands) const
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{testSourceDir() + QStringLiteral("/phone.py"),
                        QString::fromUtf8(calendar.toEncoded()), user, password} +
                commands);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("phone.py %s failed:\n%s", qPrintable(commands.join(QLatin1Char(' '))),
                 p.readAllStandardError().constData());
        return QStringLiteral("phone.py failed");
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList Phone::list() const
{
    return run({QStringLiteral("list")}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// ---- The local side in memory ----------------------------------------------------------------

namespace {

QList<QByteArray> unfolded(const QByteArray& ics)
{
    QList<QByteArray> lines;
    for (const QByteArray& raw : ics.split('\n')) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (!lines.isEmpty() && !line.isEmpty() && (line[0] == ' ' || line[0] == '\t'))
            lines.last() += line.mid(1);
        else if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

} // namespace

QByteArray eventText(const QString& uid, const QString& summary)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//memory//test//EN\r\nBEGIN:VEVENT\r\nUID:" +
           uid.toUtf8() + "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20260302T100000Z\r\nSUMMARY:" +
           summary.toUtf8() + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

QList<SyncLocalSide::Item> MemoryLocalSide::items()
{
    QList<Item> out;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        out.append({it.key(), hashOf(it.value())});
    return out;
}

QByteArray MemoryLocalSide::read(const QString& uid)
{
    return texts.value(uid);
}

QByteArray MemoryLocalSide::write(const QString& uid, const QByteArray& ics)
{
    if (failAfterWrites == 0)
        throw std::runtime_error("磁盘已满");
    if (failAfterWrites > 0)
        --failAfterWrites;
    ++writes;
    texts.insert(uid, ics);
    return hashOf(ics);
}

void MemoryLocalSide::remove(const QString& uid)
{
    ++removals;
    texts.remove(uid);
}

QByteArray MemoryLocalSide::hashOf(const QByteArray& ics)
{
    QList<QByteArray> lines;
    for (const QByteArray& line : unfolded(ics))
        if (!line.startsWith("PRODID") && !line.startsWith("DTSTAMP"))
            lines << line;
    std::sort(lines.begin(), lines.end());
    return QCryptographicHash::hash(lines.join('\n'), QCryptographicHash::Sha1).toHex();
}

QStringList MemoryLocalSide::keepConflictCopies(const QString& uid)
{
    QString copy = uid + QStringLiteral("-conflict");
    for (int n = 2; texts.contains(copy); ++n)
        copy = uid + QStringLiteral("-conflict%1").arg(n);
    QByteArray text;
    for (const QByteArray& line : unfolded(texts.value(uid))) {
        if (line.startsWith("UID:"))
            text += "UID:" + copy.toUtf8() + "\r\n";
        else if (line.startsWith("SUMMARY:"))
            text += "SUMMARY:〔冲突〕" + line.mid(8) + "\r\n";
        else
            text += line + "\r\n";
    }
    texts.insert(copy, text);
    return {copy};
}

void MemoryLocalSide::put(const QString& uid, const QString& summary)
{
    texts.insert(uid, eventText(uid, summary));
}

QString MemoryLocalSide::summaryOf(const QString& uid) const
{
    for (const QByteArray& line : unfolded(texts.value(uid)))
        if (line.startsWith("SUMMARY"))
            return QString::fromUtf8(line.mid(line.indexOf(':') + 1));
    return QString();
}

QStringList MemoryLocalSide::list() const
{
    QStringList out;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        out << it.key() + QLatin1Char('\t') + summaryOf(it.key());
    std::sort(out.begin(), out.end());
    return out;
}

// ---- Certificates ---------------------------------------------------------------------

namespace {
bool openssl(const QString& folder, const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("openssl %s:\n%s", qPrintable(args.join(QLatin1Char(' '))),
                 p.readAll().constData());
        return false;
    }
    return true;
}
} // namespace

bool makeCertificate(const QString& folder, const QString& hosts, QString* ca)
{
    const QStringList key = {
        QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    if (!ca)
        return openssl(folder,
                       QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + key +
                           QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"),
                                       QStringLiteral("-out"), QStringLiteral("server.pem"),
                                       QStringLiteral("-days"), QStringLiteral("2"),
                                       QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                                       QStringLiteral("-addext"),
                                       QStringLiteral("subjectAltName=") + hosts});
    *ca = folder + QStringLiteral("/ca.pem");
    writeWhole(folder + QStringLiteral("/ext.cnf"), ("subjectAltName=" + hosts + "\n").toUtf8());
    const QString cn =
        QStringLiteral("/CN=") + hosts.section(QLatin1Char(','), 0, 0).section(QLatin1Char(':'), 1);
    return openssl(folder,
                   QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + key +
                       QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"),
                                   QStringLiteral("-out"), QStringLiteral("ca.pem"),
                                   QStringLiteral("-days"), QStringLiteral("2"),
                                   QStringLiteral("-subj"), QStringLiteral("/CN=Test authority"),
                                   QStringLiteral("-addext"),
                                   QStringLiteral("basicConstraints=critical,CA:true"),
                                   QStringLiteral("-addext"),
                                   QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")}) &&
           openssl(folder, QStringList{QStringLiteral("req")} + key +
                               QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"),
                                           QStringLiteral("-out"), QStringLiteral("server.csr"),
                                           QStringLiteral("-subj"), cn}) &&
           openssl(folder,
                   {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                    QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                    QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                    QStringLiteral("server.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                    QStringLiteral("-extfile"), QStringLiteral("ext.cnf")});
}
