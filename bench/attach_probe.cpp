// One attach to a database file and the access password read after it, as the
// program's start does them, timed: prints "attach_ms A read_ms R".
// Built twice: attach_probe with the program's own library look-up (see
// store/LibraryLookup.cpp) and attach_probe_plain without it, so bench/attach.sh
// can show what the engine's search for its Unicode library costs. Each run is
// a process of its own: the engine searches once per process.
//   attach_probe DATABASE_FILE
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <chrono>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DATABASE_FILE\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (!Firebird::prepareEnvironment(path)) {
        std::fprintf(stderr, "%s\n", qPrintable(Firebird::environmentProblem()));
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    const auto since = [](Clock::time_point start) {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    TDM dm(path, TDM::Connect::Later);
    const Clock::time_point start = Clock::now();
    if (!dm.ConnectDatabase()) {
        std::fprintf(stderr, "cannot attach %s\n", argv[1]);
        return 1;
    }
    const double attach = since(start);
    const Clock::time_point read = Clock::now();
    const StoredPassword stored = dm.ReadAccessPassword();
    const double readMs = since(read);
    std::printf("attach_ms %.2f read_ms %.2f\n", attach, readMs);
    return stored.failed ? 1 : 0;
}
