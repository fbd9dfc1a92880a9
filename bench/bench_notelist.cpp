// Refill times of the note list on the real widget (offscreen), for 1,000,
// 10,000 and 100,000 notes: bodies of about 500 characters, 10 % with an
// alarm, 1 % running. Prints the median per case and the peak RSS. Also one
// pass of the alarm checker over the same notes, and a search's statements
// alone (bench/search_floor.sh times the same ones in isql).
//   bench_notelist [--benchmark_repetitions=N ...]
#include "alarms/AlarmChecker.h"
#include "app/FormMain.h"
#include "store/Clock.h"
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeView>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <map>
#include <memory>

namespace {

QString schemaPath()
{
    return QStringLiteral(PENWICK_SCHEMA_PATH);
}

// A database with `count` notes, made once per size and kept for every case.
// All in one folder: a process opens only the files of one lock folder.
QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

struct Fixture {
    std::unique_ptr<TDM> dm;
    std::unique_ptr<TFormMain> form;

    // `withGrowingLetter`: one more note whose body holds "ɐ", whose upper
    // case takes more bytes; the engine's own folding fails on it.
    Fixture(int count, bool withGrowingLetter)
    {
        const QString path =
            folder().path()
            + QStringLiteral("/dbn-%1%2.ib").arg(count).arg(QLatin1String(withGrowingLetter ? "-ipa" : ""));
        Firebird::Connection::createFromScript(path, schemaPath());
        // One statement, one commit: the engine makes the rows itself. Every
        // hundredth body holds "qzx", so a search for it matches 1 %.
        Firebird::Connection(path).execute(
            QStringLiteral(
                "EXECUTE BLOCK AS DECLARE i INTEGER = 0; DECLARE body VARCHAR(600); BEGIN "
                "body = 'Remember to bring the quarterly figures to the meeting with the auditors; "
                "check the spreadsheet twice, update the budget columns, call the supplier about the "
                "delayed parcel, water the plants on the balcony, book the dentist for next Tuesday, "
                "renew the parking permit before it expires, reply to the letter from the bank, buy "
                "batteries, milk, bread and coffee, and finally write the summary for the team. ';"
                "WHILE (i < %1) DO BEGIN "
                "INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina) "
                "VALUES (:i + 1, 'Note number ' || :i, :body || IIF(MOD(:i, 100) = 37, 'qzx ', '') || :i, "
                "DATEADD(-:i MINUTE TO TIMESTAMP '2025-06-01 12:00:00'), "
                "IIF(MOD(:i, 100) = 0, 1, IIF(MOD(:i, 10) = 0, 2, 0)), 0, DATE '2025-06-02', TIME '09:30'); "
                "i = i + 1; END "
                "END")
                .arg(count));
        if (withGrowingLetter) {
            Firebird::Connection(path).execute(
                QStringLiteral("INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj) "
                               "VALUES (%1, 'IPA', 'kæt [ɐ]', TIMESTAMP '2025-06-02 12:00:00', 0, 0)")
                    .arg(count + 1));
        }
        dm = std::make_unique<TDM>(path);
        FormMainOptions options;
        options.startThreads = false;
        options.trayAvailable = 1;
        options.online.ServiceBaseUrl.clear();
        form = std::make_unique<TFormMain>(*dm, options);
        form->show();
    }
};

// Emptied before the application goes: the windows must not outlive it.
std::map<std::pair<int, bool>, std::unique_ptr<Fixture>> &fixtures()
{
    static std::map<std::pair<int, bool>, std::unique_ptr<Fixture>> made;
    return made;
}

Fixture &fixture(int count, bool withGrowingLetter = false)
{
    auto &slot = fixtures()[{count, withGrowingLetter}];
    if (!slot)
        slot = std::make_unique<Fixture>(count, withGrowingLetter);
    return *slot;
}

double peakRssMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void refill(benchmark::State &state, const QString *search, bool withGrowingLetter = false)
{
    Fixture &f = fixture(int(state.range(0)), withGrowingLetter);
    int rows = 0;
    for (auto _ : state) {
        const bool ok = search ? f.form->FillNoteListBySearch(*search, 0) : f.form->FillNoteList(0);
        // Paint what a user would see, as part of the refill.
        f.form->LVNotatki->viewport()->repaint();
        if (!ok)
            state.SkipWithError("fill failed");
        rows = f.form->LVNotatki->model()->rowCount();
    }
    state.counters["rows"] = rows;
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

// The statements alone, without the widget: where a refill's time goes.
void BM_ReadRowsOnly(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    for (auto _ : state) {
        std::vector<Note> rows;
        if (!f.dm->readNoteList(nullptr, rows))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(rows.data());
    }
}

const QString kMatches = QStringLiteral("qzx");
const QString kNothing = QStringLiteral("zqv");
// In every body; no letter the engine folds beyond ASCII.
const QString kEverywhere = QStringLiteral("the");
// Texts that the bodies are searched for through Unicode: with an "s", or a
// letter beyond ASCII.
const QString kNothingWithS = QStringLiteral("zqs");
const QString kNothingBeyondAscii = QStringLiteral("zqż");

// A search's statements alone, without the widget: the floor of a keystroke.
void searchStatements(benchmark::State &state, const QString &text)
{
    Fixture &f = fixture(int(state.range(0)));
    size_t rows = 0;
    for (auto _ : state) {
        std::vector<Note> found;
        if (!f.dm->readNoteList(&text, found))
            state.SkipWithError("read failed");
        rows = found.size();
    }
    state.counters["rows"] = double(rows);
}
void BM_SearchStatementOnly(benchmark::State &state)
{
    searchStatements(state, kMatches);
}
void BM_SearchNothingStatementOnly(benchmark::State &state)
{
    searchStatements(state, kNothing);
}

void BM_FullRefill(benchmark::State &state)
{
    refill(state, nullptr);
}
void BM_SearchOnePercent(benchmark::State &state)
{
    refill(state, &kMatches);
}
void BM_SearchNothing(benchmark::State &state)
{
    refill(state, &kNothing);
}
void BM_SearchEverywhere(benchmark::State &state)
{
    refill(state, &kEverywhere);
}
void BM_SearchNothingWithS(benchmark::State &state)
{
    refill(state, &kNothingWithS);
}
void BM_SearchNothingBeyondAscii(benchmark::State &state)
{
    refill(state, &kNothingBeyondAscii);
}
// The same where one body holds a letter that fails the engine's folding:
// the bodies are upper-cased once more.
void BM_SearchBeyondAsciiPastGrowingLetter(benchmark::State &state)
{
    refill(state, &kNothingBeyondAscii, true);
}

// A clock stopped before every alarm of the fixture, so a pass fires nothing
// and each one reads and tests all the armed rows.
class StoppedClock final : public Clock
{
public:
    StoppedClock()
    {
        setInstance(this);
    }
    ~StoppedClock() override
    {
        setInstance(nullptr);
    }
    Q_DISABLE_COPY_MOVE(StoppedClock)

protected:
    QDateTime currentDateTimeImpl() const override
    {
        return QDateTime(QDate(2025, 6, 1), QTime(12, 0));
    }
};

void BM_CheckerPass(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    StoppedClock clock;
    int announced = 0;
    TAlarmChecker checker(*f.dm, f.form.get(), [&announced](const QString &, const QString &) { ++announced; });
    for (auto _ : state)
        checker.CheckAlarms();
    if (announced != 0)
        state.SkipWithError("an alarm fired");
}

} // namespace

// Each case: one refill a repetition, 15 repetitions, the median reported.
void measured(benchmark::internal::Benchmark *case_, std::initializer_list<int> sizes)
{
    for (const int size : sizes)
        case_->Arg(size);
    case_->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true)->Iterations(1);
}

