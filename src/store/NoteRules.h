#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

class TDM;

// What a new note must satisfy before it is stored, and what it gets when the
// user gave nothing: the editor and the companion command apply the same.
namespace NoteRules {

// "Note no " and the number of stored notes plus one; "n. a." when the count
// cannot be read, which is reported as coming from `origin`.
QString defaultTitle(TDM &dm, const QString &origin);

// The search box's text, in characters.
constexpr int MaxSearchLength = 50;

enum class AlarmProblem { None, DateBeforeToday, TimeNotLater };

// The checks of an alarm before a save, against one reading of the clock. The
// time of day is compared on the wall clock, as the checker compares it: a
// time inside today's spring-forward gap stands for the moment the clock jumps
// past it, when the alarm will ring, rather than for no moment at all.
AlarmProblem checkAlarm(const QDate &date, const QTime &time, const QDateTime &now);
// The message the user is shown for a problem; empty for None.
QString message(AlarmProblem problem);

// Whether a title, or a body as stored (a line break is CR LF, two
// characters), fits its field.
bool titleFits(const QString &title);
bool bodyFits(const QString &storedBody);

} // namespace NoteRules
