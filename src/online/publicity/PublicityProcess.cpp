#include "PublicityProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
constexpr int kEndWaitMs = 1000;
}

PublicityProcess::PublicityProcess(QObject *parent, const QString &programPath)
    : QObject(parent)
    , m_program(programPath.isEmpty() ? defaultProgramPath() : programPath)
{
}

PublicityProcess::~PublicityProcess()
{
    end();
}

QString PublicityProcess::pageUrl(const QString &serviceBaseUrl)
{
    return serviceBaseUrl + QStringLiteral("/app/penwick/publicity2/");
}

QString PublicityProcess::defaultProgramPath()
{
    return programFor(QCoreApplication::applicationDirPath());
}

QString PublicityProcess::installedFolder()
{
    return QStringLiteral(PENWICK_HELPER_DIR);
}

QString PublicityProcess::programFor(const QString &programFolder)
{
    // Beside the program in a build folder or a portable copy; in the
    // program's libexec folder once installed.
    const QDir folder(programFolder);
    for (const QString &path : {folder.filePath(QStringLiteral("penwick-publicity")),
                                folder.filePath(installedFolder() + QStringLiteral("/penwick-publicity"))}) {
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return QDir::cleanPath(path);
    }
    return QString();
}

bool PublicityProcess::start(const QString &url)
{
    if (m_started)
        return false;
    m_started = true;
    m_process = new QProcess(this);
    // The browser's messages go where the program's own go, not into a buffer
    // nobody reads.
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    const pid_t owner = getpid();
    // Runs in the child before exec: the kernel sends SIGTERM when the owner
    // dies, however it dies (strictly: when the thread that started the child
    // ends, so start() belongs on the main thread). An owner gone before the
    // request was made is seen through the changed parent.
    m_process->setChildProcessModifier([owner] {
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != owner)
            _exit(127);
    });
    connect(m_process, &QProcess::finished, this, &PublicityProcess::ended);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Q_EMIT ended();
    });
    m_process->start(m_program, {url});
    return true;
}

void PublicityProcess::end()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(kEndWaitMs)) {
        m_process->kill();
        m_process->waitForFinished(kEndWaitMs);
    }
}

bool PublicityProcess::running() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 PublicityProcess::processId() const
{
    return m_process ? m_process->processId() : 0;
}
