#pragma once

// The X server seen from a test under Xvfb: a desktop of one colour, the colour at a point, a
// window's shapes, the window under the pointer, and the pointer moved by xdotool.
#include <QCursor>
#include <QGuiApplication>
#include <QProcess>
#include <QRegion>
#include <QStandardPaths>
#include <QTest>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace brenvo::test {

inline constexpr uint32_t desktop = 0x2a6fbb; // the root window's colour

// The compositing manager the tests run beside; empty where it is not installed.
inline QString compositorProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("xcompmgr"));
}
inline constexpr const char* noCompositor = "xcompmgr is not installed: run scripts/setup";

inline bool startCompositor(QProcess& manager)
{
    manager.start(compositorProgram(), {});
    return manager.waitForStarted();
}

inline xcb_connection_t* connection()
{
    return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

inline xcb_window_t root()
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
}

// The root window in one colour, and a picture of it where a compositing manager looks for the
// desktop's background.
inline void paintDesktop()
{
    xcb_connection_t* c = connection();
    xcb_change_window_attributes(c, root(), XCB_CW_BACK_PIXEL, &desktop);
    xcb_clear_area(c, 0, root(), 0, 0, 0, 0);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_pixmap_t tile = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, tile, root(), 1, 1);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, tile, XCB_GC_FOREGROUND, &desktop);
    const xcb_rectangle_t all {0, 0, 1, 1};
    xcb_poly_fill_rectangle(c, tile, gc, 1, &all);
    xcb_free_gc(c, gc);
    const char* name = "_XROOTPMAP_ID";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    if (atom) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root(), atom->atom, XCB_ATOM_PIXMAP, 32, 1, &tile);
        std::free(atom);
    }
    xcb_flush(c);
}

// The colour on screen at a global point, as 0xRRGGBB.
inline uint32_t screenPixel(QPoint p)
{
    const auto cookie = xcb_get_image(connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, root(),
        static_cast<int16_t>(p.x()), static_cast<int16_t>(p.y()), 1, 1, ~0u);
    xcb_get_image_reply_t* reply = xcb_get_image_reply(connection(), cookie, nullptr);
    if (!reply)
        return 0xffffffff;
    uint32_t value = 0;
    if (xcb_get_image_data_length(reply) >= 4)
        std::memcpy(&value, xcb_get_image_data(reply), 4);
    std::free(reply);
    return value & 0xffffff;
}

inline bool dark(uint32_t colour)
{
    return (colour >> 16 & 0xff) < 60 && (colour >> 8 & 0xff) < 60 && (colour & 0xff) < 60;
}

// A window's shape as the X server has it: the bounding one is what shows, the input one where the
// pointer reaches the window.
inline QRegion shape(xcb_window_t window, xcb_shape_kind_t kind)
{
    const auto cookie = xcb_shape_get_rectangles(connection(), window, kind);
    xcb_shape_get_rectangles_reply_t* reply = xcb_shape_get_rectangles_reply(connection(), cookie, nullptr);
    QRegion region;
    if (!reply)
        return region;
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(reply);
    for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(reply); ++i)
        region += QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    std::free(reply);
    return region;
}

inline QRegion boundingShape(xcb_window_t window)
{
    return shape(window, XCB_SHAPE_SK_BOUNDING);
}

inline QRegion inputShape(xcb_window_t window)
{
    return shape(window, XCB_SHAPE_SK_INPUT);
}

// The top-level window that has the pointer, as the server decides it from every window's shapes.
inline xcb_window_t pointerWindow()
{
    xcb_query_pointer_reply_t* reply
        = xcb_query_pointer_reply(connection(), xcb_query_pointer(connection(), root()), nullptr);
    const xcb_window_t child = reply ? reply->child : XCB_NONE;
    std::free(reply);
    return child;
}

template <typename Condition> bool waitFor(Condition condition)
{
    return QTest::qWaitFor(condition, 5000);
}

// Moves the pointer and waits until the server has it there.
inline void pointAt(QPoint global)
{
    QProcess::execute("xdotool", {"mousemove", QString::number(global.x()), QString::number(global.y())});
    waitFor([global]() { return QCursor::pos() == global; });
}

} // namespace brenvo::test
