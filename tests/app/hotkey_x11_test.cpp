#include "app/core/HotKeyManager.h"

#include "support/X11TestClient.h"

#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace brenvo;

namespace {

constexpr quint16 altShift = XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT;
constexpr quint8 spaceKey = 65, f5Key = 71, aKey = 38;
const HotKey altShiftF5 {96, HotKey::option | HotKey::shift};

void xdotool(const QStringList& args)
{
    ASSERT_EQ(QProcess::execute("xdotool", args), 0) << args.join(' ').toStdString();
}

class HotKeyX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("xdotool").isEmpty())
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

    void press(const QString& keys = "alt+shift+space") { xdotool({"key", keys}); }
    bool firesTo(int count)
    {
        return test::waitUntil([&] { return fired >= count; });
    }
    // Reaches the count and, after a while, has not gone past it.
    bool firesExactly(int count)
    {
        if (!firesTo(count))
            return false;
        test::settle();
        return fired == count;
    }

    HotKeyManager manager {HotKey::defaultShortcut()};
    test::OtherX11Client other;
    int fired = 0;
};

} // namespace

TEST_F(HotKeyX11, TheShortcutFiresOncePerPressHeldOrNotAndOnlyForItsModifiers)
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

    // Held longer than the server's repeat delay (660 ms by default).
    xdotool({"keydown", "alt+shift+space"});
    test::settle(1500);
    xdotool({"keyup", "alt+shift+space"});
    press();
    EXPECT_TRUE(firesExactly(4)) << fired;
}

TEST_F(HotKeyX11, WorksWithNumLockAndCapsLockOn)
{
    manager.start();
    const std::pair<const char*, quint16> steps[] = {{"Num_Lock", XCB_MOD_MASK_2},
        {"Caps_Lock", XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK}, {"Num_Lock", XCB_MOD_MASK_LOCK}, {"Caps_Lock", 0}};
    for (const auto& [lock, state] : steps) {
        xdotool({"key", lock});
        ASSERT_TRUE(test::waitUntil([&] { return other.lockState() == state; })) << lock;
        press();
        ASSERT_TRUE(firesTo(fired + 1)) << lock;
    }
    EXPECT_TRUE(firesExactly(4));
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
    EXPECT_TRUE(firesExactly(1));
}

TEST_F(HotKeyX11, SuspendingClearingAndStoppingFreeTheCombination)
{
    manager.start();
    manager.suspend();
    EXPECT_TRUE(!manager.isActive() && manager.hotKey() == HotKey::defaultShortcut());
    EXPECT_TRUE(other.canGrab(spaceKey, altShift | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2));
    manager.resume();
    manager.resume();
    EXPECT_FALSE(other.canGrab(spaceKey, altShift));

    EXPECT_TRUE(manager.registerHotKey(std::nullopt));
    EXPECT_TRUE(other.canGrab(spaceKey, altShift));
    manager.resume();
    EXPECT_FALSE(manager.isActive());
    EXPECT_TRUE(manager.registerHotKey(altShiftF5));
    press("alt+shift+F5");
    ASSERT_TRUE(firesTo(1));
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
    EXPECT_EQ(HotKey::keyName(27), "-");
    const auto previous = other.setSymbols(aKey, {'q', 'Q'});
    EXPECT_EQ(HotKey::keyName(0), "Q");
    other.setSymbols(aKey, {0x010003b1, 0x01000391}); // Greek alpha
    EXPECT_EQ(HotKey::keyName(0), QStringLiteral("\u0391"));
    other.setSymbols(aKey, {0xfe52}); // a dead key: no text of its own
    EXPECT_EQ(HotKey::keyName(0), "A");
    other.setSymbols(aKey, previous);
}
