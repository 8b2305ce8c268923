#include "app/core/HotKeyManager.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>

using namespace brenvo;

namespace {

constexpr quint16 altShift = XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT;
constexpr quint8 spaceKey = 65;
constexpr quint8 f5Key = 71;
constexpr quint8 aKey = 38;
const HotKey altShiftF5 {96, HotKey::option | HotKey::shift};

bool waitUntil(const std::function<bool()>& done, int ms = 5000)
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
void settle(int ms = 300)
{
    waitUntil([] { return false; }, ms);
}

void xdotool(const QStringList& args)
{
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), args), 0) << args.join(' ').toStdString();
}

// Another X client on the same display, to hold grabs and watch keys.
class OtherClient {
public:
    OtherClient()
        : m_c(xcb_connect(nullptr, nullptr))
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root)
    {
    }
    ~OtherClient() { xcb_disconnect(m_c); }

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

class HotKeyX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
        ASSERT_TRUE(HotKeyManager::isAvailable());
        manager.setOnActivate([this] { ++fired; });
    }
    // A failed test must not leave a lock on for the next one.
    void TearDown() override
    {
        const quint16 locks = other.lockState();
        if (locks & XCB_MOD_MASK_2)
            xdotool({"key", "Num_Lock"});
        if (locks & XCB_MOD_MASK_LOCK)
            xdotool({"key", "Caps_Lock"});
    }

    void press(const QString& keys = QStringLiteral("alt+shift+space")) { xdotool({"key", keys}); }
    bool firesTo(int count)
    {
        return waitUntil([&] { return fired >= count; });
    }
    // Reaches the count and, after a while, has not gone past it.
    bool firesExactly(int count)
    {
        if (!firesTo(count))
            return false;
        settle();
        return fired == count;
    }

    HotKeyManager manager {HotKey::defaultShortcut()};
    OtherClient other;
    int fired = 0;
};

} // namespace

TEST_F(HotKeyX11, DefaultShortcutFiresOncePerPressAndOnlyForItsModifiers)
{
    manager.start();
    ASSERT_TRUE(manager.isActive());
    press();
    EXPECT_TRUE(firesExactly(1));

    // Wrong modifiers do not fire; X delivers in order, so the next press proves they came and went.
    press("alt+space");
    press("ctrl+alt+shift+space");
    press();
    EXPECT_TRUE(firesExactly(2)) << fired;
}

TEST_F(HotKeyX11, HoldingTheShortcutDoesNotRepeatIt)
{
    manager.start();
    xdotool({"keydown", "alt+shift+space"});
    // Longer than the server's repeat delay (660 ms by default).
    waitUntil([] { return false; }, 1500);
    xdotool({"keyup", "alt+shift+space"});
    settle();
    EXPECT_EQ(fired, 1);
    press();
    EXPECT_TRUE(firesExactly(2)) << fired;
}

TEST_F(HotKeyX11, WorksWithNumLockAndCapsLockOn)
{
    manager.start();
    xdotool({"key", "Num_Lock"});
    ASSERT_TRUE(waitUntil([&] { return other.lockState() == XCB_MOD_MASK_2; }));
    press();
    ASSERT_TRUE(firesTo(1));
    xdotool({"key", "Caps_Lock"});
    ASSERT_TRUE(waitUntil([&] { return other.lockState() == (XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK); }));
    press();
    ASSERT_TRUE(firesTo(2));
    xdotool({"key", "Num_Lock"});
    ASSERT_TRUE(waitUntil([&] { return other.lockState() == XCB_MOD_MASK_LOCK; }));
    press();
    ASSERT_TRUE(firesTo(3));
    xdotool({"key", "Caps_Lock"});
    ASSERT_TRUE(waitUntil([&] { return other.lockState() == 0; }));
    settle();
    EXPECT_EQ(fired, 3);
}

TEST_F(HotKeyX11, ATakenCombinationIsRefusedAndTheOldOneStays)
{
    // Held elsewhere in its NumLock variant only: that is enough to refuse it at start, whole.
    ASSERT_TRUE(other.grab(spaceKey, altShift | XCB_MOD_MASK_2));
    manager.start();
    EXPECT_FALSE(manager.isActive());
    EXPECT_TRUE(other.canGrab(spaceKey, altShift));
    other.ungrab(spaceKey, altShift | XCB_MOD_MASK_2);
    manager.resume();
    EXPECT_TRUE(manager.isActive());

    ASSERT_TRUE(other.grab(f5Key, altShift));
    EXPECT_FALSE(manager.registerHotKey(altShiftF5));
    EXPECT_EQ(manager.hotKey(), HotKey::defaultShortcut());
    press();
    ASSERT_TRUE(firesTo(1));
    // The other client still has its combination.
    press("alt+shift+F5");
    EXPECT_TRUE(other.waitForPress(f5Key));
    settle();
    EXPECT_EQ(fired, 1);
}

TEST_F(HotKeyX11, SuspendingClearingAndStoppingFreeTheCombination)
{
    manager.start();
    manager.suspend();
    EXPECT_FALSE(manager.isActive());
    EXPECT_EQ(manager.hotKey(), HotKey::defaultShortcut());
    EXPECT_TRUE(other.canGrab(spaceKey, altShift | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2));
    manager.resume();
    manager.resume();
    EXPECT_FALSE(other.canGrab(spaceKey, altShift));
    press();
    ASSERT_TRUE(firesTo(1));

    EXPECT_TRUE(manager.registerHotKey(std::nullopt));
    EXPECT_TRUE(other.canGrab(spaceKey, altShift));
    manager.resume();
    EXPECT_FALSE(manager.isActive());
    EXPECT_TRUE(manager.registerHotKey(altShiftF5));
    press("alt+shift+F5");
    ASSERT_TRUE(firesTo(2));
    manager.stop();
    EXPECT_TRUE(other.canGrab(f5Key, altShift));
    {
        HotKeyManager dropped(HotKey::defaultShortcut());
        dropped.start();
        EXPECT_FALSE(other.canGrab(spaceKey, altShift));
    }
    EXPECT_TRUE(other.canGrab(spaceKey, altShift));
}

TEST_F(HotKeyX11, KeyNamesFollowTheKeymapInForce)
{
    EXPECT_EQ(HotKey::keyName(0), "A");
    EXPECT_EQ(HotKey::keyName(27), "-");
    const auto previous = other.setSymbols(aKey, {'q', 'Q'});
    EXPECT_EQ(HotKey::keyName(0), "Q");
    other.setSymbols(aKey, {0x010003b1, 0x01000391}); // Greek alpha
    EXPECT_EQ(HotKey::keyName(0), QStringLiteral("\u0391"));
    other.setSymbols(aKey, {0xfe52}); // a dead key: no text of its own
    EXPECT_EQ(HotKey::keyName(0), "A");
    other.setSymbols(aKey, previous);
    EXPECT_EQ(HotKey::keyName(0), "A");
}
