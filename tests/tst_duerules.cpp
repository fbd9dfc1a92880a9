#include "alarms/DueRules.h"

#include <QtTest>

#include <time.h>

namespace {

QDate dateOf(const char *text)
{
    if (!text)
        return QDate();
    const QDate date = QDate::fromString(QLatin1String(text), Qt::ISODate);
    if (!date.isValid())
        qFatal("bad date in test table: %s", text);
    return date;
}

QTime timeOf(const char *text)
{
    if (!text)
        return QTime();
    const QTime time = QTime::fromString(QLatin1String(text), Qt::ISODate);
    if (!time.isValid())
        qFatal("bad time in test table: %s", text);
    return time;
}

// "yyyy-MM-ddTHH:mm:ss", a local wall-clock reading.
LocalMoment momentOf(const char *text)
{
    if (!text)
        return LocalMoment();
    const QStringList parts = QString::fromLatin1(text).split(QLatin1Char('T'));
    const LocalMoment moment {QDate::fromString(parts.value(0), Qt::ISODate),
                              QTime::fromString(parts.value(1), Qt::ISODate)};
    if (parts.size() != 2 || !moment.isValid())
        qFatal("bad local moment in test table: %s", text);
    return moment;
}

enum Kind { Once = 0, Daily = 1, Weekly = 2, Monthly = 3, Annual = 4 };

} // namespace

Q_DECLARE_METATYPE(LocalMoment)

class TestDueRules final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void once_data();
    void once()
    {
        checkDue();
    }
    void daily_data();
    void daily()
    {
        checkDue();
    }
    void weekly_data();
    void weekly()
    {
        checkDue();
    }
    void monthly_data();
    void monthly()
    {
        checkDue();
    }
    void annual_data();
    void annual()
    {
        checkDue();
    }
    void kinds_data();
    void kinds()
    {
        checkDue();
    }
    void daylightSaving_data();
    void daylightSaving()
    {
        checkDue();
    }

    void kindText_data();
    void kindText();
    void balloonEntry_data();
    void balloonEntry();

private:
    static void addDueColumns();
    // date, time, archive and now are ISO texts; nullptr stands for a NULL column.
    static void addDueRow(const char *name, int kind, int state, const char *date, const char *time,
                          const char *archive, const char *now, bool due);
    void checkDue();
};

void TestDueRules::initTestCase()
{
    // Pin local time to a zone with daylight saving (switches on the last
    // Sundays of March and October): the rules must give the same answers
    // across a clock change as on any other day.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    QCOMPARE(QDateTime(QDate(2023, 1, 15), QTime(12, 0)).offsetFromUtc(), 3600);
    QCOMPARE(QDateTime(QDate(2023, 7, 15), QTime(12, 0)).offsetFromUtc(), 7200);
}

void TestDueRules::addDueColumns()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("state");
    QTest::addColumn<QDate>("alarmDate");
    QTest::addColumn<QTime>("alarmTime");
    QTest::addColumn<LocalMoment>("archive");
    QTest::addColumn<LocalMoment>("now");
    QTest::addColumn<bool>("due");
}

void TestDueRules::addDueRow(const char *name, int kind, int state, const char *date, const char *time,
                             const char *archive, const char *now, bool due)
{
    QTest::newRow(name) << kind << state << dateOf(date) << timeOf(time) << momentOf(archive) << momentOf(now) << due;
}

void TestDueRules::checkDue()
{
    QFETCH(int, kind);
    QFETCH(int, state);
    QFETCH(QDate, alarmDate);
    QFETCH(QTime, alarmTime);
    QFETCH(LocalMoment, archive);
    QFETCH(LocalMoment, now);
    QFETCH(bool, due);

    Note row;
    row.id = 7;
    row.title = QStringLiteral("Test");
    row.alarm = state;
    row.kind = kind;
    row.alarmDate = alarmDate;
    row.alarmTime = alarmTime;
    row.archive = archive;

    QCOMPARE(DueRules::isDue(row, now), due);
}

