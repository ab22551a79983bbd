#pragma once

// A folder made read-only for this process while the object lives. Modes
// stop every user but root, so for root the folder is mounted on itself
// read-only; elsewhere its mode loses the write bits. failure() says why
// neither could be done (the test then skips).

#include <QFile>
#include <QProcess>
#include <QString>
#include <unistd.h>

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString path)
        : m_path(std::move(path))
    {
        if (::geteuid() != 0) {
            m_mode = QFile::permissions(m_path);
            QFile::setPermissions(m_path, m_mode & ~(QFile::WriteOwner | QFile::WriteUser |
                                                     QFile::WriteGroup | QFile::WriteOther));
            return;
        }
        if (QProcess::execute(QStringLiteral("mount"), {"--bind", m_path, m_path}) != 0) {
            m_failure = QStringLiteral("root cannot bind-mount a folder here");
            return;
        }
        m_mounted = true;
        if (QProcess::execute(QStringLiteral("mount"), {"-o", "remount,bind,ro", m_path}) != 0)
            m_failure = QStringLiteral("root cannot mount a folder read-only here");
    }
    ~ReadOnlyFolder() { release(); }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    QString failure() const { return m_failure; }
    // Writable again (every file in it must be closed first).
    void release()
    {
        if (m_mounted && QProcess::execute(QStringLiteral("umount"), {m_path}) != 0)
            QProcess::execute(QStringLiteral("umount"), {"-l", m_path});
        m_mounted = false;
        if (m_mode)
            QFile::setPermissions(m_path, m_mode);
        m_mode = {};
    }

private:
    QString m_path;
    QString m_failure;
    bool m_mounted = false;
    QFile::Permissions m_mode;
};
