#pragma once

#include <cstddef>

// The database engine finds its Unicode library by asking the loader for
// several hundred versioned names in turn (libicuuc.so.4_19, libicuuc.so.419,
// ...) until one exists. Each name that does not exist costs a full search
// of the library path, and the loader maps and unmaps its cache each time:
// about half of the time an attach takes. These functions let the program
// tell such a name at once, from one listing of the folders the loader
// would search.
namespace UnicodeLibraries {

// True when `name` is a bare Unicode library name (libicuuc.so.*,
// libicui18n.so.*) that the loader cannot find: it is in none of the system
// library folders or their per-CPU subfolders, and no LD_LIBRARY_PATH adds
// others. Then `where` (of `size` bytes) holds a full path in the main
// library folder under that name, which the loader refuses at once with its
// own message. False for every other name, and whenever the folders could
// not be read: the loader then searches as usual.
bool cannotBeFound(const char *name, char *where, std::size_t size);

} // namespace UnicodeLibraries
