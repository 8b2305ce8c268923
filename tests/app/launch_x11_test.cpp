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

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRect>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <functional>

using namespace brenvo;

namespace {

const HotKey optionShiftSpace {49, HotKey::option | HotKey::shift};

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
    ~Brenvo()
    {
        for (QProcess* process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
            delete process;
        }
    }

    QString runtimeDir() const { return m_home.filePath("run"); }
    // Sockets included.
    QStringList runtimeEntries() const
    {
        return QDir(runtimeDir())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QString configFile() const { return m_home.filePath("config/Brenvo/Brenvo.conf"); }

    QProcessEnvironment environment(const QMap<QString, QString>& extra) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : env.keys()) {
            if (name.startsWith("XCTest") || name.startsWith("QT_LOGGING"))
                env.remove(name);
        }
        env.insert("HOME", m_home.path());
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("XDG_CACHE_HOME", m_home.filePath("cache"));
        env.insert("XDG_RUNTIME_DIR", runtimeDir());
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_home.filePath("no-bus"));
        for (auto it = extra.begin(); it != extra.end(); ++it)
            env.insert(it.key(), it.value());
        return env;
    }

    QProcess* start(const QStringList& args = {}, const QMap<QString, QString>& extra = {})
    {
        auto* process = new QProcess();
        m_processes.append(process);
        process->setProcessEnvironment(environment(extra));
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QCoreApplication::applicationDirPath() + "/brenvo", args);
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }

    QString output(QProcess* process)
    {
        m_output[process] += QString::fromUtf8(process->readAll());
        return m_output[process];
    }

    bool waitForOutput(QProcess* process, const QString& text, int ms = 10000)
    {
        return test::waitUntil([&]() { return output(process).contains(text); }, ms);
    }

    // SIGTERM, then the exit: true when it ended by itself with status 0.
    bool terminate(QProcess* process)
    {
        ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
        if (!process->waitForFinished(10000))
            return false;
        output(process);
        return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    }

    bool tucksAway() const
    {
        return QSettingsDefaults(configFile()).boolValue(PreferencesStore::tucksAwayKey);
    }

private:
    QTemporaryDir m_home;
    QList<QProcess*> m_processes;
    QHash<QProcess*, QString> m_output;
};

// The program's visible dock window, or none.
std::optional<QRect> panelFrame(QProcess* process)
{
    const QStringList windows
        = run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(process->processId())})
              .split('\n', Qt::SkipEmptyParts);
    for (const QString& window : windows) {
        if (!run("xprop", {"-id", window, "_NET_WM_WINDOW_TYPE"}).contains("_NET_WM_WINDOW_TYPE_DOCK"))
            continue;
        QMap<QString, int> values;
        for (const QString& line : run("xdotool", {"getwindowgeometry", "--shell", window}).split('\n')) {
            const auto parts = line.split('=');
            if (parts.size() == 2)
                values[parts[0]] = parts[1].toInt();
        }
        return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
    }
    return std::nullopt;
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
            if (c.hsvSaturation() > 120 && c.value() > 100)
                ++count;
        }
    }
    return count;
}

int screenWidth()
{
    return QGuiApplication::primaryScreen()->geometry().width();
}

const QString launchLine = AppDelegate::launchLine(AppConfig::main());

} // namespace

TEST(LaunchX11, APlainStartWritesItsLineShowsThePanelAndEndsCleanlyOnSigterm)
{
    Brenvo brenvo;
    QProcess* app = brenvo.start();
    ASSERT_TRUE(brenvo.waitForOutput(app, launchLine)) << brenvo.output(app).toStdString();
    std::optional<QRect> frame;
    ASSERT_TRUE(test::waitUntil([&]() { return (frame = panelFrame(app)).has_value(); }, 10000));
    EXPECT_EQ(frame->right() + 1, screenWidth());
    EXPECT_GT(frame->height(), frame->width());
    // No tool is connected: every tile is grey.
    QThread::msleep(500);
    EXPECT_LT(colouredPixels(*frame), 20);
    EXPECT_EQ(brenvo.runtimeEntries().size(), 1) << brenvo.runtimeEntries().join(' ').toStdString();
    EXPECT_TRUE(brenvo.terminate(app)) << brenvo.output(app).toStdString();
    // The termination sequence ran: the panel went and the socket was closed.
    EXPECT_TRUE(brenvo.runtimeEntries().isEmpty());
    EXPECT_FALSE(brenvo.output(app).contains("QObject::")) << brenvo.output(app).toStdString();
}

