#include "AlarmChecker.h"

#include "DueRules.h"
#include "store/Clock.h"
#include "store/DataModule.h"

#include <vector>

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
    // One reading of the clock for the rows between two firings: each reading
    // looks the zone up again.
    LocalMoment now = LocalMoment::of(Clock::currentDateTime());
    for (const Note &row : rows) {
        if (stopRequested())
            return;
        if (!DueRules::isDue(row, now))
            continue;
        text += DueRules::balloonEntry(row);
        // The state is written inside the main-thread call: a firing whose
        // announcement never runs (shutdown) leaves the alarm armed instead of
        // silently running.
        TDM *dm = &m_dm;
        const int id = row.id;
        const Announce announce = m_announce;
        const auto fired = m_noteFired;
        const QString title = BalloonTitle;
        // A copy of its own, so no text buffer is shared between the threads.
        const QString shown(text.constData(), text.size());
        const bool ran = callMainThread([dm, id, announce, fired, title, shown] {
            dm->WriteAlarmState(id, Alarm::Running);
            if (fired)
                fired(id);
            announce(title, shown);
        });
        if (!ran)
            return;
        // The main thread may have kept us waiting.
        now = LocalMoment::of(Clock::currentDateTime());
    }
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
