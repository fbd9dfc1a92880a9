#pragma once

#include "Note.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// The program's SQL texts, composed by concatenation as the database expects
// them; values go through the Sql helpers.
namespace Statements {

// The note list: running alarms first, then the rest; newest first in each.
QString noteList(bool running);
QString noteSearch(bool running, const QString &text);
// The same search, for when noteSearch fails on a body holding a letter whose
// upper case takes more bytes (ɐ, ɡ): slower, as it reads every body twice.
QString noteSearchUpperCasingBodies(bool running, const QString &text);
// Whether a creation moment's text could contain `text` at all.
bool mayBeInMomentText(const QString &text);

// The search statement that compares the bodies' stored bytes, where that
// selects exactly what noteSearch selects; empty for any other text. It may
// fail on a body of more than BodyBytesInPlace bytes (the editor stores none),
// and noteSearch then gives the rows.
QString noteSearchByBytes(bool running, const QString &text);
// Whether noteSearchByBytes has a statement for `text`.
bool searchableByBytes(const QString &text);
// A body of MaxBodyLength characters takes at most four bytes for each.
constexpr int BodyBytesInPlace = 4 * NoteText::MaxBodyLength;

QString settingValue(const QString &key);
QString settingRow(const QString &key);
QString updateSetting(const QString &key, const QString &value, int id);
QString insertSetting(const QString &key, const QString &value);
// The access password's own read: unlike a setting's, a missing row must stay
// apart from an empty value.
QString accessPassword();

QString countNotes();
QString note(int id);
QString nextNoteId();
QString insertNote(int id, const QString &title, const QString &body, const QDateTime &created, int state, int kind,
                   const QDate &alarmDate, const QTime &alarmTime);
// Every column of `note` under the ID `id`, a null value as NULL: a note
// brought back from an export.
QString insertWholeNote(int id, const Note &note);
QString updateNoteText(int id, const QString &title, const QString &body);
QString deleteNote(int id);

QString alarmState(int id);
// kind -1 writes no details; state 3 stamps the acknowledgement moment.
QString writeAlarmState(int id, int state, int kind, const QDate &date, const QTime &time,
                        const QDateTime &acknowledged);

QString dueAlarmCandidates();

// What a write appends to its own statement so that the change is only made
// from the state that was read: the alarm columns as `read` holds them.
QString whileAlarmUnchanged(const Note &read);
// The acknowledgement's condition: the alarm still runs.
QString whileRunning();
// A snooze's condition: a one-time alarm that still runs.
QString whileRunningOnce();
// Puts a fired alarm back as `read` found it, while it still runs unseen.
QString unfireAlarm(const Note &read);
// The title and body of a note, its row locked until the transaction ends.
QString lockedNoteText(int id);

// The event that every write posts with its commit, so that the other copies
// of the program learn of the change.
inline constexpr char ChangeEvent[] = "penwick_changed";
QString postChange();

} // namespace Statements
