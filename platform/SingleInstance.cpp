#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace {
const QByteArray activateMessage = QByteArrayLiteral("activate\n");
}

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent)
    , m_name(name)
{}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::runtimeDir()
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(xdg).exists())
        return QDir::cleanPath(xdg);
    const QString dir = QDir::tempPath() + QStringLiteral("/brenwick-%1").arg(getuid());
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}

QString SingleInstance::lockPath() const
{
    return runtimeDir() + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString SingleInstance::socketPath() const
{
    return runtimeDir() + QLatin1Char('/') + m_name + QStringLiteral(".socket");
}

bool SingleInstance::tryBecomePrimary()
{
    m_lock = std::make_unique<QLockFile>(lockPath());
    m_lock->setStaleLockTime(0); // stale only when its owner is gone, never by age
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    // The lock is ours, so any socket file left behind is a dead copy's.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath()))
        qWarning("single instance: cannot listen on %s: %s", qPrintable(socketPath()),
                 qPrintable(m_server->errorString()));
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains(activateMessage.trimmed()))
                    emit activationRequested();
                socket->disconnectFromServer();
            });
        }
    });
    return true;
}

bool SingleInstance::notifyPrimary(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(activateMessage);
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.waitForDisconnected(timeoutMs);
    return written;
}
