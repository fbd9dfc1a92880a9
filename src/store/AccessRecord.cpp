#include "AccessRecord.h"

#include "EngineFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

namespace {

// Beside the lock folders, in the engine's private folder: one record per
// file, whatever name reaches it.
QString recordPath(const QString &databaseFile)
{
    struct stat file {
    };
    if (::stat(QFile::encodeName(databaseFile).constData(), &file) != 0)
        return QString();
    return EngineFolder::base() + QStringLiteral("/records/") + QString::number(quint64(file.st_dev)) + QLatin1Char('-')
           + QString::number(quint64(file.st_ino));
}

// The file's device, inode, size and both times to the nanosecond: the change
// time moves with every write and every touch, and no program can set it back.
QByteArray identity(const QString &databaseFile)
{
    struct stat file {
    };
    if (::stat(QFile::encodeName(databaseFile).constData(), &file) != 0 || !S_ISREG(file.st_mode))
        return QByteArray();
    return QByteArray::number(quint64(file.st_dev)) + ' ' + QByteArray::number(quint64(file.st_ino)) + ' '
           + QByteArray::number(qint64(file.st_size)) + ' ' + QByteArray::number(qint64(file.st_mtim.tv_sec)) + '.'
           + QByteArray::number(qint64(file.st_mtim.tv_nsec)) + ' ' + QByteArray::number(qint64(file.st_ctim.tv_sec))
           + '.' + QByteArray::number(qint64(file.st_ctim.tv_nsec)) + '\n';
}

} // namespace

bool AccessRecord::saysOpen(const QString &databaseFile)
{
    const QByteArray now = identity(databaseFile);
    if (now.isEmpty())
        return false;
    const QString path = recordPath(databaseFile);
    QFile record(path);
    return !path.isEmpty() && record.open(QIODevice::ReadOnly) && record.read(256) == now;
}

void AccessRecord::remember(const QString &databaseFile, bool open)
{
    const QString path = recordPath(databaseFile);
    if (path.isEmpty())
        return;
    const QByteArray now = open ? identity(databaseFile) : QByteArray();
    if (now.isEmpty()) {
        QFile::remove(path);
        return;
    }
    // The engine's private folder exists once the file was opened.
    ::mkdir(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), 0700);
    QSaveFile record(path);
    if (!record.open(QIODevice::WriteOnly) || record.write(now) != now.size() || !record.commit())
        QFile::remove(path);
}
