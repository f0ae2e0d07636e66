// The vantora program: makes the real platform edge, the main window, and
// runs the start-up once the event loop is going.
#include "Main.h"
#include "AppIcon.h"
#include "NmcliDialUp.h"
#include "QtHttpClient.h"

#include "ProcessLauncher.h"
#include "RealPlatform.h"
#include "XdgShellLauncher.h"
#include <QNetworkReply>

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    vantora::SetApplicationIdentity();
    QLocale::setDefault(QLocale::system());
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(vantora::DrawAppIcon(size)));
    QApplication::setWindowIcon(icon);

    vantora::WidgetDialogs dialogs;
    vantora::QtSettingsStore settings;
    vantora::SystemClock clock;
    vantora::NetworkLocalAddress localAddress;
    vantora::XdgFileTypeRegistrar fileTypes;
    vantora::QtHttpClient http;
    vantora::NmcliDialUp dialUp;
    vantora::DetachedProcessLauncher processes;
    vantora::XdgShellLauncher shell;

    vantora::Platform platform;
    platform.dialogs = &dialogs;
    platform.settings = &settings;
    platform.clock = &clock;
    platform.localAddress = &localAddress;
    platform.fileTypes = &fileTypes;
    platform.http = &http;
    platform.dialUp = &dialUp;
    platform.processes = &processes;
    platform.shell = &shell;

    vantora::MainWindow window(platform, QCoreApplication::applicationFilePath());
    dialogs.SetParent(&window);
    window.showMaximized();

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    QTimer::singleShot(0, &window, [&window, arguments] { window.Startup(arguments); });
    return app.exec();
}
