#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// Statement composition: every value that goes into SQL text passes through
// one of these, so the quoting rule lives in one place.
namespace Sql {

// 'text' with every inner single quote doubled; nothing else is escaped.
QString quote(const QString &text);

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
