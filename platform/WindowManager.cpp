#include "platform/WindowManager.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

namespace WindowManager {

namespace {
xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 0, uint16_t(strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}
} // namespace

namespace {
struct Skip {
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = XCB_NONE;
    xcb_atom_t state = XCB_ATOM_NONE;
    xcb_atom_t atoms[2] = {};
};

std::optional<Skip> skipFor(QWidget* window)
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    // The offscreen platform answers without a connection.
    if (!x11 || !x11->connection() || !window->testAttribute(Qt::WA_WState_Created))
        return std::nullopt;
    Skip s;
    s.connection = x11->connection();
    s.window = xcb_window_t(window->winId());
    s.state = atom(s.connection, "_NET_WM_STATE");
    s.atoms[0] = atom(s.connection, "_NET_WM_STATE_SKIP_TASKBAR");
    s.atoms[1] = atom(s.connection, "_NET_WM_STATE_SKIP_PAGER");
    return s;
}
} // namespace

void markSkipTaskbar(QWidget* window, bool skip)
{
    const std::optional<Skip> s = skipFor(window);
    if (!s)
        return;
    std::vector<xcb_atom_t> atoms;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        s->connection,
        xcb_get_property(s->connection, 0, s->window, s->state, XCB_ATOM_ATOM, 0, 64), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        atoms.assign(data, data + reply->value_len);
    }
    free(reply);
    bool changed = false;
    for (const xcb_atom_t a : s->atoms) {
        const auto at = std::find(atoms.begin(), atoms.end(), a);
        if (skip && at == atoms.end())
            atoms.push_back(a), changed = true;
        else if (!skip && at != atoms.end())
            atoms.erase(at), changed = true;
    }
    if (!changed)
        return;
    xcb_change_property(s->connection, XCB_PROP_MODE_REPLACE, s->window, s->state, XCB_ATOM_ATOM,
                        32, uint32_t(atoms.size()), atoms.data());
    xcb_flush(s->connection);
}

void requestSkipTaskbar(QWidget* window)
{
    const std::optional<Skip> s = skipFor(window);
    if (!s || !window->isVisible())
        return;
    // _NET_WM_STATE client message: add (1) both states, from an application (1).
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = s->window;
    e.type = s->state;
    e.data.data32[0] = 1;
    e.data.data32[1] = s->atoms[0];
    e.data.data32[2] = s->atoms[1];
    e.data.data32[3] = 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(s->connection)).data;
    xcb_send_event(s->connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&e));
    xcb_flush(s->connection);
}

bool compositing()
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false; // not on X11 (the offscreen platform answers without a connection)
    // A compositing manager owns the selection _NET_WM_CM_S<screen>; the
    // program's windows are on the display's first screen.
    const xcb_atom_t selection = atom(c, "_NET_WM_CM_S0");
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    free(reply);
    return owned;
}

} // namespace WindowManager
