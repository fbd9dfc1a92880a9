#include "Firebird.h"

#include "EngineFolder.h"
#include "ServerAddress.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <ibase.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace Firebird {

namespace {

constexpr short kDialect = 3;
constexpr qint32 kPageBuffers = 2048; // 16 MiB of 8 KiB pages at most
// How long a write waits for a row another transaction holds: the main thread
// must not freeze while another program keeps a row.
constexpr char kLockTimeoutSeconds = 1;

// ISC_DATE counts days from 17 November 1858, ISC_TIME ten-thousandths of a
// second from midnight.
constexpr qint64 kIscDateJulianOffset = 2400001;

QString statusText(const ISC_STATUS *status)
{
    QByteArray text;
    char buffer[1024];
    const ISC_STATUS *vector = status;
    while (fb_interpret(buffer, sizeof buffer, &vector) > 0) {
        if (!text.isEmpty())
            text += '\n';
        text += buffer;
    }
    return QString::fromUtf8(text);
}

bool isConnectionLost(const ISC_STATUS *status)
{
    switch (status[1]) {
    case isc_network_error:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_conn_lost:
    case isc_lost_db_connection:
    case isc_shutdown:
    case isc_att_shutdown:
    case isc_bad_db_handle:
        return true;
    default:
        return false;
    }
}

// What kind of failure the codes of a status vector tell. A lock time-out is
// no conflict: the other transaction still holds the row after the wait.
Error::Cause causeOf(const ISC_STATUS *status)
{
    if (isConnectionLost(status))
        return Error::Cause::ConnectionLost;
    bool conflict = false;
    bool timeout = false;
    bool duplicate = false;
    for (const ISC_STATUS *item = status; *item != isc_arg_end;) {
        const ISC_STATUS type = item[0];
        if (type == isc_arg_gds) {
            switch (item[1]) {
            case isc_update_conflict:
            case isc_deadlock:
            case isc_lock_conflict:
                conflict = true;
                break;
            case isc_lock_timeout:
                timeout = true;
                break;
            case isc_unique_key_violation:
            case isc_no_dup:
                duplicate = true;
                break;
            default:
                break;
            }
        }
        item += type == isc_arg_cstring ? 3 : 2;
    }
    if (duplicate)
        return Error::Cause::Duplicate;
    if (timeout)
        return Error::Cause::Busy;
    if (conflict)
        return Error::Cause::Conflict;
    return Error::Cause::Other;
}

Error errorFrom(const ISC_STATUS *status)
{
    return Error(statusText(status), causeOf(status));
}

// The engine words a wait that ran out like a conflict after the other
// transaction ended; but then the row is still held, and another try would
// only wait as long again.
Error errorAfterWait(const ISC_STATUS *status, const QElapsedTimer &waited)
{
    Error error = errorFrom(status);
    if (error.conflict() && waited.elapsed() >= kLockTimeoutSeconds * 1000 - 100)
        return Error(error.message(), Error::Cause::Busy);
    return error;
}

bool failed(const ISC_STATUS *status)
{
    return status[0] == 1 && status[1] != 0;
}

void check(const ISC_STATUS *status)
{
    if (failed(status))
        throw errorFrom(status);
}

void addParameter(QByteArray &dpb, char tag, const QByteArray &value)
{
    dpb += tag;
    dpb += char(value.size());
    dpb += value;
}

// Qt's plain UTF-8 decoding drops a leading U+FEFF as a byte-order mark; in a
// stored text it is a character the user wrote.
QString textFromUtf8(const char *data, qsizetype size)
{
    // A decoder costs more than the plain call, and only a text that starts
    // with the mark needs one.
    if (size < 3 || data[0] != '\xEF' || data[1] != '\xBB' || data[2] != '\xBF')
        return QString::fromUtf8(data, size);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(data, size));
}

QDate decodeDate(ISC_DATE date)
{
    return QDate::fromJulianDay(qint64(date) + kIscDateJulianOffset);
}

QTime decodeTime(ISC_TIME time)
{
    return QTime::fromMSecsSinceStartOfDay(int(time / 10));
}

struct Environment {
    QString folder;
    QString problem;
};

Environment &environment()
{
    static Environment chosen;
    return chosen;
}

std::once_flag environmentOnce;

// The engine maps its lock files (a lock table, an event table and a
// monitoring table per file, up to a MiB each), and a page of such a mapping
// that finds no room kills the process with SIGBUS.
constexpr quint64 kRoomForLockFiles = 4 << 20;

