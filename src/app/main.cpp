#include "SignalWatcher.h"
#include "Startup.h"
#include "ui/QtNoise.h"

#include <QApplication>

namespace {
// Before any library's initialiser runs, right after the loader has mapped
// the program: a signal that ends the program waits from here on for the
// handlers, which end it in order.
void holdSignalsFirst(int, char **, char **)
{
    SignalWatcher::holdSignals();
}
} // namespace

__attribute__((section(".preinit_array"), used)) static void (*const holdEarly)(int, char **,
                                                                                char **) = holdSignalsFirst;

int main(int argc, char *argv[])
{
    QtNoise::installFilter();
    Startup startup;
    QApplication app(argc, argv);
    return startup.run();
}
