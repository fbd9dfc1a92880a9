// Linked into the program itself and exported, so that the database engine's
// calls to dlopen() reach this definition before the C library's: names of
// the Unicode library that cannot exist are refused at once instead of after
// a search of the whole library path (see store/UnicodeLibraries.h).
#include "store/UnicodeLibraries.h"

#include <dlfcn.h>

#include <climits>

extern "C" void *dlopen(const char *file, int mode)
{
    using Open = void *(*)(const char *, int);
    static const Open next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "dlopen"));
    char where[PATH_MAX];
    if (UnicodeLibraries::cannotBeFound(file, where, sizeof where))
        return next(where, mode);
    return next(file, mode);
}