void checkRoomForLockFiles()
{
    struct statvfs room = {};
    const QByteArray folder = QFile::encodeName(environment().folder);
    if (::statvfs(folder.constData(), &room) != 0)
        return;
    const quint64 free = quint64(room.f_bavail) * quint64(room.f_frsize);
    if (free < kRoomForLockFiles)
        throw Error(QStringLiteral("There is no room for the database engine's lock files in %1 (%2 KiB free, "
                                   "%3 KiB needed): it is not opened until there is.")
                        .arg(environment().folder)
                        .arg(free / 1024)
                        .arg(kRoomForLockFiles / 1024));
}

// Every attachment and every new file goes through here: a file whose lock
// folder is not the one this process uses is refused, never opened with it.
void checkEnvironmentFor(const QString &databaseFile)
{
    if (!prepareEnvironment(databaseFile))
        throw Error(environmentProblem());
    // A server keeps the locks of its databases itself.
    if (ServerAddress::isServer(databaseFile))
        return;
    const QString wanted = EngineFolder::forDatabase(databaseFile);
    if (wanted != environment().folder)
        throw Error(QStringLiteral("%1 is not opened: its lock folder is %2, and this process uses %3.")
                        .arg(databaseFile, wanted, environment().folder));
    checkRoomForLockFiles();
    if (EngineFolder::olderCopyHolds(databaseFile))
        throw Error(QStringLiteral("%1 is not opened: an older version of Penwick, or a tool set up by one, has it "
                                   "open with its lock files in .penwick-lock beside it. Close that program first.")
                        .arg(databaseFile));
}

