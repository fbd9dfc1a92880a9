#include "QtNoise.h"

#include <QString>

#include <cstring>

namespace QtNoise {

namespace {

QtMessageHandler previous = nullptr;
// Someone debugging asked for categories: their lines are shown.
bool chatterWanted = false;

void filter(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if ((type == QtDebugMsg || type == QtInfoMsg) && !chatterWanted)
        return;
    if (type == QtWarningMsg && isKnownNoise(message.toUtf8().constData()))
        return;
    if (previous)
        previous(type, context, message);
}

} // namespace

bool isKnownNoise(const char *message)
{
    // Qt 6.4's tray icon on X11 asks the xcb plugin for a signal it no longer
    // has; the icon works without it. The offscreen platform cannot raise a
    // window and says so on every raise().
    static const char *const known[] = {
        "QObject::connect: No such signal QPlatformNativeInterface::systemTrayWindowChanged(QScreen*)",
        "This plugin does not support raise()",
    };
    for (const char *line : known) {
        if (std::strcmp(message, line) == 0)
            return true;
    }
    return false;
}

void installFilter()
{
    chatterWanted = qEnvironmentVariableIsSet("QT_LOGGING_RULES");
    previous = qInstallMessageHandler(filter);
}

} // namespace QtNoise
