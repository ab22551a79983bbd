#include "TestSupport.h"

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Formats.h"
#include "platform/ProgramDir.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>
#include <sys/stat.h>
#include <unistd.h>

void RecordingDialogs::message(QWidget* parent, const QString& text)
{
    shown.append({QStringLiteral("message"), text, parent});
}

bool RecordingDialogs::confirm(QWidget* parent, const QString& text)
{
    shown.append({QStringLiteral("confirm"), text, parent});
    return confirmAnswers.isEmpty() ? true : confirmAnswers.takeFirst();
}

void RecordingDialogs::error(QWidget* owner, const QString& text)
{
    shown.append({QStringLiteral("error"), errorBoxText(text), owner});
}

QString RecordingDialogs::openFileName(QWidget*, const QString& caption, const QString&,
                                       const QString&)
{
    shown.append({QStringLiteral("file"), caption});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}

QStringList RecordingDialogs::openFileNames(QWidget*, const QString& caption, const QString&,
                                            const QString&)
{
    shown.append({QStringLiteral("files"), caption});
    if (!fileLists.isEmpty())
        return fileLists.takeFirst();
    return fileNames.isEmpty() ? QStringList() : QStringList(fileNames.takeFirst());
}

QColor RecordingDialogs::chooseColor(QWidget* parent, const QColor& initial)
{
    shown.append({QStringLiteral("color"), initial.name(), parent});
    return colors.isEmpty() ? QColor() : colors.takeFirst();
}

int RecordingDialogs::showModal(QWidget* window, QWidget* opener)
{
    shown.append({QStringLiteral("modal"), window->objectName(), opener});
    modalWindows.append(window);
    window->show();
    return 0;
}

QStringList RecordingDialogs::texts(const QString& kind) const
{
    QStringList out;
    for (const Shown& s : shown)
        if (s.kind == kind)
            out << s.text;
    return out;
}

TestEnvironment::TestEnvironment(const QDateTime& now)
{
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    m_oldData = qgetenv("XDG_DATA_HOME");
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("program"));
    root.mkpath(QStringLiteral("config"));
    root.mkpath(QStringLiteral("runtime"));
    // A runtime folder is the user's own, closed to everyone else.
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.filePath(QStringLiteral("runtime"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("share"))));
    ProgramDir::set(root.filePath(QStringLiteral("program")));
    Formats::set(QStringLiteral("yyyy-M-d"), QStringLiteral("HH:mm:ss"));
    Clock::setNow(now);
    Dialogs::install(&m_dialogs);
    Sound::install(&m_sound);
    Notifications::install(&m_notifications);
    Dialogs::setTitle(QStringLiteral("时雀"));
}

TestEnvironment::~TestEnvironment()
{
    Dialogs::install(nullptr);
    Sound::install(nullptr);
    Notifications::install(nullptr);
    Clock::reset();
    Formats::reset();
    Desktop::setCursorPos(nullptr);
    Desktop::setScreenSize(nullptr);
    Desktop::setOpener(nullptr);
    SafeFile::failWritesAfter(-1);
    ProgramDir::set(QString());
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
    if (m_oldData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", m_oldData);
}

QString TestEnvironment::programDir() const
{
    return ProgramDir::path();
}

QString TestEnvironment::configHome() const
{
    return m_root.filePath(QStringLiteral("config"));
}

QString TestEnvironment::dataHome() const
{
    return m_root.filePath(QStringLiteral("share"));
}

QString TestEnvironment::databaseFile() const
{
    return ProgramDir::dataFile(QStringLiteral("assistant.mdb"));
}

QString TestEnvironment::registryFile() const
{
    return configHome() + QStringLiteral("/Tavimor/registry.reg");
}

void TestEnvironment::setNow(const QDateTime& now)
{
    Clock::setNow(now);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

uint modeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0u;
}

std::optional<bool> otherUserCanRead(const QString& path)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        return std::nullopt;
    const QString temp = QDir(QDir::tempPath()).canonicalPath() + QLatin1Char('/');
    const QString full = QFileInfo(path).absoluteFilePath();
    if (full.startsWith(temp)) {
        const QString top = temp + full.mid(temp.size()).section(QLatin1Char('/'), 0, 0);
        QFile::setPermissions(top, QFile::permissions(top) | QFile::ReadOther | QFile::ExeOther);
    }
    QProcess p;
    p.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                      QStringLiteral("--clear-groups"), QStringLiteral("--"),
                      QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                      QStringLiteral("if [ -d \"$1\" ]; then ls -- \"$1\"; else head -c 1 -- "
                                     "\"$1\"; fi >/dev/null 2>&1"),
                      QStringLiteral("sh"), full});
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return p.exitCode() == 0;
}

PrivateBus::PrivateBus()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        return;
    m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address")});
    if (m_daemon.waitForReadyRead(5000))
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus()
{
    for (const QString& name : std::as_const(m_connections))
        QDBusConnection::disconnectFromBus(name);
    m_daemon.kill();
    m_daemon.waitForFinished();
}

QDBusConnection PrivateBus::connect(const QString& name)
{
    m_connections << name;
    return QDBusConnection::connectToBus(m_address, name);
}
