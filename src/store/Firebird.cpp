#include "Firebird.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutexLocker>
#include <QSaveFile>

#include <ibase.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace Firebird {

namespace {

constexpr short kDialect = 3;
constexpr qint32 kPageBuffers = 2048; // 16 MiB of 8 KiB pages at most

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

bool failed(const ISC_STATUS *status)
{
    return status[0] == 1 && status[1] != 0;
}

void check(const ISC_STATUS *status)
{
    if (failed(status))
        throw Error(statusText(status), isConnectionLost(status));
}

void addParameter(QByteArray &dpb, char tag, const QByteArray &value)
{
    dpb += tag;
    dpb += char(value.size());
    dpb += value;
}

QDate decodeDate(ISC_DATE date)
{
    return QDate::fromJulianDay(qint64(date) + kIscDateJulianOffset);
}

QTime decodeTime(ISC_TIME time)
{
    return QTime::fromMSecsSinceStartOfDay(int(time / 10));
}

// The shared temporary folder is writable by everybody: a folder of that name
// that is not our own (or is a link) must never hold our engine configuration.
// Then this process keeps a private folder; sharing the file with another
// process is not possible until the stray folder is removed.
QString ownRoot()
{
    static const QString root = [] {
        const QString shared = QDir::tempPath() + QStringLiteral("/penwick-") + QString::number(getuid());
        ::mkdir(QFile::encodeName(shared).constData(), 0700);
        struct stat info = {};
        if (::lstat(QFile::encodeName(shared).constData(), &info) == 0 && S_ISDIR(info.st_mode)
            && info.st_uid == getuid()) {
            ::chmod(QFile::encodeName(shared).constData(), 0700);
            return shared;
        }
        QByteArray pattern = QFile::encodeName(shared + QStringLiteral("-XXXXXX"));
        if (::mkdtemp(pattern.data()))
            return QFile::decodeName(pattern);
        return shared;
    }();
    return root;
}

QString envFolder(const char *leaf)
{
    return ownRoot() + QLatin1Char('/') + QLatin1String(leaf);
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
    : std::runtime_error(message.toStdString())
    , m_connectionLost(connectionLost)
{
}

QString Error::message() const
{
    return QString::fromUtf8(what());
}

QString configFolder()
{
    return envFolder("firebird");
}

QString lockFolder()
{
    return envFolder("lock");
}

void prepareEnvironment()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const QString config = configFolder();
        const QString lock = lockFolder();
        QDir().mkpath(config);
        QDir().mkpath(lock);
        // The engine finds its character sets under this folder; without them
        // it retries loading them on every attach and logs each failure.
        const QString intl = config + QStringLiteral("/intl");
        const QString systemIntl = QStringLiteral(PENWICK_FIREBIRD_INTL);
        if (!QFileInfo::exists(intl) && QFileInfo::exists(systemIntl))
            QFile::link(systemIntl, intl);
        const QByteArray wanted = "ServerMode = SuperClassic\nTracePlugin =\n";
        QFile conf(config + QStringLiteral("/firebird.conf"));
        if (!conf.open(QIODevice::ReadOnly) || conf.readAll() != wanted) {
            conf.close();
            QSaveFile out(conf.fileName());
            if (out.open(QIODevice::WriteOnly)) {
                out.write(wanted);
                out.commit();
            }
        }
        qputenv("FIREBIRD", QFile::encodeName(config));
        qputenv("FIREBIRD_LOCK", QFile::encodeName(lock));
    });
}

// ---------------------------------------------------------------------------

struct Connection::Private {
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    int depth = 0; // statements of the lock holder under way in the transaction
    // Starting a transaction writes two pages, forced to disk: the header
    // (its number) and a transaction inventory page. A read-only read
    // committed one is marked committed when it starts and holds back no
    // garbage collection, so one is kept for every read instead: the
    // checker's pass and a list refill then write nothing.
    isc_tr_handle keptRead = 0;
    bool trReadOnly = false;
    QString databaseName;
    QString userName;
    QString password;
    QString lcCtype;