TEST(LaunchX11, UnderATestHarnessTheProgramDoesNoLaunchWork)
{
    Brenvo brenvo;
    QProcess* app = brenvo.start({}, {{"XCTestConfigurationFilePath", "/dev/null"}});
    EXPECT_FALSE(brenvo.waitForOutput(app, "launched", 2000));
    EXPECT_EQ(panelFrame(app), std::nullopt);
    EXPECT_FALSE(brenvo.output(app).contains("Edge panel installed"));
    EXPECT_TRUE(brenvo.terminate(app)) << brenvo.output(app).toStdString();

    // A variable whose value, not name, mentions the harness changes nothing.
    Brenvo plain;
    QProcess* other = plain.start({}, {{"BRENVO_NOTE", "XCTestConfigurationFilePath"}});
    EXPECT_TRUE(plain.waitForOutput(other, launchLine)) << plain.output(other).toStdString();
    EXPECT_TRUE(plain.terminate(other));
}

TEST(LaunchX11, TheSampleDataLightsTheTilesWhereverTheSwitchStands)
{
    Brenvo brenvo;
    QProcess* app = brenvo.start({"-x", "-mockData", "YES"});
    ASSERT_TRUE(brenvo.waitForOutput(app, launchLine)) << brenvo.output(app).toStdString();
    std::optional<QRect> frame;
    ASSERT_TRUE(test::waitUntil([&]() { return (frame = panelFrame(app)).has_value(); }, 10000));
    EXPECT_TRUE(test::waitUntil([&]() { return colouredPixels(*frame) > 100; }, 5000));
    EXPECT_TRUE(brenvo.terminate(app));
}

TEST(LaunchX11, TheShortcutTucksThePanelAwayAndASecondLaunchBringsItOut)
{
    Brenvo brenvo;
    QProcess* app = brenvo.start();
    ASSERT_TRUE(brenvo.waitForOutput(app, "Edge panel installed")) << brenvo.output(app).toStdString();
    std::optional<QRect> out;
    ASSERT_TRUE(test::waitUntil([&]() { return (out = panelFrame(app)).has_value(); }, 10000));
    // The pointer rests away from the strip.
    run("xdotool", {"mousemove", "200", "200"});

    run("xdotool", {"key", "shift+alt+space"});
    ASSERT_TRUE(test::waitUntil([&]() { return brenvo.tucksAway(); })) << brenvo.output(app).toStdString();
    ASSERT_TRUE(test::waitUntil([&]() {
        const auto frame = panelFrame(app);
        return frame && frame->width() < out->width();
    }));

    QProcess* second = brenvo.start();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_FALSE(brenvo.output(second).contains("launched")) << brenvo.output(second).toStdString();
    EXPECT_TRUE(test::waitUntil([&]() { return panelFrame(app) == out; }, 3000));
    EXPECT_TRUE(brenvo.tucksAway()); // brought out, not untucked

    run("xdotool", {"key", "shift+alt+space"});
    EXPECT_TRUE(test::waitUntil([&]() { return !brenvo.tucksAway(); }));
    EXPECT_TRUE(test::waitUntil([&]() { return panelFrame(app) == out; }, 3000));
    EXPECT_TRUE(brenvo.terminate(app)) << brenvo.output(app).toStdString();
}

TEST(LaunchX11, AShortcutHeldElsewhereIsReportedAsTaken)
{
    {
        test::OtherX11Client other;
        ASSERT_TRUE(other.grab(65, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT));
        Brenvo brenvo;
        QProcess* app = brenvo.start();
        EXPECT_TRUE(brenvo.waitForOutput(app, "is taken by another application"))
            << brenvo.output(app).toStdString();
        EXPECT_TRUE(brenvo.terminate(app));
    }

    // The program holds its shortcut: a graph in this process cannot take it and keeps its own.
    Brenvo brenvo;
    QProcess* app = brenvo.start();
    ASSERT_TRUE(brenvo.waitForOutput(app, launchLine));
    ASSERT_TRUE(test::waitUntil([&]() { return panelFrame(app).has_value(); }));
    MemoryDefaults defaults;
    test::FakeSecretStore secrets;
    test::ManualScheduler scheduler;
    AppState::Launch launch;
    launch.isRunningTests = true;
    launch.scheduler = &scheduler;
    launch.usage = DevKitStore::UsageSources {};
    AppConfig config;
    config.bundleID = QStringLiteral("dev.brenvo.Test");
    AppState state(config, defaults, &secrets, std::move(launch));
    state.hotKeys().start();
    const HotKey altShiftF5 {96, HotKey::option | HotKey::shift};
    EXPECT_TRUE(state.setShortcut(altShiftF5));
    EXPECT_FALSE(state.setShortcut(optionShiftSpace));
    EXPECT_EQ(state.preferences().hotKey(), altShiftF5);
    EXPECT_TRUE(state.hotKeys().isActive());
    // No shortcut lets go of the one in force and stores none.
    EXPECT_TRUE(state.setShortcut(std::nullopt));
    EXPECT_EQ(state.preferences().hotKey(), std::nullopt);
    test::OtherX11Client other;
    EXPECT_TRUE(other.canGrab(71, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT));
    state.hotKeys().stop();
    EXPECT_TRUE(brenvo.terminate(app));
}
