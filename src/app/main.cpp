#include "FormMain.h"
#include "SignalWatcher.h"
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QApplication>

#include <future>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("penwick"));
    QApplication::setApplicationDisplayName(QStringLiteral("Penwick"));
    QApplication::setQuitOnLastWindowClosed(false);
    Firebird::prepareEnvironment();

    // From the first moment on, SIGTERM, SIGHUP and SIGINT end the program in
    // order; taken again once the database client has attached (see install()).
    SignalWatcher signals;

    // A start shows the tray icon first. Attaching loads the database engine,
    // the slowest step of a start, so it runs on a thread after that; the rest
    // of the start follows when it is done, or when a command needs it sooner.
    TDM dm(TDM::defaultDatabaseName(), TDM::Connect::Later);
    std::future<bool> connected;
    FormMainOptions options;
    options.deferStart = true;
    options.online = OnlineOptions::fromEnvironment();
    options.waitForDatabase = [&connected, &signals] {
        connected.wait();
        signals.install();
    };
    TFormMain form(dm, options);
    connected = std::async(std::launch::async, [&dm, &form] {
        const bool ok = dm.ConnectDatabase();
        QMetaObject::invokeMethod(&form, &TFormMain::FormCreate, Qt::QueuedConnection);
        return ok;
    });
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &form, &TFormMain::CloseProgram);
    const int status = QApplication::exec();
    connected.wait();
    return status;
}
