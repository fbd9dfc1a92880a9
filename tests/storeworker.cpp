// Child process for the store tests: writes through the data module the way the
// program does, so the tests can kill it or run two at once.
//   storeworker save-and-wait DB   saves a setting and a note, prints "saved", sleeps
//   storeworker write-rows DB PREFIX N   inserts N notes with titles PREFIX-i
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>

#include <cstdio>

namespace {

bool insertNote(TDM &dm, const QString &title)
{
    try {
        const QDateTime now = QDateTime::currentDateTime();
        Note note;
        note.title = title;
        note.body = QStringLiteral("body");
        note.createdDate = note.alarmDate = now.date();
        note.createdTime = note.alarmTime = now.time();
        return dm.insertNote(note) > 0;
    } catch (const Firebird::Error &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return false;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    TDM dm(args.at(2));
    if (args.at(1) == QLatin1String("save-and-wait")) {
        if (!dm.SetSetting(QStringLiteral("Survivor"), QStringLiteral("kept")))
            return 1;
        if (!insertNote(dm, QStringLiteral("survives a kill")))
            return 1;
        std::printf("saved\n");
        std::fflush(stdout);
        QThread::sleep(60);
        return 0;
    }
    if (args.at(1) == QLatin1String("write-rows") && args.size() == 5) {
        const int n = args.at(4).toInt();
        for (int i = 0; i < n; ++i) {
            if (!insertNote(dm, args.at(3) + QLatin1Char('-') + QString::number(i)))
                return 1;
        }
        return 0;
    }
    return 2;
}
