#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

// One copy per user: a lock file decides which start is the running copy; a
// local socket beside it lets a second start ask that copy to come forward.
// A lock left by a copy that crashed is recognised as stale and taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the lock's and the socket's name; folder: where they live
    // (runtimeDir()).
    SingleInstance(const QString& name, const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // False only when a live copy holds the lock. Any other failure to take
    // it (a folder that cannot be written) is a first start without a guard.
    bool tryBecomePrimary();
    // From a second start: tells the running copy; false when none answered.
    bool notifyPrimary(int timeoutMs = 2000);

    QString lockPath() const;
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
    bool heldByLiveCopy() const;

    QString m_name;
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
