#include "Startup.h"
#include "ui/QtNoise.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QtNoise::installFilter();
    Startup startup;
    QApplication app(argc, argv);
    return startup.run();
}
