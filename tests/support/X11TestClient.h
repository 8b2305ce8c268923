#pragma once

// Helpers of the tests that run against a real X display: waiting on real events with a bound, and
// a second X client that holds grabs and watches keys as another application would.
// Needs xcb (brenvo_appcore brings it).
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <vector>

namespace brenvo::test {

inline bool waitUntil(const std::function<bool()>& done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Lets events that might still come arrive before a count is checked.
inline void settle(int ms = 300)
{
    waitUntil([] { return false; }, ms);
}

// Another X client on the same display, to hold grabs and watch keys.
class OtherX11Client {
public:
    OtherX11Client()
        : m_c(xcb_connect(nullptr, nullptr))
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root)
    {
    }
    ~OtherX11Client() { xcb_disconnect(m_c); }

    bool grab(quint8 key, quint16 mods)
    {
        xcb_generic_error_t* error = xcb_request_check(
            m_c, xcb_grab_key_checked(m_c, 0, m_root, mods, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }
    // Waits for the server: requests of two connections are not ordered otherwise.
    void ungrab(quint8 key, quint16 mods)
    {
        std::free(xcb_request_check(m_c, xcb_ungrab_key_checked(m_c, key, m_root, mods)));
    }
    // Whether the combination is free to grab (it is let go of again at once).
    bool canGrab(quint8 key, quint16 mods)
    {
        if (!grab(key, mods))
            return false;
        ungrab(key, mods);
        return true;
    }
    bool waitForPress(quint8 key)
    {
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const bool hit = (e->response_type & 0x7f) == XCB_KEY_PRESS
                    && reinterpret_cast<xcb_key_press_event_t*>(e)->detail == key;
                std::free(e);
                if (hit)
                    return true;
            }
            QThread::msleep(10);
        }
        return false;
    }
    quint16 lockState()
    {
        auto* reply = xcb_query_pointer_reply(m_c, xcb_query_pointer(m_c, m_root), nullptr);
        const quint16 mask = reply ? reply->mask : 0;
        std::free(reply);
        return mask & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
    }
    // Replaces the symbols of one key; returns the ones it had.
    std::vector<xcb_keysym_t> setSymbols(quint8 key, std::vector<xcb_keysym_t> syms)
    {
        auto* reply = xcb_get_keyboard_mapping_reply(m_c, xcb_get_keyboard_mapping(m_c, key, 1), nullptr);
        const auto* old = xcb_get_keyboard_mapping_keysyms(reply);
        std::vector<xcb_keysym_t> previous(old, old + reply->keysyms_per_keycode);
        std::free(reply);
        std::free(xcb_request_check(
            m_c, xcb_change_keyboard_mapping_checked(m_c, 1, key, syms.size(), syms.data())));
        return previous;
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_root;
};

} // namespace brenvo::test
