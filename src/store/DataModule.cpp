#include "DataModule.h"

#include "Clock.h"
#include "DataLocation.h"
#include "Statements.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>
#include <utility>

Q_LOGGING_CATEGORY(lcStore, "penwick.store", QtWarningMsg)

namespace {

const QString kOrigin = QStringLiteral("DM");

// The columns of a list row; the list never shows the body.
Note listRow(const Firebird::Cursor &row, const int (&fields)[4])
{
    Note note;
    note.id = row.asInteger(fields[0]);
    note.title = row.asString(fields[1]);
    note.createdDate = row.asDate(fields[2]);
    note.createdTime = row.asTime(fields[2]);
    note.alarm = row.asInteger(fields[3]);
    return note;
}

// The access password stays in the file: a failed save of it must not copy
// the value into the diagnostic line.
QString withoutPassword(const QString &message)
{
    const QString head = QStringLiteral("Nie można zapisać ustawienia HasloDostepu o wartości ");
    const QString tail = QStringLiteral(" w konfiguracji!");
    if (message.size() >= head.size() + tail.size() && message.startsWith(head) && message.endsWith(tail))
        return head + QStringLiteral("***") + tail;
    return message;
}

// Two copies of the program may write one row at the same moment (an edit
// saved just as the other's alarm checker marks that note), or another
// program may hold the row in an open transaction. A write never waits in
// the engine, whose lock time-out ends on a whole second of the wall clock
// (anywhere from a moment to a second for "1 s"); it is tried again here
// until `patience` has passed, and the row then counts as busy. Each try
// takes the lock anew, so the other thread is not held up meanwhile.
constexpr std::chrono::milliseconds kPatience {1000};
// The checker tries a held row again at its next pass instead.
constexpr std::chrono::milliseconds kCheckerPatience {100};

// Runs `write` on a transaction of its own under the connection's lock, and
// again while another transaction holds a row it needs.
template<class Write>
auto retryingConflicts(Firebird::Connection &database, std::chrono::milliseconds patience, Write &&write)
    -> decltype(write(std::declval<Firebird::Transaction &>()))
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (int attempt = 1;; ++attempt) {
        const auto pause = std::chrono::milliseconds(std::min(10 * attempt, 50));
        try {
            const auto lock = database.lock();
            Firebird::Transaction transaction(database, Firebird::Transaction::ReadWriteNoWait);
            return write(transaction);
        } catch (const Firebird::Error &error) {
            if (!error.conflict() && !error.busy())
                throw;
            if (std::chrono::steady_clock::now() + pause >= deadline)
                throw Firebird::Error(error.message(), Firebird::Error::Cause::Busy);
        }
        std::this_thread::sleep_for(pause);
    }
}

enum class Body { Read, Skip };

Note wholeRow(const Firebird::Cursor &row, Body body)
{
    Note note;
    note.id = row.asInteger(row.fieldIndex("ID"));
    note.title = row.asString(row.fieldIndex("Tytul"));
    if (body == Body::Read)
        note.body = row.asString(row.fieldIndex("Tresc"));
    const int created = row.fieldIndex("DataGodzina");
    note.createdDate = row.asDate(created);
    note.createdTime = row.asTime(created);
    note.alarm = row.asInteger(row.fieldIndex("Alarm"));
    note.kind = row.asInteger(row.fieldIndex("AlarmRodzaj"));
    note.alarmDate = row.asDate(row.fieldIndex("AlarmData"));
    note.alarmTime = row.asTime(row.fieldIndex("AlarmGodzina"));
    const int archive = row.fieldIndex("AlarmArchiwum");
    note.archive = {row.asDate(archive), row.asTime(archive)};
    return note;
}

} // namespace

TDM::TDM(const QString &databaseName, Connect connect)
    : m_database(databaseName)
{
    if (connect == Connect::Now)
        ConnectDatabase();
}

TDM::~TDM()
{
    listenForChanges({});
    DisconnectDatabase();
}

QString TDM::defaultDatabaseName()
{
    // Asked before the application object exists, so not through it.
    return DataLocation::locate().path;
}

QString TDM::databaseName() const
{
    return m_database.databaseName();
}

bool TDM::ConnectDatabase()
{
    const auto lock = m_database.lock();
    try {
        m_database.open();
        m_connectError.clear();
        return true;
    } catch (const Firebird::Error &error) {
        m_connectError = error.message();
        return false;
    }
}

