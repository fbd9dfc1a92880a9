#pragma once

#include "WorkerThread.h"

#include <QString>

#include <atomic>
#include <functional>
#include <vector>

class TDM;

// Looks for due alarms every ten seconds. A due alarm is marked running and
// announced on the main thread; the note list then shows it on top.
class TAlarmChecker final : public WorkerThread
{
public:
    // `announce` runs on the main thread with the balloon's title and text.
    using Announce = std::function<void(const QString &title, const QString &text)>;

    TAlarmChecker(TDM &dm, QObject *mainThreadContext, Announce announce, int intervalMs = 10000,
                  QObject *parent = nullptr);
    ~TAlarmChecker() override;
    Q_DISABLE_COPY_MOVE(TAlarmChecker)

    // One pass over the armed and acknowledged alarms. Silent on failure.
    void CheckAlarms();
    // A note that a pass fired: its ID and repeat kind.
    struct Fired {
        int id;
        int kind;
    };
    // Runs on the main thread just before each announcement, with the notes
    // it lists: those fired in this pass so far, the newest firing last. Set
    // it before the thread starts.
    using NotesFired = std::function<void(const std::vector<Fired> &listed)>;
    void setNotesFired(NotesFired fired)
    {
        m_notesFired = std::move(fired);
    }

    static const QString BalloonTitle;

protected:
    void loop() override;

private:
    TDM &m_dm;
    Announce m_announce;
    NotesFired m_notesFired;
    int m_intervalMs;
};

// Makes the list entries of running alarms blink: twice a second it has the
// main thread swap their pictures. Never touches the database. While the list
// shows no running alarm it sleeps, so an idle program does not wake for it.
class TBlinkingItems final : public WorkerThread
{
public:
    TBlinkingItems(QObject *mainThreadContext, std::function<void()> toggle, int intervalMs = 500,
                   QObject *parent = nullptr);
    ~TBlinkingItems() override;
    Q_DISABLE_COPY_MOVE(TBlinkingItems)

    // Whether the list shows an entry of a running alarm; the main thread
    // tells after every refill. Any thread.
    void setRunningShown(bool shown);
    // Asleep until a running alarm shows.
    bool isIdle() const
    {
        return isWaitingUntil();
    }

protected:
    void loop() override;

private:
    std::function<void()> m_toggle;
    int m_intervalMs;
    // Written under the loop's lock, so a waiting loop never misses it.
    std::atomic<bool> m_runningShown {false};
};