// Splits a script into statements at semicolons outside comments and quotes.
QStringList splitScript(const QString &script)
{
    QStringList statements;
    QString current;
    enum { Plain, Quoted, LineComment, BlockComment } state = Plain;
    for (int i = 0; i < script.size(); ++i) {
        const QChar c = script.at(i);
        const QChar nextChar = i + 1 < script.size() ? script.at(i + 1) : QChar();
        switch (state) {
        case Plain:
            if (c == QLatin1Char('\'')) {
                state = Quoted;
                current += c;
            } else if (c == QLatin1Char('-') && nextChar == QLatin1Char('-')) {
                state = LineComment;
            } else if (c == QLatin1Char('/') && nextChar == QLatin1Char('*')) {
                state = BlockComment;
                ++i;
            } else if (c == QLatin1Char(';')) {
                if (!current.trimmed().isEmpty())
                    statements << current.trimmed();
                current.clear();
            } else {
                current += c;
            }
            break;
        case Quoted:
            current += c;
            if (c == QLatin1Char('\''))
                state = Plain;
            break;
        case LineComment:
            if (c == QLatin1Char('\n')) {
                state = Plain;
                current += c;
            }
            break;
        case BlockComment:
            if (c == QLatin1Char('*') && nextChar == QLatin1Char('/')) {
                state = Plain;
                ++i;
            }
            break;
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

} // namespace

Error::Error(const QString &message, bool connectionLost)
    : Error(message, connectionLost ? Cause::ConnectionLost : Cause::Other)
{
}

Error::Error(const QString &message, Cause cause)
    : std::runtime_error(message.toStdString())
    , m_cause(cause)
{
}

const QString Credentials::userName = QStringLiteral("sysdba");
const QString Credentials::password = QStringLiteral("quietbird");

QString Error::message() const
{
    return QString::fromUtf8(what());
}

QString environmentProblem()
{
    return environment().problem;
}

QString lockFolder()
{
    return environment().folder;
}

bool prepareEnvironment(const QString &databaseFile)
{
    std::call_once(environmentOnce, [&databaseFile] {
        Environment &chosen = environment();
        chosen.folder = EngineFolder::forDatabase(databaseFile);
        const QString problem = EngineFolder::prepare(chosen.folder);
        if (!problem.isEmpty()) {
            chosen.problem = QStringLiteral("%1 is not opened: the engine's private folder, which every program that "
                                            "opens the file must share, cannot be used: %2.")
                                 .arg(databaseFile, problem);
            return;
        }
        qputenv("FIREBIRD", QFile::encodeName(EngineFolder::root()));
        qputenv("FIREBIRD_LOCK", QFile::encodeName(chosen.folder));
    });
    return environment().problem.isEmpty();
}

// ---------------------------------------------------------------------------

namespace {

void boundServerSockets();

// One event watch's buffers. The client library calls onEvent() on a thread
// of its own, also after the connection that queued it has gone; it finds the
// watch through this registry, so a late call never reaches freed memory.
struct EventWatch {
    ISC_UCHAR *events = nullptr;
    ISC_UCHAR *results = nullptr;
    short length = 0;
    bool delivered = false;
    std::condition_variable arrived;
    std::function<void()> notify;

    ~EventWatch()
    {
        isc_free(reinterpret_cast<ISC_SCHAR *>(events));
        isc_free(reinterpret_cast<ISC_SCHAR *>(results));
    }
};

std::mutex watchesLock;
std::map<quintptr, std::shared_ptr<EventWatch>> &watches()
{
    static std::map<quintptr, std::shared_ptr<EventWatch>> registry;
    return registry;
}
quintptr nextWatchKey = 0;

void onEvent(void *key, ISC_USHORT length, const ISC_UCHAR *updated)
{
    // Passed on under the registry's lock: once stopWatching() has taken the
    // watch out, no call is still under way.
    const std::lock_guard<std::mutex> locked(watchesLock);
    const auto found = watches().find(quintptr(key));
    // A cancel, or the end of the attachment, calls once more with nothing.
    if (found == watches().end() || !updated || length == 0)
        return;
    EventWatch &watch = *found->second;
    std::memcpy(watch.results, updated, std::min<size_t>(length, size_t(watch.length)));
    watch.delivered = true;
    watch.arrived.notify_all();
    if (watch.notify)
        watch.notify();
}

} // namespace

struct Connection::Private {
    isc_db_handle db = 0;
    QString databaseName;
    // The last failed attach to a server, and when.
    std::optional<Error> lastFailure;
    std::chrono::steady_clock::time_point failedAt;
    quintptr watchKey = 0; // 0: no watch
    ISC_LONG eventId = 0;
    bool queued = false;
    // Set by an attach after the watch began: what was posted meanwhile is
    // unknown.
    bool missed = false;

    void detach() noexcept
    {
        ISC_STATUS_ARRAY status;
        if (db)
            isc_detach_database(status, &db);
        db = 0;
        // The interest went with the attachment.
        queued = false;
    }

    void queue() noexcept
    {
        if (!db || !watchKey || queued)
            return;
        std::shared_ptr<EventWatch> watch;
        {
            const std::lock_guard<std::mutex> locked(watchesLock);
            const auto found = watches().find(watchKey);
            if (found == watches().end())
                return;
            watch = found->second;
        }
        ISC_STATUS_ARRAY status;
        // Without events (a server that refuses them) the program still works;
        // its copies only learn of each other's changes at their own refills.
        isc_que_events(status, &db, &eventId, watch->length, watch->events, onEvent,
                       reinterpret_cast<void *>(watchKey));
        queued = !failed(status);
    }

    // The engine answers a fresh interest at once, with the counts to start
    // from; they are taken here, so that every later posting is counted.
    void start() noexcept
    {
        queue();
        if (!queued)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        std::unique_lock<std::mutex> locked(watchesLock);
        const auto found = watches().find(watchKey);
        if (found == watches().end())
            return;
        EventWatch &watch = *found->second;
        if (!watch.arrived.wait_until(locked, deadline, [&watch] { return watch.delivered; }))
            return;
        ISC_ULONG counts[20] = {};
        isc_event_counts(counts, watch.length, watch.events, watch.results);
        watch.delivered = false;
        locked.unlock();
        queued = false;
        queue();
        // The events come on a connection of their own.
        if (ServerAddress::isServer(databaseName))
            boundServerSockets();
    }

    void cancel() noexcept
    {
        if (db && queued) {
            ISC_STATUS_ARRAY status;
            isc_cancel_events(status, &db, &eventId);
        }
        queued = false;
    }
};

Connection::Connection(const QString &databaseName)
    : d(std::make_unique<Private>())
{
    d->databaseName = databaseName;
}

Connection::~Connection()
{
    stopWatching();
    d->detach();
}

void Connection::setDatabaseName(const QString &databaseName)
{
    d->databaseName = databaseName;
}

QString Connection::databaseName() const
{
    return d->databaseName;
}

namespace {

// A server that cannot be reached is tried again only after this pause: the
// main thread must not wait for the network at every statement meanwhile.
constexpr auto kServerRetryPause = std::chrono::seconds(5);
constexpr qint32 kServerConnectTimeoutSeconds = 15;
// No wait on a server's connection may last longer than this.
constexpr int kServerSilenceMs = 30000;

void addNumber(QByteArray &dpb, char tag, qint32 value)
{
    dpb += tag;
    dpb += char(sizeof value);
    dpb.append(reinterpret_cast<const char *>(&value), sizeof value);
}

// The client library gives no read time-out: a server whose network has gone
// silent would keep a statement waiting for as long as TCP retransmits,
// a quarter of an hour. The process's TCP connections (the client library's
// to the server and for its events; the program has no other that lasts)
// get one from the kernel.
void boundServerSockets()
{
    QDir fds(QStringLiteral("/proc/self/fd"));
    const QStringList entries = fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
    for (const QString &entry : entries) {
        bool ok = false;
        const int fd = entry.toInt(&ok);
        int type = 0;
        socklen_t length = sizeof type;
        if (!ok || ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
            continue;
        sockaddr_storage peer = {};
        length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) != 0
            || (peer.ss_family != AF_INET && peer.ss_family != AF_INET6))
            continue;
        const int on = 1;
        const int idle = 10;
        const int interval = 5;
        const int count = 4;
        const unsigned silence = kServerSilenceMs;
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
        ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &silence, sizeof silence);
    }
}

// What a failed attach to a server means to its user.
Error serverError(const ISC_STATUS *status, const QString &shown)
{
    const Error error = errorFrom(status);
    for (const ISC_STATUS *item = status; *item != isc_arg_end; item += *item == isc_arg_cstring ? 3 : 2) {
        if (item[0] == isc_arg_gds && (item[1] == isc_wirecrypt_incompatible || item[1] == isc_miss_wirecrypt))
            return Error(QStringLiteral("The server at %1 does not encrypt its connections, and Penwick sends notes "
                                        "over none that is not encrypted (the server's WireCrypt must be Enabled "
                                        "or Required).")
                             .arg(shown),
                         Error::Cause::Other);
    }
    return Error(QStringLiteral("%1 (the server at %2)").arg(error.message(), shown),
                 error.connectionLost() ? Error::Cause::ConnectionLost : Error::Cause::Other);
}

// The parameters of an attachment, or of a new database.
QByteArray parametersFor(const QString &databaseName, bool creating)
{
    QByteArray dpb;
    dpb += char(isc_dpb_version1);
    if (ServerAddress::isServer(databaseName)) {
        // The fixed account of the local file is never offered to a server.
        const ServerLogin login = ServerLogin::fromEnvironment();
        if (!login.problem.isEmpty())
            throw Error(QStringLiteral("Penwick cannot log in to the server: %1.").arg(login.problem));
        addParameter(dpb, isc_dpb_user_name, login.user.toUtf8());
        addParameter(dpb, isc_dpb_password, login.password.toUtf8());
        // Encrypted or not at all, and never with a login sent in the clear.
        addParameter(dpb, isc_dpb_config, QByteArrayLiteral("WireCrypt = Required\nAuthClient = Srp256, Srp\n"));
        addNumber(dpb, isc_dpb_connect_timeout, kServerConnectTimeoutSeconds);
    } else {
        addParameter(dpb, isc_dpb_user_name, Credentials::userName.toUtf8());
        addParameter(dpb, isc_dpb_password, Credentials::password.toUtf8());
        // Each process of a shared file keeps a page cache of its own, by
        // default only 256 pages; a search reads every note, so let the notes
        // stay cached.
        if (!creating)
            addNumber(dpb, isc_dpb_num_buffers, kPageBuffers);
    }
    // No character set: the program sends and reads UTF-8 bytes itself.
    addParameter(dpb, isc_dpb_lc_ctype, QByteArrayLiteral("NONE"));
    if (creating) {
        addNumber(dpb, isc_dpb_page_size, 8192);
        addNumber(dpb, isc_dpb_sql_dialect, kDialect);
        addParameter(dpb, isc_dpb_set_db_charset, QByteArrayLiteral("UTF8"));
    }
    return dpb;
}

} // namespace

