#include "Window.h"

#include "store/AppId.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>

namespace Window {

namespace {
// The copy answers before it acts; only a copy that hangs takes longer.
constexpr int kTimeoutMs = 5000;
const QString kNotRunning = QStringLiteral("no copy of Penwick is running");
} // namespace

QString call(const QString &method, const QVariantList &arguments)
{
    // The bus's own thread may still read a message while the program ends.
    // Qt's table of registered types must outlive it: made first, it goes
    // last, and the thread never finds it gone.
    qRegisterMetaType<QDBusVariant>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return kNotRunning
               + QStringLiteral(" on this desktop session (no session bus: %1)").arg(bus.lastError().message());
    QDBusMessage message = QDBusMessage::createMethodCall(AppId::busName(), AppId::objectPath(), AppId::busName(),
                                                          method);
    message.setArguments(arguments);
    // Nothing is started for the call: a shortcut that starts the program is
    // the desktop's to make.
    message.setAutoStartService(false);
    const QDBusMessage reply = bus.call(message, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ErrorMessage)
        return {};
    // Without activation the bus answers that the name has no owner.
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return kNotRunning;
    switch (QDBusError(reply).type()) {
    case QDBusError::ServiceUnknown:
        return kNotRunning;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return QStringLiteral("Penwick did not answer within %1 seconds").arg(kTimeoutMs / 1000);
    default:
        return reply.errorMessage();
    }
}

} // namespace Window
