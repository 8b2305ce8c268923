#include "app/core/QSettingsDefaults.h"
#include "app/state/AppDelegate.h"
#include "app/state/AppIcon.h"
#include "app/state/SingleInstance.h"
#include "app/state/TerminationSignals.h"
#include "model/AppConfig.h"

#include <QApplication>
#include <QTimer>

using namespace brenvo;

int main(int argc, char** argv)
{
    // The panel and the shortcut need X11; on a Wayland session XWayland gives it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const AppConfig& config = AppConfig::main();
    QApplication::setApplicationName(config.name);
    QApplication::setApplicationVersion(config.version);
    QApplication::setDesktopFileName(config.bundleID);
    QApplication::setWindowIcon(appIcon());

    SingleInstance instance(SingleInstance::standardPath(config.bundleID));
    if (instance.claim() == SingleInstance::Claim::elsewhere)
        return 0;

    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, []() { QCoreApplication::quit(); });

    QSettingsDefaults defaults(QSettingsDefaults::standardPath(config.name));
    AppDelegate delegate(config, defaults);
    QObject::connect(&instance, &SingleInstance::reopenRequested, &delegate,
        [&delegate]() { delegate.applicationShouldHandleReopen(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
        [&delegate]() { delegate.applicationWillTerminate(); });
    // Launching is done once the loop runs (the tray icon once the panel is painted).
    QTimer::singleShot(0, &delegate, [&delegate]() { delegate.applicationDidFinishLaunching(); });
    return app.exec();
}
