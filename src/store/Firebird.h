#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>

// A thin RAII layer over libfbclient's classic client calls: an attachment, a
// transaction and a statement's result, each freeing its handle when it goes.
// Only Firebird.cpp includes ibase.h.
namespace Firebird {

// Any failure of the database or of reading a result. what() is the
// database's own message text (UTF-8).
class Error final : public std::runtime_error
{
public:
    enum class Cause { Other, ConnectionLost, Conflict, Duplicate, Busy };
    explicit Error(const QString &message, bool connectionLost = false);
    Error(const QString &message, Cause cause);
    QString message() const;
    bool connectionLost() const
    {
        return m_cause == Cause::ConnectionLost;
    }
    // Another transaction changed the row first: a fresh try may succeed.
    bool conflict() const
    {
        return m_cause == Cause::Conflict;
    }
    // A unique key holds the value already.
    bool duplicate() const
    {
        return m_cause == Cause::Duplicate;
    }
    // Another program holds the row and did not let go within the wait.
    bool busy() const
    {
        return m_cause == Cause::Busy;
    }

private:
    Cause m_cause;
};

// The fixed account every attachment and every new file uses.
struct Credentials {
    static const QString userName;
    static const QString password;
};

// Points the embedded engine at its private root and at the lock folder of
// `databaseFile` (see EngineFolder), with a configuration that lets several
// processes share the file. The engine reads both once per process, so the
// first call decides, before the first client call: afterwards a process
// opens only the files whose lock folder is that one. False when the folders
// cannot be made ours; environmentProblem() then says why, and nothing
// attaches.
bool prepareEnvironment(const QString &databaseFile);
QString environmentProblem();
// The lock folder in force; empty before the first call.
QString lockFolder();

// The engine's own backup of a database file, and a new database file made
// from such a backup, both run by the engine's services manager inside this
// process. A backup reads one snapshot, so it is consistent while other
// programs write. A restore never writes over an existing file. Both throw
// Error with the engine's words.
void backupDatabase(const QString &databaseFile, const QString &backupFile);
void restoreDatabase(const QString &backupFile, const QString &newDatabaseFile);

// One attachment to a database file. It attaches on first use and again after
// the connection was lost. Statements of several threads are serialised by
// the lock that each store operation holds for its whole run.
class Connection final
{
public:
    explicit Connection(const QString &databaseName = QString());
    ~Connection();
    Q_DISABLE_COPY_MOVE(Connection)

    void setDatabaseName(const QString &databaseName);
    QString databaseName() const;

    void open();  // throws Error
    void close(); // detaches; throws Error
    bool isOpen() const;

    // Held by one store operation from its first statement to its commit.
    std::unique_lock<std::mutex> lock()
    {
        return std::unique_lock<std::mutex>(m_lock);
    }

    // Runs one statement that returns no rows in a transaction of its own.
    void execute(const QString &sql); // throws Error

    // Interest in one event that any attachment posts at its commit, from the
    // next attach to close(), and again after each later attach. `delivered`
    // runs on a thread of the client library's and must only pass the news
    // on; takeEventCount() then tells how many postings came and listens
    // again. Call both under the lock.
    void watchEvent(const QByteArray &name, std::function<void()> delivered);
    void stopWatching();
    // The postings since the last call (0 when nothing was delivered), or
    // PostingsUnknown after a later attach: anything may have been posted
    // while the connection was lost.
    static constexpr int PostingsUnknown = -1;
    int takeEventCount();

    // Creates a database file and runs the statements of a schema script in it.
    // Used by the build, the tests and the benchmarks; the program never
    // changes a schema.
    static void createFromScript(const QString &path, const QString &scriptPath);

private:
    friend class Transaction;
    friend class Cursor;
    struct Private;
    std::unique_ptr<Private> d;
    std::mutex m_lock;
};

// A read-committed transaction on a connection: rolled back when it goes
// without a commit. A read-only one commits without touching the disk.
class Transaction final
{
public:
    // A write waits a short while for a row that another transaction holds,
    // and fails as busy after it; a background write does not wait at all.
    enum Mode { ReadOnly, ReadWrite, ReadWriteNoWait };
    Transaction(Connection &connection, Mode mode); // attaches when needed; throws Error
    ~Transaction();
    Q_DISABLE_COPY_MOVE(Transaction)

    void execute(const QString &sql); // throws Error
    // The same, answering how many rows the statement changed.
    int executeCounting(const QString &sql); // throws Error
    void commit();                           // throws Error

private:
    friend class Cursor;
    // A failure that lost the connection drops the attachment, so that the
    // next statement attaches again.
    [[noreturn]] void fail(const Error &error);

    Connection &m_connection;
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

// The rows of one SELECT, read one at a time.
class Cursor final
{
public:
    Cursor(Transaction &transaction, const QString &sql); // throws Error
    ~Cursor();
    Q_DISABLE_COPY_MOVE(Cursor)

    // Moves to the next row; false after the last one.
    bool next(); // throws Error

    int fieldIndex(const char *name) const; // throws Error for an unknown column
    bool isNull(int field) const;
    int asInteger(int field) const;
    QString asString(int field) const; // reads text BLOBs whole
    QDateTime asDateTime(int field) const;
    QDate asDate(int field) const;
    QTime asTime(int field) const;

private:
    Transaction &m_transaction;
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Firebird
