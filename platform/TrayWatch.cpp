#include "platform/TrayWatch.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {
xcb_atom_t internAtom(xcb_connection_t* c, const QByteArray& name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// The screen number of DISPLAY (":0.1" is screen 1), whose tray is ours.
int displayScreen()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon);
    return colon >= 0 && dot > colon ? display.mid(dot + 1).toInt() : 0;
}

// Adds event kinds to what this client hears of a window, keeping the
// toolkit's own.
void listen(xcb_connection_t* c, xcb_window_t window, uint32_t events)
{
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    if (!attributes)
        return; // gone already
    const uint32_t mask = attributes->your_event_mask | events;
    free(attributes);
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
}
} // namespace

TrayWatch::TrayWatch(QObject* parent)
    : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &TrayWatch::changed);

    // StatusNotifierItem trays: the toolkit registers its item again by
    // itself when the watcher comes back.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        auto* watcher =
            new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                    QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, &m_settle,
                qOverload<>(&QTimer::start));
    }

    // XEmbed trays: a tray that starts announces itself with a MANAGER
    // message to the root window; one that ends destroys its window.
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    auto* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return;
    m_connection = c;
    m_manager = internAtom(c, QByteArrayLiteral("MANAGER"));
    m_selection = internAtom(c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(displayScreen()));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    listen(c, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    watchOwner();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

TrayWatch::~TrayWatch()
{
    if (m_connection && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void TrayWatch::watchOwner()
{
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr);
    m_owner = reply ? reply->owner : XCB_NONE;
    free(reply);
    if (m_owner != XCB_NONE)
        listen(c, m_owner, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    xcb_flush(c);
}

bool TrayWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (m->type == m_manager && m->format == 32 && m->data.data32[1] == m_selection) {
            watchOwner();
            m_settle.start();
        }
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* gone = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (m_owner != XCB_NONE && gone->window == m_owner) {
            m_owner = XCB_NONE;
            m_settle.start();
        }
        break;
    }
    default:
        break;
    }
    return false; // the toolkit's own tray tracking needs these too
}
