#include "OnlineChecks.h"

#include "OProgramie.h"
#include "Update.h"
#include "online/publicity/PublicityProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <QWidget>

const QString OnlineChecks::VersionFile = QStringLiteral("vx.ver");
const QString OnlineChecks::PublicityFile = QStringLiteral("isPublicity2.info");

QString OnlineOptions::builtServiceBaseUrl()
{
    return QStringLiteral(PENWICK_SERVICE_BASE_URL);
}

QString OnlineOptions::builtProductSiteUrl()
{
    return QStringLiteral(PENWICK_PRODUCT_SITE_URL);
}

OnlineOptions OnlineOptions::fromEnvironment()
{
    OnlineOptions options;
    bool ok = false;
    const int delay = qEnvironmentVariable("PENWICK_ONLINE_DELAY_MS").trimmed().toInt(&ok);
    if (ok && delay >= 0)
        options.delayMs = delay;
    if (qEnvironmentVariableIsSet("PENWICK_SERVICE_BASE_URL"))
        options.ServiceBaseUrl = qEnvironmentVariable("PENWICK_SERVICE_BASE_URL");
    return options;
}

OnlineChecks::OnlineChecks(QWidget *owner, const OnlineOptions &options)
    : QObject(owner)
    , tUpdateAndPublicity(new QTimer(this))
    , m_options(options)
    , m_owner(owner)
    , m_download(new Downloader(this, options.timeoutMs))
    , m_flagDownload(new Downloader(this, options.timeoutMs))
{
    tUpdateAndPublicity->setSingleShot(true);
    tUpdateAndPublicity->setInterval(m_options.delayMs);
    connect(tUpdateAndPublicity, &QTimer::timeout, this, &OnlineChecks::tUpdateAndPublicityTimer);
    connect(m_download, &Downloader::finished, this, &OnlineChecks::versionDownloaded);
    connect(m_flagDownload, &Downloader::finished, this, &OnlineChecks::flagDownloaded);
    // Switched off, the program never calls home.
    if (!m_options.ServiceBaseUrl.isEmpty())
        tUpdateAndPublicity->start();
}

OnlineChecks::~OnlineChecks()
{
    delete fUpdate.data();
}

QString OnlineChecks::ownVersion()
{
    return QStringLiteral(PENWICK_VERSION);
}

QString OnlineChecks::firstLine(const QByteArray &text)
{
    const qsizetype end = text.indexOf('\n');
    if (end < 0)
        return QString::fromUtf8(text);
    QByteArray line = text.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

void OnlineChecks::tUpdateAndPublicityTimer()
{
    tUpdateAndPublicity->stop();
    if (m_ticked || m_ended || m_options.ServiceBaseUrl.isEmpty())
        return;
    m_ticked = true;
    CheckNewVersion();
}

void OnlineChecks::CheckNewVersion()
{
    // The answer comes back through versionDownloaded; the windows keep working meanwhile.
    m_download->start(QUrl(m_options.ServiceBaseUrl + QStringLiteral("/app/penwick/update/vx.ver")), VersionFile);
}

void OnlineChecks::versionDownloaded(bool ok)
{
    if (m_ended)
        return;
    if (ok) {
        // Only the copy just written counts, never one left by an earlier run.
        QFile file(Downloader::filePath(VersionFile));
        if (file.open(QIODevice::ReadOnly) && firstLine(file.read(Downloader::MaximumSize)) != ownVersion())
            showNotice();
    }
    CheckPublicity();
}

void OnlineChecks::CheckPublicity()
{
    // The window is a package of its own: without it there is nothing to
    // show, so nothing is asked for.
    const QString program = m_options.publicityProgram.isEmpty() ? PublicityProcess::defaultProgramPath()
                                                                 : m_options.publicityProgram;
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable()) {
        Q_EMIT publicityChecked();
        return;
    }
    m_publicityProgram = program;
    m_flagDownload->start(QUrl(m_options.ServiceBaseUrl + QStringLiteral("/app/penwick/publicity2/") + PublicityFile),
                          PublicityFile);
}

void OnlineChecks::flagDownloaded(bool ok)
{
    if (m_ended)
        return;
    // The file's content means nothing: that it came is the answer.
    if (ok && !Reklama) {
        Reklama = new PublicityProcess(this, m_publicityProgram);
        Reklama->start(PublicityProcess::pageUrl(m_options.ServiceBaseUrl));
    }
    Q_EMIT publicityChecked();
}

void OnlineChecks::EndPublicity()
{
    if (Reklama)
        Reklama->end();
}

void OnlineChecks::showNotice()
{
    if (m_noticeShown)
        return;
    m_noticeShown = true;
    fUpdate = new TfUpdate(m_options.ProductSiteUrl, m_owner);
    fUpdate->show();
}

void OnlineChecks::RemoveDownloadedFiles()
{
    // A download that finished after this would leave its file behind.
    m_ended = true;
    tUpdateAndPublicity->stop();
    m_download->cancel();
    m_flagDownload->cancel();
    Downloader::remove(VersionFile);
    Downloader::remove(PublicityFile);
}

void OnlineChecks::ShowAbout()
{
    TFormOProgramie::Execute(m_options.ProductSiteUrl, m_owner);
}
