// Live copies, in two measures:
//   bench_live latency STOREWORKER [CHANGES]
//     from a commit in another process to this copy's refilled list: the
//     worker inserts CHANGES notes 100 ms apart and prints each commit's
//     moment; this copy's window (offscreen) notes each refill's.
//   bench_live held [SECONDS]
//     the main thread while another connection holds the row of a due alarm:
//     how late a 10 ms timer fires while the checker makes passes every
//     100 ms and the list is refilled every 200 ms, and how long a save of
//     that row takes to fail as busy.
//   bench_live ops DATABASE LABEL
//     on a database made elsewhere (a file, or one on a server): a search
//     keystroke's refill (the text "Note number 4", about 1,000 of 10,000
//     notes) and a save of a new note, medians of 15 and 30.
// Each prints one result line for bench/bench_table.py.
#include "app/FormMain.h"
#include "app/NoteListModel.h"
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

qint64 monotonicNs()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

FormMainOptions windowOptions(bool threads)
{
    FormMainOptions options;
    options.buildWindow = true;
    options.startThreads = threads;
    options.checkerIntervalMs = 100;
    options.trayAvailable = 1;
    options.quit = [] {};
    options.online.ServiceBaseUrl.clear();
    return options;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int latency(const QString &path, const QString &worker, int changes)
{
    TDM dm(path);
    TFormMain form(dm, windowOptions(false));
    std::vector<std::pair<qint64, int>> refills; // moment, rows
    QObject::connect(form.ListModel, &QAbstractItemModel::modelReset, &form,
                     [&] { refills.emplace_back(monotonicNs(), form.ListModel->count()); });
    QProcess writer;
    writer.start(worker, {QStringLiteral("timed-writes"), path, QString::number(changes), QStringLiteral("100")});
    QElapsedTimer waited;
    waited.start();
    while ((writer.state() != QProcess::NotRunning || form.ListModel->count() < changes) && waited.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (writer.exitCode() != 0 || form.ListModel->count() < changes) {
        std::fprintf(stderr, "the writer failed or its notes did not show: %s\n", writer.readAllStandardError().data());
        return 1;
    }
    std::vector<double> delays;
    const QList<QByteArray> commits = writer.readAllStandardOutput().trimmed().split('\n');
    for (int i = 0; i < commits.size(); ++i) {
        const qint64 committed = commits.at(i).toLongLong();
        const auto shown = std::find_if(refills.cbegin(), refills.cend(), [&](const auto &refill) {
            return refill.first >= committed && refill.second >= i + 1;
        });
        if (shown != refills.cend())
            delays.push_back(double(shown->first - committed) / 1e6);
    }
    if (delays.size() != size_t(changes)) {
        std::fprintf(stderr, "only %zu of %d changes were matched to a refill\n", delays.size(), changes);
        return 1;
    }
    std::printf("live latency ms: median %.1f worst %.1f changes %d refills %zu\n", median(delays),
                *std::max_element(delays.cbegin(), delays.cend()), changes, refills.size());
    return 0;
}

int held(const QString &path, int seconds)
{
    Firebird::Connection(path).execute(
        QStringLiteral("INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, "
                       "AlarmGodzina) VALUES (1, 'Due', 'held', '2024.05.01 10:00:00', 2, 0, '2024.05.01', '09:00')"));
    Firebird::Connection holder(path);
    Firebird::Transaction holding(holder, Firebird::Transaction::ReadWrite);
    holding.execute(QStringLiteral("UPDATE NOTATKI SET Tytul = Tytul WHERE ID = 1"));

    TDM dm(path);
    TFormMain form(dm, windowOptions(true));
    std::vector<double> late;
    QElapsedTimer since;
    since.start();
    qint64 expected = 10;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &form, [&] {
        late.push_back(double(std::max<qint64>(0, since.elapsed() - expected)));
        expected = since.elapsed() + 10;
    });
    ticker.start(10);
    QTimer refill;
    QObject::connect(&refill, &QTimer::timeout, &form, [&] { form.FillNoteList(form.SelectedNoteId); });
    refill.start(200);
    while (since.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ticker.stop();
    refill.stop();
    QElapsedTimer save;
    save.start();
    bool busy = false;
    try {
        dm.writeAlarmStateOrThrow(1, 0);
    } catch (const Firebird::Error &error) {
        busy = error.busy();
    }
    const double saveMs = double(save.elapsed());
    const bool fired = dm.readNote(1)->alarm != 2;
    std::printf("held row: timer late ms median %.1f worst %.1f; busy save ms %.0f (%s); alarm %s\n", median(late),
                late.empty() ? -1.0 : *std::max_element(late.cbegin(), late.cend()), saveMs, busy ? "busy" : "NOT busy",
                fired ? "CHANGED" : "kept");
    return busy && !fired ? 0 : 1;
}

int ops(const QString &database, const QString &label)
{
    TDM dm(database);
    if (!dm.isConnected()) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(database), qPrintable(dm.connectError()));
        return 1;
    }
    TFormMain form(dm, windowOptions(false));
    std::vector<double> searches;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!form.FillNoteListBySearch(QStringLiteral("Note number 4"), -1))
            return 1;
        searches.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::vector<double> saves;
    std::vector<int> made;
    for (int i = 0; i < 30; ++i) {
        Note note;
        note.title = QStringLiteral("saved %1").arg(i);
        note.body = QStringLiteral("a body of a few words");
        note.createdDate = note.alarmDate = QDate::currentDate();
        note.createdTime = note.alarmTime = QTime::currentTime();
        QElapsedTimer timer;
        timer.start();
        made.push_back(dm.insertNote(note));
        saves.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    for (const int id : made)
        dm.deleteNote(id);
    std::printf("ops %s: search ms median %.1f; save ms median %.1f; rows %d\n", qPrintable(label), median(searches),
                median(saves), form.ListModel->count());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2)
        return 2;
    if (args.at(1) == QLatin1String("ops") && args.size() == 4)
        return ops(args.at(2), args.at(3));
    QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/dbn.ib");
    Firebird::Connection::createFromScript(path, QStringLiteral(PENWICK_SCHEMA_PATH));
    if (args.at(1) == QLatin1String("latency") && args.size() >= 3)
        return latency(path, args.at(2), args.size() > 3 ? args.at(3).toInt() : 50);
    if (args.at(1) == QLatin1String("held"))
        return held(path, args.size() > 2 ? args.at(2).toInt() : 5);
    return 2;
}
