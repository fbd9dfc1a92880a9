#include "Notifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int kExpiryMs = 3000;
} // namespace

Notifier::Notifier(QSystemTrayIcon *trayIcon, QObject *parent)
    : QObject(parent)
    , m_trayIcon(trayIcon)
{
}

QString Notifier::cutTitle(const QString &title)
{
    return title.left(MaxTitleLength);
}

QString Notifier::cutText(const QString &text)
{
    return text.left(MaxTextLength);
}

bool Notifier::serviceAvailable()
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(kService);
}

void Notifier::show(const QString &title, const QString &text)
{
    const QString cutT = cutTitle(title);
    const QString cutB = cutText(text);
    if (sink) {
        sink(cutT, cutB);
        return;
    }
    // A CR LF pair is one line break on the desktop.
    QString body = cutB;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    if (!serviceAvailable()) {
        showThroughTray(cutT, body);
        return;
    }
    if (m_bodyMarkup < 0) {
        const QDBusMessage query = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                                  QStringLiteral("GetCapabilities"));
        const QDBusMessage reply = QDBusConnection::sessionBus().call(query, QDBus::Block, 1000);
        m_bodyMarkup = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                               && reply.arguments().constFirst().toStringList().contains(QStringLiteral("body-markup"))
                           ? 1
                           : 0;
    }
    // A title such as "Tom & Jerry" must not be read as markup.
    if (m_bodyMarkup == 1)
        body = body.toHtmlEscaped();

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("Penwick") << uint(0) << QStringLiteral("dialog-information") << cutT << body
         << QStringList() << QVariantMap() << kExpiryMs;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, cutT, body](QDBusPendingCallWatcher *w) {
        if (w->isError())
            showThroughTray(cutT, body);
        w->deleteLater();
    });
}

void Notifier::showThroughTray(const QString &title, const QString &body)
{
    if (m_trayIcon && QSystemTrayIcon::isSystemTrayAvailable())
        m_trayIcon->showMessage(title, body, QSystemTrayIcon::Information, kExpiryMs);
}
