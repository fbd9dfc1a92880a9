#include "EngineFolder.h"

#include "ServerAddress.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace EngineFolder {

namespace {

QString memoryFolder = QStringLiteral("/dev/shm");

const QByteArray kConfiguration = "ServerMode = SuperClassic\nTracePlugin =\n";

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A descriptor that closes itself.
class Fd final
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const
    {
        return m_fd;
    }

private:
    int m_fd;
};

// Removes what the folder holds, never following a link out of it.
bool emptyFolder(int folder)
{
    DIR *listing = ::fdopendir(::dup(folder));
    if (!listing)
        return false;
    bool emptied = true;
    while (const dirent *entry = ::readdir(listing)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat info = {};
        if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            const Fd inner(::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (inner.get() < 0 || !emptyFolder(inner.get()) || ::unlinkat(folder, name, AT_REMOVEDIR) != 0)
                emptied = false;
        } else if (::unlinkat(folder, name, 0) != 0) {
            emptied = false;
        }
    }
    ::closedir(listing);
    return emptied;
}

// Opens the folder `name` under `at` (made when missing) and checks that it
// is this user's own: a folder, not a link, mode 0700. `wasOpen` tells
// whether others could reach it before. With `exclusive`, the folder stays
// locked against the same check of other processes until the descriptor
// closes, so that only one of them empties it.
int openPrivate(int at, const QByteArray &name, QString &problem, bool &wasOpen, bool exclusive = false)
{
    wasOpen = false;
    if (::mkdirat(at, name.constData(), 0700) != 0 && errno != EEXIST) {
        problem = QStringLiteral("it cannot be made (%1)").arg(errnoText());
        return -1;
    }
    // Opened without following a link, so what is checked is what is used.
    const int fd = ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == ELOOP || errno == ENOTDIR ? QStringLiteral("it is a link or not a folder")
                                                     : QStringLiteral("it cannot be opened (%1)").arg(errnoText());
        return -1;
    }
    struct stat info = {};
    if (exclusive && ::flock(fd, LOCK_EX) != 0)
        problem = QStringLiteral("it cannot be locked (%1)").arg(errnoText());
    else if (::fstat(fd, &info) != 0)
        problem = QStringLiteral("it cannot be examined (%1)").arg(errnoText());
    else if (info.st_uid != ::geteuid())
        problem = QStringLiteral("it belongs to another user");
    else if ((info.st_mode & 07777) != 0700) {
        wasOpen = (info.st_mode & 077) != 0;
        if (::fchmod(fd, 0700) != 0)
            problem = QStringLiteral("it cannot be made private (%1)").arg(errnoText());
    }
    if (!problem.isEmpty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool holdsExactly(int folder, const char *name, const QByteArray &content)
{
    const Fd file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.get() < 0)
        return false;
    QByteArray read(content.size() + 1, '\0');
    const ssize_t got = ::read(file.get(), read.data(), size_t(read.size()));
    return got == content.size() && read.left(content.size()) == content;
}

