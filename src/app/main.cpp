#include "FormMain.h"
#include "SignalWatcher.h"
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("penwick"));
    QApplication::setApplicationDisplayName(QStringLiteral("Penwick"));
    QApplication::setQuitOnLastWindowClosed(false);
    Firebird::prepareEnvironment();

    TDM dm;
    TFormMain form(dm);
    SignalWatcher signals;
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &form, &TFormMain::CloseProgram);
    return QApplication::exec();
}