void TestDueRules::once_data()
{
    addDueColumns();
    const char *date = "2023-05-10";
    const char *time = "09:30";

    addDueRow("one second early", Once, 2, date, time, nullptr, "2023-05-10T09:29:59", false);
    addDueRow("at the minute", Once, 2, date, time, nullptr, "2023-05-10T09:30:00", true);
    addDueRow("later that day", Once, 2, date, time, nullptr, "2023-05-10T17:00:00", true);
    addDueRow("running is not acknowledged", Once, 1, date, time, nullptr, "2023-05-10T09:30:00", true);
    addDueRow("acknowledged at the minute", Once, 3, date, time, nullptr, "2023-05-10T09:30:00", false);
    addDueRow("acknowledged, much later", Once, 3, date, time, "2023-05-10T09:31:00", "2024-06-01T12:00:00", false);
    addDueRow("recent archive ignored", Once, 2, date, time, "2023-05-10T09:29:00", "2023-05-10T09:30:00", true);

    addDueRow("missed yesterday 23:00, today 08:00", Once, 2, "2023-05-09", "23:00", nullptr, "2023-05-10T08:00:00",
              true);
    addDueRow("missed last year, midnight", Once, 2, "2022-05-10", "23:00", nullptr, "2023-05-10T00:00:00", true);
    addDueRow("tomorrow, later time today", Once, 2, "2023-05-11", "09:30", nullptr, "2023-05-10T10:00:00", false);
    addDueRow("tomorrow, same time today", Once, 2, "2023-05-11", "09:30", nullptr, "2023-05-10T09:30:00", false);
    addDueRow("next year", Once, 2, "2024-01-01", "00:00", nullptr, "2023-12-31T23:59:59", false);

    addDueRow("null date and time", Once, 2, nullptr, nullptr, nullptr, "2023-05-10T00:00:00", true);
    addDueRow("null date, time of day not reached", Once, 2, nullptr, "10:00", nullptr, "2023-05-10T08:00:00", true);
    addDueRow("null time, day before", Once, 2, "2023-05-11", nullptr, nullptr, "2023-05-10T23:59:59", false);
    addDueRow("null time, from midnight", Once, 2, "2023-05-11", nullptr, nullptr, "2023-05-11T00:00:00", true);
    addDueRow("null date and time, acknowledged", Once, 3, nullptr, nullptr, nullptr, "2023-05-10T12:00:00", false);
}

void TestDueRules::daily_data()
{
    addDueColumns();
    const char *time = "09:00";

    addDueRow("date next week ignored", Daily, 2, "2023-05-17", time, nullptr, "2023-05-10T09:00:00", true);
    addDueRow("null date ignored", Daily, 2, nullptr, time, nullptr, "2023-05-10T09:00:00", true);
    addDueRow("before the time", Daily, 2, "2023-05-01", time, nullptr, "2023-05-10T08:59:59", false);
    addDueRow("late evening", Daily, 2, "2023-05-01", time, nullptr, "2023-05-10T23:59:59", true);
    addDueRow("null time from midnight", Daily, 2, "2023-05-01", nullptr, nullptr, "2023-05-10T00:00:00", true);

    addDueRow("86399 s after acknowledgement", Daily, 2, "2023-05-01", time, "2023-05-09T09:00:01",
              "2023-05-10T09:00:00", false);
    addDueRow("86400 s after acknowledgement", Daily, 2, "2023-05-01", time, "2023-05-09T09:00:00",
              "2023-05-10T09:00:00", true);

    const char *lateAck = "2023-05-09T17:00:00";
    addDueRow("acked 17:00, next day 09:00", Daily, 2, "2023-05-01", time, lateAck, "2023-05-10T09:00:00", false);
    addDueRow("acked 17:00, next day 16:59:59", Daily, 2, "2023-05-01", time, lateAck, "2023-05-10T16:59:59", false);
    addDueRow("acked 17:00, next day 17:00", Daily, 2, "2023-05-01", time, lateAck, "2023-05-10T17:00:00", true);
    addDueRow("acked 17:00, two days on 09:00", Daily, 2, "2023-05-01", time, lateAck, "2023-05-11T09:00:00", true);

    addDueRow("acknowledged state not looked at", Daily, 3, "2023-05-01", time, "2023-05-08T09:00:00",
              "2023-05-10T09:00:00", true);
    addDueRow("archive ahead of clock by hours", Daily, 2, "2023-05-01", time, "2023-05-10T20:00:00",
              "2023-05-10T10:00:00", false);
    addDueRow("archive ahead of clock by two days", Daily, 2, "2023-05-01", time, "2023-05-12T09:00:00",
              "2023-05-10T09:00:00", true);
}

