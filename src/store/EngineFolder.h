#pragma once

#include <QString>

// Where the embedded engine finds its configuration and keeps its lock files.
//
// Every process that opens one file must use the same lock folder: two
// processes with different ones each keep a page cache of their own and
// overwrite each other's pages without a word. So the folder depends on
// nothing but the file's identity: one folder per file system, under a
// private per-user folder in memory. Whatever name reaches the file (a
// symbolic link, a hard link, a bind mount), it lies on one device, and the
// engine names its lock files inside after the file's device and inode.
//
// In memory, because the engine maps its lock files: on a full disk a page of
// such a mapping cannot be stored and the process dies of SIGBUS.
//
// The engine's root (configuration, plugins, libraries) is another folder of
// the same private one, holding only what the program puts there, so nothing
// that another account or a data folder holds is ever loaded as code.
namespace EngineFolder {

// /dev/shm/penwick-UID: ours alone, or refused.
QString base();
// The engine's root (FIREBIRD): firebird.conf and a link to the character sets.
QString root();
// The lock folder (FIREBIRD_LOCK) of a database file, existing or to be made.
QString forDatabase(const QString &databaseFile);

// Makes the base, the root and the lock folder ready: folders of this user's,
// not links, mode 0700; a base that was open to others is emptied first, as
// anything may have been planted in it. Answers an empty text, or why the
// folders cannot be used.
QString prepare(const QString &lockFolder);

// Whether an older version of the program, which kept its lock files in
// ".penwick-lock" beside the file, has the file open now: the two would use
// two lock folders for one file.
bool olderCopyHolds(const QString &databaseFile);

// A folder in place of /dev/shm, for tests that plant things in the base.
void setMemoryFolderForTests(const QString &folder);

} // namespace EngineFolder
