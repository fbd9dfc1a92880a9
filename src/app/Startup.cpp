#include "Startup.h"

#include "FormMain.h"
#include "SignalWatcher.h"
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QApplication>

Startup::Startup()
{
    // The database client puts its own handlers in place while it attaches;
    // one of them shuts the engine down. Until ours are back, the signals wait.
    SignalWatcher::holdSignals();
    Firebird::prepareEnvironment();
    m_dm = std::make_unique<TDM>(TDM::defaultDatabaseName(), TDM::Connect::Later);
    m_connected = std::async(std::launch::async, [dm = m_dm.get()] { return dm->ConnectDatabase(); });
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

    m_connected.wait();
    // A signal that came during the attach is handled by the event loop, as
    // an orderly end.
    SignalWatcher signals;
    signals.releaseSignals();

    FormMainOptions options;
    options.online = OnlineOptions::fromEnvironment();
    TFormMain form(*m_dm, options);
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &form, &TFormMain::CloseProgram);
    return QApplication::exec();
}
