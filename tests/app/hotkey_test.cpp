#include "app/core/HotKeyManager.h"
#include "model/HotKey.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

using namespace brenvo;

namespace brenvo {
void PrintTo(const HotKey& k, std::ostream* os)
{
    *os << "HotKey{" << k.keyCode << ", " << k.modifiers << "}";
}
} // namespace brenvo

namespace {
// Puts back the layout a test replaced.
struct LayoutOverride {
    explicit LayoutOverride(HotKey::KeyLayout layout) { HotKey::setKeyLayout(std::move(layout)); }
    ~LayoutOverride() { HotKey::setKeyLayout(nullptr); }
};
} // namespace

TEST(HotKeyText, DesktopWordsInFixedOrderThenTheKeyNameFromTheLayoutOrTheUSName)
{
    // A PC keyboard has no Option or Command key: the desktop's words, as its own settings write them.
    EXPECT_EQ(HotKey::defaultShortcut().displayText(), "Alt+Shift+Space");
    // Bits other than the four are carried but not shown.
    EXPECT_EQ((HotKey {121, 7936 | 0x10000}).displayText(), "Ctrl+Alt+Shift+Super+PgDown");
    EXPECT_TRUE((HotKey {36, HotKey::command}).displayText() == "Super+Return"
        && (HotKey {122, 0}).displayText() == "F1");
    {
        // An AZERTY keyboard types "q" where a US one types "a"; nothing from the layout: the US name
        // of the position, else the code.
        LayoutOverride layout([](quint32 code) { return code == 0 ? " q\n" : " \t\n"; });
        EXPECT_EQ(QStringList({HotKey::keyName(0), HotKey::keyName(83), HotKey::keyName(72)}),
            (QStringList {"Q", "1", "Key 72"})); // 83: keypad 1
    }
    LayoutOverride layout([](quint32) { return QString::fromUtf8("é"); });
    EXPECT_TRUE(HotKey::keyName(19) == QString::fromUtf8("É") && HotKey::keyName(49) == "Space");
}

TEST(HotKeyStoredForm, RoundTripsAndReadsWhatOthersWrote)
{
    for (const HotKey k : {HotKey {49, 2560}, HotKey {0, 0}, HotKey {4294967295u, 4294967295u}}) {
        EXPECT_EQ(k.storedForm().keys(), (QStringList {"keyCode", "modifiers"}));
        EXPECT_EQ(HotKey::fromStoredForm(k.storedForm()), k);
    }
    // The stored empty dictionary, or a missing key: no shortcut.
    EXPECT_TRUE(!HotKey::fromStoredForm({}) && !HotKey::fromStoredForm({{"keyCode", 49}}));
    // Any integer width, and whole doubles, as property lists and JSON give them.
    EXPECT_EQ(HotKey::fromStoredForm({{"keyCode", 122u}, {"modifiers", qint64(256)}, {"extra", 7}}),
        (HotKey {122, 256}));
    EXPECT_EQ(HotKey::fromStoredForm({{"keyCode", 49.0}, {"modifiers", 512.0}}), (HotKey {49, 512}));
    // Not an integer, or not a 32-bit one: the default shortcut, even with a key missing.
    const QList<QVariantMap> odd {{{"keyCode", "49"}}, {{"keyCode", 49.5}, {"modifiers", 0}},
        {{"keyCode", true}, {"modifiers", 0}}, {{"keyCode", -1}, {"modifiers", 0}},
        {{"keyCode", 49}, {"modifiers", qint64(1) << 32}}, {{"keyCode", 1e300}, {"modifiers", 0}},
        {{"keyCode", std::numeric_limits<quint64>::max()}, {"modifiers", 0}}};
    for (const QVariantMap& m : odd)
        EXPECT_EQ(HotKey::fromStoredForm(m), HotKey::defaultShortcut())
            << m.value("keyCode").toString().toStdString();
}