void Connection::open()
{
    if (d->db)
        return;
    checkEnvironmentFor(d->databaseName);
    const bool server = ServerAddress::isServer(d->databaseName);
    if (server && d->lastFailure && std::chrono::steady_clock::now() - d->failedAt < kServerRetryPause)
        throw *d->lastFailure;
    const QByteArray dpb = parametersFor(d->databaseName, false);
    const QByteArray path = QFile::encodeName(d->databaseName);
    ISC_STATUS_ARRAY status;
    isc_attach_database(status, 0, path.constData(), &d->db, short(dpb.size()), dpb.constData());
    if (failed(status)) {
        d->db = 0;
        if (!server)
            check(status);
        const std::optional<ServerAddress> address = ServerAddress::parse(d->databaseName);
        d->lastFailure = serverError(status, address ? address->shown() : d->databaseName);
        d->failedAt = std::chrono::steady_clock::now();
        throw *d->lastFailure;
    }
    d->lastFailure.reset();
    if (server)
        boundServerSockets();
    if (d->watchKey) {
        d->start();
        d->missed = true;
    }
}

void Connection::close()
{
    if (!d->db)
        return;
    // Cancelled first: nothing is delivered for an attachment that is going.
    d->cancel();
    ISC_STATUS_ARRAY status;
    isc_detach_database(status, &d->db);
    if (failed(status)) {
        const Error error = errorFrom(status);
        d->detach();
        throw error;
    }
    d->db = 0;
}

bool Connection::isOpen() const
{
    return d->db != 0;
}

void Connection::execute(const QString &sql)
{
    const auto held = lock();
    Transaction transaction(*this, Transaction::ReadWrite);
    transaction.execute(sql);
    transaction.commit();
}

