// The anchor that the footprint and start-up benchmarks compare with: a bare Qt Widgets window
// with a network manager, the least any Qt utility of this kind costs.
#include <QApplication>
#include <QNetworkAccessManager>
#include <QWidget>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QNetworkAccessManager network;
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.resize(320, 240);
    window.show();
    return app.exec();
}
