#pragma once

#include "Firebird.h"
#include "Note.h"

#include <QDate>
#include <QDateTime>
#include <QLoggingCategory>
#include <QString>
#include <QTime>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;

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
// Each write posts the change event with its commit, so every other copy of
// the program on the file learns of it at once.
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
    // Why the last ConnectDatabase failed, in the engine's words.
    QString connectError() const;
    // Shows nothing and stops nobody; leaves one diagnostic line.
    void ReportFailure(const QString &message, const QString &origin, const QString &error) const;

    QString GetSetting(const QString &key);
    bool SetSetting(const QString &key, const QString &value);
    // Reports nothing: each caller has its own words for a failure.
    StoredPassword ReadAccessPassword();

    // Lets a failure through to its caller (the command that runs it shows it).
    int ReadAlarmState(int id);
    // Reports a failure and carries on.
    void WriteAlarmState(int id, int state, const AlarmDetails &details = {});
    // The same for a save that must not fail unseen: throws Firebird::Error.
    void writeAlarmStateOrThrow(int id, int state, const AlarmDetails &details = {});
    // Marks a running alarm acknowledged; does nothing to one that no longer
    // runs (another copy acknowledged it, or changed it). Throws.
    void acknowledgeAlarm(int id);
    // Re-arms a running one-time alarm for `until`, as the editor arms one;
    // does nothing to one that no longer runs or repeats. Answers whether it
    // changed the row. Throws.
    bool snoozeAlarm(int id, const QDateTime &until);
    // The checker's firing: marks the note running, but only while its row
    // holds the alarm as `read` found it, and never waits for a row that
    // another program holds. Answers whether this write changed the row.
    // Throws.
    bool fireAlarm(const Note &read);
    // Takes a firing back that was never announced (the program ended
    // meanwhile), unless the alarm has changed since. Throws.
    void unfireAlarm(const Note &read);

    // The ID to select once the note `id` is gone from a list whose rows carry
    // `listIds` in order; -1 for none.
    static int PickNeighbourNote(const QVector<int> &listIds, int id);

    // Runs both list statements (running alarms first) and appends their rows
    // (without bodies). On a failure the rows read so far stay; answers false,
    // with the engine's words in `error` when given.
    bool readNoteList(const QString *searchText, std::vector<Note> &rows, QString *error = nullptr);

    // Note operations. Each throws Firebird::Error; the dialog that runs it
    // reports the failure in its own words.
    int countNotes();
    std::optional<Note> readNote(int id);
    // Takes a new ID from GenNotka and inserts the note (its body as stored,
    // its creation moment as given) under it; answers the ID.
    int insertNote(const Note &note);
    // The same with every column as `note` holds it, a null one as NULL.
    int insertWholeNote(const Note &note);
    // Inserts every note, each under a new ID, in one transaction, but only
    // into a database that holds no note yet; answers how many it added, or
    // -1 when there were notes already. Throws.
    int copyIntoEmpty(const std::vector<Note> &notes);
    enum class TextSave { Saved, Gone, Changed };
    // Stores a note's title and body (as stored) when its row still holds
    // `loaded`'s title and body, or whatever it holds when `loaded` is null.
    // Gone: no such note; Changed: another program changed it first.
    TextSave updateNoteText(int id, const QString &title, const QString &storedBody, const Note *loaded = nullptr);
    // Answers whether there was such a note.
    bool deleteNote(int id);
    // Every note with its body, in the list's order.
    std::vector<Note> readNotes();
    // The notes whose alarm is armed or acknowledged, newest first.
    std::vector<Note> readAlarmCandidates();

    // Runs `changedElsewhere` on the calling thread, through its event loop,
    // when another connection (another copy, the companion command) has
    // committed changes, with how many (0: unknown, after a lost connection
    // came back). A burst of changes gives one call or few; this module's own
    // writes give none. An empty function stops listening.
    void listenForChanges(std::function<void(int changes)> changedElsewhere);

private:
    // Runs a SELECT under the lock in a read-only transaction, handing each row
    // to `row`.
    template<class RowFunction> void select(const QString &sql, RowFunction &&row);
    // Who writes: the checker gives up on a held row sooner.
    enum class Writer { Main, Checker };
    // Runs one statement in a transaction of its own, with the change event
    // when it changed something; answers how many rows it changed. Tried
    // again while another transaction holds the row, for a second at most.
    int write(const QString &sql, Writer writer = Writer::Main);
    // Commits, posting the change event first when `changed`.
    void commitChange(Firebird::Transaction &transaction, bool changed);
    void takeChanges();
    // Inserts under a new ID from GenNotka the statement `insert` composes
    // for it; answers the ID.
    template<class Compose> int insertUnderNewId(Compose &&insert);

    Firebird::Connection m_database;
    // The reads share one read-only read-committed transaction, kept open:
    // starting one per read forced two page writes each time, and such a
    // transaction holds back no garbage collection.
    std::unique_ptr<Firebird::Transaction> m_reads;
    QString m_connectError;
    // Posted by this module and not yet seen come back.
    std::atomic<int> m_ownPosts {0};
    std::atomic<bool> m_listening {false};
    std::atomic<bool> m_deliveryPending {false};
    std::function<void(int)> m_changedElsewhere;
    // Lives on the listening thread; deliveries are queued to it.
    std::unique_ptr<QObject> m_listener;
};