// The configuration that lets several processes share a file, and the
// engine's character sets, which it otherwise tries to load at every attach.
QString fillRoot(int root)
{
    if (!holdsExactly(root, "firebird.conf", kConfiguration)) {
        const QByteArray temporary = "firebird.conf." + QByteArray::number(::getpid());
        const Fd out(
            ::openat(root, temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
        const bool written = out.get() >= 0
                             && ::write(out.get(), kConfiguration.constData(), size_t(kConfiguration.size()))
                                    == kConfiguration.size();
        // Without it the engine would open the file for itself alone.
        if (!written || ::renameat(root, temporary.constData(), root, "firebird.conf") != 0) {
            const QString why = errnoText();
            ::unlinkat(root, temporary.constData(), 0);
            return QStringLiteral("its configuration cannot be written (%1)").arg(why);
        }
    }
    const QByteArray intl = PENWICK_FIREBIRD_INTL;
    char target[4096];
    const ssize_t length = ::readlinkat(root, "intl", target, sizeof target);
    if (length < 0 || QByteArray(target, int(length)) != intl) {
        struct stat info = {};
        if (::fstatat(root, "intl", &info, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(info.st_mode)) {
                const Fd inner(::openat(root, "intl", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (inner.get() >= 0)
                    emptyFolder(inner.get());
                ::unlinkat(root, "intl", AT_REMOVEDIR);
            } else {
                ::unlinkat(root, "intl", 0);
            }
        }
        if (QFileInfo::exists(QString::fromLocal8Bit(intl)))
            ::symlinkat(intl.constData(), root, "intl");
    }
    return {};
}

QString lockFolderName(const QString &databaseFile)
{
    // A server keeps the locks of its databases itself.
    if (ServerAddress::isServer(databaseFile))
        return QStringLiteral("server");
    const QByteArray file = QFile::encodeName(QFileInfo(databaseFile).absoluteFilePath());
    struct stat info = {};
    // A file not made yet will lie on its folder's file system.
    if (::stat(file.constData(), &info) != 0) {
        const QByteArray folder = QFile::encodeName(QFileInfo(databaseFile).absolutePath());
        if (::stat(folder.constData(), &info) != 0)
            return QStringLiteral("unknown");
    }
    return QString::number(quint64(info.st_dev));
}

} // namespace

QString base()
{
    return memoryFolder + QStringLiteral("/penwick-") + QString::number(::geteuid());
}

QString root()
{
    return base() + QStringLiteral("/engine");
}

QString forDatabase(const QString &databaseFile)
{
    return base() + QStringLiteral("/locks/") + lockFolderName(databaseFile);
}

QString prepare(const QString &lockFolder)
{
    QString problem;
    bool wasOpen = false;
    const Fd memory(::open(QFile::encodeName(memoryFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (memory.get() < 0)
        return QStringLiteral("%1 cannot be opened (%2)").arg(memoryFolder, errnoText());
    // Locked while it is made ready: copies of the program that start together
    // must not empty it under each other's hands.
    const Fd own(openPrivate(memory.get(), "penwick-" + QByteArray::number(::geteuid()), problem, wasOpen, true));
    if (own.get() < 0)
        return QStringLiteral("%1: %2").arg(base(), problem);
    if (wasOpen && !emptyFolder(own.get()))
        return QStringLiteral("%1 was open to others and cannot be emptied").arg(base());

    const Fd engine(openPrivate(own.get(), "engine", problem, wasOpen));
    if (engine.get() < 0)
        return QStringLiteral("%1: %2").arg(root(), problem);
    problem = fillRoot(engine.get());
    if (!problem.isEmpty())
        return QStringLiteral("%1: %2").arg(root(), problem);

    const Fd locks(openPrivate(own.get(), "locks", problem, wasOpen));
    if (locks.get() < 0)
        return QStringLiteral("%1/locks: %2").arg(base(), problem);
    const Fd folder(openPrivate(locks.get(), QFile::encodeName(QFileInfo(lockFolder).fileName()), problem, wasOpen));
    if (folder.get() < 0)
        return QStringLiteral("%1: %2").arg(lockFolder, problem);
    return {};
}

bool olderCopyHolds(const QString &databaseFile)
{
    const QFileInfo file(databaseFile);
    const QString real = file.canonicalFilePath();
    const QString folder = (real.isEmpty() ? file.absolutePath() : QFileInfo(real).absolutePath())
                           + QStringLiteral("/.penwick-lock");
    const Fd old(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (old.get() < 0)
        return false;
    DIR *listing = ::fdopendir(::dup(old.get()));
    if (!listing)
        return false;
    bool held = false;
    // The engine keeps a shared lock on each lock table it uses.
    while (const dirent *entry = ::readdir(listing)) {
        if (std::strncmp(entry->d_name, "fb_lock_", 8) != 0)
            continue;
        const Fd table(::openat(old.get(), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (table.get() < 0)
            continue;
        if (::flock(table.get(), LOCK_EX | LOCK_NB) != 0) {
            held = held || errno == EWOULDBLOCK;
            continue;
        }
        ::flock(table.get(), LOCK_UN);
    }
    ::closedir(listing);
    return held;
}

void setMemoryFolderForTests(const QString &folder)
{
    memoryFolder = folder;
}

} // namespace EngineFolder
