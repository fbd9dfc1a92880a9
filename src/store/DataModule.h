#pragma once

#include "Firebird.h"
#include "Note.h"

#include <QDate>
#include <QLoggingCategory>
#include <QString>
#include <QTime>
#include <QVector>

#include <memory>
#include <optional>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcStore)

// Optional details of an alarm-state write; kind -1 means none.
struct AlarmDetails {
    int kind = -1;
    QDate date;
    QTime time;
};

// The access password as its own statement found it: no row, a value (an
// empty one included), or a failed read with the database's message.
struct StoredPassword {
    std::optional<QString> value;
    bool failed = false;
    QString error;

    // A non-empty password was read: the program is behind a login.
    bool protects() const
    {
        return !failed && value && !value->isEmpty();
    }
};

// The data module: the one connection to dbn.ib and every statement the
// program runs. Each operation holds the connection's lock from its first
// statement to its commit, so the two threads' statements never overlap, and
// commits its work when it ends, so nothing written waits for an orderly exit.
class TDM final
{
public:
    enum class Connect { Now, Later };
    // Connects at once, unless told the caller connects itself (the program
    // does so on another thread). A failed connection is silent.
    explicit TDM(const QString &databaseName = defaultDatabaseName(), Connect connect = Connect::Now);
    ~TDM();
    Q_DISABLE_COPY_MOVE(TDM)

    // Whether the start-up login let the user in (or none was needed).
    bool AccessGranted = false;

    static QString defaultDatabaseName();
    QString databaseName() const;

    bool ConnectDatabase();
    bool DisconnectDatabase();
    bool isConnected() const;
    // Shows nothing and stops nobody; leaves one diagnostic line.
    void ReportFailure(const QString &message, const QString &origin, const QString &error) const;

    QString GetSetting(const QString &key);
    bool SetSetting(const QString &key, const QString &value);
    // Reports nothing: each caller has its own words for a failure.
    StoredPassword ReadAccessPassword();

    // Lets a failure through to its caller (the command that runs it shows it).
    int ReadAlarmState(int id);
    void WriteAlarmState(int id, int state, const AlarmDetails &details = {});

    // The ID to select once the note `id` is gone from a list whose rows carry
    // `listIds` in order; -1 for none.
    static int PickNeighbourNote(const QVector<int> &listIds, int id);

    // Runs both list statements (running alarms first) and appends their rows
    // (without bodies). On a failure the rows read so far stay; answers false.
    bool readNoteList(const QString *searchText, std::vector<Note> &rows);

    // Note operations. Each throws Firebird::Error; the dialog that runs it
    // reports the failure in its own words.
    int countNotes();
    std::optional<Note> readNote(int id);
    // Takes a new ID from GenNotka and inserts the note (its body as stored,
    // its creation moment as given) under it; answers the ID.
    int insertNote(const Note &note);
    void updateNoteText(int id, const QString &title, const QString &storedBody);
    // WriteAlarmState for a save that must not fail unseen.
    void writeAlarmState(int id, int state, const AlarmDetails &details = {});
    void deleteNote(int id);
    // The notes whose alarm is armed or acknowledged, newest first.
    std::vector<Note> readAlarmCandidates();

private:
    // Runs a SELECT under the lock in a read-only transaction, handing each row
    // to `row`.
    template<class RowFunction> void select(const QString &sql, RowFunction &&row);
    // Runs one statement in a transaction of its own; tried again when it
    // meets an update conflict.
    void write(const QString &sql);

    Firebird::Connection m_database;
    // The reads share one read-only read-committed transaction, kept open:
    // starting one per read forced two page writes each time, and such a
    // transaction holds back no garbage collection.
    std::unique_ptr<Firebird::Transaction> m_reads;
};
