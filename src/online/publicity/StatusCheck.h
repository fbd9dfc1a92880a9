#pragma once

#include <QObject>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Asks an address for its HTTP status, past every cache and without blocking
// the caller. The answer is the status code, or 0 when there is none: a scheme
// other than HTTP or HTTPS, a network error, or no answer within the time-out.
class StatusCheck final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusCheck)

public:
    // timeoutMs 0: PENWICK_PUBLICITY_TIMEOUT_MS when set to a positive number, else 30 s.
    explicit StatusCheck(QObject *parent = nullptr, int timeoutMs = 0);

    // The answer comes later, by statusKnown, never from within this call.
    void ask(const QUrl &url);

Q_SIGNALS:
    void statusKnown(const QUrl &url, int status);

private:
    void answer(QNetworkReply *reply, const QUrl &url, int status);

    QNetworkAccessManager *m_manager;
    QByteArray m_agent;
    int m_timeoutMs;
};
