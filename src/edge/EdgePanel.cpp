#include "edge/EdgePanel.h"

#include <QPalette>
#include <QScreen>

#include "cards/ServiceBadge.h"
#include "edge/EdgeHostingView.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xcb/xfixes.h>

#include <sys/uio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace brenvo {

namespace {

xcb_connection_t* x11Connection()
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t result = reply->atom;
    std::free(reply);
    return result;
}

// The compositing manager's selection for the display's default screen, where the panel is.
xcb_atom_t compositorSelection(xcb_connection_t* connection)
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = colon < 0 ? -1 : display.indexOf('.', colon);
    const int screen = dot < 0 ? 0 : display.mid(dot + 1).toInt();
    return atom(connection, QByteArray("_NET_WM_CM_S" + QByteArray::number(screen)).constData());
}

bool compositorRunning(xcb_connection_t* connection, xcb_atom_t selection)
{
    xcb_get_selection_owner_reply_t* reply
        = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!reply)
        return false;
    const bool owned = reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

// Whether the X server has put its displays to sleep (DPMS standby, suspend or off). The answer is
// kept for two seconds: turning rims ask on every step.
bool displaysAsleep()
{
    using Clock = std::chrono::steady_clock;
    static Clock::time_point askedAt;
    static bool asleep = false;
    const Clock::time_point now = Clock::now();
    if (askedAt != Clock::time_point() && now - askedAt < std::chrono::seconds(2))
        return asleep;
    askedAt = now;
    asleep = false;
    xcb_connection_t* connection = x11Connection();
    static xcb_extension_t dpms {"DPMS", 0};
    const xcb_query_extension_reply_t* present
        = connection ? xcb_get_extension_data(connection, &dpms) : nullptr;
    if (!present || !present->present)
        return asleep;
    // DPMSInfo (minor opcode 7) has no arguments; its reply holds the power level (0 is on) and
    // whether DPMS is enabled at all.
    struct {
        uint8_t major, minor;
        uint16_t length;
    } request {present->major_opcode, 7, 1};
    iovec parts[4] {};
    parts[2].iov_base = &request;
    parts[2].iov_len = sizeof(request);
    xcb_protocol_request_t protocol {1, &dpms, 7, 0};
    const unsigned int sequence = xcb_send_request(connection, 0, parts + 2, &protocol);
    xcb_generic_error_t* error = nullptr;
    auto* reply = static_cast<uint8_t*>(xcb_wait_for_reply(connection, sequence, &error));
    if (reply) {
        uint16_t level = 0;
        std::memcpy(&level, reply + 8, sizeof(level));
        asleep = reply[10] != 0 && level != 0;
    }
    std::free(reply);
    std::free(error);
    return asleep;
}

// Window rectangles in device pixels, covering every partly covered pixel.
std::vector<xcb_rectangle_t> deviceRectangles(const QRegion& region, double ratio)
{
    std::vector<xcb_rectangle_t> rectangles;
    for (const QRect& r : region) {
        const QRect device(QPoint(static_cast<int>(std::floor(r.left() * ratio)),
                               static_cast<int>(std::floor(r.top() * ratio))),
            QPoint(static_cast<int>(std::ceil((r.right() + 1) * ratio)) - 1,
                static_cast<int>(std::ceil((r.bottom() + 1) * ratio)) - 1));
        rectangles.push_back(
            xcb_rectangle_t {static_cast<int16_t>(device.x()), static_cast<int16_t>(device.y()),
                static_cast<uint16_t>(device.width()), static_cast<uint16_t>(device.height())});
    }
    return rectangles;
}

} // namespace

