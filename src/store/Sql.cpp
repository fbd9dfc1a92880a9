#include "Sql.h"

namespace Sql {

QString quote(const QString &text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += QLatin1Char('\'');
    for (const QChar c : text) {
        if (c == QLatin1Char('\''))
            quoted += QLatin1Char('\'');
        quoted += c;
    }
    quoted += QLatin1Char('\'');
    return quoted;
}

QString momentText(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("yyyy.MM.dd HH:mm:ss"));
}

QString dateText(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy.MM.dd"));
}

QString timeText(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm"));
}

} // namespace Sql
