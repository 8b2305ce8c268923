// The built program as a user starts it, on a private X display: its launch line, its panel, the
// switches, a second launch, the global shortcut and a clean exit on SIGTERM.
#include "app/core/HotKeyManager.h"
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "app/core/QSettingsDefaults.h"
#include "app/state/AppDelegate.h"

#include "support/FakeSecretStore.h"
#include "support/ManualScheduler.h"
#include "support/X11TestClient.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using namespace brenvo;

namespace {

constexpr quint16 altShift = XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT;
const QString launchLine = AppDelegate::launchLine(AppConfig::main());

QString run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The program in a home of its own, so that it never sees the user's settings, keyring or
// running copy. No session bus: the keyring reads as unreadable.
class Brenvo {
public:
    Brenvo()
    {
        QDir(m_home.path()).mkpath("run");
        QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString runtimeDir() const { return m_home.filePath("run"); }
    // Sockets included.
    QStringList runtimeEntries() const
    {
        return QDir(runtimeDir())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QProcess* start(const QStringList& args = {}, const QMap<QString, QString>& extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Without the XDG variables, every folder of the program is under its home.
        for (const QString& name : env.keys()) {
            if (name.startsWith("XCTest") || name.startsWith("QT_LOGGING") || name.startsWith("XDG_"))
                env.remove(name);
        }
        env.insert("HOME", m_home.path());
        env.insert("XDG_RUNTIME_DIR", runtimeDir());
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_home.filePath("no-bus"));
        for (auto it = extra.begin(); it != extra.end(); ++it)
            env.insert(it.key(), it.value());
        auto& process = m_processes.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QCoreApplication::applicationDirPath() + "/brenvo", args);
        EXPECT_TRUE(process->waitForStarted(10000));
        return process.get();
    }

    static std::string output(QProcess* process) { return process->peek(1 << 24).toStdString(); }
    static bool waitForOutput(QProcess* process, const QString& text, int ms = 10000)
    {
        return test::waitUntil([&]() { return process->peek(1 << 24).contains(text.toUtf8()); }, ms);
    }

    // SIGTERM, then the exit: true when it ended by itself with status 0.
    static bool terminate(QProcess* process)
    {
        ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
        return process->waitForFinished(10000) && process->exitStatus() == QProcess::NormalExit
            && process->exitCode() == 0;
    }

    bool tucksAway() const
    {
        return QSettingsDefaults(m_home.filePath(".config/Brenvo/Brenvo.conf"))
            .boolValue(PreferencesStore::tucksAwayKey);
    }

private:
    QTemporaryDir m_home;
    // Killed, if still running, before the home goes.
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// The program's visible dock window, or none.
std::optional<QRect> panelFrame(QProcess* process)
{
    const QString pid = QString::number(process->processId());
    for (const QString& window :
        run("xdotool", {"search", "--onlyvisible", "--pid", pid}).split('\n', Qt::SkipEmptyParts)) {
        if (!run("xprop", {"-id", window, "_NET_WM_WINDOW_TYPE"}).contains("_NET_WM_WINDOW_TYPE_DOCK"))
            continue;
        QMap<QString, int> values;
        for (const QString& line : run("xdotool", {"getwindowgeometry", "--shell", window}).split('\n')) {
            if (const auto parts = line.split('='); parts.size() == 2)
                values[parts[0]] = parts[1].toInt();
        }
        return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
    }
    return std::nullopt;
}

std::optional<QRect> waitForPanel(QProcess* process)
{
    std::optional<QRect> frame;
    test::waitUntil([&]() { return (frame = panelFrame(process)).has_value(); }, 10000);
    return frame;
}

// Pixels of a strong colour in a screen rectangle: the lit tiles of the strip.
int colouredPixels(const QRect& area)
{
    const QImage image = QGuiApplication::primaryScreen()
                             ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                             .toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.hsvSaturation() > 120 && c.value() > 100;
        }
    }
    return count;
}

} // namespace

