#include "AlarmChecker.h"

#include "DueRules.h"
#include "store/Clock.h"
#include "store/DataModule.h"

#include <QLoggingCategory>

#include <vector>

// Each pass, when asked for (QT_LOGGING_RULES="penwick.alarms.debug=true").
Q_LOGGING_CATEGORY(lcAlarms, "penwick.alarms", QtInfoMsg)

const QString TAlarmChecker::BalloonTitle = QStringLiteral("Penwick A L A R M");

TAlarmChecker::TAlarmChecker(TDM &dm, QObject *mainThreadContext, Announce announce, int intervalMs, QObject *parent)
    : WorkerThread(mainThreadContext, parent)
    , m_dm(dm)
    , m_announce(std::move(announce))
    , m_intervalMs(intervalMs)
{
}

TAlarmChecker::~TAlarmChecker()
{
    // Joined here, before the members that the loop uses are destroyed.
    stopAndWait();
}

void TAlarmChecker::loop()
{
    while (!stopRequested()) {
        if (!sleepFor(m_intervalMs))
            break;
        if (!waitWhilePaused())
            break;
        CheckAlarms();
    }
}

void TAlarmChecker::CheckAlarms()
{
    // The selection is read whole and its lock released before anything
    // fires: firing waits for the main thread, which may need the lock.
    std::vector<Note> rows;
    try {
        rows = m_dm.readAlarmCandidates();
    } catch (const Firebird::Error &) {
        return;
    }
    QString text;
    std::vector<Fired> listed;
    // One reading of the clock for the rows between two firings: each reading
    // looks the zone up again.
    LocalMoment now = LocalMoment::of(Clock::currentDateTime());
    for (const Note &row : rows) {
        if (stopRequested())
            return;
        if (!DueRules::isDue(row, now))
            continue;
        // Marked running here, on this thread, and only from the state the
        // pass read: of two copies of the program, the one whose update
        // changed the row announces it, and neither writes over an
        // acknowledgement the other has just made.
        try {
            if (!m_dm.fireAlarm(row))
                continue;
        } catch (const Firebird::Error &error) {
            // Held by another program (another copy firing it, an open
            // transaction): the next pass tries again.
            if (error.busy() || error.conflict())
                continue;
            // Any other failure would fail at every pass: the alarm is
            // announced all the same, and again at the next pass.
            m_dm.ReportFailure(QStringLiteral("Can't set the type of alarm!"), QStringLiteral("FormNotatka"),
                               error.message());
        }
        text += DueRules::balloonEntry(row);
        listed.push_back({row.id, row.kind});
        const Announce announce = m_announce;
        const NotesFired fired = m_notesFired;
        const QString title = BalloonTitle;
        // A copy of its own, so no text buffer is shared between the threads.
        const QString shown(text.constData(), text.size());
        const bool ran = callMainThread([listed, announce, fired, title, shown] {
            if (fired)
                fired(listed);
            announce(title, shown);
        });
        if (!ran) {
            // Never announced: the next run fires it again, and says so.
            try {
                m_dm.unfireAlarm(row);
            } catch (const Firebird::Error &) {
            }
            return;
        }
        // The main thread may have kept us waiting.
        now = LocalMoment::of(Clock::currentDateTime());
    }
    qCDebug(lcAlarms).nospace() << "pass: " << rows.size() << " armed or acknowledged, " << listed.size()
                                << " fired here";
}

TBlinkingItems::TBlinkingItems(QObject *mainThreadContext, std::function<void()> toggle, int intervalMs,
                               QObject *parent)
    : WorkerThread(mainThreadContext, parent)
    , m_toggle(std::move(toggle))
    , m_intervalMs(intervalMs)
{
}

TBlinkingItems::~TBlinkingItems()
{
    stopAndWait();
}

void TBlinkingItems::setRunningShown(bool shown)
{
    if (m_runningShown.load() == shown)
        return;
    changeAndWake([this, shown] { m_runningShown = shown; });
}

void TBlinkingItems::loop()
{
    while (!stopRequested()) {
        if (!waitUntil([this] { return m_runningShown.load(); }))
            break;
        if (!sleepFor(m_intervalMs))
            break;
        // The last running entry may have gone while it slept.
        if (!m_runningShown.load())
            continue;
        const auto toggle = m_toggle;
        if (!callMainThread(toggle))
            break;
    }
}
