// Child process for the store tests and benchmarks: writes through the data
// module the way the program does, so the tests can kill it or run two at once.
//   storeworker save-and-wait DB          saves a setting and a note, prints "saved", sleeps
//   storeworker write-rows DB PREFIX N    inserts N notes titled PREFIX-i; prints how many were stored
//   storeworker write-settings DB PREFIX N  stores N settings PREFIX-i; prints how many were stored
//   storeworker save-loop DB              inserts notes until killed, printing each ID once stored
//   storeworker hold-row DB ID            changes the note ID without committing; prints "held", sleeps
//   storeworker timed-writes DB N MS      inserts N notes MS apart, printing each one's commit moment
//                                         (CLOCK_MONOTONIC, ns)
// Exits with 3, having written nothing, when the file is refused (the
// engine's folders cannot be ours), with 4 when it cannot be opened.
// `--memory DIR` first puts the engine's private folder under DIR.
#include "store/DataModule.h"
#include "store/EngineFolder.h"
#include "store/Firebird.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>

#include <cstdio>
#include <ctime>

namespace {

int insertNote(TDM &dm, const QString &title)
{
    try {
        const QDateTime now = QDateTime::currentDateTime();
        Note note;
        note.title = title;
        note.body = QStringLiteral("body");
        note.createdDate = note.alarmDate = now.date();
        note.createdTime = note.alarmTime = now.time();
        return dm.insertNote(note);
    } catch (const Firebird::Error &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return -1;
    }
}

// Runs `save` n times; prints how many saves were reported done.
template<class Save> int repeat(int n, Save &&save)
{
    int done = 0;
    for (int i = 0; i < n; ++i) {
        if (save(i))
            ++done;
    }
    std::printf("%d\n", done);
    return done == n ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.size() > 2 && args.at(1) == QLatin1String("--memory")) {
        EngineFolder::setMemoryFolderForTests(args.at(2));
        args.remove(1, 2);
    }
    if (args.size() < 3)
        return 2;
    TDM dm(args.at(2));
    if (!Firebird::environmentProblem().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(Firebird::environmentProblem()));
        return 3;
    }
    if (!dm.isConnected()) {
        std::fprintf(stderr, "%s\n", qPrintable(dm.connectError()));
        return 4;
    }
    const QString mode = args.at(1);
    if (mode == QLatin1String("save-and-wait")) {
        if (!dm.SetSetting(QStringLiteral("Survivor"), QStringLiteral("kept")))
            return 1;
        if (insertNote(dm, QStringLiteral("survives a kill")) <= 0)
            return 1;
        std::printf("saved\n");
        std::fflush(stdout);
        QThread::sleep(60);
        return 0;
    }
    if (mode == QLatin1String("save-loop")) {
        for (int i = 0;; ++i) {
            const int id = insertNote(dm, QStringLiteral("loop-%1").arg(i));
            if (id <= 0)
                return 1;
            std::printf("%d\n", id);
            std::fflush(stdout);
        }
    }
    if (mode == QLatin1String("hold-row") && args.size() == 4) {
        Firebird::Connection holder(args.at(2));
        Firebird::Transaction held(holder, Firebird::Transaction::ReadWrite);
        held.execute(QStringLiteral("UPDATE NOTATKI SET Tytul = Tytul WHERE ID = ") + args.at(3));
        std::printf("held\n");
        std::fflush(stdout);
        QThread::sleep(60);
        return 0;
    }
    if (mode == QLatin1String("timed-writes") && args.size() == 5) {
        for (int i = 0; i < args.at(3).toInt(); ++i) {
            QThread::msleep(args.at(4).toULong());
            if (insertNote(dm, QStringLiteral("timed-%1").arg(i)) <= 0)
                return 1;
            timespec now {};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("%lld\n", qint64(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
        }
        return 0;
    }
    if (args.size() != 5)
        return 2;
    const QString prefix = args.at(3);
    const int n = args.at(4).toInt();
    if (mode == QLatin1String("write-rows"))
        return repeat(n, [&](int i) { return insertNote(dm, prefix + QLatin1Char('-') + QString::number(i)) > 0; });
    if (mode == QLatin1String("write-settings")) {
        return repeat(n, [&](int i) {
            return dm.SetSetting(QStringLiteral("key-%1").arg(i), prefix + QLatin1Char('-') + QString::number(i));
        });
    }
    return 2;
}