BENCHMARK(BM_CheckerPass)->Apply([](auto *case_) { measured(case_, {10000}); });
BENCHMARK(BM_ReadRowsOnly)->Apply([](auto *case_) { measured(case_, {1000, 10000}); });
BENCHMARK(BM_FullRefill)->Apply([](auto *case_) { measured(case_, {1000, 10000, 100000}); });
BENCHMARK(BM_SearchOnePercent)->Apply([](auto *case_) { measured(case_, {1000, 10000, 100000}); });
BENCHMARK(BM_SearchNothing)->Apply([](auto *case_) { measured(case_, {1000, 10000, 100000}); });
BENCHMARK(BM_SearchEverywhere)->Apply([](auto *case_) { measured(case_, {10000}); });
BENCHMARK(BM_SearchNothingWithS)->Apply([](auto *case_) { measured(case_, {10000}); });
BENCHMARK(BM_SearchNothingBeyondAscii)->Apply([](auto *case_) { measured(case_, {10000}); });
BENCHMARK(BM_SearchBeyondAsciiPastGrowingLetter)->Apply([](auto *case_) { measured(case_, {10000}); });
BENCHMARK(BM_SearchStatementOnly)->Apply([](auto *case_) { measured(case_, {10000}); });
BENCHMARK(BM_SearchNothingStatementOnly)->Apply([](auto *case_) { measured(case_, {10000}); });

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixtures().clear();
    return 0;
}
