#include "NoteRules.h"

#include "Characters.h"
#include "DataModule.h"
#include "Note.h"

namespace NoteRules {

QString defaultTitle(TDM &dm, const QString &origin)
{
    try {
        return QStringLiteral("Note no ") + QString::number(dm.countNotes() + 1);
    } catch (const Firebird::Error &error) {
        dm.ReportFailure(QStringLiteral("Unable to get default title!"), origin, error.message());
        return QStringLiteral("n. a.");
    }
}

AlarmProblem checkAlarm(const QDate &date, const QTime &time, const QDateTime &now)
{
    const QDate today = now.date();
    if (today > date)
        return AlarmProblem::DateBeforeToday;
    if (time > now.time() || date > today)
        return AlarmProblem::None;
    return AlarmProblem::TimeNotLater;
}

QString message(AlarmProblem problem)
{
    switch (problem) {
    case AlarmProblem::DateBeforeToday:
        return QStringLiteral("Alarm date can't be earlier than today's!");
    case AlarmProblem::TimeNotLater:
        return QStringLiteral("Alarm time must be later than the current!");
    case AlarmProblem::None:
        break;
    }
    return {};
}

bool titleFits(const QString &title)
{
    return Characters::count(title) <= NoteText::MaxTitleLength;
}

bool bodyFits(const QString &storedBody)
{
    return Characters::count(storedBody) <= NoteText::MaxBodyLength;
}

} // namespace NoteRules
