#include "Startup.h"

#include "FormMain.h"
#include "SignalWatcher.h"
#include "store/DataLocation.h"
#include "store/DataModule.h"
#include "store/Firebird.h"
#include "ui/MessageBox.h"

#include <QApplication>

Startup::Startup()
{
    // The database client puts its own handlers in place while it attaches;
    // one of them shuts the engine down. Until ours are back, the signals wait.
    SignalWatcher::holdSignals();
    Firebird::prepareEnvironment();
    // Where the notes are; a first start copies the supplied empty file.
    const DataLocation::Result location = DataLocation::locate();
    m_dataProblem = location.problem;
    m_dm = std::make_unique<TDM>(location.path, TDM::Connect::Later);
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
    QApplication::setApplicationDisplayName(QStringLiteral("Penwick"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (!m_dataProblem.isEmpty())
        MessageBox::information(nullptr, m_dataProblem);

    m_connected.wait();
    // A signal that came during the attach is handled by the event loop, as
    // an orderly end.
    SignalWatcher signals;
    signals.releaseSignals();

    TFormMain form(*m_dm);
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &form, &TFormMain::CloseProgram);
    return QApplication::exec();
}