// Follows the owner of the compositing manager's selection: XFixes tells the panel's window when it
// changes hands, and the events come through Qt's own connection.
class EdgePanel::CompositorWatch : public QAbstractNativeEventFilter {
public:
    CompositorWatch(EdgePanel& panel, xcb_connection_t* connection, xcb_window_t window)
        : m_panel(panel)
        , m_connection(connection)
        , m_selection(compositorSelection(connection))
    {
        const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
        if (!xfixes || !xfixes->present || m_selection == XCB_ATOM_NONE)
            return;
        m_event = static_cast<uint8_t>(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
        // The version is agreed on before the extension is used; Qt has done so too.
        xcb_discard_reply(connection,
            xcb_xfixes_query_version(connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION)
                .sequence);
        xcb_xfixes_select_selection_input(connection, window, m_selection,
            XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        qApp->installNativeEventFilter(this);
    }

    // Without XFixes the owner is asked whenever the shape is set.
    bool isWatching() const { return m_event != 0; }
    bool compositorRunning() const { return brenvo::compositorRunning(m_connection, m_selection); }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (!m_event || type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != m_event)
            return false;
        const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
        if (notify->selection == m_selection)
            m_panel.compositorChanged(notify->owner != XCB_NONE);
        // Qt follows the manager as well.
        return false;
    }

private:
    EdgePanel& m_panel;
    xcb_connection_t* m_connection;
    xcb_atom_t m_selection;
    uint8_t m_event = 0;
};

// X clips a window's input to its bounding shape, and a child window's to its parent's: where the
// shaped panel's hover area reaches beyond what it draws, a window of its own stands in. It is
// input-only, so it draws nothing, and not managed, so it stays exactly over the panel; it hands the
// pointer to the panel.
class EdgePanel::HoverReach : public QAbstractNativeEventFilter {
public:
    HoverReach(EdgePanel& panel, xcb_connection_t* connection, xcb_window_t root)
        : m_panel(panel)
        , m_connection(connection)
        , m_window(xcb_generate_id(connection))
    {
        const uint32_t values[] {
            1, XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_BUTTON_PRESS};
        xcb_create_window(connection, 0, m_window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
            XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        qApp->installNativeEventFilter(this);
    }
    ~HoverReach() override
    {
        // At exit the connection may be gone before the panel.
        if (x11Connection() != m_connection)
            return;
        xcb_destroy_window(m_connection, m_window);
        xcb_flush(m_connection);
    }

    // Covers the region, in device pixels of a window at frame on the root window; away when empty.
    void cover(const QRect& frame, const QRegion& region)
    {
        if (region.isEmpty()) {
            if (m_mapped)
                xcb_unmap_window(m_connection, m_window);
            m_mapped = false;
            m_region = QRegion();
            xcb_flush(m_connection);
            return;
        }
        if (m_mapped && frame == m_frame && region == m_region)
            return;
        m_frame = frame;
        m_region = region;
        // Raised each time: nothing the window manager stacked meanwhile may cover it.
        const uint32_t values[] {static_cast<uint32_t>(frame.x()), static_cast<uint32_t>(frame.y()),
            static_cast<uint32_t>(std::max(frame.width(), 1)),
            static_cast<uint32_t>(std::max(frame.height(), 1)), XCB_STACK_MODE_ABOVE};
        xcb_configure_window(m_connection, m_window,
            XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT
                | XCB_CONFIG_WINDOW_STACK_MODE,
            values);
        std::vector<xcb_rectangle_t> rectangles;
        for (const QRect& r : region)
            rectangles.push_back(xcb_rectangle_t {static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()),
                static_cast<uint16_t>(r.width()), static_cast<uint16_t>(r.height())});
        xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
            m_window, 0, 0, static_cast<uint32_t>(rectangles.size()), rectangles.data());
        if (!m_mapped)
            xcb_map_window(m_connection, m_window);
        m_mapped = true;
        xcb_flush(m_connection);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        xcb_window_t target = XCB_NONE;
        QPoint at;
        bool pressed = false;
        switch (event->response_type & 0x7f) {
        case XCB_ENTER_NOTIFY: {
            const auto* enter = reinterpret_cast<const xcb_enter_notify_event_t*>(event);
            target = enter->event;
            at = QPoint(enter->event_x, enter->event_y);
            break;
        }
        case XCB_MOTION_NOTIFY: {
            const auto* motion = reinterpret_cast<const xcb_motion_notify_event_t*>(event);
            target = motion->event;
            at = QPoint(motion->event_x, motion->event_y);
            break;
        }
        case XCB_BUTTON_PRESS: {
            const auto* press = reinterpret_cast<const xcb_button_press_event_t*>(event);
            target = press->event;
            at = QPoint(press->event_x, press->event_y);
            pressed = press->detail <= XCB_BUTTON_INDEX_3; // the wheel only points
            break;
        }
        default:
            return false;
        }
        if (target != m_window)
            return false;
        m_panel.reachedAt(at, pressed);
        return true;
    }

private:
    EdgePanel& m_panel;
    xcb_connection_t* m_connection;
    xcb_window_t m_window;
    bool m_mapped = false;
    QRect m_frame;
    QRegion m_region;
};