QString TDM::connectError() const
{
    return m_connectError;
}

bool TDM::DisconnectDatabase()
{
    const auto lock = m_database.lock();
    try {
        if (const auto reads = std::move(m_reads))
            reads->commit();
        m_database.close();
        return true;
    } catch (const Firebird::Error &) {
        return false;
    }
}

bool TDM::isConnected() const
{
    return m_database.isOpen();
}

void TDM::ReportFailure(const QString &message, const QString &origin, const QString &error) const
{
    qCWarning(lcStore).noquote() << origin << ":" << withoutPassword(message)
                                 << QString(error).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

template<class RowFunction> void TDM::select(const QString &sql, RowFunction &&row)
{
    const auto lock = m_database.lock();
    try {
        if (!m_reads)
            m_reads = std::make_unique<Firebird::Transaction>(m_database, Firebird::Transaction::ReadOnly);
        Firebird::Cursor cursor(*m_reads, sql);
        while (cursor.next())
            row(cursor);
    } catch (const Firebird::Error &) {
        // The next read starts afresh, also after a lost connection.
        m_reads.reset();
        throw;
    }
}

int TDM::write(const QString &sql, Writer writer)
{
    const auto patience = writer == Writer::Checker ? kCheckerPatience : kPatience;
    return retryingConflicts(m_database, patience, [&](Firebird::Transaction &transaction) {
        const int changed = transaction.executeCounting(sql);
        commitChange(transaction, changed > 0);
        return changed;
    });
}

void TDM::commitChange(Firebird::Transaction &transaction, bool changed)
{
    if (!changed) {
        transaction.commit();
        return;
    }
    // Delivered with the commit, and only then.
    transaction.execute(Statements::postChange());
    // Counted before the commit: its delivery may come before commit() returns.
    const bool counted = m_listening;
    if (counted)
        ++m_ownPosts;
    try {
        transaction.commit();
    } catch (const Firebird::Error &) {
        if (counted)
            --m_ownPosts;
        throw;
    }
}

void TDM::listenForChanges(std::function<void(int)> changedElsewhere)
{
    const auto lock = m_database.lock();
    // No delivery reaches the listener once the watch is gone.
    m_database.stopWatching();
    m_listening = false;
    m_listener.reset();
    m_changedElsewhere = std::move(changedElsewhere);
    if (!m_changedElsewhere)
        return;
    m_ownPosts = 0;
    m_listening = true;
    m_listener = std::make_unique<QObject>();
    QObject *listener = m_listener.get();
    m_database.watchEvent(Statements::ChangeEvent, [this, listener] {
        // One queued call at a time: what comes meanwhile is counted with it.
        if (!m_deliveryPending.exchange(true))
            QMetaObject::invokeMethod(
                listener, [this] { takeChanges(); }, Qt::QueuedConnection);
    });
}

void TDM::takeChanges()
{
    m_deliveryPending = false;
    int posted = 0;
    {
        const auto lock = m_database.lock();
        posted = m_database.takeEventCount();
    }
    if (posted == 0)
        return;
    if (posted == Firebird::Connection::PostingsUnknown) {
        m_ownPosts = 0;
        if (m_changedElsewhere)
            m_changedElsewhere(0);
        return;
    }
    // This module's own commits come back too; only what is left is news.
    int own = m_ownPosts.load();
    while (own > 0 && !m_ownPosts.compare_exchange_weak(own, own - std::min(own, posted))) { }
    const int mine = std::max(own, 0);
    if (posted <= mine)
        return;
    if (m_changedElsewhere)
        m_changedElsewhere(posted - mine);
}

QString TDM::GetSetting(const QString &key)
{
    try {
        QString value = QStringLiteral("-1");
        bool first = true;
        // Of twin rows for one key, the first one counts.
        select(Statements::settingValue(key), [&](const Firebird::Cursor &row) {
            if (first)
                value = row.asString(0);
            first = false;
        });
        return value;
    } catch (const Firebird::Error &error) {
        ReportFailure(QStringLiteral("Nie można pobrać ustawienia ") + key + QStringLiteral(" z konfiguracji!"),
                      kOrigin, error.message());
        return QStringLiteral("-1");
    }
}

bool TDM::SetSetting(const QString &key, const QString &value)
{
    try {
        for (bool retried = false;; retried = true) {
            int id = 0;
            bool exists = false;
            select(Statements::settingRow(key), [&](const Firebird::Cursor &row) {
                if (!exists)
                    id = row.asInteger(row.fieldIndex("ID"));
                exists = true;
            });
            try {
                write(exists ? Statements::updateSetting(key, value, id) : Statements::insertSetting(key, value));
                return true;
            } catch (const Firebird::Error &error) {
                // Another process added the key since the look-up; the unique
                // key turned our row away, so the key's row is updated instead.
                if (exists || retried || !error.duplicate())
                    throw;
            }
        }
    } catch (const Firebird::Error &error) {
        ReportFailure(QStringLiteral("Nie można zapisać ustawienia ") + key + QStringLiteral(" o wartości ") + value
                          + QStringLiteral(" w konfiguracji!"),
                      kOrigin, error.message());
        return false;
    }
}

StoredPassword TDM::ReadAccessPassword()
{
    StoredPassword stored;
    try {
        select(Statements::accessPassword(), [&](const Firebird::Cursor &row) {
            if (!stored.value)
                stored.value = row.asString(row.fieldIndex("Wartosc"));
        });
    } catch (const Firebird::Error &error) {
        stored.value.reset();
        stored.failed = true;
        stored.error = error.message();
    }
    return stored;
}

int TDM::ReadAlarmState(int id)
{
    int state = Alarm::None;
    bool first = true;
    select(Statements::alarmState(id), [&](const Firebird::Cursor &row) {
        if (first)
            state = row.asInteger(0);
        first = false;
    });
    return state;
}

void TDM::WriteAlarmState(int id, int state, const AlarmDetails &details)
{
    try {
        writeAlarmStateOrThrow(id, state, details);
    } catch (const Firebird::Error &error) {
        ReportFailure(QStringLiteral("Can't set the type of alarm!"), QStringLiteral("FormNotatka"), error.message());
    }
}

void TDM::writeAlarmStateOrThrow(int id, int state, const AlarmDetails &details)
{
    write(Statements::writeAlarmState(id, state, details.kind, details.date, details.time, Clock::currentDateTime()));
}

void TDM::acknowledgeAlarm(int id)
{
    write(Statements::writeAlarmState(id, Alarm::Acknowledged, -1, {}, {}, Clock::currentDateTime())
          + Statements::whileRunning());
}

bool TDM::snoozeAlarm(int id, const QDateTime &until)
{
    return write(Statements::writeAlarmState(id, Alarm::Armed, Alarm::Once, until.date(), until.time(), {})
                 + Statements::whileRunningOnce())
           > 0;
}

bool TDM::fireAlarm(const Note &read)
{
    // A background write: a row another program holds is tried again at the
    // next pass instead of holding up the main thread's statements meanwhile.
    return write(Statements::writeAlarmState(read.id, Alarm::Running, -1, {}, {}, {})
                     + Statements::whileAlarmUnchanged(read),
                 Writer::Checker)
           > 0;
}

void TDM::unfireAlarm(const Note &read)
{
    write(Statements::unfireAlarm(read), Writer::Checker);
}

int TDM::PickNeighbourNote(const QVector<int> &listIds, int id)
{
    if (listIds.size() <= 1)
        return -1;
    const int first = int(listIds.indexOf(id));
    if (first < 0)
        return -1;
    if (listIds.last() == id)
        return first > 0 ? listIds.at(first - 1) : -1;
    return listIds.at(first + 1);
}

bool TDM::readNoteList(const QString *searchText, std::vector<Note> &rows, QString *error)
{
    try {
        for (const bool running : {true, false}) {
            int fields[4] = {-1, -1, -1, -1};
            const auto append = [&](const Firebird::Cursor &row) {
                if (fields[0] < 0) {
                    fields[0] = row.fieldIndex("ID");
                    fields[1] = row.fieldIndex("Tytul");
                    fields[2] = row.fieldIndex("DataGodzina");
                    fields[3] = row.fieldIndex("Alarm");
                }
                rows.push_back(listRow(row, fields));
            };
            if (!searchText) {
                select(Statements::noteList(running), append);
                continue;
            }
            // Each statement in turn until one reads the group: a body too
            // long to compare in place (written by something other than the
            // editor) fails the first, a letter whose upper case takes more
            // bytes fails the second. Each is composed only when reached.
            using Compose = QString (*)(bool, const QString &);
            const Compose statements[] = {Statements::noteSearchByBytes, Statements::noteSearch,
                                          Statements::noteSearchUpperCasingBodies};
            const size_t before = rows.size();
            for (size_t i = 0; i < std::size(statements); ++i) {
                const QString statement = statements[i](running, *searchText);
                if (statement.isEmpty())
                    continue;
                try {
                    select(statement, append);
                    break;
                } catch (const Firebird::Error &) {
                    rows.resize(before);
                    if (i + 1 == std::size(statements))
                        throw;
                }
            }
        }
        return true;
    } catch (const Firebird::Error &failure) {
        if (error)
            *error = failure.message();
        return false;
    }
}

int TDM::countNotes()
{
    int count = 0;
    select(Statements::countNotes(), [&](const Firebird::Cursor &row) { count = row.asInteger(0); });
    return count;
}

std::optional<Note> TDM::readNote(int id)
{
    std::optional<Note> note;
    select(Statements::note(id), [&](const Firebird::Cursor &row) { note = wholeRow(row, Body::Read); });
    return note;
}

template<class Compose> int TDM::insertUnderNewId(Compose &&insert)
{
    return retryingConflicts(m_database, kPatience, [&](Firebird::Transaction &transaction) {
        int id = -1;
        {
            Firebird::Cursor cursor(transaction, Statements::nextNoteId());
            if (cursor.next())
                id = cursor.asInteger(0);
        }
        if (id == -1)
            return -1;
        transaction.execute(insert(id));
        commitChange(transaction, true);
        return id;
    });
}

int TDM::insertNote(const Note &note)
{
    return insertUnderNewId([&note](int id) {
        return Statements::insertNote(id, note.title, note.body, QDateTime(note.createdDate, note.createdTime),
                                      note.alarm, note.kind, note.alarmDate, note.alarmTime);
    });
}

int TDM::insertWholeNote(const Note &note)
{
    return insertUnderNewId([&note](int id) { return Statements::insertWholeNote(id, note); });
}

int TDM::copyIntoEmpty(const std::vector<Note> &notes)
{
    return retryingConflicts(m_database, kPatience, [&](Firebird::Transaction &transaction) {
        {
            Firebird::Cursor cursor(transaction, Statements::countNotes());
            if (cursor.next() && cursor.asInteger(0) > 0)
                return -1;
        }
        // All or nothing: a copy cut short leaves the target empty, to try again.
        for (const Note &note : notes) {
            Firebird::Cursor cursor(transaction, Statements::nextNoteId());
            if (!cursor.next())
                throw Firebird::Error(QStringLiteral("the engine gave a note no ID"));
            const int id = cursor.asInteger(0);
            transaction.execute(Statements::insertWholeNote(id, note));
        }
        commitChange(transaction, !notes.empty());
        return int(notes.size());
    });
}

TDM::TextSave TDM::updateNoteText(int id, const QString &title, const QString &storedBody, const Note *loaded)
{
    return retryingConflicts(m_database, kPatience, [&](Firebird::Transaction &transaction) {
        // Locked until the commit: what is compared is what is overwritten.
        std::optional<std::pair<QString, QString>> stored;
        {
            Firebird::Cursor cursor(transaction, Statements::lockedNoteText(id));
            if (cursor.next())
                stored.emplace(cursor.asString(0), cursor.asString(1));
        }
        if (!stored)
            return TextSave::Gone;
        if (loaded && (stored->first != loaded->title || stored->second != loaded->body))
            return TextSave::Changed;
        transaction.execute(Statements::updateNoteText(id, title, storedBody));
        commitChange(transaction, true);
        return TextSave::Saved;
    });
}

bool TDM::deleteNote(int id)
{
    return write(Statements::deleteNote(id)) > 0;
}

std::vector<Note> TDM::readNotes()
{
    std::vector<Note> rows;
    for (const bool running : {true, false})
        select(Statements::noteList(running),
               [&](const Firebird::Cursor &row) { rows.push_back(wholeRow(row, Body::Read)); });
    return rows;
}

std::vector<Note> TDM::readAlarmCandidates()
{
    std::vector<Note> rows;
    // The checker never shows a body, so the BLOBs stay unread.
    select(Statements::dueAlarmCandidates(),
           [&](const Firebird::Cursor &row) { rows.push_back(wholeRow(row, Body::Skip)); });
    return rows;
}