void Connection::watchEvent(const QByteArray &name, std::function<void()> delivered)
{
    stopWatching();
    auto watch = std::make_shared<EventWatch>();
    watch->notify = std::move(delivered);
    watch->length = short(isc_event_block(&watch->events, &watch->results, 1, name.constData()));
    {
        const std::lock_guard<std::mutex> locked(watchesLock);
        d->watchKey = ++nextWatchKey;
        watches()[d->watchKey] = std::move(watch);
    }
    d->start();
}

void Connection::stopWatching()
{
    if (!d->watchKey)
        return;
    d->cancel();
    std::shared_ptr<EventWatch> gone;
    {
        const std::lock_guard<std::mutex> locked(watchesLock);
        const auto found = watches().find(d->watchKey);
        if (found != watches().end()) {
            gone = std::move(found->second);
            watches().erase(found);
        }
    }
    d->watchKey = 0;
}

int Connection::takeEventCount()
{
    ISC_ULONG counts[20] = {};
    bool delivered = false;
    {
        const std::lock_guard<std::mutex> locked(watchesLock);
        const auto found = watches().find(d->watchKey);
        if (found != watches().end() && found->second->delivered) {
            EventWatch &watch = *found->second;
            isc_event_counts(counts, watch.length, watch.events, watch.results);
            watch.delivered = false;
            delivered = true;
        }
    }
    if (delivered) {
        // A delivery ends the interest; postings meanwhile are counted at once.
        d->queued = false;
        d->queue();
    }
    if (d->missed) {
        d->missed = false;
        return PostingsUnknown;
    }
    return delivered ? int(counts[0]) : 0;
}

void Connection::createFromScript(const QString &path, const QString &scriptPath)
{
    checkEnvironmentFor(path);
    QFile file(scriptPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Error(QStringLiteral("Cannot read %1").arg(scriptPath));
    const QStringList statements = splitScript(QString::fromUtf8(file.readAll()));

    Connection connection(path);
    const QByteArray dpb = parametersFor(path, true);
    const QByteArray name = QFile::encodeName(path);
    ISC_STATUS_ARRAY status;
    isc_create_database(status, 0, name.constData(), &connection.d->db, short(dpb.size()), dpb.constData(), 0);
    if (failed(status)) {
        connection.d->db = 0;
        if (!ServerAddress::isServer(path))
            check(status);
        const std::optional<ServerAddress> address = ServerAddress::parse(path);
        throw serverError(status, address ? address->shown() : path);
    }
    for (const QString &statement : statements) {
        if (statement.compare(QLatin1String("COMMIT"), Qt::CaseInsensitive) == 0)
            continue;
        try {
            Transaction transaction(connection, Transaction::ReadWrite);
            transaction.execute(statement);
            transaction.commit();
        } catch (const Error &error) {
            throw Error(error.message() + QStringLiteral("\nin: ") + statement);
        }
    }
    connection.close();
}

// ---------------------------------------------------------------------------

namespace {

// An action of the services manager on files: its tag, then each file with
// its own tag and a two-byte length, in the order the action reads them.
QByteArray serviceRequest(char action, std::initializer_list<std::pair<char, QString>> files)
{
    QByteArray request(1, action);
    for (const auto &[tag, file] : files) {
        const QByteArray bytes = QFile::encodeName(file);
        request += tag;
        request += char(bytes.size() & 0xff);
        request += char((bytes.size() >> 8) & 0xff);
        request += bytes;
    }
    return request;
}

// Starts one action of the services manager and waits for its end: the query
// for its output returns once the action has nothing more to say, and it
// carries the action's failure.
void runService(const QByteArray &action)
{
    QByteArray spb;
    spb += char(isc_spb_version);
    spb += char(isc_spb_current_version);
    addParameter(spb, isc_spb_user_name, Credentials::userName.toUtf8());
    addParameter(spb, isc_spb_password, Credentials::password.toUtf8());
    ISC_STATUS_ARRAY status;
    isc_svc_handle service = 0;
    char name[] = "service_mgr";
    isc_service_attach(status, 0, name, &service, ISC_USHORT(spb.size()), spb.constData());
    check(status);
    struct Detach {
        isc_svc_handle &handle;
        ~Detach()
        {
            ISC_STATUS_ARRAY ignored;
            isc_service_detach(ignored, &handle);
        }
    } detach {service};
    if (action.size() > 0xffff)
        throw Error(QStringLiteral("The file names are too long for the engine."));
    isc_service_start(status, &service, nullptr, ISC_USHORT(action.size()), action.constData());
    check(status);
    const char items[] = {isc_info_svc_line};
    char answer[1024];
    for (;;) {
        isc_service_query(status, &service, nullptr, 0, nullptr, sizeof items, items, sizeof answer, answer);
        check(status);
        if (answer[0] != isc_info_svc_line)
            throw Error(QStringLiteral("The engine's services manager gave an answer this program cannot read."));
        if (isc_vax_integer(answer + 1, 2) == 0)
            return;
    }
}

} // namespace

void backupDatabase(const QString &databaseFile, const QString &backupFile)
{
    checkEnvironmentFor(databaseFile);
    runService(serviceRequest(isc_action_svc_backup, {{isc_spb_dbname, databaseFile}, {isc_spb_bkp_file, backupFile}}));
}

void restoreDatabase(const QString &backupFile, const QString &newDatabaseFile)
{
    checkEnvironmentFor(newDatabaseFile);
    QByteArray request = serviceRequest(isc_action_svc_restore,
                                        {{isc_spb_bkp_file, backupFile}, {isc_spb_dbname, newDatabaseFile}});
    // Options are four bytes, lowest first.
    const ISC_ULONG options = isc_spb_res_create;
    request += char(isc_spb_options);
    for (int i = 0; i < 4; ++i)
        request += char((options >> (8 * i)) & 0xff);
    runService(request);
}

struct Transaction::Handle {
    isc_tr_handle tr = 0;

    ~Handle()
    {
        ISC_STATUS_ARRAY status;
        if (tr)
            isc_rollback_transaction(status, &tr);
    }
};

Transaction::Transaction(Connection &connection, Mode mode)
    : m_connection(connection)
    , m_handle(std::make_unique<Handle>())
{
    // Read committed with record versions: readers never wait for writers,
    // and each statement sees what other processes have committed.
    static const char writeTpb[] = {isc_tpb_version3,
                                    isc_tpb_write,
                                    isc_tpb_read_committed,
                                    isc_tpb_rec_version,
                                    isc_tpb_wait,
                                    isc_tpb_lock_timeout,
                                    1,
                                    kLockTimeoutSeconds};
    static const char readTpb[] = {isc_tpb_version3,
                                   isc_tpb_read,
                                   isc_tpb_read_committed,
                                   isc_tpb_rec_version,
                                   isc_tpb_wait,
                                   isc_tpb_lock_timeout,
                                   1,
                                   kLockTimeoutSeconds};
    static const char noWaitTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                     isc_tpb_nowait};
    try {
        m_connection.open();
        ISC_STATUS_ARRAY status;
        isc_db_handle &db = m_connection.d->db;
        if (mode == ReadOnly)
            isc_start_transaction(status, &m_handle->tr, 1, &db, short(sizeof readTpb), readTpb);
        else if (mode == ReadWriteNoWait)
            isc_start_transaction(status, &m_handle->tr, 1, &db, short(sizeof noWaitTpb), noWaitTpb);
        else
            isc_start_transaction(status, &m_handle->tr, 1, &db, short(sizeof writeTpb), writeTpb);
        check(status);
    } catch (const Error &error) {
        fail(error);
    }
}

