#pragma once

#include "store/Clock.h"

#include <QMutex>

#include <functional>

// A clock that stands where the test puts it. Installed for the object's life.
class MockClock final : public Clock
{
public:
    explicit MockClock(const QDateTime &now)
        : m_now(now)
    {
        setInstance(this);
    }
    ~MockClock() override
    {
        setInstance(nullptr);
    }
    Q_DISABLE_COPY_MOVE(MockClock)

    void set(const QDateTime &now)
    {
        QMutexLocker locker(&m_mutex);
        m_now = now;
    }
    void advance(qint64 seconds)
    {
        QMutexLocker locker(&m_mutex);
        m_now = m_now.addSecs(seconds);
    }
    // Runs `hook` at the next reading, before it answers: what happens between
    // two steps of the code under test.
    void beforeNextRead(std::function<void()> hook)
    {
        QMutexLocker locker(&m_mutex);
        m_hook = std::move(hook);
    }

protected:
    QDateTime currentDateTimeImpl() const override
    {
        std::function<void()> hook;
        {
            QMutexLocker locker(&m_mutex);
            hook.swap(m_hook);
        }
        if (hook)
            hook();
        QMutexLocker locker(&m_mutex);
        return m_now;
    }

private:
    mutable QMutex m_mutex;
    QDateTime m_now;
    mutable std::function<void()> m_hook;
};