void TestDueRules::weekly_data()
{
    addDueColumns();
    // 2023-05-08 is a Monday.
    const char *monday = "2023-05-08";
    const char *time = "09:00";

    addDueRow("the date itself", Weekly, 2, monday, time, nullptr, "2023-05-08T09:00:00", true);
    addDueRow("next Monday", Weekly, 2, monday, time, nullptr, "2023-05-15T09:00:00", true);
    addDueRow("Tuesday", Weekly, 2, monday, time, nullptr, "2023-05-16T09:00:00", false);
    addDueRow("Sunday", Weekly, 2, monday, time, nullptr, "2023-05-14T09:00:00", false);
    addDueRow("Monday before the time", Weekly, 2, monday, time, nullptr, "2023-05-15T08:59:59", false);
    addDueRow("Monday in a future year", Weekly, 2, "2024-01-01", time, nullptr, "2023-05-15T09:00:00", true);

    const char *wednesdayAck = "2023-05-10T10:00:00";
    addDueRow("acked Wednesday, Monday five days on", Weekly, 2, monday, time, wednesdayAck, "2023-05-15T09:00:00",
              false);
    addDueRow("acked Wednesday, that Monday evening", Weekly, 2, monday, time, wednesdayAck, "2023-05-15T23:59:59",
              false);
    addDueRow("acked Wednesday, Monday twelve days on", Weekly, 2, monday, time, wednesdayAck, "2023-05-22T09:00:00",
              true);

    addDueRow("604799 s after acknowledgement", Weekly, 2, monday, time, "2023-05-08T09:00:01", "2023-05-15T09:00:00",
              false);
    addDueRow("604800 s after acknowledgement", Weekly, 2, monday, time, "2023-05-08T09:00:00", "2023-05-15T09:00:00",
              true);

    // The zero date 1899-12-30 was a Saturday; 2023-05-13 is one too.
    addDueRow("null date on a Saturday", Weekly, 2, nullptr, nullptr, nullptr, "2023-05-13T00:00:00", true);
    addDueRow("null date on a Monday", Weekly, 2, nullptr, nullptr, nullptr, "2023-05-15T00:00:00", false);
}

void TestDueRules::monthly_data()
{
    addDueColumns();
    const char *time = "09:00";

    addDueRow("31st in March", Monthly, 2, "2023-01-31", time, nullptr, "2023-03-31T09:00:00", true);
    addDueRow("31st not on 30 April", Monthly, 2, "2023-01-31", time, nullptr, "2023-04-30T09:00:00", false);
    addDueRow("31st not on 1 May", Monthly, 2, "2023-01-31", time, nullptr, "2023-05-01T09:00:00", false);
    addDueRow("31st not on 28 February", Monthly, 2, "2023-01-31", time, nullptr, "2023-02-28T09:00:00", false);
    addDueRow("30th not on 29 February", Monthly, 2, "2023-01-30", time, nullptr, "2024-02-29T09:00:00", false);
    addDueRow("30th not on 1 March", Monthly, 2, "2023-01-30", time, nullptr, "2024-03-01T09:00:00", false);
    addDueRow("30th in March", Monthly, 2, "2023-01-30", time, nullptr, "2024-03-30T09:00:00", true);
    addDueRow("before the time", Monthly, 2, "2023-01-10", time, nullptr, "2023-03-10T08:59:59", false);
    addDueRow("date in a future year", Monthly, 2, "2030-01-10", time, nullptr, "2023-02-10T09:00:00", true);

    // Fired 10 January, acknowledged five days later.
    const char *lateAck = "2023-01-15T09:00:00";
    addDueRow("acked late, next month 26 days on", Monthly, 2, "2023-01-10", time, lateAck, "2023-02-10T09:00:00",
              false);
    addDueRow("acked late, month after", Monthly, 2, "2023-01-10", time, lateAck, "2023-03-10T09:00:00", true);

    // February 2023 has exactly 28 days.
    addDueRow("28 days less a second", Monthly, 2, "2023-01-10", time, "2023-02-10T09:00:01", "2023-03-10T09:00:00",
              false);
    addDueRow("exactly 28 days", Monthly, 2, "2023-01-10", time, "2023-02-10T09:00:00", "2023-03-10T09:00:00", true);
    addDueRow("acknowledged state not looked at", Monthly, 3, "2023-01-10", time, "2023-02-10T09:00:00",
              "2023-03-10T09:00:00", true);
}

