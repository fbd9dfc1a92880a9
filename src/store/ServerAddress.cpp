#include "ServerAddress.h"

#include <QFile>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool validHost(const QString &host)
{
    // A name, an IPv4 address, or an IPv6 address in brackets.
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    static const QRegularExpression bracketed(QStringLiteral("^\\[[0-9A-Fa-f:.]+\\]$"));
    return name.match(host).hasMatch() || bracketed.match(host).hasMatch();
}

std::optional<int> validPort(const QString &text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace

QString ServerAddress::connectionString() const
{
    return QStringLiteral("inet://%1:%2/%3").arg(host).arg(port).arg(path);
}

QString ServerAddress::shown() const
{
    return QStringLiteral("%1, port %2, %3").arg(host).arg(port).arg(path);
}

std::optional<ServerAddress> ServerAddress::parse(const QString &text, QString *problem)
{
    auto refuse = [&](const QString &why) -> std::optional<ServerAddress> {
        if (problem)
            *problem = QStringLiteral("%1 is not a database on a server (%2); use host[/port]:/path or "
                                      "inet://host[:port]/path.")
                           .arg(text, why);
        return std::nullopt;
    };
    ServerAddress address;
    if (text.startsWith(QLatin1String("inet://"))) {
        const QString rest = text.mid(7);
        const qsizetype slash = rest.indexOf(QLatin1Char('/'));
        if (slash <= 0)
            return refuse(QStringLiteral("no path after the host"));
        QString hostPort = rest.left(slash);
        address.path = rest.mid(slash + 1);
        const qsizetype colon = hostPort.lastIndexOf(QLatin1Char(':'));
        if (colon > 0 && !hostPort.endsWith(QLatin1Char(']'))) {
            const std::optional<int> port = validPort(hostPort.mid(colon + 1));
            if (!port)
                return refuse(QStringLiteral("the port is not a number from 1 to 65535"));
            address.port = *port;
            hostPort.truncate(colon);
        }
        address.host = hostPort;
    } else {
        // "host:/path" or "host/port:/path"; a bare path, or a Windows-like
        // "C:" drive, is a local file.
        static const QRegularExpression legacy(QStringLiteral("^([^:/]+)(/([^:]+))?:(/.*)$"));
        const QRegularExpressionMatch m = legacy.match(text);
        if (!m.hasMatch() || m.captured(1).size() < 2)
            return std::nullopt;
        address.host = m.captured(1);
        if (m.hasCaptured(3) && !m.captured(3).isEmpty()) {
            const std::optional<int> port = validPort(m.captured(3));
            if (!port)
                return refuse(QStringLiteral("the port is not a number from 1 to 65535"));
            address.port = *port;
        }
        address.path = m.captured(4);
    }
    if (!validHost(address.host))
        return refuse(QStringLiteral("\"%1\" is not a host name").arg(address.host));
    if (address.path.isEmpty() || address.path.contains(QChar(0)))
        return refuse(QStringLiteral("no path of the database on the server"));
    return address;
}

bool ServerAddress::isServer(const QString &databaseName)
{
    return databaseName.startsWith(QLatin1String("inet://"));
}

QString ServerAddress::fromEnvironment(QString *problem)
{
    const QString named = qEnvironmentVariable("PENWICK_DATABASE");
    if (named.isEmpty())
        return {};
    QString why;
    const std::optional<ServerAddress> address = parse(named, &why);
    if (!address && why.isEmpty())
        why = QStringLiteral("PENWICK_DATABASE=%1 names no database on a server; it takes host[/port]:/path or "
                             "inet://host[:port]/path, and is left unset for the notes on this computer.")
                  .arg(named);
    if (problem)
        *problem = why;
    return address ? address->connectionString() : QString();
}

ServerLogin ServerLogin::fromEnvironment()
{
    ServerLogin login;
    login.user = qEnvironmentVariable("ISC_USER");
    if (login.user.isEmpty())
        login.problem = QStringLiteral("no user name for the server: set ISC_USER");
    const QByteArray file = qgetenv("PENWICK_DATABASE_PASSWORD_FILE");
    if (file.isEmpty()) {
        login.password = qEnvironmentVariable("ISC_PASSWORD");
        if (login.password.isEmpty() && login.problem.isEmpty())
            login.problem = QStringLiteral("no password for the server: set ISC_PASSWORD or "
                                           "PENWICK_DATABASE_PASSWORD_FILE");
        return login;
    }
    // Opened without following a link; checked on what was opened.
    const int fd = ::open(file.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info = {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        login.problem = QStringLiteral("the password file %1 cannot be read").arg(QFile::decodeName(file));
    } else if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
        login.problem = QStringLiteral("the password file %1 must be a file of yours that nobody else may read "
                                       "(chmod 600)")
                            .arg(QFile::decodeName(file));
    } else {
        QByteArray content(4096, '\0');
        const ssize_t got = ::read(fd, content.data(), size_t(content.size()));
        content.resize(got > 0 ? int(got) : 0);
        // The first line, without its line break.
        const qsizetype end = content.indexOf('\n');
        login.password = QString::fromUtf8(end >= 0 ? content.left(end) : content);
        if (login.password.endsWith(QLatin1Char('\r')))
            login.password.chop(1);
        if (login.password.isEmpty())
            login.problem = QStringLiteral("the password file %1 is empty").arg(QFile::decodeName(file));
    }
    if (fd >= 0)
        ::close(fd);
    return login;
}
