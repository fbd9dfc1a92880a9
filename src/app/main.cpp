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
} // namespace

int main(int argc, char *argv[])
{
    // Set before a second thread runs: setenv beside a getenv elsewhere races.
    Firebird::prepareEnvironment();

    // Attaching loads the database engine, the slowest step of a start, so it
    // runs on a thread while the windowing system is set up.
    TDM dm(programFolder(argv[0]) + QStringLiteral("/dbn.ib"), TDM::Connect::Later);
    std::future<bool> connecting = std::async(std::launch::async, [&dm] { return dm.ConnectDatabase(); });

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("penwick"));
    QApplication::setApplicationDisplayName(QStringLiteral("Penwick"));
    QApplication::setQuitOnLastWindowClosed(false);

    // From the first moment on, SIGTERM, SIGHUP and SIGINT end the program in
    // order; taken again once the database client has attached (see install()).
    SignalWatcher signals;

    // Nothing of the program exists before access is granted: no tray icon,
    // no window, no thread. Leaving the login ends the program here, with
    // nothing shown and nothing written. No connection, no login.
    const bool connected = connecting.get();
    signals.install();
    if (connected) {
        const QMetaObject::Connection leave =
            QObject::connect(&signals, &SignalWatcher::terminationRequested, [] {
                const QWidgetList windows = QApplication::topLevelWidgets();
                for (QWidget *window : windows) {
                    if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
                        dialog->reject();
                }
            });
        const bool granted = CheckAccessPassword(dm);
        QObject::disconnect(leave);
        if (!granted) {
            dm.DisconnectDatabase();
            return 0;
        }
    }

    // The tray icon first; the window state and the alarm threads follow
    // from the event loop.
    FormMainOptions options;
    options.deferStart = true;
    TFormMain form(dm, options);
    QMetaObject::invokeMethod(&form, &TFormMain::FormCreate, Qt::QueuedConnection);
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &form, &TFormMain::CloseProgram);
    return QApplication::exec();
}
