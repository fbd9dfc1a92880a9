#include "WorkerThread.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QPointer>

struct WorkerThread::State {
    QMutex mutex;
    QWaitCondition wake;
    bool stop = false;
    bool paused = false;
};

namespace {
struct PendingCall {
    bool done = false;
    bool cancelled = false;
};
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

void WorkerThread::requestStop()
{
    QMutexLocker locker(&m_state->mutex);
    m_state->stop = true;
    m_state->wake.wakeAll();
}

bool WorkerThread::stopRequested() const
{
    QMutexLocker locker(&m_state->mutex);
    return m_state->stop;
}

void WorkerThread::stopAndWait()
{
    requestStop();
    wait();
}

bool WorkerThread::pause()
{
    QMutexLocker locker(&m_state->mutex);
    m_state->paused = true;
    return true;
}

void WorkerThread::resume()
{
    QMutexLocker locker(&m_state->mutex);
    if (!m_state->paused)
        return;
    m_state->paused = false;
    m_state->wake.wakeAll();
}

bool WorkerThread::isPaused() const
{
    QMutexLocker locker(&m_state->mutex);
    return m_state->paused;
}

bool WorkerThread::sleepFor(int ms)
{
    QMutexLocker locker(&m_state->mutex);
    QDeadlineTimer deadline(ms);
    while (!m_state->stop && !deadline.hasExpired())
        m_state->wake.wait(&m_state->mutex, deadline);
    return !m_state->stop;
}

bool WorkerThread::waitWhilePaused()
{
    QMutexLocker locker(&m_state->mutex);
    while (m_state->paused && !m_state->stop)
        m_state->wake.wait(&m_state->mutex);
    return !m_state->stop;
}

bool WorkerThread::callMainThread(const std::function<void()> &call)
{
    const std::shared_ptr<State> state = m_state;
    const auto pending = std::make_shared<PendingCall>();
    {
        QMutexLocker locker(&state->mutex);
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
    const bool posted = QMetaObject::invokeMethod(
        m_context,
        [state, pending, call] {
            {
                QMutexLocker locker(&state->mutex);
                if (pending->cancelled)
                    return;
            }
            call();
            QMutexLocker locker(&state->mutex);
            pending->done = true;
            state->wake.wakeAll();
        },
        Qt::QueuedConnection);
    if (!posted)
        return false;
    QMutexLocker locker(&state->mutex);
    while (!pending->done && !state->stop)
        state->wake.wait(&state->mutex);
    if (!pending->done)
        pending->cancelled = true;
    return pending->done;
}