EdgePanel::EdgePanel(QWidget* parent)
    : QWidget(
        parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
    , m_hosting(new EdgeHostingView(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setWindowTitle(QStringLiteral("Brenvo Edge"));
    // The panel is a dark surface whatever the desktop's theme: text without a colour of its own is
    // white, as the cards expect.
    QPalette dark = palette();
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, Qt::white);
    setPalette(dark);
    ServiceBadge::setSleepTest([](const QScreen*) { return x11Connection() && displaysAsleep(); });
}

EdgePanel::~EdgePanel() = default;

void EdgePanel::setFrame(const QRect& frame)
{
    m_frame = frame;
    setGeometry(frame);
    m_hosting->setGeometry(QRect(QPoint(0, 0), frame.size()));
    applyX11InputRegion();
    applyX11Shape();
}

void EdgePanel::orderFront()
{
    // The dock type must be set once the native window exists, before it is mapped.
    winId();
    m_hosting->watchWindow(windowHandle());
    if (xcb_connection_t* connection = x11Connection(); connection && !m_compositorWatch) {
        // Watched before it is asked, so that no change slips between the two.
        m_compositorWatch
            = std::make_unique<CompositorWatch>(*this, connection, static_cast<xcb_window_t>(winId()));
        m_compositor = m_compositorWatch->compositorRunning();
    }
    applyX11Hints();
    show();
    raise();
    applyX11Hints();
    applyX11InputRegion();
    m_sentShape.reset(); // the native window may be a new one
    applyX11Shape();
}

void EdgePanel::orderOut()
{
    hide();
    applyX11Reach();
}

void EdgePanel::setAllowsKey(bool allows)
{
    // Changing the focus flags at run time would drop the dock type: the flag is only kept.
    m_allowsKey = allows;
}

void EdgePanel::setSide(EdgeSide side)
{
    m_hosting->side = side;
    m_hosting->update();
}

void EdgePanel::layoutContent()
{
    m_hosting->setGeometry(QRect(QPoint(0, 0), m_frame.size()));
    if (QWidget* root = m_hosting->rootView()) {
        root->setGeometry(m_hosting->rect());
        root->update();
    }
}

void EdgePanel::setInputRegion(const QRegion& region)
{
    if (region == m_inputRegion)
        return;
    m_inputRegion = region;
    applyX11InputRegion();
}

void EdgePanel::setHoverArea(const QRegion& region)
{
    if (region == m_hoverArea)
        return;
    m_hoverArea = region;
    applyX11Reach();
}

void EdgePanel::setVisibleOutline(const QPainterPath& outline)
{
    if (m_outline == outline)
        return;
    m_outline = outline;
    applyX11Shape();
}

void EdgePanel::compositorChanged(bool present)
{
    if (present == m_compositor)
        return;
    m_compositor = present;
    applyX11Shape();
}

QRect EdgePanel::deviceBounds() const
{
    const double ratio = devicePixelRatioF();
    const QSize size = m_frame.isEmpty() ? this->size() : m_frame.size();
    return QRect(0, 0, static_cast<int>(std::ceil(size.width() * ratio)),
        static_cast<int>(std::ceil(size.height() * ratio)));
}

QRegion EdgePanel::shapeRegion() const
{
    const double ratio = devicePixelRatioF();
    const QRect bounds = deviceBounds();
    QRegion region;
    if (!m_outline) {
        for (const xcb_rectangle_t& r : deviceRectangles(m_inputRegion, ratio))
            region += QRect(r.x, r.y, r.width, r.height);
        return region & bounds;
    }
    // Pixels whose centres lie inside: about what antialiasing covers by half or more.
    for (const QPolygonF& polygon : m_outline->toSubpathPolygons(QTransform::fromScale(ratio, ratio)))
        region += QRegion(polygon.toPolygon(), Qt::WindingFill);
    return region & bounds;
}

QRegion EdgePanel::reachRegion() const
{
    // With a compositing manager the window is whole and its input region reaches the pointer.
    if (m_hoverArea.isEmpty() || m_compositor)
        return QRegion();
    QRegion hover;
    for (const xcb_rectangle_t& r : deviceRectangles(m_hoverArea, devicePixelRatioF()))
        hover += QRect(r.x, r.y, r.width, r.height);
    return (hover & deviceBounds()) - shapeRegion();
}

void EdgePanel::reachedAt(QPoint devicePoint, bool pressed)
{
    const QPointF point = QPointF(devicePoint) / devicePixelRatioF() - QPointF(m_hosting->pos());
    const QSizeF size(m_hosting->size());
    // Copies: the report may change the panel.
    if (pressed) {
        if (const auto report = m_hosting->onMouseDown)
            report(point, size);
    } else if (const auto report = m_hosting->onPointer) {
        report(point, size);
    }
}

void EdgePanel::applyX11Hints()
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || !testAttribute(Qt::WA_WState_Created))
        return;
    const auto window = static_cast<xcb_window_t>(winId());

    const xcb_atom_t dock = atom(connection, "_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, "_NET_WM_WINDOW_TYPE"),
        XCB_ATOM_ATOM, 32, 1, &dock);

    // Merged with the states Qt keeps (above), before the window is mapped.
    const xcb_atom_t netState = atom(connection, "_NET_WM_STATE");
    std::vector<xcb_atom_t> states;
    const auto cookie = xcb_get_property(connection, 0, window, netState, XCB_ATOM_ATOM, 0, 64);
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr)) {
        const auto* existing = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        states.assign(existing, existing + xcb_get_property_value_length(reply) / sizeof(xcb_atom_t));
        std::free(reply);
    }
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_STICKY",
             "_NET_WM_STATE_ABOVE"}) {
        const xcb_atom_t state = atom(connection, name);
        if (std::find(states.begin(), states.end(), state) == states.end())
            states.push_back(state);
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, netState, XCB_ATOM_ATOM, 32,
        static_cast<uint32_t>(states.size()), states.data());

    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, "_NET_WM_DESKTOP"),
        XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    // An overlay: no strut, so maximised windows keep the whole screen.
    xcb_delete_property(connection, window, atom(connection, "_NET_WM_STRUT"));
    xcb_delete_property(connection, window, atom(connection, "_NET_WM_STRUT_PARTIAL"));
    xcb_flush(connection);
}

