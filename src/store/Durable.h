#pragma once

#include <QString>

// What a file that must survive a crash needs once it is written: its bytes,
// and then the name it was given, on the disk.
namespace Durable {

// False when the file cannot be opened or synced.
bool syncFile(const QString &path);
void syncFolder(const QString &folder);

} // namespace Durable
