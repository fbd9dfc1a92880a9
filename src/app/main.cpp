#include "Startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    Startup startup;
    QApplication app(argc, argv);
    return startup.run();
}
