#include "Commands.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return Commands::run(QCoreApplication::arguments());
}
