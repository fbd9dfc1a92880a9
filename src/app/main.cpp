#include "QtNoise.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QtNoise::installFilter();
    Startup startup;
    QApplication app(argc, argv);
    return startup.run();
}
