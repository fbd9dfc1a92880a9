#pragma once

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>

// A background loop that sleeps, may be paused, and reaches the main thread
// only through calls it waits for. A stop request wakes it from every wait,
// also from waiting on the main thread, so the owner can always join it.
class WorkerThread : public QThread
{
public:
    // `mainThreadContext` lives on the main thread and must outlive the loop
    // (the owner stops the thread before the context goes).
    explicit WorkerThread(QObject *mainThreadContext, QObject *parent = nullptr);
    ~WorkerThread() override;
    Q_DISABLE_COPY_MOVE(WorkerThread)

    void requestStop();
    bool stopRequested() const;
    // Stops, wakes and joins. Safe to call more than once.
    void stopAndWait();

    // Never waits for the loop: a pass under way may itself be waiting for
    // the main thread.
    void pause();
    void resume();
    bool isPaused() const;

protected:
    // The thread's work; returns when a stop was requested.
    virtual void loop() = 0;

    // Sleeps up to `ms`; false when a stop was requested.
    bool sleepFor(int ms);
    // Blocks while paused; false when a stop was requested.
    bool waitWhilePaused();
    // Blocks until `ready` holds; false when a stop was requested. `ready` is
    // tested under the loop's lock, so a change made through changeAndWake
    // is never missed.
    bool waitUntil(const std::function<bool()> &ready);
    // Runs `change` under the loop's lock and wakes the loop.
    void changeAndWake(const std::function<void()> &change);
    // Whether the loop is blocked in waitUntil now.
    bool isWaitingUntil() const;
    // Runs `call` on the main thread and waits until it has run; false when
    // the call could not run (stop requested, or the context is gone). On the
    // main thread itself it runs `call` at once.
    bool callMainThread(const std::function<void()> &call);

private:
    void run() final;

    struct State;
    QObject *m_context;
    // Shared with calls queued on the main thread, which may outlive this object.
    std::shared_ptr<State> m_state;
};
