#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A session bus of the test's own, that starts no service by itself, and on
// it, when asked, a GNOME Keyring unlocked for the test: the secret store as
// a desktop has it, without the user's. Both go with the test, even when it
// crashes. The bus is this process's session bus from start() on: call it
// before anything opens the session bus.
class KeyringSession {
public:
    ~KeyringSession();
    bool start();
    bool startKeyring();
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_bus, m_keyring;
};
