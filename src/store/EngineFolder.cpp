#include "EngineFolder.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace EngineFolder {

QString forDatabase(const QString &databaseFile)
{
    const QFileInfo file(databaseFile);
    QString real = file.canonicalFilePath();
    // A file not made yet lies where its folder really is.
    const QString folder = !real.isEmpty() ? QFileInfo(real).absolutePath()
                                           : QFileInfo(file.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? file.absolutePath() : folder) + QStringLiteral("/.penwick-lock");
}

QString makePrivate(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("it cannot be made (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    // Opened without following a link, so what is checked is what is used.
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOTDIR)
            return QStringLiteral("it is a link or not a folder");
        return QStringLiteral("it cannot be opened (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    struct stat info = {};
    QString problem;
    if (::fstat(fd, &info) != 0)
        problem = QStringLiteral("it cannot be examined (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    else if (info.st_uid != ::geteuid())
        problem = QStringLiteral("it belongs to another user");
    else if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
        problem = QStringLiteral("it cannot be made private (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    return problem;
}

} // namespace EngineFolder
