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
    // No application display name: the X11 platform appends it to every window
    // title that does not end with it, so "Penwick - Note" would reach the
    // window manager as "Penwick - Note — Penwick". Message boxes take the
    // application title from MessageBox.
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