TEST(HotKeyX11Table, KeysModifiersAndKeyEventsMapBothWays)
{
    EXPECT_EQ(HotKey::x11KeyCode(49), 65); // evdev space
    // Modifier keys and codes outside the table have no X11 key.
    EXPECT_TRUE(!HotKey::x11KeyCode(56) && !HotKey::keyCodeFromX11(50)); // 50: left Shift
    int mapped = 0;
    for (quint32 code = 0; code < 1000; ++code) {
        if (const auto x = HotKey::x11KeyCode(code)) {
            ++mapped;
            EXPECT_EQ(HotKey::keyCodeFromX11(*x), code) << code;
        }
    }
    EXPECT_GE(mapped, 100);
    EXPECT_EQ(HotKey::x11Modifiers(4096 | 256 | 1024), 4 | 64); // Control | Mod4
    // Lock, NumLock (Mod2), Mod3, Mod5 and button bits make no modifier.
    EXPECT_EQ(HotKey::modifiersFromX11(2 | 16 | 32 | 128 | 256 | 4 | 64), 4096u | 256u);
    for (quint32 bits : {0u, 512u, 2048u, 6400u, 6912u})
        EXPECT_EQ(HotKey::modifiersFromX11(HotKey::x11Modifiers(bits)), bits);

    const auto record = [](Qt::KeyboardModifiers mods, quint32 scanCode) {
        return HotKey::fromKeyEvent(QKeyEvent(QEvent::KeyPress, Qt::Key_A, mods, scanCode, 0, 0));
    };
    EXPECT_EQ(
        record(Qt::AltModifier | Qt::ShiftModifier | Qt::KeypadModifier, 65), HotKey::defaultShortcut());
    EXPECT_EQ(record(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier, 38),
        (HotKey {0, 6912}));
    // No native code (offscreen), or a key the table lacks (Print).
    EXPECT_TRUE(!record(Qt::NoModifier, 0) && !record(Qt::NoModifier, 107));
}

TEST(KeyRepeatFilter, OnePressPerHoldWhicheverWayTheServerRepeats)
{
    KeyRepeatFilter f;
    // Detectable auto-repeat: presses without releases.
    EXPECT_TRUE(f.press(1000));
    EXPECT_FALSE(f.press(1500));
    f.release(1600);
    EXPECT_TRUE(f.press(2600));
    f.release(2700);
    // Classic auto-repeat: a release and a press with one timestamp; then a quick second tap.
    EXPECT_TRUE(f.press(5000));
    f.release(5500);
    EXPECT_FALSE(f.press(5500));
    f.release(5600);
    EXPECT_TRUE(f.press(5650));
    // A release lost: a press long after still counts.
    EXPECT_TRUE(f.press(10000));
    // The server clock wraps.
    f.reset();
    EXPECT_TRUE(f.press(4294967290u));
    EXPECT_FALSE(f.press(20));
    f.release(30);
    EXPECT_FALSE(f.press(30));
}

TEST(HotKeyManagerWithoutX11, KeepsTheShortcutButHasNothingInForce)
{
    ASSERT_FALSE(HotKeyManager::isAvailable());
    HotKeyManager m(HotKey::defaultShortcut());
    // Before start a new shortcut is only remembered; after, nothing can be grabbed: refused, the old one
    // stays.
    EXPECT_TRUE(m.registerHotKey(HotKey {122, 0}));
    m.start();
    EXPECT_TRUE(m.isRegistered() && !m.isActive());
    EXPECT_FALSE(m.registerHotKey(HotKey::defaultShortcut()));
    EXPECT_EQ(m.hotKey(), (HotKey {122, 0}));
    EXPECT_TRUE(m.registerHotKey(std::nullopt) && !m.hotKey());
    m.stop();
    EXPECT_FALSE(m.isRegistered());
    // The layout of a display that is not there types nothing: US names.
    EXPECT_EQ(HotKey::keyName(0), "A");
}
