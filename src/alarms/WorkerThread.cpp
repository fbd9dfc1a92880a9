#include "WorkerThread.h"

#include <QMetaObject>
#include <QPointer>

#include <chrono>
#include <condition_variable>
#include <mutex>

// Standard primitives rather than Qt's: their waits are visible to thread
// checkers, which cannot see inside the Qt library.
struct WorkerThread::State {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool paused = false;
    bool waitingUntil = false;
};

namespace {
struct PendingCall {
    bool done = false;
    bool cancelled = false;
};

#ifdef PENWICK_TSAN
// Qt's event queue hands a queued call over under a lock that ThreadSanitizer
// cannot see in Debian's uninstrumented Qt; this one it sees. Not built otherwise.
std::mutex &handOver()
{
    static std::mutex mutex;
    return mutex;
}
#define PENWICK_HAND_OVER(name) std::lock_guard<std::mutex> name(handOver())
#else
#define PENWICK_HAND_OVER(name)
#endif
} // namespace

WorkerThread::WorkerThread(QObject *mainThreadContext, QObject *parent)
    : QThread(parent)
    , m_context(mainThreadContext)
    , m_state(std::make_shared<State>())
{
}

WorkerThread::~WorkerThread()
{
    stopAndWait();
}

void WorkerThread::run()
{
    loop();
}

void WorkerThread::requestStop()
{
    std::lock_guard<std::mutex> locker(m_state->mutex);
    m_state->stop = true;
    m_state->wake.notify_all();
}

bool WorkerThread::stopRequested() const
{
    std::lock_guard<std::mutex> locker(m_state->mutex);
    return m_state->stop;
}

void WorkerThread::stopAndWait()
{
    requestStop();
    wait();
}

void WorkerThread::pause()
{
    std::lock_guard<std::mutex> locker(m_state->mutex);
    m_state->paused = true;
}

void WorkerThread::resume()
{
    std::lock_guard<std::mutex> locker(m_state->mutex);
    if (!m_state->paused)
        return;
    m_state->paused = false;
    m_state->wake.notify_all();
}

bool WorkerThread::isPaused() const
{
    std::lock_guard<std::mutex> locker(m_state->mutex);
    return m_state->paused;
}

bool WorkerThread::sleepFor(int ms)
{
    std::unique_lock<std::mutex> locker(m_state->mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    m_state->wake.wait_until(locker, deadline, [this] { return m_state->stop; });
    return !m_state->stop;
}

bool WorkerThread::waitWhilePaused()
{
    std::unique_lock<std::mutex> locker(m_state->mutex);
    m_state->wake.wait(locker, [this] { return !m_state->paused || m_state->stop; });
    return !m_state->stop;
}

bool WorkerThread::waitUntil(const std::function<bool()> &ready)
{
    std::unique_lock<std::mutex> locker(m_state->mutex);
    m_state->waitingUntil = true;
    m_state->wake.wait(locker, [&] { return m_state->stop || ready(); });
    m_state->waitingUntil = false;
    return !m_state->stop;
}

void WorkerThread::changeAndWake(const std::function<void()> &change)
{
    std::lock_guard<std::mutex> locker(m_state->mutex);
    change();
    m_state->wake.notify_all();
}

bool WorkerThread::isWaitingUntil() const
{
    std::lock_guard<std::mutex> locker(m_state->mutex);
    return m_state->waitingUntil;
}

bool WorkerThread::callMainThread(const std::function<void()> &call)
{
    const std::shared_ptr<State> state = m_state;
    const auto pending = std::make_shared<PendingCall>();
    {
        std::lock_guard<std::mutex> locker(state->mutex);
        if (state->stop)
            return false;
    }
    const QPointer<QObject> context(m_context);
    if (!context)
        return false;
    // Called on the context's own thread (a pass run by hand): a queued call
    // would wait for the loop that is waiting here.
    if (QThread::currentThread() == context->thread()) {
        call();
        return true;
    }
    // Once the worker has given up waiting (stop), the call does nothing.
    bool posted = false;
    {
        PENWICK_HAND_OVER(handing);
        posted = QMetaObject::invokeMethod(
            m_context,
            [state, pending, call] {
                {
                    PENWICK_HAND_OVER(taking);
                }
                {
                    std::lock_guard<std::mutex> locker(state->mutex);
                    if (pending->cancelled)
                        return;
                }
                call();
                std::lock_guard<std::mutex> locker(state->mutex);
                pending->done = true;
                state->wake.notify_all();
            },
            Qt::QueuedConnection);
    }
    if (!posted)
        return false;
    std::unique_lock<std::mutex> locker(state->mutex);
    state->wake.wait(locker, [&] { return pending->done || state->stop; });
    if (!pending->done)
        pending->cancelled = true;
    return pending->done;
}