TEST(LaunchX11, APlainStartShowsThePanelFollowsItsShortcutAndASecondLaunchAndEndsCleanlyOnSigterm)
{
    Brenvo brenvo;
    // A variable whose value, not name, mentions the test harness changes nothing.
    QProcess* app = brenvo.start({}, {{"BRENVO_NOTE", "XCTestConfigurationFilePath"}});
    ASSERT_TRUE(Brenvo::waitForOutput(app, launchLine)) << Brenvo::output(app);
    const std::optional<QRect> out = waitForPanel(app);
    ASSERT_TRUE(out);
    // The desktop entry's StartupWMClass is the class of the program's windows.
    QFile entry(QCoreApplication::applicationDirPath() + "/" + AppConfig::main().bundleID + ".desktop");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString wmClass
        = QString::fromUtf8(entry.readAll()).section("StartupWMClass=", 1).section('\n', 0, 0);
    const QString window
        = run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(app->processId())})
              .section('\n', 0, 0);
    EXPECT_EQ(run("xprop", {"-id", window, "WM_CLASS"}).toStdString(),
        ("WM_CLASS(STRING) = \"brenvo\", \"" + wmClass + "\"\n").toStdString());
    EXPECT_TRUE(out->right() + 1 == QGuiApplication::primaryScreen()->geometry().width()
        && out->height() > out->width());
    // No tool is connected: every tile is grey.
    test::settle(500);
    EXPECT_LT(colouredPixels(*out), 20);
    EXPECT_EQ(brenvo.runtimeEntries().size(), 1) << brenvo.runtimeEntries().join(' ').toStdString();

    // The shortcut tucks the panel away, the pointer resting away from the strip.
    run("xdotool", {"mousemove", "200", "200"});
    run("xdotool", {"key", "shift+alt+space"});
    ASSERT_TRUE(test::waitUntil([&]() { return brenvo.tucksAway(); })) << Brenvo::output(app);
    ASSERT_TRUE(test::waitUntil([&]() {
        const auto frame = panelFrame(app);
        return frame && frame->width() < out->width();
    }));
    // A second launch brings it out, not untucked, and leaves.
    QProcess* second = brenvo.start();
    ASSERT_TRUE(second->waitForFinished(10000) && second->exitCode() == 0);
    EXPECT_FALSE(second->peek(1 << 24).contains("launched")) << Brenvo::output(second);
    EXPECT_TRUE(test::waitUntil([&]() { return panelFrame(app) == out; }, 3000));
    EXPECT_TRUE(brenvo.tucksAway());
    run("xdotool", {"key", "shift+alt+space"});
    EXPECT_TRUE(test::waitUntil([&]() { return !brenvo.tucksAway(); }));
    EXPECT_TRUE(test::waitUntil([&]() { return panelFrame(app) == out; }, 3000));

    // The program holds its shortcut: a graph in this process cannot take it and keeps its own.
    {
        MemoryDefaults defaults;
        test::FakeSecretStore secrets;
        test::ManualScheduler scheduler;
        AppState::Launch launch;
        launch.isRunningTests = true;
        launch.scheduler = &scheduler;
        launch.usage = DevKitStore::UsageSources {};
        AppState state(AppConfig(), defaults, &secrets, std::move(launch));
        state.hotKeys().start();
        const HotKey altShiftF5 {96, HotKey::option | HotKey::shift};
        EXPECT_TRUE(state.setShortcut(altShiftF5));
        EXPECT_FALSE(state.setShortcut(HotKey {49, HotKey::option | HotKey::shift}));
        EXPECT_TRUE(state.preferences().hotKey() == altShiftF5 && state.hotKeys().isActive());
        // No shortcut lets go of the one in force and stores none.
        EXPECT_TRUE(state.setShortcut(std::nullopt) && !state.preferences().hotKey());
        EXPECT_TRUE(test::OtherX11Client().canGrab(71, altShift));
        state.hotKeys().stop();
    }

    EXPECT_TRUE(Brenvo::terminate(app)) << Brenvo::output(app);
    // The termination sequence ran: the panel went and the socket was closed.
    EXPECT_TRUE(brenvo.runtimeEntries().isEmpty());
    EXPECT_FALSE(app->peek(1 << 24).contains("QObject::")) << Brenvo::output(app);
}

TEST(LaunchX11, TheHarnessSwitchStopsLaunchWorkSampleDataLightsTheTilesAndATakenShortcutIsReported)
{
    Brenvo harness, sample;
    QProcess* idle = harness.start({}, {{"XCTestConfigurationFilePath", "/dev/null"}});
    test::OtherX11Client other;
    ASSERT_TRUE(other.grab(65, altShift));
    QProcess* app = sample.start({"-x", "-mockData", "YES"});
    EXPECT_TRUE(Brenvo::waitForOutput(app, "is taken by another application")) << Brenvo::output(app);
    ASSERT_TRUE(Brenvo::waitForOutput(app, launchLine)) << Brenvo::output(app);
    const std::optional<QRect> frame = waitForPanel(app);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(test::waitUntil([&]() { return colouredPixels(*frame) > 100; }, 5000));
    EXPECT_TRUE(Brenvo::terminate(app));

    EXPECT_FALSE(Brenvo::waitForOutput(idle, "launched", 2000) || panelFrame(idle));
    EXPECT_FALSE(idle->peek(1 << 24).contains("Edge panel installed"));
    EXPECT_TRUE(Brenvo::terminate(idle)) << Brenvo::output(idle);
}
