#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// A reading of the local wall clock: a date and a time of day, kept apart so
// that comparing two readings needs no time-zone look-up. Periods between two
// readings are counted on the calendar, as the clock on the wall shows them.
struct LocalMoment {
    QDate date;
    QTime time;

    bool isValid() const
    {
        return date.isValid() && time.isValid();
    }
    static LocalMoment of(const QDateTime &moment)
    {
        return {moment.date(), moment.time()};
    }
};

// One row of NOTATKI as the alarm checker reads it. A NULL column is a null
// QDate/QTime/LocalMoment here.
struct AlarmRow {
    int id = 0;
    QString title;          // Tytul
    int alarm = 0;          // Alarm: 0 none, 1 running, 2 armed, 3 acknowledged
    int kind = 0;           // AlarmRodzaj: 0 once, 1 daily, 2 weekly, 3 monthly, 4 annual
    QDate alarmDate;        // AlarmData
    QTime alarmTime;        // AlarmGodzina (hours and minutes)
    LocalMoment archive;    // AlarmArchiwum: moment of the last acknowledgement
};

namespace DueRules {

// Whether the alarm of row should go off at the local clock reading now.
bool isDue(const AlarmRow &row, const LocalMoment &now);

// The suffix shown after the alarm moment: empty for one-time and unknown kinds.
QString AlarmKindText(int kind);

// One balloon entry: "[Alarm: yyyy-MM-dd HH:mm] <kind text>\r\n<title>\r\n".
QString balloonEntry(const AlarmRow &row);

} // namespace DueRules
