#include "platform/ui/WindowFrame.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace ui {

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// Whether the running window manager answers frame requests (none runs on a bare X server).
bool managerAnswers(xcb_connection_t* c, xcb_window_t root, xcb_atom_t request) {
    const xcb_atom_t supported = atom(c, "_NET_SUPPORTED");
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr);
    bool found = false;
    if (r && r->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(r));
        const int n = xcb_get_property_value_length(r) / 4;
        for (int i = 0; i < n && !found; ++i)
            found = atoms[i] == request;
    }
    std::free(r);
    return found;
}

bool readExtents(xcb_connection_t* c, xcb_window_t w, xcb_atom_t extents, QMargins& m) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
    const bool ok = r && r->format == 32 && xcb_get_property_value_length(r) == 16;
    if (ok) {
        const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r)); // left, right, top, bottom
        m = QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]), static_cast<int>(v[3]));
    }
    std::free(r);
    return ok;
}

} // namespace

QMargins expectedFrame(QWindow* window) {
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb")) return {};
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return {};
    const auto w = static_cast<xcb_window_t>(window->winId());
    xcb_window_t root = XCB_WINDOW_NONE;
    if (xcb_query_tree_reply_t* t = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr)) {
        root = t->root;
        std::free(t);
    }
    const xcb_atom_t request = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = atom(c, "_NET_FRAME_EXTENTS");
    if (root == XCB_WINDOW_NONE || !managerAnswers(c, root, request)) return {};

    QMargins m;
    if (readExtents(c, w, extents, m)) return m;
    xcb_client_message_event_t ev;
    std::memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = w;
    ev.type = request;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&ev));
    xcb_flush(c);
    // The manager answers by setting the property on the window; it does so at once.
    const QDeadlineTimer deadline(500);
    while (!deadline.hasExpired()) {
        if (readExtents(c, w, extents, m)) return m;
        QThread::msleep(2);
    }
    return {};
}

} // namespace ui
