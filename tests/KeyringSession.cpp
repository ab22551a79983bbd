#include "KeyringSession.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>
#include <csignal>
#include <sys/prctl.h>

namespace {
void stop(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(5000);
    }
}
} // namespace

KeyringSession::~KeyringSession()
{
    stop(m_keyring);
    stop(m_bus);
}

bool KeyringSession::start()
{
    // A session bus that can start nothing: no service folders.
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
            "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:dir=" +
            QFile::encodeName(m_dir.path()) +
            "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
            "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            "<allow own=\"*\"/></policy></busconfig>\n");
    f.close();
    // A test that crashes takes its bus and keyring with it.
    for (QProcess* p : {&m_bus, &m_keyring})
        p->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(10000))
        return false;
    QByteArray address;
    while (!address.contains('\n') && m_bus.waitForReadyRead(10000))
        address += m_bus.readAllStandardOutput();
    if (address.trimmed().isEmpty())
        return false;
    // Before anything in this process opens the session bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.trimmed());
    return QDBusConnection::sessionBus().isConnected();
}

bool KeyringSession::startKeyring()
{
    const QString home = m_dir.filePath(QStringLiteral("home"));
    const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")));
    env.remove(QStringLiteral("DISPLAY"));
    m_keyring.setProcessEnvironment(env);
    m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                     QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(10000))
        return false;
    m_keyring.write("keyring password\n");
    m_keyring.closeWriteChannel();
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(
                QStringLiteral("org.freedesktop.secrets")))
            return true;
        QTest::qWait(50);
    }
    return false;
}
