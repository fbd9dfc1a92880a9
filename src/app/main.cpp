#include "FormMain.h"
#include "SignalWatcher.h"
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>

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

    TDM dm;
    TFormMain form(dm);
    SignalWatcher signals;
    QObject::connect(&signals, &SignalWatcher::terminationRequested, &form, &TFormMain::CloseProgram);
    return QApplication::exec();
}
