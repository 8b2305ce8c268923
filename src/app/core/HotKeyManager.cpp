#include "app/core/HotKeyManager.h"

#include "model/Log.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace brenvo {

namespace {

constexpr xcb_keysym_t numLockKeysym = 0xff7f;
// A press this soon after the last one, with no release seen, is the key repeating.
constexpr quint32 repeatWindowMs = 3000;

xcb_connection_t* x11Connection()
{
    if (!qGuiApp)
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

QString keysymText(xcb_keysym_t sym)
{
    if ((sym >= 0x20 && sym <= 0x7e) || (sym >= 0xa0 && sym <= 0xff))
        return QString(QChar(char16_t(sym)));
    if (sym >= 0x01000100 && sym <= 0x0110ffff) {
        const char32_t ucs = sym & 0x00ffffff;
        return QString::fromUcs4(&ucs, 1);
    }
    return {};
}

// The unshifted symbol of the key in the keymap in force now (read fresh: layouts get switched).
QString x11LayoutText(quint32 keyCode)
{
    xcb_connection_t* c = x11Connection();
    const auto code = HotKey::x11KeyCode(keyCode);
    if (!c || !code)
        return {};
    xcb_key_symbols_t* syms = xcb_key_symbols_alloc(c);
    if (!syms)
        return {};
    const xcb_keysym_t sym = xcb_key_symbols_get_keysym(syms, *code, 0);
    xcb_key_symbols_free(syms);
    return keysymText(sym);
}

// The modifier bit that NumLock sets, from the server's modifier map.
quint16 numLockMask(xcb_connection_t* c)
{
    quint16 mask = 0;
    xcb_key_symbols_t* syms = xcb_key_symbols_alloc(c);
    xcb_keycode_t* codes = syms ? xcb_key_symbols_get_keycode(syms, numLockKeysym) : nullptr;
    xcb_get_modifier_mapping_reply_t* map
        = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (codes && map) {
        const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(map);
        const int perModifier = map->keycodes_per_modifier;
        for (int m = 0; m < 8; ++m) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t k = keys[m * perModifier + i];
                for (const xcb_keycode_t* n = codes; k != 0 && *n != 0; ++n) {
                    if (*n == k)
                        mask |= quint16(1u << m);
                }
            }
        }
    }
    std::free(codes);
    std::free(map);
    if (syms)
        xcb_key_symbols_free(syms);
    return mask ? mask : quint16(XCB_MOD_MASK_2);
}

// Every combination of the ignored bits, the empty one included.
template <typename Fn> void forEachVariant(quint16 ignored, Fn fn)
{
    for (quint16 v = ignored;; v = (v - 1) & ignored) {
        fn(v);
        if (v == 0)
            break;
    }
}

} // namespace

bool KeyRepeatFilter::press(quint32 time)
{
    bool repeat = false;
    if (m_down)
        repeat
            = m_released ? quint32(time - m_lastRelease) < 2 : quint32(time - m_lastPress) < repeatWindowMs;
    m_down = true;
    m_released = false;
    m_lastPress = time;
    return !repeat;
}

void KeyRepeatFilter::release(quint32 time)
{
    if (!m_down)
        return;
    m_released = true;
    m_lastRelease = time;
}

void KeyRepeatFilter::reset()
{
    *this = KeyRepeatFilter();
}

class HotKeyManager::EventFilter : public QAbstractNativeEventFilter {
public:
    explicit EventFilter(HotKeyManager* manager)
        : m_manager(manager)
    {
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const quint8 type = event->response_type & 0x7f;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
            return false;
        // Press and release share one layout.
        const auto* key = static_cast<const xcb_key_press_event_t*>(message);
        return m_manager->handleKey(type == XCB_KEY_PRESS, key->detail, key->state, key->time, key->event);
    }

private:
    HotKeyManager* m_manager;
};

HotKeyManager::HotKeyManager(std::optional<HotKey> hotKey, QObject* parent)
    : QObject(parent)
    , m_hotKey(hotKey)
{
    HotKey::setKeyLayout(x11LayoutText);
}

