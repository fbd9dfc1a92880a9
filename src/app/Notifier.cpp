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
// A service that never reports its notifications closed cannot make us keep
// more than these.
constexpr int kMaxOpen = 32;
const QString kDefaultAction = QStringLiteral("default");
const QString kDoneAction = QStringLiteral("done");
const QString kSnoozeAction = QStringLiteral("snooze");

QStringList actionsFor(const NotifiedAlarms &alarms)
{
    QStringList actions {kDefaultAction, QStringLiteral("Open"), kDoneAction, QStringLiteral("Done")};
    if (alarms.snoozable)
        actions << kSnoozeAction << QStringLiteral("Snooze 10 min");
    return actions;
}
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

void Notifier::show(const QString &title, const QString &text, const NotifiedAlarms &alarms)
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
        sendNotify(cutT, body, alarms);
        return;
    }
    // No question whether the service runs: a daemon that the bus starts on
    // demand has no owner yet, and the call itself starts it. Nothing here
    // waits for it on the main thread.
    const QDBusMessage query = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                              QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(query), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, cutT, body, alarms](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && m_bodyMarkup < 0) {
            const QStringList capabilities = reply.arguments().isEmpty()
                                                 ? QStringList()
                                                 : reply.arguments().constFirst().toStringList();
            m_bodyMarkup = capabilities.contains(QStringLiteral("body-markup")) ? 1 : 0;
            m_actions = capabilities.contains(QStringLiteral("actions"));
        }
        sendNotify(cutT, body, alarms);
    });
}

void Notifier::sendNotify(const QString &title, const QString &plainBody, const NotifiedAlarms &alarms)
{
    const bool clickable = m_actions && alarms.open >= 0;
    if (clickable)
        listenForActions();
    // A title such as "Tom & Jerry" must not be read as markup.
    const QString body = m_bodyMarkup == 1 ? plainBody.toHtmlEscaped() : plainBody;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("Penwick") << uint(0) << QStringLiteral("dialog-information") << title << body
         << (clickable ? actionsFor(alarms) : QStringList()) << QVariantMap() << kExpiryMs;
    // The tray's own balloon only when no notification service answers.
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, title, plainBody, clickable, alarms](QDBusPendingCallWatcher *w) {
                const QDBusPendingReply<uint> reply = *w;
                if (w->isError())
                    showThroughTray(title, plainBody);
                else if (clickable)
                    sent(reply.value(), alarms);
                w->deleteLater();
            });
}

void Notifier::showThroughTray(const QString &title, const QString &body)
{
    if (m_trayIcon && QSystemTrayIcon::isSystemTrayAvailable())
        m_trayIcon->showMessage(title, body, QSystemTrayIcon::Information, kExpiryMs);
}

void Notifier::listenForActions()
{
    if (m_listening)
        return;
    m_listening = true;
    // The bus only names the slots by their signatures.
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                SLOT(notificationClosed(uint, uint)));
}

void Notifier::sent(uint notificationId, const NotifiedAlarms &alarms)
{
    notificationClosed(notificationId, 0);
    m_open.append({notificationId, alarms});
    if (m_open.size() > kMaxOpen)
        m_open.removeFirst();
}

void Notifier::actionInvoked(uint notificationId, const QString &actionKey)
{
    for (const auto &[id, open] : std::as_const(m_open)) {
        if (id != notificationId)
            continue;
        // A copy: what the signal runs may change the list of open ones.
        const NotifiedAlarms alarms = open;
        if (actionKey == kDefaultAction) {
            Q_EMIT noteActivated(alarms.open);
            return;
        }
        if (actionKey == kDoneAction)
            Q_EMIT alarmsDone(alarms.notes);
        else if (actionKey == kSnoozeAction && alarms.snoozable)
            Q_EMIT alarmsSnoozed(alarms.notes);
        else
            return;
        // Some services keep a notification whose action ran; its buttons
        // would do nothing now.
        if (m_listening)
            QDBusConnection::sessionBus().asyncCall(
                QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("CloseNotification"))
                << notificationId);
        return;
    }
}

void Notifier::notificationClosed(uint notificationId, uint)
{
    m_open.removeIf([notificationId](const QPair<uint, NotifiedAlarms> &open) { return open.first == notificationId; });
}
