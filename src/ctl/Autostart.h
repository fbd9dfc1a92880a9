#pragma once

#include <QString>

// The desktop session's per-user autostart entry for the program:
// $XDG_CONFIG_HOME/autostart/penwick.desktop (~/.config by default).
namespace Autostart {

QString entryPath();

// Writes the entry from the program's own desktop file, made to start the
// program beside `executableDir`. Answers an empty text, or why not.
QString switchOn(const QString &executableDir);
// Removes the entry; none there is no failure.
QString switchOff();

// The desktop file's Exec value that runs `program` with no arguments.
QString execValue(const QString &program);

} // namespace Autostart
