#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
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

// Never through a link, and never waiting on a FIFO someone put there.
int openLock(const QByteArray& path)
{
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | flags, 0600);
    if (fd >= 0 || (errno != EACCES && errno != EROFS))
        return fd;
    // One made before, in a folder that cannot be written now: a read-only
    // descriptor takes the lock as well.
    return ::open(path.constData(), O_RDONLY | flags);
}
} // namespace

SingleInstance::SingleInstance(const QString& name, const QString& guardedFile,
                               const QString& runtimeFolder, QObject* parent)
    : QObject(parent)
    , m_name(name)
    , m_guarded(QFileInfo(guardedFile).absoluteFilePath())
    , m_folder(runtimeFolder)
{}

SingleInstance::~SingleInstance()
{
    // The socket goes before the lock: once the lock is free, a new copy
    // may make its own socket under the same name.
    delete m_server;
    m_server = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
}

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
    return m_guarded + QStringLiteral(".lock");
}

QString SingleInstance::socketPath() const
{
    struct stat st {};
    if (m_folder.isEmpty() || ::stat(QFile::encodeName(lockPath()).constData(), &st) != 0)
        return QString();
    return m_folder + QStringLiteral("/%1-%2-%3.socket")
                          .arg(m_name)
                          .arg(quint64(st.st_dev), 0, 16)
                          .arg(quint64(st.st_ino), 0, 16);
}

bool SingleInstance::tryBecomePrimary()
{
    if (m_fd >= 0)
        return true;
    m_lockError.clear();
    const QByteArray path = QFile::encodeName(lockPath());
    struct stat folder {};
    ::stat(QFile::encodeName(QFileInfo(m_guarded).absolutePath()).constData(), &folder);
    for (int attempt = 0; attempt < 5 && m_fd < 0 && m_lockError.isEmpty(); ++attempt) {
        const int fd = openLock(path);
        if (fd < 0) {
            m_lockError = qt_error_string(errno);
            break;
        }
        struct stat st {};
        // Another user's file where ours should be must neither block us nor
        // be written; the folder's owner may run it as root.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            (st.st_uid != ::geteuid() && st.st_uid != folder.st_uid)) {
            ::close(fd);
            m_lockError = QStringLiteral("not a lock file of this user");
            break;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return false;
            m_lockError = qt_error_string(error);
            break;
        }
        // Removed or replaced between the opening and the lock: that lock
        // guards nothing any more.
        struct stat now {};
        if (::stat(path.constData(), &now) == 0 && now.st_dev == st.st_dev &&
            now.st_ino == st.st_ino) {
            m_fd = fd;
            if (st.st_uid == ::geteuid() && (st.st_mode & 077))
                ::fchmod(fd, 0600);
            // Made by root in a user's folder: the user's, as the engine
            // does with the journals, so that the user's own start can open it.
            if (st.st_uid != folder.st_uid && ::geteuid() == 0 &&
                ::fchown(fd, folder.st_uid, folder.st_gid) != 0)
                qWarning("single instance: the lock %s stays root's", qPrintable(lockPath()));
            // Who holds it, for the uninstaller's message; the lock decides.
            const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
            if (::ftruncate(fd, 0) == 0) {
                [[maybe_unused]] const ssize_t written =
                    ::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
            }
        } else {
            ::close(fd);
        }
    }
    if (m_fd < 0) {
        if (m_lockError.isEmpty())
            m_lockError = QStringLiteral("the lock file keeps being replaced");
        qWarning("single instance: cannot take the lock %s (%s); starting without it",
                 qPrintable(lockPath()), qPrintable(m_lockError));
        return true;
    }
    listen();
    return true;
}

void SingleInstance::listen()
{
    const QString socket = socketPath();
    if (socket.isEmpty())
        return;
    // The lock is ours, so any socket file left behind is a dead copy's.
    QLocalServer::removeServer(socket);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socket))
        qWarning("single instance: cannot listen on %s: %s", qPrintable(socket),
                 qPrintable(m_server->errorString()));
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains(activateMessage.trimmed()))
                    emit activationRequested();
                client->disconnectFromServer();
            });
        }
    });
}

bool SingleInstance::notifyPrimary(int timeoutMs)
{
    if (m_folder.isEmpty())
        return false;
    // The running copy takes its lock a moment before it listens.
    QElapsedTimer waited;
    waited.start();
    do {
        const QString path = socketPath();
        if (!path.isEmpty()) {
            QLocalSocket socket;
            socket.connectToServer(path);
            if (socket.waitForConnected(1000)) {
                socket.write(activateMessage);
                const bool written = socket.waitForBytesWritten(1000);
                socket.waitForDisconnected(1000);
                return written;
            }
        }
        QThread::msleep(100);
    } while (waited.elapsed() < timeoutMs);
    return false;
}
