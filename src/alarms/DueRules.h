#pragma once

#include "store/Note.h"

#include <QDateTime>
#include <QString>

namespace DueRules {

// Whether the alarm of row should go off at the local clock reading now.
bool isDue(const Note &row, const LocalMoment &now);

// The suffix shown after the alarm moment: empty for one-time and unknown kinds.
QString AlarmKindText(int kind);

// One balloon entry: "[Alarm: yyyy-MM-dd HH:mm] <kind text>\r\n<title>\r\n".
QString balloonEntry(const Note &row);

// The moment "Snooze 10 min" re-arms an alarm for: ten minutes from now, to
// the next whole minute, as an alarm's time is stored.
QDateTime snoozedUntil(const QDateTime &now);

} // namespace DueRules
