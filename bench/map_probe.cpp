// Time from exec to the first top-level window of a program mapped on the X display: watches the
// root window's map events, starts the program, and prints the milliseconds in between.
// Usage: map_probe PROGRAM [ARG...]   (the program is terminated once its window is mapped)
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The _NET_WM_PID of a window, 0 when it has none.
pid_t windowPid(xcb_connection_t* c, xcb_window_t window, xcb_atom_t atom)
{
    auto* reply
        = xcb_get_property_reply(c, xcb_get_property(c, 0, window, atom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    pid_t pid = 0;
    if (reply && xcb_get_property_value_length(reply) == 4)
        pid = static_cast<pid_t>(*static_cast<uint32_t*>(xcb_get_property_value(reply)));
    free(reply);
    return pid;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: map_probe PROGRAM [ARG...]\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "map_probe: no X display\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    auto* atomReply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 11, "_NET_WM_PID"), nullptr);
    const xcb_atom_t pidAtom = atomReply ? atomReply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(atomReply);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    double elapsed = -1;
    // A program that dies or never maps a window within a minute has no figure.
    const auto limit = start + std::chrono::seconds(60);
    while (elapsed < 0 && std::chrono::steady_clock::now() < limit) {
        xcb_generic_event_t* event = xcb_poll_for_event(c);
        if (!event) {
            if (xcb_connection_has_error(c) || waitpid(child, nullptr, WNOHANG) == child)
                break;
            pollfd fd {xcb_get_file_descriptor(c), POLLIN, 0};
            poll(&fd, 1, 100);
            continue;
        }
        const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
        const xcb_window_t window = mapped ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
        free(event);
        if (!mapped)
            continue;
        const auto at = std::chrono::steady_clock::now();
        // Another client's window (none should map meanwhile on a private display) is not it.
        const pid_t owner = windowPid(c, window, pidAtom);
        if (owner != 0 && owner != child)
            continue;
        elapsed = std::chrono::duration<double, std::milli>(at - start).count();
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    xcb_disconnect(c);
    if (elapsed < 0)
        return 1;
    std::printf("%.1f\n", elapsed);
    return 0;
}
