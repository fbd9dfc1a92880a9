#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

class QSystemTrayIcon;

// What an alarm notification stands for: the note that "Open" brings up, and
// the notes whose alarms it lists, for "Done" and "Snooze 10 min".
struct NotifiedAlarms {
    int open = -1; // none: the notification offers no actions
    QList<int> notes;
    bool snoozable = false; // each of them a one-time alarm
};

// Shows the alarm balloon as a desktop notification. Falls back to the tray
// icon's own balloon where no notification service answers. Where the service
// offers actions, the notification asks for its note ("Open", the default
// action, as a click), acknowledges its alarms ("Done") or, when each is a
// one-time alarm, re-arms them ("Snooze 10 min").
class Notifier final : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxTitleLength = 63;
    static constexpr int MaxTextLength = 255;

    explicit Notifier(QSystemTrayIcon *trayIcon, QObject *parent = nullptr);

    // Cuts the texts to what a balloon holds, then shows them.
    void show(const QString &title, const QString &text, const NotifiedAlarms &alarms = {});

    // Test hook: receives the cut texts instead of the desktop.
    std::function<void(const QString &title, const QString &text)> sink;

    static QString cutTitle(const QString &title);
    static QString cutText(const QString &text);

    // The service showed the notification of `alarms` under notificationId.
    void sent(uint notificationId, const NotifiedAlarms &alarms);

Q_SIGNALS:
    // The user invoked an action of a notification of ours.
    void noteActivated(int noteId);
    void alarmsDone(const QList<int> &noteIds);
    void alarmsSnoozed(const QList<int> &noteIds);

public Q_SLOTS:
    // The service's signals.
    void actionInvoked(uint notificationId, const QString &actionKey);
    void notificationClosed(uint notificationId, uint reason);

private:
    void listenForActions();

    void showThroughTray(const QString &title, const QString &body);
    void sendNotify(const QString &title, const QString &plainBody, const NotifiedAlarms &alarms);

    QSystemTrayIcon *m_trayIcon;
    int m_bodyMarkup = -1; // unknown until the first notification
    bool m_actions = false;
    bool m_listening = false;
    // Notifications still open, with their notes; the newest last.
    QList<QPair<uint, NotifiedAlarms>> m_open;
};
