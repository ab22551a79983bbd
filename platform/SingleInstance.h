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
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the running copy (lock held, socket listening).
    bool tryBecomePrimary();
    // From a second start: tells the running copy; false when none answered.
    bool notifyPrimary(int timeoutMs = 2000);

    QString lockPath() const;
    QString socketPath() const;
    // $XDG_RUNTIME_DIR, else a per-user folder under the temporary directory.
    static QString runtimeDir();

signals:
    void activationRequested();

private:
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
