// publicityowner ADDRESS: owns a publicity window the way the tray program
// does. A line "end" on standard input, or its end, ends the window and then
// this program, as the program's orderly end does.

#include "online/publicity/PublicityProcess.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    PublicityProcess publicity;
    if (!publicity.start(QString::fromLocal8Bit(argv[1])))
        return 1;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[64];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0 || QByteArray(buffer, int(n)).contains("end")) {
            publicity.end();
            QCoreApplication::quit();
        }
    });
    return app.exec();
}
