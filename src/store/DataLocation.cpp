#include "DataLocation.h"

#include "DataModule.h"
#include "Durable.h"
#include "ServerAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace DataLocation {

namespace {

const QString kFileName = QStringLiteral("dbn.ib");

bool isFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

QString cannotCreate(const QString &path, const QString &why)
{
    return QStringLiteral("Penwick cannot create the file for your notes, %1: %2. "
                          "Notes cannot be saved until it can.")
        .arg(QDir::toNativeSeparators(path), why);
}

// A short write (a full disk) leaves the device without an error of its own.
QString writeError(const QFileDevice &file)
{
    return file.error() != QFileDevice::NoError ? file.errorString() : QString::fromLocal8Bit(std::strerror(errno));
}

// Copies `from` into the open temporary file and makes it durable.
QString copyInto(const QString &from, QTemporaryFile &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    QByteArray chunk;
    while (!(chunk = source.read(1 << 20)).isEmpty()) {
        if (to.write(chunk) != chunk.size())
            return writeError(to);
    }
    if (source.error() != QFileDevice::NoError)
        return source.errorString();
    if (!to.flush() || ::fsync(to.handle()) != 0)
        return writeError(to);
    return {};
}

} // namespace

Decision decide(const QString &executableDir, const QString &dataHome, const QString &suppliedFile)
{
    const QString portable = executableDir + QLatin1Char('/') + kFileName;
    if (isFile(portable))
        return {Source::Portable, portable, {}, {}};
    const QString perUser = dataHome + QStringLiteral("/penwick/") + kFileName;
    if (isFile(perUser))
        return {Source::PerUser, perUser, {}, {}};
    if (isFile(suppliedFile))
        return {Source::FirstStart, perUser, suppliedFile, {}};
    return {Source::None, perUser, {}, {}};
}

Result carryOut(const Decision &decision)
{
    if (decision.source != Source::FirstStart)
        return {decision.path, decision.problem};
    const QString folder = QFileInfo(decision.path).absolutePath();
    errno = 0;
    if (!QDir().mkpath(folder)) {
        const QString why = errno ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("no such folder");
        return {decision.path, cannotCreate(folder, why)};
    }
    QTemporaryFile copy(folder + QStringLiteral("/.dbn.ib.XXXXXX"));
    if (!copy.open())
        return {decision.path, cannotCreate(decision.path, copy.errorString())};
    const QString error = copyInto(decision.supplied, copy);
    if (!error.isEmpty())
        return {decision.path, cannotCreate(decision.path, error)};
    // Never over an existing file: another instance may have won the race,
    // and then its file is the one to use (and ours goes).
    if (copy.rename(decision.path)) {
        copy.setAutoRemove(false);
        // The new name must outlive a crash too.
        Durable::syncFolder(folder);
        return {decision.path, {}};
    }
    if (isFile(decision.path))
        return {decision.path, {}};
    return {decision.path, cannotCreate(decision.path, copy.errorString())};
}

QString executableDir()
{
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
}

QString dataHome()
{
    const QString xdg = QFile::decodeName(qgetenv("XDG_DATA_HOME"));
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.local/share");
}

QString sharedFile(const QString &executableDir, const QString &relative)
{
    for (const char *share : {"/../share/", "/share/"}) {
        const QString path = QDir::cleanPath(executableDir + QLatin1String(share) + relative);
        if (isFile(path))
            return path;
    }
    return {};
}

QString suppliedFile(const QString &executableDir)
{
    return sharedFile(executableDir, QStringLiteral("penwick/") + kFileName);
}

Decision decideHere()
{
    // The notes on a server: nothing to decide or copy here.
    QString problem;
    const QString server = ServerAddress::fromEnvironment(&problem);
    if (!server.isEmpty())
        return {Source::Server, server, {}, {}};
    if (!problem.isEmpty())
        return {Source::None, {}, {}, problem};
    const QString exeDir = executableDir();
    return decide(exeDir, dataHome(), suppliedFile(exeDir));
}

Result locate()
{
    const Decision decision = decideHere();
    if (decision.source == Source::None && decision.problem.isEmpty())
        qCWarning(lcStore).noquote() << "DataLocation: no database: neither"
                                     << executableDir() + QLatin1Char('/') + kFileName << "nor" << decision.path
                                     << "exists, and no empty one is supplied";
    Result result = carryOut(decision);
    if (!result.problem.isEmpty())
        qCWarning(lcStore).noquote() << "DataLocation:" << result.problem;
    return result;
}

} // namespace DataLocation
