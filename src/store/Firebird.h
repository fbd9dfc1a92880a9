#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <memory>
#include <mutex>
#include <stdexcept>

// A thin RAII layer over libfbclient's classic client calls. Only Firebird.cpp
// includes ibase.h.
namespace Firebird {

// Any failure of the database or of reading a result. what() is the
// database's own message text (UTF-8).
class Error final : public std::runtime_error
{
public:
    explicit Error(const QString &message, bool connectionLost = false);
    QString message() const;
    bool connectionLost() const
    {
        return m_connectionLost;
    }

private:
    bool m_connectionLost;
};

// Points the embedded engine at a configuration that lets several processes
// share one database file, and at a lock folder all of them use. Must run
// before the first client call; later calls do nothing.
void prepareEnvironment();
QString configFolder();
QString lockFolder();

// One attachment and the one transaction that its statements share. One
// recursive lock guards each statement together with the reading of its result,
// so statements from two threads never overlap.
class Connection final
{
public:
    Connection();
    ~Connection();
    Q_DISABLE_COPY_MOVE(Connection)

    void setParameters(const QString &databaseName, const QString &userName, const QString &password,
                       const QString &lcCtype);
    QString databaseName() const;

    void open();  // throws Error
    void close(); // commits what is still open, then detaches; throws Error
    bool isOpen() const;

    // Creates a database file and runs the statements of a schema script in it.
    // Used by tests, benchmarks and tools; the program never changes a schema.
    static void createFromScript(const QString &path, const QString &scriptPath);

    std::recursive_mutex &statementLock()
    {
        return m_lock;
    }

private:
    friend class Query;
    friend class Transaction;
    struct Private;
    std::unique_ptr<Private> d;
    // A standard mutex, so that thread checkers see it (Qt's own are not
    // instrumented in Debian's build).
    std::recursive_mutex m_lock;
};

// The one transaction handle that the statements of a connection share: the
// first statement starts it, and the statement that ends last commits it.
class Transaction final
{
public:
    explicit Transaction(Connection &connection)
        : m_connection(connection)
    {
    }
    bool inTransaction() const;

private:
    Connection &m_connection;
};

// A statement on a connection. open() runs a SELECT and reads its first row;
// execSql() runs any other statement. From open() until close() (or the
// destructor) the query holds the connection's statement lock. Every statement
// runs in a read-committed transaction that is committed when the outermost
// statement of the current lock holder ends, so nothing written waits for an
// orderly exit to become permanent.
class Query final
{
public:
    explicit Query(Connection &connection);
    ~Query();
    Q_DISABLE_COPY_MOVE(Query)

    // The statement text is handed over with the call: one query object is
    // shared by two threads, and the text must be set under the lock.
    void open(const QString &sql);    // throws Error
    void execSql(const QString &sql); // throws Error
    QString sql() const
    {
        return m_sql;
    }

    void close();

    bool isActive() const;
    bool eof() const;
    int recordCount() const; // rows read so far: 1 right after open() found one
    void next();             // throws Error

    int fieldIndex(const char *name) const; // throws Error for an unknown column
    bool isNull(int field) const;
    int asInteger(int field) const;
    QString asString(int field) const; // reads text BLOBs whole
    QDateTime asDateTime(int field) const;
    QDate asDate(int field) const;
    QTime asTime(int field) const;

    bool isNull(const char *name) const
    {
        return isNull(fieldIndex(name));
    }
    int asInteger(const char *name) const
    {
        return asInteger(fieldIndex(name));
    }
    QString asString(const char *name) const
    {
        return asString(fieldIndex(name));
    }
    QDateTime asDateTime(const char *name) const
    {
        return asDateTime(fieldIndex(name));
    }
    QDate asDate(const char *name) const
    {
        return asDate(fieldIndex(name));
    }
    QTime asTime(const char *name) const
    {
        return asTime(fieldIndex(name));
    }

private:
    // Takes the statement lock; a SELECT that starts the transaction starts a
    // read-only one, so statements that write must not run inside an open
    // SELECT's transaction.
    void begin(bool readOnly);
    void end(bool success);
    void closeCursor();

    Connection &m_connection;
    QString m_sql;
    struct Cursor;
    std::unique_ptr<Cursor> m_cursor;
    bool m_holdsLock = false;
};

} // namespace Firebird
