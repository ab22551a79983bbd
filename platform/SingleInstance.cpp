#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray activateMessage = QByteArrayLiteral("activate\n");

// Makes the folder with mode 0700 when missing; true when it then passes the rules.
bool usable(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return SingleInstance::isPrivateFolder(path);
}
} // namespace

SingleInstance::SingleInstance(const QString& name, const QString& folder, QObject* parent)
    : QObject(parent)
    , m_name(name)
    , m_folder(folder)
{}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::isPrivateFolder(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 0777) == 0700;
}

QString SingleInstance::runtimeDir(const QString& app, QString* why)
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg) && isPrivateFolder(xdg))
        return QDir::cleanPath(xdg);
    // Another local user could make the shared one first: it is used only
    // when it is ours and closed to everyone else.
    const QString shared = QDir::tempPath() + QStringLiteral("/%1-%2").arg(app).arg(::geteuid());
    if (usable(shared))
        return shared;
    const QString cache = QDir::homePath() + QStringLiteral("/.cache");
    QDir().mkpath(cache);
    const QString own = cache + QStringLiteral("/%1-runtime").arg(app);
    if (usable(own))
        return own;
    if (why)
        *why = QStringLiteral("“%1”和“%2”都不是只属于本用户的文件夹（应为本用户所有、权限 0700）")
                   .arg(QDir::toNativeSeparators(shared), QDir::toNativeSeparators(own));
    return QString();
}

QString SingleInstance::lockPath() const
{
    return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString SingleInstance::socketPath() const
{
    return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".socket");
}

bool SingleInstance::tryBecomePrimary()
{
    m_lock = std::make_unique<QLockFile>(lockPath());
    m_lock->setStaleLockTime(0); // stale only when its owner is gone, never by age
    if (!m_lock->tryLock(0)) {
        const bool held = m_lock->error() == QLockFile::LockFailedError && heldByLiveCopy();
        m_lock.reset();
        if (held)
            return false;
        qWarning("single instance: cannot take the lock %s; starting without it",
                 qPrintable(lockPath()));
        return true;
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

bool SingleInstance::heldByLiveCopy() const
{
    // A copy starting this very moment may not have written its lock yet.
    for (int attempt = 0; attempt < 10; ++attempt) {
        qint64 pid = 0;
        QString host, app;
        if (m_lock->getLockInfo(&pid, &host, &app))
            return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
        ::usleep(50 * 1000);
    }
    return false;
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
