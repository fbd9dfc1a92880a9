#pragma once

#include "Firebird.h"

#include <QDate>
#include <QLoggingCategory>
#include <QString>
#include <QTime>
#include <QVector>

#include <optional>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcStore)

// Optional details of an alarm-state write; kind -1 means none.
struct AlarmDetails {
    int kind = -1;
    QDate date;
    QTime time;
};

// One row of the note list as the two list statements yield it.
// The creation moment stays a date and a time: building a local QDateTime per
// row costs more than the whole statement.
struct NoteListRow {
    int id = 0;
    QString title;
    QDate createdDate;
    QTime createdTime;
    int alarm = 0;
};

// The access password as its own statement found it: no row, a value (an
// empty one included), or a failed read with the database's message.
struct StoredPassword {
    std::optional<QString> value;
    bool failed = false;
    QString error;
};

// The data module: the one connection to dbn.ib, its query objects and the
// operations on notes and settings that several windows share.
class TDM final
{
public:
    enum class Connect { Now, Later };
    // Builds the members and connects, unless told the caller connects itself
    // (the program does so on another thread while its windows are built).
    // A failed connection is silent.
    explicit TDM(const QString &databaseName = defaultDatabaseName(), Connect connect = Connect::Now);
    ~TDM();
    Q_DISABLE_COPY_MOVE(TDM)

    static QString defaultDatabaseName();

    bool ConnectDatabase();
    bool DisconnectDatabase();
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

    // Runs both list statements (running alarms first) and appends their rows.
    // On a failure the rows read so far stay in `rows`; answers false.
    bool readNoteList(const QString *searchText, std::vector<NoteListRow> &rows);

    Firebird::Connection Database;
    Firebird::Transaction Transaction;
    Firebird::Query MainQuery;
    Firebird::Query StateQuery;
    Firebird::Query CheckerQuery;
    bool AccessGranted = false;

private:
    QString m_databaseName;
};
