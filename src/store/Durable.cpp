#include "Durable.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace Durable {

namespace {

bool syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

bool syncFile(const QString &path)
{
    return syncPath(path, O_RDONLY);
}

void syncFolder(const QString &folder)
{
    syncPath(folder, O_RDONLY | O_DIRECTORY);
}

} // namespace Durable
