// penwick-publicity ADDRESS: the publicity window on the page at ADDRESS.
// The tray program starts it and owns it.

#include "Reklama.h"

#include <QApplication>
#include <QNetworkProxyFactory>
#include <QUrl>

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2)
        return 2;
    const QUrl address(arguments.at(1), QUrl::StrictMode);
    if (!address.isValid())
        return 2;
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    // Ends once the window is gone, not merely hidden, so the page is released
    // before the engine shuts down.
    QApplication::setQuitOnLastWindowClosed(false);
    auto *window = new TReklama(address);
    QObject::connect(window, &QObject::destroyed, &app, &QCoreApplication::quit);
    window->show();
    return app.exec();
}
