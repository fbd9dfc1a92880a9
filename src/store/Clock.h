#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

// Every reading of "now", "today" and "time of day" goes through here, so tests
// can put the program at any date and time. Readings are local time.
class Clock
{
public:
    virtual ~Clock() = default;

    static QDateTime currentDateTime();
    static QDate currentDate();
    static QTime currentTime();

protected:
    Clock() = default;
    virtual QDateTime currentDateTimeImpl() const;

    // Tests install their own clock; nullptr restores the system clock.
    static void setInstance(Clock *clock);
    static const Clock &instance();
};
