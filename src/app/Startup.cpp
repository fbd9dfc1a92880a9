#include "Startup.h"

#include "FormMain.h"
#include "SignalWatcher.h"
#include "access/Access.h"
#include "store/DataLocation.h"
#include "store/DataModule.h"
#include "store/Firebird.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QSystemTrayIcon>

namespace {

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

Startup::Startup()
{
    // The database client puts its own handlers in place while it attaches;
    // one of them shuts the engine down. Until ours are back, the signals wait.
    SignalWatcher::holdSignals();
    // Where the notes are; a first start copies the supplied empty file.
    const DataLocation::Result location = DataLocation::locate();
    m_dataProblem = location.problem;
    // Decided once, from the file itself; when its lock folder cannot be ours,
    // the attach below refuses the file without touching it.
    Firebird::prepareEnvironment(location.path);
    m_dm = std::make_unique<TDM>(location.path, TDM::Connect::Later);
    m_connected = std::async(std::launch::async, [dm = m_dm.get()] {
        Attached attached;
        attached.connected = dm->ConnectDatabase();
        if (attached.connected)
            attached.password = dm->ReadAccessPassword();
        return attached;
    });
}

Startup::~Startup()
{
    if (m_connected.valid())
        m_connected.wait();
}

int Startup::run()
{
    QApplication::setApplicationName(QStringLiteral("penwick"));
    // No application display name: the X11 platform appends it to every window
    // title that does not end with it, so "Penwick - Note" would reach the
    // window manager as "Penwick - Note — Penwick". Message boxes take the
    // application title from MessageBox.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!m_dataProblem.isEmpty())
        MessageBox::information(nullptr, m_dataProblem);

    // Asking the desktop for its tray shows nothing; done while the engine loads.
    FormMainOptions options;
    options.online = OnlineOptions::fromEnvironment();
    options.trayAvailable = QSystemTrayIcon::isSystemTrayAvailable() ? 1 : 0;

    const Attached attached = m_connected.get();
    // A signal that came during the attach is handled by the event loop, as
    // an orderly end.
    SignalWatcher signals;
    signals.releaseSignals();
    if (refusedDatabase(signals))
        return 1;

    // Nothing of the program exists before access is granted: no tray icon,
    // no window, no thread. Leaving the login ends the program here, with
    // nothing shown and nothing written. Without a connection there is no login.
    if (attached.connected) {
        const QMetaObject::Connection leave = QObject::connect(&signals, &SignalWatcher::terminationRequested,
                                                               &leaveDialogs);
        const bool granted = CheckAccessPassword(*m_dm, attached.password);
        QObject::disconnect(leave);
        if (!granted) {
            m_dm->DisconnectDatabase();
            return 0;
        }
        // A panel may have come up while the login waited for the user.
        if (attached.password.value && !attached.password.value->isEmpty())
            options.trayAvailable = -1;
    }

    TFormMain form(*m_dm, options);
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &form, &TFormMain::CloseProgram);
    return QApplication::exec();
}

bool Startup::refusedDatabase(SignalWatcher &signals)
{
    const QString problem = Firebird::environmentProblem();
    if (problem.isEmpty() || !QFileInfo::exists(m_dm->databaseName()))
        return false;
    // Said once, and the program ends: nothing was attached, nothing written.
    qWarning("%s", qPrintable(problem));
    QObject::connect(&signals, &SignalWatcher::terminationRequested, qApp, [] { QCoreApplication::exit(1); });
    MessageBox::information(nullptr, QStringLiteral("Penwick cannot open your notes.\n\n") + problem
                                         + QStringLiteral("\n\nNothing was changed. Remove that folder, or make it "
                                                          "yours with no access for others (mode 700), and start "
                                                          "Penwick again."));
    return true;
}
