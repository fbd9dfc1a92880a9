#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// Statement composition: every value that goes into SQL text passes through
// one of these, so the quoting rule lives in one place.
namespace Sql {

// 'text' with every inner single quote doubled; nothing else is escaped.
// What storableText() takes out never reaches a statement.
QString quote(const QString &text);

// The text without what no statement can carry or the database cannot hold:
// NUL (it would end the statement's text) and lone halves of surrogate pairs
// (they have no UTF-8 form). The fields where text enters apply it, so that
// they show what will be stored.
QString storableText(const QString &text);

// "yyyy.mm.dd hh:nn:ss", "yyyy.mm.dd" and "hh:nn" texts, unquoted.
QString momentText(const QDateTime &moment);
QString dateText(const QDate &date);
QString timeText(const QTime &time);

inline QString quotedMoment(const QDateTime &moment)
{
    return quote(momentText(moment));
}
inline QString quotedDate(const QDate &date)
{
    return quote(dateText(date));
}
inline QString quotedTime(const QTime &time)
{
    return quote(timeText(time));
}

} // namespace Sql
