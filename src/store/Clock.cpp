#include "Clock.h"

#include <atomic>

namespace {
std::atomic<Clock *> installed {nullptr};
}

QDateTime Clock::currentDateTime()
{
    return instance().currentDateTimeImpl();
}

QDate Clock::currentDate()
{
    return currentDateTime().date();
}

QTime Clock::currentTime()
{
    return currentDateTime().time();
}

QDateTime Clock::currentDateTimeImpl() const
{
    return QDateTime::currentDateTime();
}

void Clock::setInstance(Clock *clock)
{
    installed.store(clock);
}

const Clock &Clock::instance()
{
    static const Clock systemClock;
    const Clock *clock = installed.load();
    return clock ? *clock : systemClock;
}
