#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// The codes stored in NOTATKI.Alarm and NOTATKI.AlarmRodzaj.
namespace Alarm {
enum State { None = 0, Running = 1, Armed = 2, Acknowledged = 3 };
enum Kind { Once = 0, Daily = 1, Weekly = 2, Monthly = 3, Annual = 4 };
} // namespace Alarm

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

// One row of NOTATKI. A NULL column is a null QDate/QTime/QDateTime here.
// The creation moment stays a date and a time: building a local QDateTime per
// row costs more than the whole list statement.
struct Note {
    int id = 0;        // ID
    QString title;     // Tytul
    QString body;      // Tresc, with CR LF line breaks as stored
    QDate createdDate; // DataGodzina
    QTime createdTime;
    int alarm = Alarm::None;
    int kind = Alarm::Once; // AlarmRodzaj
    QDate alarmDate;        // AlarmData
    QTime alarmTime;        // AlarmGodzina (hours and minutes)
    LocalMoment archive;    // AlarmArchiwum: moment of the last acknowledgement
};

// The body is stored with CR LF line breaks; the editor works with plain ones.
namespace NoteText {
QString toStored(const QString &editorText);
QString fromStored(const QString &storedText);
// Characters the body takes in the store: a line break counts as two.
int storedLength(const QString &editorText);
constexpr int MaxTitleLength = 50;
constexpr int MaxBodyLength = 5000;
} // namespace NoteText
