#include "Startup.h"

#include "Door.h"
#include "FormMain.h"
#include "SignalWatcher.h"
#include "access/Access.h"
#include "store/AccessRecord.h"
#include "store/DataLocation.h"
#include "store/DataModule.h"
#include "store/Firebird.h"
#include "store/ServerAddress.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QSystemTrayIcon>
#include <QTimer>

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
    // The lock folder is decided once, from the file itself; when it cannot be
    // ours, the attach refuses the file without touching it. When the file is
    // unchanged since a run that found no access password, the password
    // read's answer is known now.
    m_knownOpen = Firebird::prepareEnvironment(location.path) && AccessRecord::saysOpen(location.path);
    m_dm = std::make_unique<TDM>(location.path, TDM::Connect::Later);
    // Known open, the attach waits until the tray icon is up: on a machine of
    // two cores it would only slow the start of the desktop connection.
    if (!m_knownOpen)
        beginAttach();
}

void Startup::beginAttach()
{
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

    // With the access check answered already, the tray icon need not wait
    // for the engine; the rest of the window still does.
    std::unique_ptr<TFormMain> form;
    if (m_knownOpen && options.trayAvailable == 1) {
        FormMainOptions trayOnly = options;
        trayOnly.trayOnly = true;
        form = std::make_unique<TFormMain>(*m_dm, trayOnly);
    }
    if (!m_connected.valid())
        beginAttach();

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
        const bool protectedByPassword = attached.password.protects();
        // Only a file changed within the same tick of the clock could get here.
        if (protectedByPassword)
            form.reset();
        const QMetaObject::Connection leave = QObject::connect(&signals, &SignalWatcher::terminationRequested,
                                                               &leaveDialogs);
        const bool granted = CheckAccessPassword(*m_dm, attached.password);
        QObject::disconnect(leave);
        if (!granted) {
            m_dm->DisconnectDatabase();
            AccessRecord::remember(m_dm->databaseName(), false);
            return 0;
        }
        // A panel may have come up while the login waited for the user.
        if (protectedByPassword)
            options.trayAvailable = -1;
    }

    if (form)
        form->start();
    else
        form = std::make_unique<TFormMain>(*m_dm, options);
    QObject::connect(&signals, &SignalWatcher::terminationRequested, form.get(), &TFormMain::CloseProgram);
    if (!attached.connected)
        sayUnopened(*form);
    // Once the event loop runs: the bus is no part of what a start shows.
    auto *door = new Door(*form);
    QTimer::singleShot(0, door, [door] { door->open(); });
    const int status = QApplication::exec();
    form.reset();
    if (attached.connected)
        rememberAccess();
    return status;
}

void Startup::rememberAccess()
{
    const StoredPassword stored = m_dm->ReadAccessPassword();
    const bool open = !stored.failed && !stored.protects();
    // Recorded after the last write: the record names the file as it is left.
    const bool closed = m_dm->DisconnectDatabase();
    AccessRecord::remember(m_dm->databaseName(), open && closed);
}

void Startup::sayUnopened(TFormMain &form)
{
    // A missing file is no news: the program runs without one as it always
    // did. One that is there and cannot be opened must not look like a
    // program without notes, or the user starts new ones that cannot be saved.
    const QString path = m_dm->databaseName();
    if (!QFileInfo::exists(path) && !ServerAddress::isServer(path))
        return;
    const QString why = m_dm->connectError();
    qWarning("Penwick cannot open %s: %s", qPrintable(path),
             qPrintable(QString(why).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    // Inside the event loop, so the tray and an orderly end work meanwhile.
    QTimer::singleShot(0, &form, [&form, path, why] {
        MessageBox::information(&form, QStringLiteral("Penwick cannot open your notes, %1:\n\n%2\n\nUntil it can, "
                                                      "the list stays empty and notes cannot be saved.")
                                           .arg(path, why));
    });
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
