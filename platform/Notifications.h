#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>

// One notice for the desktop's notification service.
struct Notification {
    QString appName;
    QString icon; // an icon name of the installed theme, or an absolute file path
    QString summary;
    QString body; // plain text; escaped here for a server that reads markup
    // Key and label of each action, offered where the server shows actions;
    // "default" is a click on the notice itself.
    QList<std::pair<QString, QString>> actions;
    std::function<void(const QString& key)> onAction; // the user chose one
};

// Shows one notice at a time: each replaces the one before rather than
// stacking beside it. Never waits and never fails where there is no
// notification service. Tests install a recorder.
class Notifications {
public:
    virtual ~Notifications() = default;

    virtual void notify(const Notification& notification) = 0;

    static Notifications& instance();
    // Tests install their own; nullptr restores the real service. Not owned.
    static void install(Notifications* notifications);

    // An icon name where a theme on the system's data folders holds it,
    // else the file (a name the server cannot find shows no icon at all).
    static QString themeIconOrFile(const QString& name, const QString& file);
};

// org.freedesktop.Notifications on a session bus, through asynchronous calls
// only: the capabilities are asked once per server, a notice is sent once
// they are known, and a notice asked for while one is on its way waits for
// that one's id, so that it replaces it.
class DesktopNotifications : public QObject, public Notifications {
    Q_OBJECT
public:
    explicit DesktopNotifications(QObject* parent = nullptr); // the session bus
    DesktopNotifications(const QDBusConnection& bus, QObject* parent);

    void notify(const Notification& notification) override;

    // The server's id of the notice on screen; 0 when none is.
    uint shownId() const { return m_id; }

signals:
    // The server answered a Notify with this id (tests wait for it).
    void shown(uint id);

private slots:
    void actionInvoked(uint id, const QString& key);
    void notificationClosed(uint id, uint reason);

private:
    void askCapabilities();
    void sendPending();
    void serverChanged();

    QDBusConnection m_bus;
    std::optional<QStringList> m_capabilities;
    std::optional<Notification> m_pending;
    Notification m_shown;
    uint m_id = 0;
    bool m_asking = false;
    bool m_sending = false;
};
