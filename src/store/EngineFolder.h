#pragma once

#include <QString>

// Where the embedded engine keeps its lock files for a database file. Every
// process that opens one file must use the same lock folder: two processes
// with different ones each keep a page cache of their own and overwrite each
// other's pages without a word. So the folder depends on nothing but the
// file's place: ".penwick-lock" in the folder that really holds the file
// (links followed), whatever the environment says. All files of one folder
// share it, which the engine allows (its lock files are named after each
// file's device and inode).
namespace EngineFolder {

QString forDatabase(const QString &databaseFile);

// Makes the folder when it is missing and checks that it is ours alone: a
// folder, not a link, owned by this user, mode 0700. Answers an empty text,
// or why it cannot be used.
QString makePrivate(const QString &folder);

} // namespace EngineFolder