void TestDueRules::annual_data()
{
    addDueColumns();
    const char *leapDay = "2020-02-29";
    const char *time = "09:00";

    addDueRow("29 Feb not on 28 Feb", Annual, 2, leapDay, time, nullptr, "2023-02-28T09:00:00", false);
    addDueRow("29 Feb not on 1 Mar", Annual, 2, leapDay, time, nullptr, "2023-03-01T09:00:00", false);
    addDueRow("29 Feb in a leap year", Annual, 2, leapDay, time, nullptr, "2024-02-29T09:00:00", true);
    addDueRow("29 Feb before the time", Annual, 2, leapDay, time, nullptr, "2024-02-29T08:59:59", false);

    addDueRow("same day, other month", Annual, 2, "2022-03-01", time, nullptr, "2023-04-01T09:00:00", false);
    addDueRow("same month, other day", Annual, 2, "2022-03-01", time, nullptr, "2023-03-02T09:00:00", false);
    addDueRow("date in a future year", Annual, 2, "2031-07-15", time, nullptr, "2023-07-15T09:00:00", true);

    // No 29 February between these, so 365 days plus 6 hours is 16:00.
    const char *ack = "2022-03-01T10:00:00";
    addDueRow("acked 10:00, next year 09:00", Annual, 2, "2022-03-01", time, ack, "2023-03-01T09:00:00", false);
    addDueRow("acked 10:00, next year 15:59:59", Annual, 2, "2022-03-01", time, ack, "2023-03-01T15:59:59", false);
    addDueRow("acked 10:00, next year 16:00", Annual, 2, "2022-03-01", time, ack, "2023-03-01T16:00:00", true);
    addDueRow("acknowledged half a year ago", Annual, 2, "2022-03-01", time, "2022-09-01T10:00:00",
              "2023-03-01T09:00:00", false);
    addDueRow("acknowledged state not looked at", Annual, 3, "2022-03-01", time, "2022-02-01T10:00:00",
              "2023-03-01T09:00:00", true);
}

void TestDueRules::kinds_data()
{
    addDueColumns();
    // 2023-12-30 shares weekday, day and month with the zero date, so every
    // known kind is due here and only the kind decides.
    const char *now = "2023-12-30T12:00:00";

    addDueRow("once", Once, 2, nullptr, nullptr, nullptr, now, true);
    addDueRow("daily", Daily, 2, nullptr, nullptr, nullptr, now, true);
    addDueRow("weekly", Weekly, 2, nullptr, nullptr, nullptr, now, true);
    addDueRow("monthly", Monthly, 2, nullptr, nullptr, nullptr, now, true);
    addDueRow("annual", Annual, 2, nullptr, nullptr, nullptr, now, true);
    addDueRow("kind -1", -1, 2, nullptr, nullptr, nullptr, now, false);
    addDueRow("kind 5", 5, 2, nullptr, nullptr, nullptr, now, false);
    addDueRow("kind 99", 99, 2, nullptr, nullptr, nullptr, now, false);
    addDueRow("kind 5, acknowledged", 5, 3, nullptr, nullptr, nullptr, now, false);
}

void TestDueRules::daylightSaving_data()
{
    addDueColumns();
    // Periods are counted on the calendar: a day after 17:00 is 17:00 the next
    // day, also when that night was an hour shorter or longer.

    // Clocks go forward on 2023-03-26 (02:00 becomes 03:00).
    const char *springAck = "2023-03-25T17:00:00";
    addDueRow("spring, daily, a second early", Daily, 2, nullptr, "09:00", springAck, "2023-03-26T16:59:59", false);
    addDueRow("spring, daily, same time next day", Daily, 2, nullptr, "09:00", springAck, "2023-03-26T17:00:00", true);
    addDueRow("spring, weekly, same time a week on", Weekly, 2, "2023-03-20", "09:00", "2023-03-20T09:00:00",
              "2023-03-27T09:00:00", true);
    addDueRow("spring, weekly, a second early", Weekly, 2, "2023-03-20", "09:00", "2023-03-20T09:00:01",
              "2023-03-27T09:00:00", false);
    addDueRow("spring, monthly, 28 days on", Monthly, 2, "2023-01-29", "09:00", "2023-03-01T09:00:00",
              "2023-03-29T09:00:00", true);
    addDueRow("spring, monthly, a second early", Monthly, 2, "2023-01-29", "09:00", "2023-03-01T09:00:01",
              "2023-03-29T09:00:00", false);

    // Clocks go back on 2023-10-29 (03:00 becomes 02:00 again).
    const char *autumnAck = "2023-10-28T17:00:00";
    addDueRow("autumn, daily, an hour early", Daily, 2, nullptr, "09:00", autumnAck, "2023-10-29T16:00:00", false);
    addDueRow("autumn, daily, a second early", Daily, 2, nullptr, "09:00", autumnAck, "2023-10-29T16:59:59", false);
    addDueRow("autumn, daily, same time next day", Daily, 2, nullptr, "09:00", autumnAck, "2023-10-29T17:00:00", true);
    addDueRow("autumn, acknowledged in the repeated hour", Daily, 2, nullptr, "01:00", "2023-10-29T02:30:00",
              "2023-10-30T02:30:00", true);
    addDueRow("autumn, a second before a day after the repeated hour", Daily, 2, nullptr, "01:00",
              "2023-10-29T02:30:00", "2023-10-30T02:29:59", false);
    addDueRow("autumn, annual, same time a year on", Annual, 2, "2022-10-29", "09:00", "2022-10-29T17:00:00",
              "2023-10-29T23:00:00", true);
    addDueRow("autumn, annual, before the quarter day", Annual, 2, "2022-10-29", "09:00", "2022-10-29T17:00:00",
              "2023-10-29T22:59:59", false);

    // 02:30 does not exist on 2023-03-26: the alarm rings when the clock jumps past it.
    addDueRow("once inside the skipped hour, before", Once, 2, "2023-03-26", "02:30", nullptr, "2023-03-26T01:59:59",
              false);
    addDueRow("once inside the skipped hour, after", Once, 2, "2023-03-26", "02:30", nullptr, "2023-03-26T03:00:00",
              true);
}

