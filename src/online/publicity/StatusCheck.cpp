#include "StatusCheck.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

constexpr int kDefaultTimeoutMs = 30000;
constexpr char kAnswered[] = "penwickAnswered";

int configuredTimeout()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("PENWICK_PUBLICITY_TIMEOUT_MS", &ok);
    return ok && ms > 0 ? ms : kDefaultTimeoutMs;
}

int statusOf(const QNetworkReply *reply)
{
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return code.isValid() ? code.toInt() : 0;
}

} // namespace

StatusCheck::StatusCheck(QObject *parent, int timeoutMs)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_agent(QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8())
    , m_timeoutMs(timeoutMs > 0 ? timeoutMs : configuredTimeout())
{
}

void StatusCheck::ask(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        // Queued: the asker may be in the middle of the navigation it asks about.
        QTimer::singleShot(0, this, [this, url] { Q_EMIT statusKnown(url, 0); });
        return;
    }
    QNetworkRequest request(url);
    // Neither read nor write a cache; AlwaysNetwork also sends "no-cache", so
    // no cache on the way answers either.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader, m_agent);
    QNetworkReply *reply = m_manager->get(request);

    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [this, reply, url] { answer(reply, url, 0); });
    deadline->start(m_timeoutMs);
    // A page that answers 200 is not downloaded: its headers are enough.
    // Other answers are short and end by themselves (stopping one that
    // carries an error confuses the reply).
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, url] {
        if (statusOf(reply) == 200)
            answer(reply, url, 200);
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, url] { answer(reply, url, statusOf(reply)); });
}

void StatusCheck::answer(QNetworkReply *reply, const QUrl &url, int status)
{
    // The first of headers, end and time-out answers; the others come too late.
    if (reply->property(kAnswered).toBool())
        return;
    reply->setProperty(kAnswered, true);
    disconnect(reply, nullptr, this, nullptr);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
    Q_EMIT statusKnown(url, status);
}