    void startTransaction(bool readOnly)
    {
        // Read committed with record versions: readers never wait for writers,
        // and each statement sees what other processes have committed.
        trReadOnly = readOnly;
        if (readOnly && keptRead) {
            tr = keptRead;
            keptRead = 0;
            return;
        }
        static const char writeTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                         isc_tpb_rec_version, isc_tpb_wait, isc_tpb_lock_timeout, 1, 10};
        static const char readTpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                       isc_tpb_rec_version, isc_tpb_wait, isc_tpb_lock_timeout, 1, 10};
        ISC_STATUS_ARRAY status;
        if (readOnly)
            isc_start_transaction(status, &tr, 1, &db, short(sizeof readTpb), readTpb);
        else
            isc_start_transaction(status, &tr, 1, &db, short(sizeof writeTpb), writeTpb);
        check(status);
    }

    void commit()
    {
        if (trReadOnly) {
            keptRead = tr;
            tr = 0;
            return;
        }
        ISC_STATUS_ARRAY status;
        isc_commit_transaction(status, &tr);
        if (failed(status)) {
            const Error error(statusText(status), isConnectionLost(status));
            rollback();
            throw error;
        }
    }

    void rollback()
    {
        ISC_STATUS_ARRAY status;
        if (tr)
            isc_rollback_transaction(status, &tr);
        tr = 0;
    }

    // Before the connection goes: it cannot detach with a transaction open.
    void endKeptRead()
    {
        ISC_STATUS_ARRAY status;
        if (keptRead)
            isc_commit_transaction(status, &keptRead);
        if (keptRead)
            isc_rollback_transaction(status, &keptRead);
        keptRead = 0;
    }

    // After a lost connection the handles are useless; the next statement
    // attaches again.
    void drop()
    {
        ISC_STATUS_ARRAY status;
        rollback();
        endKeptRead();
        if (db)
            isc_detach_database(status, &db);
        db = 0;
    }
};

Connection::Connection()
    : d(std::make_unique<Private>())
{
}

Connection::~Connection()
{
    try {
        close();
    } catch (const Error &) {
        d->drop();
    }
}

void Connection::setParameters(const QString &databaseName, const QString &userName, const QString &password,
                               const QString &lcCtype)
{
    d->databaseName = databaseName;
    d->userName = userName;
    d->password = password;
    d->lcCtype = lcCtype;
}

QString Connection::databaseName() const
{
    return d->databaseName;
}

void Connection::open()
{
    QMutexLocker locker(&m_lock);
    if (d->db)
        return;
    prepareEnvironment();
    QByteArray dpb;
    dpb += char(isc_dpb_version1);
    addParameter(dpb, isc_dpb_user_name, d->userName.toUtf8());
    addParameter(dpb, isc_dpb_password, d->password.toUtf8());
    addParameter(dpb, isc_dpb_lc_ctype, d->lcCtype.toUtf8());
    // Each process of a shared file keeps a page cache of its own, by default
    // only 256 pages; a search reads every note, so let the notes stay cached.
    const qint32 buffers = kPageBuffers;
    dpb += char(isc_dpb_num_buffers);
    dpb += char(sizeof buffers);
    dpb.append(reinterpret_cast<const char *>(&buffers), sizeof buffers);
    const QByteArray path = QFile::encodeName(d->databaseName);
    ISC_STATUS_ARRAY status;
    isc_attach_database(status, 0, path.constData(), &d->db, short(dpb.size()), dpb.constData());
    if (failed(status)) {
        d->db = 0;
        check(status);
    }
}

void Connection::close()
{
    QMutexLocker locker(&m_lock);
    if (!d->db)
        return;
    ISC_STATUS_ARRAY status;
    if (d->tr) {
        d->commit();
        d->depth = 0;
    }
    d->endKeptRead();
    isc_detach_database(status, &d->db);
    if (failed(status)) {
        const Error error(statusText(status), isConnectionLost(status));
        d->drop();
        throw error;
    }
    d->db = 0;
}

bool Connection::isOpen() const
{
    return d->db != 0;
}