void TestDueRules::kindText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");

    QTest::newRow("-1") << -1 << QString();
    QTest::newRow("once") << 0 << QString();
    QTest::newRow("daily") << 1 << QStringLiteral("(daily alarm)");
    QTest::newRow("weekly") << 2 << QStringLiteral("(weekly alarm)");
    QTest::newRow("monthly") << 3 << QStringLiteral("(monthly alarm)");
    QTest::newRow("annual") << 4 << QStringLiteral("(annual alarm)");
    QTest::newRow("5") << 5 << QString();
    QTest::newRow("99") << 99 << QString();
}

void TestDueRules::kindText()
{
    QFETCH(int, kind);
    QFETCH(QString, text);

    QCOMPARE(DueRules::AlarmKindText(kind), text);
}

void TestDueRules::balloonEntry_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("alarmDate");
    QTest::addColumn<QTime>("alarmTime");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("entry");

    QTest::newRow("once") << 0 << QDate(2023, 5, 10) << QTime(9, 5) << QStringLiteral("Zażółć gęślą jaźń")
                          << QStringLiteral("[Alarm: 2023-05-10 09:05] \r\nZażółć gęślą jaźń\r\n");
    QTest::newRow("weekly") << 2 << QDate(2023, 5, 8) << QTime(18, 30) << QStringLiteral("Spotkanie w Łodzi – sala 3")
                            << QStringLiteral(
                                   "[Alarm: 2023-05-08 18:30] (weekly alarm)\r\nSpotkanie w Łodzi – sala 3\r\n");
    QTest::newRow("null date and time") << 0 << QDate() << QTime() << QStringLiteral("Bez terminu")
                                        << QStringLiteral("[Alarm: 1899-12-30 00:00] \r\nBez terminu\r\n");
    QTest::newRow("annual, seconds not shown")
        << 4 << QDate(2020, 2, 29) << QTime(7, 5, 42) << QStringLiteral("Urodziny")
        << QStringLiteral("[Alarm: 2020-02-29 07:05] (annual alarm)\r\nUrodziny\r\n");
    QTest::newRow("monthly, empty title") << 3 << QDate(2023, 1, 31) << QTime(21, 0) << QString()
                                          << QStringLiteral("[Alarm: 2023-01-31 21:00] (monthly alarm)\r\n\r\n");
    QTest::newRow("daily, null date") << 1 << QDate() << QTime(23, 59) << QStringLiteral("Leki")
                                      << QStringLiteral("[Alarm: 1899-12-30 23:59] (daily alarm)\r\nLeki\r\n");
    QTest::newRow("unknown kind") << 7 << QDate(2023, 5, 10) << QTime(0, 1) << QStringLiteral("x")
                                  << QStringLiteral("[Alarm: 2023-05-10 00:01] \r\nx\r\n");
}

void TestDueRules::balloonEntry()
{
    QFETCH(int, kind);
    QFETCH(QDate, alarmDate);
    QFETCH(QTime, alarmTime);
    QFETCH(QString, title);
    QFETCH(QString, entry);

    Note row;
    row.title = title;
    row.kind = kind;
    row.alarm = 2;
    row.alarmDate = alarmDate;
    row.alarmTime = alarmTime;
    row.archive = momentOf("2023-05-01T12:00:00");

    QCOMPARE(DueRules::balloonEntry(row), entry);
}

QTEST_GUILESS_MAIN(TestDueRules)
#include "tst_duerules.moc"
