#include "FormMain.h"
#include "SignalWatcher.h"
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>

#include <future>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("penwick"));
    QApplication::setApplicationDisplayName(QStringLiteral("Penwick"));
    QApplication::setQuitOnLastWindowClosed(false);
    Firebird::prepareEnvironment();
    // The windows are drawn in 11-pixel Tahoma; Debian ships a free Tahoma
    // outside fontconfig's folders, and the wide fallback would cut the dates.
    for (const char *face : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        if (QFile::exists(QLatin1String(face)))
            QFontDatabase::addApplicationFont(QLatin1String(face));
    }

    // From the first moment on, SIGTERM, SIGHUP and SIGINT end the program in
    // order; taken again once the database client has attached (see install()).
    SignalWatcher signals;

    // Attaching loads the database engine, the slowest step of a start; it
    // runs while the windows and the tray icon are built.
    TDM dm(TDM::defaultDatabaseName(), TDM::Connect::Later);
    std::future<bool> connected = std::async(std::launch::async, [&dm] { return dm.ConnectDatabase(); });
    FormMainOptions options;
    options.waitForDatabase = [&connected, &signals] {
        connected.wait();
        signals.install();
    };
    TFormMain form(dm, options);
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &form, &TFormMain::CloseProgram);
    return QApplication::exec();
}