void EdgePanel::applyX11InputRegion()
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || !testAttribute(Qt::WA_WState_Created))
        return;
    // setMask would clip the painting too; the input shape only decides where clicks land.
    const std::vector<xcb_rectangle_t> rectangles = deviceRectangles(m_inputRegion, devicePixelRatioF());
    xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
        static_cast<xcb_window_t>(winId()), 0, 0, static_cast<uint32_t>(rectangles.size()),
        rectangles.data());
    xcb_flush(connection);
}

void EdgePanel::applyX11Shape()
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || !testAttribute(Qt::WA_WState_Created))
        return;
    if (m_compositorWatch && !m_compositorWatch->isWatching())
        m_compositor = m_compositorWatch->compositorRunning();
    const auto window = static_cast<xcb_window_t>(winId());
    // With a compositing manager translucency draws the outline, antialiased. Without one the
    // see-through parts would show black: the window takes the painted outline as its shape (which
    // also bounds where the pointer reaches it).
    const std::optional<QRegion> wanted = m_compositor ? std::nullopt : std::optional(shapeRegion());
    if (m_sentShape != wanted) {
        m_sentShape = wanted;
        if (!wanted) {
            xcb_shape_mask(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, window, 0, 0, XCB_NONE);
        } else {
            std::vector<xcb_rectangle_t> rectangles;
            for (const QRect& r : *wanted)
                rectangles.push_back(
                    xcb_rectangle_t {static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()),
                        static_cast<uint16_t>(r.width()), static_cast<uint16_t>(r.height())});
            xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                XCB_CLIP_ORDERING_UNSORTED, window, 0, 0, static_cast<uint32_t>(rectangles.size()),
                rectangles.data());
        }
        xcb_flush(connection);
    }
    applyX11Reach();
}

void EdgePanel::applyX11Reach()
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || !testAttribute(Qt::WA_WState_Created))
        return;
    const QRegion region = isVisible() ? reachRegion() : QRegion();
    if (!m_reach) {
        if (region.isEmpty())
            return;
        xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(
            connection, xcb_get_geometry(connection, static_cast<xcb_window_t>(winId())), nullptr);
        if (!geometry)
            return;
        m_reach = std::make_unique<HoverReach>(*this, connection, geometry->root);
        std::free(geometry);
    }
    // Where Qt puts the panel on the root window: screen origins stay, distances from them scale.
    const double ratio = devicePixelRatioF();
    const QPoint origin = screen() ? screen()->geometry().topLeft() : QPoint();
    const QPoint topLeft = (QPointF(origin) + QPointF(m_frame.topLeft() - origin) * ratio).toPoint();
    m_reach->cover(QRect(topLeft, deviceBounds().size()), region);
}

} // namespace brenvo
