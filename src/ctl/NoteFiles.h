#pragma once

#include "store/Note.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QSet>
#include <QString>

#include <vector>

// The files penwickctl writes and reads: its own JSON (every column, back
// again unchanged), Markdown with front matter, plain text, and iCalendar.
namespace NoteFiles {

// "yyyy-MM-dd HH:mm:ss", empty for a null moment.
QString momentText(const QDate &date, const QTime &time);
QString stateWord(int alarm);
QString kindWord(int kind);

// Every column of a note; the body as stored, with CR LF line breaks.
QJsonObject toJson(const Note &note);
// The columns of a list row.
QJsonObject listEntry(const Note &row);
QByteArray exportJson(const std::vector<Note> &notes);

// A note read from a file. Without a creation moment of its own, it counts as
// made now, as the editor makes a note.
struct Read {
    Note note;
    bool dated = false;
};
// Answers an empty text, or what is wrong (and then adds nothing).
QString readJson(const QByteArray &data, const QDateTime &now, std::vector<Read> &notes);
// Markdown or plain text: the front matter this program writes, else the
// title from the first heading, or else from the first line.
QString readText(const QByteArray &data, const QDateTime &now, Read &read);

// A file's content: front matter with the title, creation moment and alarm,
// then the body.
QByteArray markdown(const Note &note);
// A file name for the title that no name in `taken` has, compared without
// letter case, added to it: "Title.md", "Title (2).md", ...
QString markdownName(const QString &title, QSet<QString> &taken);

// The notes with an alarm as to-dos that ring at it; `now` stamps the file.
QByteArray calendar(const std::vector<Note> &notes, const QDateTime &now);

} // namespace NoteFiles
