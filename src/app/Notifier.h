#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QSystemTrayIcon;

// Shows the alarm balloon as a desktop notification. Falls back to the tray
// icon's own balloon where no notification service answers.
class Notifier final : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxTitleLength = 63;
    static constexpr int MaxTextLength = 255;

    explicit Notifier(QSystemTrayIcon *trayIcon, QObject *parent = nullptr);

    // Cuts the texts to what a balloon holds, then shows them.
    void show(const QString &title, const QString &text);

    // Test hook: receives the cut texts instead of the desktop.
    std::function<void(const QString &title, const QString &text)> sink;

    static QString cutTitle(const QString &title);
    static QString cutText(const QString &text);

private:
    void showThroughTray(const QString &title, const QString &body);
    void sendNotify(const QString &title, const QString &plainBody);

    QSystemTrayIcon *m_trayIcon;
    int m_bodyMarkup = -1; // unknown until the first notification
};
