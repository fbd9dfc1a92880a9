#include "Notifier.h"

#include "store/Characters.h"

#include <QDBusConnection>
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
    return Characters::left(title, MaxTitleLength);
}

QString Notifier::cutText(const QString &text)
{
    return Characters::left(text, MaxTextLength);
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

    if (m_bodyMarkup >= 0) {
        sendNotify(cutT, body);
        return;
    }
    // No question whether the service runs: a daemon that the bus starts on
    // demand has no owner yet, and the call itself starts it. Nothing here
    // waits for it on the main thread.
    const QDBusMessage query = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                              QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(query), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, cutT, body](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && m_bodyMarkup < 0) {
            m_bodyMarkup = !reply.arguments().isEmpty()
                                   && reply.arguments().constFirst().toStringList().contains(
                                       QStringLiteral("body-markup"))
                               ? 1
                               : 0;
        }
        sendNotify(cutT, body);
    });
}

void Notifier::sendNotify(const QString &title, const QString &plainBody)
{
    // A title such as "Tom & Jerry" must not be read as markup.
    const QString body = m_bodyMarkup == 1 ? plainBody.toHtmlEscaped() : plainBody;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("Penwick") << uint(0) << QStringLiteral("dialog-information") << title << body
         << QStringList() << QVariantMap() << kExpiryMs;
    // The tray's own balloon only when no notification service answers.
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, title, plainBody](QDBusPendingCallWatcher *w) {
        if (w->isError())
            showThroughTray(title, plainBody);
        w->deleteLater();
    });
}

void Notifier::showThroughTray(const QString &title, const QString &body)
{
    if (m_trayIcon && QSystemTrayIcon::isSystemTrayAvailable())
        m_trayIcon->showMessage(title, body, QSystemTrayIcon::Information, kExpiryMs);
}
