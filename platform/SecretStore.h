#pragma once

#include <QString>

// Passwords in the desktop's secret store (the Secret Service that GNOME
// Keyring, KWallet and KeePassXC serve), one per server and user name, under
// the caller's schema name. The calls wait for the store (which may ask the
// user to unlock it): make them off the GUI thread.
class SecretStore {
public:
    enum class Status {
        Ok,
        NotFound,    // the store has no password for them
        Unavailable, // no secret service on the session bus, or no bus
        Failed,      // the store refused (locked and not unlocked, ...)
    };
    struct Result {
        Status status = Status::Failed;
        QString password; // lookup()
        QString error;    // the store's words, for Failed
    };

    // schema: names the program's items in the store, e.g. its application id.
    explicit SecretStore(const QString& schema);

    // A secret service runs on the session bus, or the bus can start one.
    static bool available();

    Result lookup(const QString& server, const QString& user) const;
    Result store(const QString& server, const QString& user, const QString& password) const;
    Result remove(const QString& server, const QString& user) const;

private:
    QByteArray m_schema;
};