Transaction::~Transaction() = default;

void Transaction::fail(const Error &error)
{
    if (error.connectionLost()) {
        // The transaction died with the attachment; rolling it back would only fail.
        m_handle->tr = 0;
        m_connection.d->detach();
    }
    throw error;
}

void Transaction::execute(const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    ISC_STATUS_ARRAY status;
    QElapsedTimer waited;
    waited.start();
    isc_dsql_execute_immediate(status, &m_connection.d->db, &m_handle->tr, 0, text.constData(), kDialect, nullptr);
    if (failed(status))
        fail(errorAfterWait(status, waited));
}

int Transaction::executeCounting(const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    isc_db_handle &db = m_connection.d->db;
    ISC_STATUS_ARRAY status;
    struct Statement {
        isc_stmt_handle handle = 0;
        ~Statement()
        {
            ISC_STATUS_ARRAY ignored;
            if (handle)
                isc_dsql_free_statement(ignored, &handle, DSQL_drop);
        }
    } statement;
    QElapsedTimer waited;
    waited.start();
    auto checked = [&] {
        if (failed(status))
            fail(errorAfterWait(status, waited));
    };
    isc_dsql_allocate_statement(status, &db, &statement.handle);
    checked();
    isc_dsql_prepare(status, &m_handle->tr, &statement.handle, 0, text.constData(), kDialect, nullptr);
    checked();
    isc_dsql_execute(status, &m_handle->tr, &statement.handle, 1, nullptr);
    checked();
    const char items[] = {isc_info_sql_records, isc_info_end};
    char answer[64] = {};
    isc_dsql_sql_info(status, &statement.handle, sizeof items, items, sizeof answer, answer);
    checked();
    // isc_info_sql_records, its length, then one count per kind of change.
    int changed = 0;
    if (answer[0] == isc_info_sql_records) {
        const char *item = answer + 3;
        while (item < answer + sizeof answer && *item != isc_info_end) {
            const char kind = item[0];
            const short length = short(isc_vax_integer(item + 1, 2));
            const int count = int(isc_vax_integer(item + 3, length));
            if (kind == isc_info_req_update_count || kind == isc_info_req_delete_count
                || kind == isc_info_req_insert_count)
                changed += count;
            item += 3 + length;
        }
    }
    return changed;
}