void Connection::createFromScript(const QString &path, const QString &scriptPath)
{
    prepareEnvironment();
    QFile file(scriptPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Error(QStringLiteral("Cannot read %1").arg(scriptPath));
    const QStringList statements = splitScript(QString::fromUtf8(file.readAll()));

    QString create = QStringLiteral("CREATE DATABASE '%1' USER 'sysdba' PASSWORD 'quietbird' "
                                    "PAGE_SIZE 8192 DEFAULT CHARACTER SET UTF8")
                         .arg(QString(path).replace(QLatin1Char('\''), QStringLiteral("''")));
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    const QByteArray createText = create.toUtf8();
    isc_dsql_execute_immediate(status, &db, &tr, 0, createText.constData(), kDialect, nullptr);
    check(status);
    try {
        for (const QString &statement : statements) {
            if (statement.compare(QLatin1String("COMMIT"), Qt::CaseInsensitive) == 0)
                continue;
            isc_start_transaction(status, &tr, 1, &db, 0, nullptr);
            check(status);
            const QByteArray text = statement.toUtf8();
            isc_dsql_execute_immediate(status, &db, &tr, 0, text.constData(), kDialect, nullptr);
            if (failed(status)) {
                const Error error(statusText(status) + QStringLiteral("\nin: ") + statement);
                isc_rollback_transaction(status, &tr);
                throw error;
            }
            isc_commit_transaction(status, &tr);
            check(status);
        }
    } catch (const Error &) {
        isc_detach_database(status, &db);
        throw;
    }
    isc_detach_database(status, &db);
    check(status);
}

bool Transaction::inTransaction() const
{
    QMutexLocker locker(&m_connection.m_lock);
    return m_connection.d->tr != 0;
}

// ---------------------------------------------------------------------------

struct Query::Cursor {
    isc_stmt_handle statement = 0;
    XSQLDA *out = nullptr;
    std::vector<char> buffer;
    std::vector<short> nulls;
    QHash<QByteArray, int> names;
    bool eof = true;
    int count = 0;

    ~Cursor()
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
            size_t length = size_t(var.sqllen) + (type == SQL_VARYING ? sizeof(short) : 0);
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
        if (eof || field < 0 || field >= out->sqld)
            throw Error(QStringLiteral("No current record"));
        return out->sqlvar[field];
    }
};

Query::Query(Connection &connection)
    : m_connection(connection)
{
}

Query::~Query()
{
    close();
}

void Query::begin(bool readOnly)
{
    Connection::Private &c = *m_connection.d;
    // The lock is taken before anything of this object is touched: another
    // thread may be reading a result through it right now.
    m_connection.m_lock.lock();
    closeCursor();
    m_holdsLock = true;
    try {
        if (!c.db)
            m_connection.open();
        if (c.depth == 0)
            c.startTransaction(readOnly);
        ++c.depth;
    } catch (const Error &error) {
        if (error.connectionLost() && c.depth == 0)
            c.drop();
        m_holdsLock = false;
        m_connection.m_lock.unlock();
        throw;
    }
}

void Query::end(bool success)
{
    Connection::Private &c = *m_connection.d;
    bool lost = false;
    try {
        if (--c.depth == 0 && c.tr) {
            if (success)
                c.commit();
            else
                c.rollback();
        }
    } catch (const Error &error) {
        lost = error.connectionLost();
        if (lost)
            c.drop();
        m_holdsLock = false;
        m_connection.m_lock.unlock();
        throw;
    }
    Q_UNUSED(lost)
    m_holdsLock = false;
    m_connection.m_lock.unlock();
}

void Query::open(const QString &sql)
{
    begin(true);
    m_sql = sql;
    Connection::Private &c = *m_connection.d;
    try {
        auto cursor = std::make_unique<Cursor>();
        ISC_STATUS_ARRAY status;
        isc_dsql_allocate_statement(status, &c.db, &cursor->statement);
        check(status);
        cursor->allocateOut(16);
        const QByteArray text = m_sql.toUtf8();
        isc_dsql_prepare(status, &c.tr, &cursor->statement, 0, text.constData(), kDialect, cursor->out);
        check(status);
        if (cursor->out->sqld > cursor->out->sqln) {
            cursor->allocateOut(cursor->out->sqld);
            isc_dsql_describe(status, &cursor->statement, 1, cursor->out);
            check(status);
        }
        cursor->bindBuffers();
        isc_dsql_execute(status, &c.tr, &cursor->statement, 1, nullptr);
        check(status);
        cursor->eof = false;
        m_cursor = std::move(cursor);
        next();
    } catch (const Error &error) {
        m_cursor.reset();
        if (error.connectionLost() && c.depth == 1)
            c.drop();
        try {
            end(false);
        } catch (const Error &) {
        }
        throw;
    }
}

