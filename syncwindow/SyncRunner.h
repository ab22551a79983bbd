#pragma once

#include "sync/SyncEngine.h"

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>
#include <atomic>

// The sync rounds of the run: one at a time, each on a thread of the pool
// (the password from the secret store, the round on a connection of its
// own), never on the GUI thread; the automatic timer of syncInterval skips
// while a round runs. Where no secret service runs, the password typed in
// the window is kept in memory for the run.
class SyncRunner : public QObject {
    Q_OBJECT
public:
    static SyncRunner& instance();
    ~SyncRunner() override;

    bool running() const { return m_watcher.isRunning(); }
    // A round on the settings and the database of the data module; false
    // while one runs or nothing is set. A password given is stored.
    bool start(const QString& password = QString());
    // Arms the timer from syncInterval (minutes, 0: off).
    void applyInterval();
    // The time and text of the last round, as kept in the settings.
    static QString lastResult();

    struct Outcome {
        SyncReport report;
        bool noSecretService = false;
    };

signals:
    void finished(const QString& text);

private:
    SyncRunner();
    void done();

    QFutureWatcher<Outcome> m_watcher;
    QTimer m_timer;
    QString m_password; // typed, where the secret store is unavailable
    std::atomic_bool m_cancel{false};
};
