// The shortcut recorder on a real X display, with the shortcut registered as the application does
// and a second X client holding a combination of its own.
#include "app/core/HotKeyManager.h"
#include "settings/ShortcutRecorder.h"

#include "support/X11TestClient.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace brenvo;

namespace {

constexpr quint16 altShift = XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT;
constexpr quint8 f5Key = 71;

void xdotool(const QStringList& args)
{
    ASSERT_EQ(QProcess::execute("xdotool", args), 0) << args.join(' ').toStdString();
}

class RecorderX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("xdotool").isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
        ASSERT_TRUE(HotKeyManager::isAvailable());
        manager.start();
        ShortcutRecorder::Actions actions;
        actions.setShortcut = [this](std::optional<HotKey> key) { return manager.registerHotKey(key); };
        actions.suspend = [this] { manager.suspend(); };
        actions.resume = [this] { manager.resume(); };
        recorder = new ShortcutRecorder(manager.hotKey(), std::move(actions));
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(recorder);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    HotKeyManager manager {HotKey::defaultShortcut()};
    test::OtherX11Client other;
    QWidget window;
    ShortcutRecorder* recorder = nullptr;
};

} // namespace

TEST_F(RecorderX11, ACombinationAnotherProgramHoldsReachesTheRecorderAndIsTaken)
{
    ASSERT_TRUE(other.grab(f5Key, altShift));
    recorder->startRecording();
    xdotool({"key", "alt+shift+F5"});
    ASSERT_TRUE(test::waitUntil([&] { return !recorder->isRecording(); }));
    EXPECT_EQ(recorder->note(), "Alt+Shift+F5 is taken. Try another combination.");
    EXPECT_EQ(manager.hotKey(), HotKey::defaultShortcut());
    EXPECT_TRUE(manager.isActive()); // the old shortcut is in force again

    // The keyboard is let go: the other program gets its combination again.
    xdotool({"key", "alt+shift+F5"});
    EXPECT_TRUE(other.waitForPress(f5Key));

    // A free combination is taken up.
    recorder->startRecording();
    xdotool({"key", "ctrl+alt+k"});
    ASSERT_TRUE(test::waitUntil([&] { return !recorder->isRecording(); }));
    EXPECT_TRUE(recorder->note().isEmpty());
    EXPECT_EQ(manager.hotKey(), (HotKey {40, HotKey::control | HotKey::option}));
}

TEST_F(RecorderX11, LeavingTheWindowWhileRecordingLetsTheKeyboardGo)
{
    ASSERT_TRUE(other.grab(f5Key, altShift));
    recorder->startRecording();
    window.hide();
    EXPECT_FALSE(recorder->isRecording());
    xdotool({"key", "alt+shift+F5"});
    EXPECT_TRUE(other.waitForPress(f5Key));
    EXPECT_EQ(manager.hotKey(), HotKey::defaultShortcut());
}
