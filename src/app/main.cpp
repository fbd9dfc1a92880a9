#include "FormMain.h"
#include "SignalWatcher.h"
#include "access/Access.h"
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>

#include <future>

namespace {

// The program's folder before the application object exists, which
// QCoreApplication::applicationDirPath() would need.
QString programFolder(const char *argv0)
{
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(exe.isEmpty() ? QFile::decodeName(argv0) : exe).absolutePath();
}

struct Attached {
    bool connected = false;
    StoredPassword password;
};

// A signal while the login is open leaves it, as Esc would.
void leaveDialogs()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
            dialog->reject();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // Set before a second thread runs: setenv beside a getenv elsewhere races.
    Firebird::prepareEnvironment();

    // Attaching loads the database engine, the slowest step of a start (most
    // of it the engine's search for its Unicode library), so it runs on a
    // thread while the windowing system is set up; the access password is
    // read there too.
    TDM dm(programFolder(argv[0]) + QStringLiteral("/dbn.ib"), TDM::Connect::Later);
    std::future<Attached> attaching = std::async(std::launch::async, [&dm] {
        Attached attached;
        attached.connected = dm.ConnectDatabase();
        if (attached.connected)
            attached.password = dm.ReadAccessPassword();
        return attached;
    });

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("penwick"));
    QApplication::setApplicationDisplayName(QStringLiteral("Penwick"));
    QApplication::setQuitOnLastWindowClosed(false);

    // From the first moment on, SIGTERM, SIGHUP and SIGINT end the program in
    // order; taken again once the database client has attached (see install()).
    SignalWatcher signals;

    // Asking the desktop for its tray shows nothing; done while the engine loads.
    FormMainOptions options;
    options.deferStart = true;
    options.trayAvailable = QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0;

    // Nothing of the program exists before access is granted: no tray icon,
    // no window, no thread. Leaving the login ends the program here, with
    // nothing shown and nothing written. Without a connection there is no login.
    const Attached attached = attaching.get();
    signals.install();
    if (attached.connected) {
        const QMetaObject::Connection leave =
            QObject::connect(&signals, &SignalWatcher::terminationRequested, &leaveDialogs);
        const bool granted = CheckAccessPassword(dm, attached.password);
        QObject::disconnect(leave);
        if (!granted) {
            dm.DisconnectDatabase();
            return 0;
        }
        // A panel may have come up while the login waited for the user.
        if (attached.password.value && !attached.password.value->isEmpty())
            options.trayAvailable = -1;
    }

    // The tray icon first; the window state and the alarm threads follow
    // from the event loop.
    TFormMain form(dm, options);
    QMetaObject::invokeMethod(&form, &TFormMain::FormCreate, Qt::QueuedConnection);
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &form, &TFormMain::CloseProgram);
    return QApplication::exec();
}
