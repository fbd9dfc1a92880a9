#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

class QSystemTrayIcon;

// Shows the alarm balloon as a desktop notification. Falls back to the tray
// icon's own balloon where no notification service answers. Where the service
// offers actions, a click on the notification asks for its note.
class Notifier final : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxTitleLength = 63;
    static constexpr int MaxTextLength = 255;

    explicit Notifier(QSystemTrayIcon *trayIcon, QObject *parent = nullptr);

    // Cuts the texts to what a balloon holds, then shows them; noteId is the
    // note that a click on the notification brings up (-1: none).
    void show(const QString &title, const QString &text, int noteId = -1);

    // Test hook: receives the cut texts instead of the desktop.
    std::function<void(const QString &title, const QString &text)> sink;

    static QString cutTitle(const QString &title);
    static QString cutText(const QString &text);

    // The service showed the notification of noteId under notificationId.
    void sent(uint notificationId, int noteId);

Q_SIGNALS:
    // The user invoked the default action of a notification of ours.
    void noteActivated(int noteId);

public Q_SLOTS:
    // The service's signals.
    void actionInvoked(uint notificationId, const QString &actionKey);
    void notificationClosed(uint notificationId, uint reason);

private:
    void listenForActions();

    void showThroughTray(const QString &title, const QString &body);
    void sendNotify(const QString &title, const QString &plainBody, int noteId);

    QSystemTrayIcon *m_trayIcon;
    int m_bodyMarkup = -1; // unknown until the first notification
    bool m_actions = false;
    bool m_listening = false;
    // Notifications still open, with their notes; the newest last.
    QList<QPair<uint, int>> m_open;
};
