#include "Downloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

QString candidateFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/penwick");
    return QDir::tempPath() + QStringLiteral("/penwick-") + QString::number(getuid());
}

// The temporary folder is open to every account: a folder of our name that
// another account made, or a link planted there, must never receive our files.
bool ownFolder(const QString &path, bool create)
{
    const QByteArray native = QFile::encodeName(path);
    if (create)
        ::mkdir(native.constData(), 0700);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid())
        return false;
    return (info.st_mode & 077) == 0 || ::chmod(native.constData(), 0700) == 0;
}

bool plainName(const QString &fileName)
{
    return !fileName.isEmpty() && !fileName.contains(QLatin1Char('/')) && fileName != QLatin1String(".")
           && fileName != QLatin1String("..");
}

} // namespace

Downloader::Downloader(QObject *parent, int timeoutMs)
    : QObject(parent)
    , m_deadline(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    m_deadline->setInterval(timeoutMs);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        m_refused = true;
        if (m_reply)
            m_reply->abort();
        // abort() usually reports the end at once; a refusal made in start() has no reply.
        if (m_running)
            end(false);
    });
}

Downloader::~Downloader()
{
    cancel();
}

QString Downloader::folder()
{
    const QString path = candidateFolder();
    return ownFolder(path, true) ? path : QString();
}

QString Downloader::filePath(const QString &fileName)
{
    if (!plainName(fileName))
        return QString();
    const QString dir = folder();
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + fileName;
}

void Downloader::remove(const QString &fileName)
{
    const QString dir = candidateFolder();
    if (plainName(fileName) && ownFolder(dir, false))
        ::unlink(QFile::encodeName(dir + QLatin1Char('/') + fileName).constData());
}

bool Downloader::isRunning() const
{
    return m_running;
}

void Downloader::start(const QUrl &url, const QString &fileName)
{
    cancel();
    m_fileName = fileName;
    m_body.clear();
    m_refused = false;
    m_running = true;
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || filePath(fileName).isEmpty()) {
        // Reported from the event loop, like every other outcome.
        m_refused = true;
        m_deadline->start(0);
        return;
    }
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Unpacked bodies would not match the announced length.
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = m_manager->get(request);
    // Qt stops reading from the socket once this much waits, so a flood is refused
    // before it fills the memory.
    m_reply->setReadBufferSize(MaximumSize + 1);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        bool known = false;
        const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && length > MaximumSize) {
            m_refused = true;
            m_reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &Downloader::readBody);
    connect(m_reply, &QNetworkReply::finished, this, &Downloader::replyFinished);
    m_deadline->start();
}

void Downloader::cancel()
{
    m_running = false;
    m_deadline->stop();
    m_fileName.clear();
    if (QNetworkReply *reply = std::exchange(m_reply, nullptr)) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

void Downloader::readBody()
{
    if (!m_reply || m_refused)
        return;
    m_body += m_reply->readAll();
    if (m_body.size() > MaximumSize) {
        m_refused = true;
        m_reply->abort();
    }
}

void Downloader::replyFinished()
{
    if (!m_reply)
        return;
    if (!m_refused)
        m_body += m_reply->readAll();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    bool known = false;
    const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    const bool whole = m_body.size() <= MaximumSize && (!known || length == m_body.size());
    const bool ok = !m_refused && m_reply->error() == QNetworkReply::NoError && status >= 200 && status < 300 && whole;
    end(ok && writeFile());
}

void Downloader::end(bool ok)
{
    m_running = false;
    m_deadline->stop();
    m_fileName.clear();
    m_body.clear();
    if (QNetworkReply *reply = std::exchange(m_reply, nullptr)) {
        disconnect(reply, nullptr, this, nullptr);
        reply->deleteLater();
    }
    Q_EMIT finished(ok);
}

bool Downloader::writeFile() const
{
    const QString path = filePath(m_fileName);
    if (path.isEmpty())
        return false;
    // QSaveFile follows a link that stands under the name and would replace
    // what it points to; anything but a plain file there goes first.
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(native.constData(), &info) == 0 && !S_ISREG(info.st_mode) && ::unlink(native.constData()) != 0)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(m_body);
    return file.commit();
}
