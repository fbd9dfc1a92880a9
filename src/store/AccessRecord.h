#pragma once

#include <QString>

// What the end of a run knew about one database file's access password: that
// none was stored. It is kept in the engine's private folder together with the
// file's identity, size and times at that moment, so any later change of the
// file (a write by any program, a copy over it, a touch) makes it void. A
// start that finds it valid knows the password read's answer before the
// engine has opened the file, and need not keep the tray icon waiting.
namespace AccessRecord {

// True when the file is, to the byte, the one a run left with no access
// password stored.
bool saysOpen(const QString &databaseFile);

// Called when the file is closed for good: keeps the record when no access
// password is stored (`open`), removes it otherwise.
void remember(const QString &databaseFile, bool open);

} // namespace AccessRecord
