#pragma once

#include <QString>

// Backups of a notes file in the engine's own format, made and put back
// through its services manager, so a backup needs no program closed.
namespace Backup {

// Writes a backup of `databaseFile` to `backupFile`. It is made under another
// name beside it, readable by this user alone, and renamed into place once it
// is on the disk, so an older backup of that name stays whole until the new
// one is. Answers an empty text, or why not.
QString save(const QString &databaseFile, const QString &backupFile);

struct Restored {
    QString problem; // empty when the file was put in place
    QString keptAs;  // where the file it replaced is kept, if there was one
};

// Puts the notes of `backupFile` in place of `databaseFile`. The backup is
// restored into a new file beside it, which takes the old one's name only
// while no process has that open; the old one is kept beside it. Nothing
// changes when it fails.
Restored restore(const QString &backupFile, const QString &databaseFile);

} // namespace Backup
