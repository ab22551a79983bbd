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
    // An icon name of the installed theme, or an absolute file path; where
    // empty, the application's window icon goes as the notice's picture.
    QString icon;
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

    // The name where the icon theme on the system's data folders holds it,
    // else an empty text (a name the server cannot find shows no icon).
    static QString installedIcon(const QString& name);
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
    uint m_id = 0;      // the notice the next one replaces; 0 once it is closed
    uint m_shownId = 0; // whose actions m_shown answers, closed or not
    bool m_asking = false;
    bool m_sending = false;
};