HotKeyManager::~HotKeyManager()
{
    stop();
}

bool HotKeyManager::isAvailable()
{
    return x11Connection() != nullptr;
}

void HotKeyManager::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!isAvailable()) {
        qCInfo(logApp, "No X11 display: global shortcuts cannot be registered");
        return;
    }
    m_filter = std::make_unique<EventFilter>(this);
    QCoreApplication::instance()->installNativeEventFilter(m_filter.get());
    if (m_hotKey)
        grab(*m_hotKey);
}

bool HotKeyManager::registerHotKey(std::optional<HotKey> hotKey)
{
    const auto previous = m_hotKey;
    m_hotKey = hotKey;
    if (!m_started)
        return true;
    ungrab();
    if (!hotKey || grab(*hotKey))
        return true;
    m_hotKey = previous;
    if (previous)
        grab(*previous);
    return false;
}

void HotKeyManager::suspend()
{
    ungrab();
}

void HotKeyManager::resume()
{
    if (m_started && !m_grab && m_hotKey)
        grab(*m_hotKey);
}

void HotKeyManager::stop()
{
    m_started = false;
    ungrab();
    m_filter.reset(); // its destructor takes it off the application
}

bool HotKeyManager::grab(const HotKey& hotKey)
{
    const QString name = hotKey.displayText();
    xcb_connection_t* c = x11Connection();
    if (!c) {
        qCInfo(logApp, "No X11 display: the shortcut %s is not registered", qUtf8Printable(name));
        return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto code = HotKey::x11KeyCode(hotKey.keyCode);
    if (!code || *code < setup->min_keycode || *code > setup->max_keycode) {
        qCInfo(logApp, "The shortcut %s has no key on this keyboard", qUtf8Printable(name));
        return false;
    }
    Grab g;
    g.keyCode = *code;
    g.modifiers = HotKey::x11Modifiers(hotKey.modifiers);
    g.ignored = quint16(XCB_MOD_MASK_LOCK) | numLockMask(c);
    for (auto it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it))
        g.roots.append(it.data->root);

    QVector<xcb_void_cookie_t> cookies;
    for (const quint32 root : std::as_const(g.roots)) {
        forEachVariant(g.ignored, [&](quint16 v) {
            cookies.append(xcb_grab_key_checked(
                c, 0, root, g.modifiers | v, g.keyCode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        });
    }
    bool taken = false;
    for (const auto& cookie : std::as_const(cookies)) {
        if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
            taken = true;
            std::free(error);
        }
    }
    m_grab = g;
    m_repeat.reset();
    if (!taken)
        return true;
    // Lets go of the variants it did get; the other client's grab is not touched.
    ungrab();
    qCInfo(logApp, "The shortcut %s is taken by another application", qUtf8Printable(name));
    return false;
}

void HotKeyManager::ungrab()
{
    if (!m_grab)
        return;
    const Grab g = *m_grab;
    m_grab.reset();
    m_repeat.reset();
    xcb_connection_t* c = x11Connection();
    if (!c)
        return;
    for (const quint32 root : g.roots) {
        forEachVariant(g.ignored, [&](quint16 v) { xcb_ungrab_key(c, g.keyCode, root, g.modifiers | v); });
    }
    // A round trip: the combination is free for others once this returns.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

bool HotKeyManager::handleKey(bool press, quint8 keyCode, quint16 state, quint32 time, quint32 window)
{
    if (!m_grab || keyCode != m_grab->keyCode || !m_grab->roots.contains(window))
        return false;
    if (!press) {
        m_repeat.release(time);
        return true;
    }
    // Button bits and the layout group sit above the low byte.
    const quint16 relevant = 0xff & ~m_grab->ignored;
    if ((state & relevant) != m_grab->modifiers)
        return false;
    if (m_repeat.press(time))
        activate();
    return true;
}

void HotKeyManager::activate()
{
    Q_ASSERT(QThread::currentThread() == thread());
    // Run outside Qt's event dispatch, and not after a stop that came in between.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_started && m_onActivate)
                m_onActivate();
        },
        Qt::QueuedConnection);
}

} // namespace brenvo
