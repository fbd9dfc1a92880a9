#include "Sql.h"

namespace Sql {

QString storableText(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            kept += c;
            kept += text.at(++i);
        } else if (c.unicode() != 0 && !c.isSurrogate()) {
            kept += c;
        }
    }
    return kept;
}

QString quote(const QString &text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += QLatin1Char('\'');
    for (const QChar c : storableText(text)) {
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
