// penwick-publicity ADDRESS: the publicity window on the page at ADDRESS.
// The tray program starts it and owns it.

#include "Reklama.h"
#include "ui/QtNoise.h"

#include <QApplication>
#include <QNetworkProxyFactory>
#include <QUrl>

#include <cstdio>

namespace {

// The engine's own log goes to the terminal past Qt's message handler; only
// what stops it is shown. A flag of the caller's own stays as it is.
void quietEngineLog()
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains("--log-level"))
        return;
    flags += flags.isEmpty() ? "--log-level=3" : " --log-level=3";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

} // namespace

int main(int argc, char **argv)
{
    QtNoise::installFilter();
    quietEngineLog();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QUrl address(arguments.value(1), QUrl::StrictMode);
    if (arguments.size() != 2 || !address.isValid()) {
        std::fputs("usage: penwick-publicity ADDRESS\n", stderr);
        return 2;
    }
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    // Ends once the window is gone, not merely hidden, so the page is released
    // before the engine shuts down.
    QApplication::setQuitOnLastWindowClosed(false);
    auto *window = new TReklama(address);
    QObject::connect(window, &QObject::destroyed, &app, &QCoreApplication::quit);
    window->show();
    return app.exec();
}
