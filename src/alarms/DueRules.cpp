#include "DueRules.h"

#include <QtGlobal>

namespace {

enum AlarmKind {
    Once = 0,
    Daily = 1,
    Weekly = 2,
    Monthly = 3,
    Annual = 4,
};

constexpr int AlarmAcknowledged = 3;

constexpr qint64 MsecsPerDay = 86400 * 1000;
constexpr qint64 SecondsPerDay = 86400;
constexpr qint64 SecondsPerWeek = 7 * SecondsPerDay;
constexpr qint64 SecondsPerYear = 31557600; // 365.25 days

// The database's zero date-time stands in for an empty date or time column.
QDate effectiveDate(const QDate &date)
{
    return date.isValid() ? date : QDate(1899, 12, 30);
}

QTime effectiveTime(const QTime &time)
{
    return time.isValid() ? time : QTime(0, 0);
}

// Whole seconds between now and the last acknowledgement, in either direction,
// so a clock set back does not silence an alarm for good. The two readings are
// subtracted on the calendar: the day of a clock change counts as one day, so
// a daily alarm acknowledged at 17:00 is due at 17:00 the next day, whatever
// the clocks did overnight. Returns -1 when there was no acknowledgement yet.
qint64 secondsSinceAcknowledged(const Note &row, const LocalMoment &now)
{
    if (!row.archive.isValid())
        return -1;
    const qint64 msecs = row.archive.date.daysTo(now.date) * MsecsPerDay + row.archive.time.msecsTo(now.time);
    return qAbs(msecs) / 1000;
}

bool periodPassed(qint64 elapsed, qint64 wholeUnits, qint64 unitSeconds)
{
    return elapsed < 0 || elapsed / unitSeconds >= wholeUnits;
}

} // namespace

namespace DueRules {

bool isDue(const Note &row, const LocalMoment &now)
{
    if (!now.isValid())
        return false;

    const QDate date = effectiveDate(row.alarmDate);
    const QTime time = effectiveTime(row.alarmTime);
    const QDate today = now.date;
    const bool timeReached = now.time >= time;
    const qint64 elapsed = secondsSinceAcknowledged(row, now);

    switch (row.kind) {
    case Once:
        // On the wall clock, a time inside a spring-forward gap is reached when
        // the clock jumps past it. A moment missed while the program was not
        // running fires at the first pass after it.
        return row.alarm != AlarmAcknowledged && (today > date || (today == date && timeReached));
    case Daily:
        return timeReached && periodPassed(elapsed, 1, SecondsPerDay);
    case Weekly:
        return today.dayOfWeek() == date.dayOfWeek() && timeReached && periodPassed(elapsed, 1, SecondsPerWeek);
    case Monthly:
        return today.day() == date.day() && timeReached && periodPassed(elapsed, 4, SecondsPerWeek);
    case Annual:
        return today.month() == date.month() && today.day() == date.day() && timeReached
               && periodPassed(elapsed, 1, SecondsPerYear);
    default:
        return false;
    }
}

QString AlarmKindText(int kind)
{
    switch (kind) {
    case Daily:
        return QStringLiteral("(daily alarm)");
    case Weekly:
        return QStringLiteral("(weekly alarm)");
    case Monthly:
        return QStringLiteral("(monthly alarm)");
    case Annual:
        return QStringLiteral("(annual alarm)");
    default:
        return QString();
    }
}

QString balloonEntry(const Note &row)
{
    const QString date = effectiveDate(row.alarmDate).toString(QStringLiteral("yyyy-MM-dd"));
    const QString time = effectiveTime(row.alarmTime).toString(QStringLiteral("HH:mm"));
    return QStringLiteral("[Alarm: ") + date + QLatin1Char(' ') + time + QStringLiteral("] ") + AlarmKindText(row.kind)
           + QStringLiteral("\r\n") + row.title + QStringLiteral("\r\n");
}

QDateTime snoozedUntil(const QDateTime &now)
{
    constexpr int snoozeSeconds = 10 * 60;
    // Rounded up, never down: a snoozed alarm rings no sooner than it said.
    const QDateTime later = now.addSecs(snoozeSeconds);
    const QTime time = later.time();
    const QDateTime minute(later.date(), QTime(time.hour(), time.minute()));
    return minute < later ? minute.addSecs(60) : minute;
}

} // namespace DueRules
