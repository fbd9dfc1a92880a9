#include "Backup.h"

#include "Durable.h"
#include "Firebird.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Backup {

namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat first = {};
    struct stat second = {};
    return ::stat(encoded(a).constData(), &first) == 0 && ::stat(encoded(b).constData(), &second) == 0
           && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A descriptor that closes itself, releasing its lock.
struct Held {
    int fd = -1;
    ~Held()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Every process that has the file attached holds a shared lock on it, and an
// attach fails at once while another process holds it exclusively.
bool lockAlone(const Held &file)
{
    return ::flock(file.fd, LOCK_EX | LOCK_NB) == 0;
}

QString inUse(const QString &databaseFile)
{
    return QStringLiteral("%1 is open in Penwick or another program; close it first")
        .arg(QDir::toNativeSeparators(databaseFile));
}

} // namespace

QString save(const QString &databaseFile, const QString &backupFile)
{
    const QString target = QFileInfo(backupFile).absoluteFilePath();
    if (sameFile(databaseFile, target))
        return QStringLiteral("%1 is the notes file itself").arg(target);
    const QString folder = QFileInfo(target).absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("there is no folder %1").arg(folder);
    // Made here first, private to this user; the engine writes into it.
    QTemporaryFile making(folder + QLatin1String("/.") + QFileInfo(target).fileName() + QLatin1String(".XXXXXX"));
    if (!making.open())
        return QStringLiteral("cannot write in %1: %2").arg(folder, making.errorString());
    making.close();
    try {
        Firebird::backupDatabase(databaseFile, making.fileName());
    } catch (const Firebird::Error &error) {
        return error.message().replace(QLatin1Char('\n'), QLatin1String("; "));
    }
    if (!Durable::syncFile(making.fileName())
        || ::rename(encoded(making.fileName()).constData(), encoded(target).constData()) != 0)
        return QStringLiteral("cannot write %1: %2").arg(target, errnoText());
    making.setAutoRemove(false);
    Durable::syncFolder(folder);
    return {};
}

Restored restore(const QString &backupFile, const QString &databaseFile)
{
    const QString source = QFileInfo(backupFile).absoluteFilePath();
    // Through a link, the file itself is replaced, where it lies.
    const QString canonical = QFileInfo(databaseFile).canonicalFilePath();
    const QString target = canonical.isEmpty() ? QFileInfo(databaseFile).absoluteFilePath() : canonical;
    if (!QFileInfo(source).isFile())
        return {QStringLiteral("there is no file %1").arg(source), {}};
    if (sameFile(source, target))
        return {QStringLiteral("%1 is the notes file itself").arg(source), {}};
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder))
        return {QStringLiteral("cannot make the folder %1").arg(folder), {}};

    Held old;
    old.fd = ::open(encoded(target).constData(), O_RDONLY | O_CLOEXEC);
    if (old.fd < 0 && errno != ENOENT)
        return {QStringLiteral("cannot open %1: %2").arg(target, errnoText()), {}};
    // Said before the restore, which may take a while; asked again at the end.
    if (old.fd >= 0) {
        if (!lockAlone(old))
            return {inUse(target), {}};
        ::flock(old.fd, LOCK_UN);
    }

    const QString making =
        QStringLiteral("%1/.%2.restoring-%3").arg(folder, QFileInfo(target).fileName()).arg(::getpid());
    QFile::remove(making);
    struct Gone {
        const QString &path;
        bool keep = false;
        ~Gone()
        {
            if (!keep)
                QFile::remove(path);
        }
    } unfinished {making};
    try {
        Firebird::restoreDatabase(source, making);
    } catch (const Firebird::Error &error) {
        return {error.message().replace(QLatin1Char('\n'), QLatin1String("; ")), {}};
    }
    struct stat mode = {};
    const mode_t keptMode = old.fd >= 0 && ::fstat(old.fd, &mode) == 0 ? (mode.st_mode & 0777) : 0600;
    if (::chmod(encoded(making).constData(), keptMode) != 0 || !Durable::syncFile(making))
        return {QStringLiteral("cannot write %1: %2").arg(making, errnoText()), {}};

    Restored restored;
    if (old.fd < 0) {
        // Never over a file that appeared meanwhile.
        if (::renameat2(AT_FDCWD, encoded(making).constData(), AT_FDCWD, encoded(target).constData(), RENAME_NOREPLACE)
            != 0)
            return {errno == EEXIST ? inUse(target) : QStringLiteral("cannot write %1: %2").arg(target, errnoText()),
                    {}};
    } else {
        // Held until the new file has the name: a program that starts
        // meanwhile fails to attach the old one, and finds the new one later.
        struct stat held = {};
        struct stat named = {};
        if (!lockAlone(old) || ::fstat(old.fd, &held) != 0 || ::stat(encoded(target).constData(), &named) != 0
            || held.st_ino != named.st_ino || held.st_dev != named.st_dev)
            return {inUse(target), {}};
        restored.keptAs = target + QLatin1String(".before-restore");
        if ((::unlink(encoded(restored.keptAs).constData()) != 0 && errno != ENOENT)
            || ::link(encoded(target).constData(), encoded(restored.keptAs).constData()) != 0)
            return {QStringLiteral("cannot keep the old notes as %1: %2").arg(restored.keptAs, errnoText()), {}};
        if (::rename(encoded(making).constData(), encoded(target).constData()) != 0)
            return {QStringLiteral("cannot write %1: %2").arg(target, errnoText()), {}};
    }
    unfinished.keep = true;
    Durable::syncFolder(folder);
    return restored;
}

} // namespace Backup
