#pragma once

#include <QStringList>

// penwickctl: Penwick's notes from a terminal or a desktop shortcut, through
// the program's own store and rules, whether or not the program runs.
namespace Commands {

enum Status { Done = 0, Failed = 1, Misused = 2 };

// Runs the command that `arguments` name (the first being the program's own
// name) and answers its exit status. Output goes to stdout in UTF-8; a
// failure is said in one line on stderr.
int run(const QStringList &arguments);

} // namespace Commands
