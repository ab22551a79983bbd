#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>

// Tells that a system tray may have come or gone: on X11 the tray manager
// selection (_NET_SYSTEM_TRAY_S<screen>) changing hands, and on the session
// bus the StatusNotifierItem watcher appearing or leaving. It does not say
// which: the caller asks the toolkit again, once the change has settled.
class TrayWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit TrayWatch(QObject* parent = nullptr);
    ~TrayWatch() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // How long a change must rest before it is told (a tray starting takes
    // the selection, then docks its icons).
    static constexpr int settleMs = 400;

signals:
    void changed();

private:
    void watchOwner();

    QTimer m_settle;
    void* m_connection = nullptr; // xcb_connection_t, on X11 only
    quint32 m_selection = 0;      // the _NET_SYSTEM_TRAY_S<n> atom
    quint32 m_manager = 0;        // the MANAGER atom
    quint32 m_owner = 0;          // the tray's window while one is there
};