void Transaction::commit()
{
    ISC_STATUS_ARRAY status;
    isc_commit_transaction(status, &m_handle->tr);
    if (failed(status))
        fail(errorFrom(status));
}

// ---------------------------------------------------------------------------

struct Cursor::Private {
    isc_stmt_handle statement = 0;
    XSQLDA *out = nullptr;
    std::vector<char> buffer;
    std::vector<short> nulls;
    QHash<QByteArray, int> names;
    bool onRow = false;

    ~Private()
    {
        ISC_STATUS_ARRAY status;
        if (statement)
            isc_dsql_free_statement(status, &statement, DSQL_drop);
        std::free(out);
    }

    void allocateOut(short columns)
    {
        std::free(out);
        out = static_cast<XSQLDA *>(std::calloc(1, XSQLDA_LENGTH(columns)));
        if (!out)
            throw std::bad_alloc();
        out->version = SQLDA_VERSION1;
        out->sqln = columns;
    }

    void bindBuffers()
    {
        size_t size = 0;
        std::vector<size_t> offsets(size_t(out->sqld));
        for (int i = 0; i < out->sqld; ++i) {
            XSQLVAR &var = out->sqlvar[i];
            const int type = var.sqltype & ~1;
            const size_t length = size_t(var.sqllen) + (type == SQL_VARYING ? sizeof(short) : 0);
            size = (size + 7) & ~size_t(7);
            offsets[size_t(i)] = size;
            size += length;
            names.insert(QByteArray(var.aliasname, var.aliasname_length).toUpper(), i);
        }
        buffer.assign(size + 8, 0);
        nulls.assign(size_t(out->sqld), 0);
        for (int i = 0; i < out->sqld; ++i) {
            XSQLVAR &var = out->sqlvar[i];
            var.sqltype = short(var.sqltype | 1);
            var.sqldata = buffer.data() + offsets[size_t(i)];
            var.sqlind = &nulls[size_t(i)];
        }
    }

    const XSQLVAR &column(int field) const
    {
        if (!onRow || field < 0 || field >= out->sqld)
            throw Error(QStringLiteral("No current record"));
        return out->sqlvar[field];
    }
};

Cursor::Cursor(Transaction &transaction, const QString &sql)
    : m_transaction(transaction)
    , d(std::make_unique<Private>())
{
    isc_db_handle &db = transaction.m_connection.d->db;
    isc_tr_handle &tr = transaction.m_handle->tr;
    ISC_STATUS_ARRAY status;
    QElapsedTimer waited;
    waited.start();
    auto checked = [this, &status, &waited] {
        if (failed(status))
            m_transaction.fail(errorAfterWait(status, waited));
    };
    isc_dsql_allocate_statement(status, &db, &d->statement);
    checked();
    d->allocateOut(16);
    const QByteArray text = sql.toUtf8();
    isc_dsql_prepare(status, &tr, &d->statement, 0, text.constData(), kDialect, d->out);
    checked();
    if (d->out->sqld > d->out->sqln) {
        d->allocateOut(d->out->sqld);
        isc_dsql_describe(status, &d->statement, 1, d->out);
        checked();
    }
    d->bindBuffers();
    isc_dsql_execute(status, &tr, &d->statement, 1, nullptr);
    checked();
}

Cursor::~Cursor() = default;

bool Cursor::next()
{
    ISC_STATUS_ARRAY status;
    // A row read WITH LOCK is locked, or waited for, here.
    QElapsedTimer waited;
    waited.start();
    const ISC_STATUS result = isc_dsql_fetch(status, &d->statement, 1, d->out);
    d->onRow = false;
    if (result == 100)
        return false;
    if (failed(status))
        m_transaction.fail(errorAfterWait(status, waited));
    d->onRow = true;
    return true;
}

int Cursor::fieldIndex(const char *name) const
{
    const auto it = d->names.constFind(QByteArray(name).toUpper());
    if (it == d->names.constEnd())
        throw Error(QStringLiteral("Column unknown: %1").arg(QLatin1String(name)));
    return it.value();
}

bool Cursor::isNull(int field) const
{
    return *d->column(field).sqlind < 0;
}

