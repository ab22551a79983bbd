#include "TestSupport.h"

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Formats.h"
#include "platform/ProgramDir.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

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
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("program"));
    root.mkpath(QStringLiteral("config"));
    root.mkpath(QStringLiteral("runtime"));
    // A runtime folder is the user's own, closed to everyone else.
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.filePath(QStringLiteral("runtime"))));
    ProgramDir::set(root.filePath(QStringLiteral("program")));
    Formats::set(QStringLiteral("yyyy-M-d"), QStringLiteral("HH:mm:ss"));
    Clock::setNow(now);
    Dialogs::install(&m_dialogs);
    Sound::install(&m_sound);
    Dialogs::setTitle(QStringLiteral("时雀"));
}

TestEnvironment::~TestEnvironment()
{
    Dialogs::install(nullptr);
    Sound::install(nullptr);
    Clock::reset();
    Formats::reset();
    Desktop::setCursorPos(nullptr);
    Desktop::setScreenSize(nullptr);
    Desktop::setOpener(nullptr);
    SafeFile::failWritesAfter(-1);
    ProgramDir::set(QString());
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
}

QString TestEnvironment::programDir() const
{
    return ProgramDir::path();
}

QString TestEnvironment::configHome() const
{
    return m_root.filePath(QStringLiteral("config"));
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
