#pragma once

#include "store/DataModule.h"

#include <QString>

#include <future>
#include <memory>

class SignalWatcher;
class TDM;
class TFormMain;

// The program's start, in order: attach to the database (on a thread of its
// own, begun before the application object so that the engine loads while Qt
// starts), the access check, the main window with its tray icon, the stored
// window state and the alarm threads; then the event loop. Nothing of the
// program is seen before the access check has passed. When the file is
// unchanged since a run that found no access password, that check is
// answered at once: the tray icon comes first, and the attach begins after it
// (at the same time, the two would share the processor and both be slower).
class Startup final
{
public:
    // Holds back SIGTERM, SIGHUP and SIGINT (every thread started from here on
    // inherits that), then begins attaching.
    Startup();
    ~Startup();
    Startup(const Startup &) = delete;
    Startup &operator=(const Startup &) = delete;

    // Runs the rest of the start and the event loop; answers the exit status.
    // Needs the QApplication.
    int run();

private:
    // Attaches, and reads the access password, on a thread of its own.
    void beginAttach();
    // Shows why the database file is refused, when it is; answers whether.
    bool refusedDatabase(SignalWatcher &signals);
    // Says once why a file that is there could not be opened.
    void sayUnopened(TFormMain &form);
    // At the end: whether the file is left with no access password, for the
    // next start.
    void rememberAccess();

    std::unique_ptr<TDM> m_dm;
    // The attach, and the access password read right after it on the same thread.
    struct Attached {
        bool connected = false;
        StoredPassword password;
    };
    std::future<Attached> m_connected;
    QString m_dataProblem;    // shown once the application object exists
    bool m_knownOpen = false; // no access password, known before the attach
};