void Query::execSql(const QString &sql)
{
    begin(false);
    m_sql = sql;
    Connection::Private &c = *m_connection.d;
    const QByteArray text = m_sql.toUtf8();
    ISC_STATUS_ARRAY status;
    isc_dsql_execute_immediate(status, &c.db, &c.tr, 0, text.constData(), kDialect, nullptr);
    if (failed(status)) {
        const Error error(statusText(status), isConnectionLost(status));
        if (error.connectionLost() && c.depth == 1)
            c.drop();
        try {
            end(false);
        } catch (const Error &) {
        }
        throw error;
    }
    end(true);
}

void Query::close()
{
    // Under the lock: a cursor that another thread opened is closed by that
    // thread before this one gets here, and then there is nothing to close.
    QMutexLocker locker(&m_connection.m_lock);
    closeCursor();
}

void Query::closeCursor()
{
    const bool hadCursor = bool(m_cursor);
    m_cursor.reset();
    if (hadCursor && m_holdsLock) {
        try {
            end(true);
        } catch (const Error &) {
            // A SELECT has nothing to lose when its commit fails.
        }
    }
}

bool Query::isActive() const
{
    return bool(m_cursor);
}

bool Query::eof() const
{
    return !m_cursor || m_cursor->eof;
}

int Query::recordCount() const
{
    return m_cursor ? m_cursor->count : 0;
}

void Query::next()
{
    if (!m_cursor || m_cursor->eof)
        return;
    ISC_STATUS_ARRAY status;
    const ISC_STATUS result = isc_dsql_fetch(status, &m_cursor->statement, 1, m_cursor->out);
    if (result == 100) {
        m_cursor->eof = true;
        return;
    }
    check(status);
    ++m_cursor->count;
}

int Query::fieldIndex(const char *name) const
{
    if (!m_cursor)
        throw Error(QStringLiteral("Query is not open"));
    const auto it = m_cursor->names.constFind(QByteArray(name).toUpper());
    if (it == m_cursor->names.constEnd())
        throw Error(QStringLiteral("Column unknown: %1").arg(QLatin1String(name)));
    return it.value();
}

bool Query::isNull(int field) const
{
    return *m_cursor->column(field).sqlind < 0;
}

int Query::asInteger(int field) const
{
    const XSQLVAR &var = m_cursor->column(field);
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

QString Query::asString(int field) const
{
    const XSQLVAR &var = m_cursor->column(field);
    if (*var.sqlind < 0)
        return QString();
    switch (var.sqltype & ~1) {
    case SQL_VARYING: {
        const auto length = *reinterpret_cast<const short *>(var.sqldata);
        return QString::fromUtf8(var.sqldata + sizeof(short), length);
    }
    case SQL_TEXT:
        return QString::fromUtf8(var.sqldata, var.sqllen);
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
        Connection::Private &c = *m_connection.d;
        ISC_STATUS_ARRAY status;
        isc_blob_handle blob = 0;
        auto id = *reinterpret_cast<const ISC_QUAD *>(var.sqldata);
        isc_open_blob2(status, &c.db, &c.tr, &blob, &id, 0, nullptr);
        check(status);
        QByteArray bytes;
        char segment[16384];
        for (;;) {
            unsigned short length = 0;
            const ISC_STATUS result = isc_get_segment(status, &blob, &length, sizeof segment, segment);
            if (result == isc_segstr_eof)
                break;
            if (result != 0 && result != isc_segment) {
                const Error error(statusText(status), isConnectionLost(status));
                ISC_STATUS_ARRAY ignored;
                isc_close_blob(ignored, &blob);
                throw error;
            }
            bytes.append(segment, length);
        }
        isc_close_blob(status, &blob);
        return QString::fromUtf8(bytes);
    }
    default:
        throw Error(QStringLiteral("Column type cannot be read as text"));
    }
}

QDateTime Query::asDateTime(int field) const
{
    const XSQLVAR &var = m_cursor->column(field);
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

QDate Query::asDate(int field) const
{
    const XSQLVAR &var = m_cursor->column(field);
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

QTime Query::asTime(int field) const
{
    const XSQLVAR &var = m_cursor->column(field);
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