int Cursor::asInteger(int field) const
{
    const XSQLVAR &var = d->column(field);
    if (*var.sqlind < 0)
        return 0;
    qint64 value = 0;
    switch (var.sqltype & ~1) {
    case SQL_SHORT:
        value = *reinterpret_cast<const short *>(var.sqldata);
        break;
    case SQL_LONG:
        value = *reinterpret_cast<const ISC_LONG *>(var.sqldata);
        break;
    case SQL_INT64:
        value = *reinterpret_cast<const ISC_INT64 *>(var.sqldata);
        break;
    default: {
        bool ok = false;
        const int parsed = asString(field).trimmed().toInt(&ok);
        if (!ok)
            throw Error(QStringLiteral("Not an integer: %1").arg(asString(field)));
        return parsed;
    }
    }
    for (int scale = var.sqlscale; scale < 0; ++scale)
        value /= 10;
    return int(value);
}

namespace {

// A text BLOB read whole; the handle is closed on every way out.
QByteArray readBlob(isc_db_handle &db, isc_tr_handle &tr, ISC_QUAD id)
{
    struct Blob {
        isc_blob_handle handle = 0;
        ~Blob()
        {
            ISC_STATUS_ARRAY status;
            if (handle)
                isc_close_blob(status, &handle);
        }
    } blob;
    ISC_STATUS_ARRAY status;
    isc_open_blob2(status, &db, &tr, &blob.handle, &id, 0, nullptr);
    check(status);
    QByteArray bytes;
    char segment[16384];
    for (;;) {
        unsigned short length = 0;
        const ISC_STATUS result = isc_get_segment(status, &blob.handle, &length, sizeof segment, segment);
        if (result == isc_segstr_eof)
            return bytes;
        if (result != 0 && result != isc_segment)
            check(status);
        bytes.append(segment, length);
    }
}

} // namespace

QString Cursor::asString(int field) const
{
    const XSQLVAR &var = d->column(field);
    if (*var.sqlind < 0)
        return QString();
    switch (var.sqltype & ~1) {
    case SQL_VARYING: {
        const auto length = *reinterpret_cast<const short *>(var.sqldata);
        return textFromUtf8(var.sqldata + sizeof(short), length);
    }
    case SQL_TEXT:
        return textFromUtf8(var.sqldata, var.sqllen);
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return QString::number(asInteger(field));
    case SQL_TIMESTAMP:
        return asDateTime(field).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case SQL_TYPE_DATE:
        return asDate(field).toString(QStringLiteral("yyyy-MM-dd"));
    case SQL_TYPE_TIME:
        return asTime(field).toString(QStringLiteral("HH:mm:ss"));
    case SQL_BLOB: {
        QByteArray bytes;
        try {
            bytes = readBlob(m_transaction.m_connection.d->db, m_transaction.m_handle->tr,
                             *reinterpret_cast<const ISC_QUAD *>(var.sqldata));
        } catch (const Error &error) {
            m_transaction.fail(error);
        }
        return textFromUtf8(bytes.constData(), bytes.size());
    }
    default:
        throw Error(QStringLiteral("Column type cannot be read as text"));
    }
}

QDateTime Cursor::asDateTime(int field) const
{
    const XSQLVAR &var = d->column(field);
    if (*var.sqlind < 0)
        return QDateTime();
    switch (var.sqltype & ~1) {
    case SQL_TIMESTAMP: {
        const auto *stamp = reinterpret_cast<const ISC_TIMESTAMP *>(var.sqldata);
        return QDateTime(decodeDate(stamp->timestamp_date), decodeTime(stamp->timestamp_time));
    }
    case SQL_TYPE_DATE:
        return QDateTime(asDate(field), QTime(0, 0));
    case SQL_TYPE_TIME:
        return QDateTime(QDate(1899, 12, 30), asTime(field));
    default:
        throw Error(QStringLiteral("Column type cannot be read as a date and time"));
    }
}

QDate Cursor::asDate(int field) const
{
    const XSQLVAR &var = d->column(field);
    if (*var.sqlind < 0)
        return QDate();
    switch (var.sqltype & ~1) {
    case SQL_TYPE_DATE:
        return decodeDate(*reinterpret_cast<const ISC_DATE *>(var.sqldata));
    case SQL_TIMESTAMP:
        return decodeDate(reinterpret_cast<const ISC_TIMESTAMP *>(var.sqldata)->timestamp_date);
    default:
        throw Error(QStringLiteral("Column type cannot be read as a date"));
    }
}

QTime Cursor::asTime(int field) const
{
    const XSQLVAR &var = d->column(field);
    if (*var.sqlind < 0)
        return QTime();
    switch (var.sqltype & ~1) {
    case SQL_TYPE_TIME:
        return decodeTime(*reinterpret_cast<const ISC_TIME *>(var.sqldata));
    case SQL_TIMESTAMP:
        return decodeTime(reinterpret_cast<const ISC_TIMESTAMP *>(var.sqldata)->timestamp_time);
    default:
        throw Error(QStringLiteral("Column type cannot be read as a time"));
    }
}

} // namespace Firebird
