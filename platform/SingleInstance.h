#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One copy per file guarded: a lock on "<file>.lock" beside it decides which
// start is the running copy, so every copy that would use that file meets the
// same lock, whatever its environment, and a copy that ended (or crashed)
// leaves nothing held. A local socket in the user's runtime folder lets a
// second start ask the running copy to come forward.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the socket's name; guardedFile: the file one copy at a time may
    // use; runtimeFolder: where the socket lives (runtimeDir()), or empty
    // for none (a tool that only needs the file to itself).
    SingleInstance(const QString& name, const QString& guardedFile, const QString& runtimeFolder,
                   QObject* parent = nullptr);
    ~SingleInstance() override;

    // False only when another copy holds the lock. Any other failure to take
    // it (a folder that cannot be written, a lock file that is not the
    // user's) is a first start without a guard: see lockError().
    bool tryBecomePrimary();
    // After tryBecomePrimary(): why the lock could not be taken; empty when
    // it is held.
    QString lockError() const { return m_lockError; }
    // From a second start: tells the running copy, trying until timeoutMs has
    // passed (it may be starting); false when none answered.
    bool notifyPrimary(int timeoutMs = 3000);

    QString lockPath() const;
    // Named by the lock file's identity, so two copies that reach the guarded
    // file by different paths meet; empty while there is no lock file.
    QString socketPath() const;

    // The user's runtime folder: $XDG_RUNTIME_DIR when it is the user's own
    // with mode 0700, else /tmp/<app>-<uid> or ~/.cache/<app>-runtime under
    // the same rules, made when missing. Empty, with the reason in why, when
    // none of them can be used.
    static QString runtimeDir(const QString& app, QString* why = nullptr);
    // A folder the rules accept: a real folder (not a link), ours, 0700.
    static bool isPrivateFolder(const QString& path);

signals:
    void activationRequested();

private:
    void listen();

    QString m_name;
    QString m_guarded;
    QString m_folder;
    QString m_lockError;
    int m_fd = -1;
    QLocalServer* m_server = nullptr;
};
