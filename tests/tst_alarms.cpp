#include "FormProbe.h"
#include "MockClock.h"
#include "TestDatabase.h"
#include "alarms/AlarmChecker.h"
#include "app/FormMain.h"
#include "app/NoteListModel.h"
#include "app/Notifier.h"
#include "store/DataModule.h"
#include "store/Firebird.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

const QString kBalloonTitle = QStringLiteral("Penwick A L A R M");

QDateTime at(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

QString column(const TestDatabase &db, const char *name, int id)
{
    return TestSql::value(db.path(),
                          QStringLiteral("SELECT %1 FROM NOTATKI WHERE ID = %2").arg(QLatin1String(name)).arg(id));
}

QString stateOf(const TestDatabase &db, int id)
{
    return column(db, "Alarm", id);
}

QString archiveOf(const TestDatabase &db, int id)
{
    return column(db, "AlarmArchiwum", id);
}

struct Announcement {
    QString title;
    QString text;
    int runningAtCall = -1; // notes in state 1 while the announcement ran
};

// Announcements run on the main thread, so plain containers suffice.
struct Announcements {
    QVector<Announcement> calls;
    QString databasePath;

    TAlarmChecker::Announce recorder()
    {
        return [this](const QString &title, const QString &text) {
            calls.push_back({title, text, TestSql::count(databasePath, QStringLiteral("WHERE Alarm = 1"))});
        };
    }
};

// A clock that also tells when a background thread has read it: the checker
// reads it for each row it tests, right before firing a due one.
class SignallingClock final : public Clock
{
public:
    explicit SignallingClock(const QDateTime &now)
        : m_now(now)
    {
        setInstance(this);
    }
    ~SignallingClock() override
    {
        setInstance(nullptr);
    }
    Q_DISABLE_COPY_MOVE(SignallingClock)

    mutable QSemaphore backgroundReads;

protected:
    QDateTime currentDateTimeImpl() const override
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            backgroundReads.release();
        return m_now;
    }

private:
    const QDateTime m_now;
};

// Cancels the first modal dialog other than `over` that shows, after `inspect`
// has looked at it. The caller deletes the returned timer once the command has
// returned.
QTimer *cancelModalWhenShown(std::function<void(QWidget *)> inspect, QWidget *over = nullptr)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, inspect, over] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == over)
            return;
        timer->stop();
        inspect(modal);
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    });
    timer->start();
    return timer;
}

FormMainOptions threadedOptions(int checkerMs, int blinkMs)
{
    FormMainOptions options;
    options.checkerIntervalMs = checkerMs;
    options.blinkIntervalMs = blinkMs;
    options.startThreads = true;
    options.buildWindow = true;
    options.quit = [] {};
    return options;
}

} // namespace

class TestAlarms final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    // One pass over a real database.
    void passFiresDueAlarmsNewestFirst();
    void failedStateWriteAnnouncesAndFiresAgain();
    void failingPassEndsSilently();
    void stateWriteNeverOverlapsMainThreadStatements();
    void firingIsGuardedAcrossCopies_data();
    void firingIsGuardedAcrossCopies();
    void notificationActionsAreGuarded_data();
    void notificationActionsAreGuarded();

    // Pausing.
    void pausedCheckerStartsNoPass();
    void pauseDoesNotWaitForThePass();
    void commandsResumeTheChecker();

    // Blinking.
    void blinkOnEmptyOrQuietList();
    void blinkSwapsLeadingRunningEntriesTogether();
    void blinkAfterRefillStartsInOnePhase();
    void blinkPassesOverUnknownPicture();
    void blinkingSleepsUntilARunningAlarmShows();

    // Both threads inside the program.
    void dueAlarmIsAnnouncedListedAndBlinks();

    // Shutdown.
    void shutdownWhilePausedOrSleeping();
    void shutdownWhileWaitingForTheMainThread();
    void stopFromInsideTheMainThreadCall();
};

void TestAlarms::init()
{
    MessageBox::setRecording(true);
}

void TestAlarms::passFiresDueAlarmsNewestFirst()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    // IDs deliberately out of creation order: the pass goes by DataGodzina.
    TestSql::insertNote(path, 3, QStringLiteral("Call the dentist"), QStringLiteral("2024.05.01 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:30"));
    TestSql::insertNote(path, 7, QStringLiteral("Water the plants"), QStringLiteral("2024.05.03 10:00:00"), 2, 1,
                        QStringLiteral("2024.05.20"), QStringLiteral("08:15"));
    TestSql::insertNote(path, 1, QStringLiteral("Weekly stand-up"), QStringLiteral("2024.05.05 10:00:00"), 3, 2,
                        QStringLiteral("2024.04.29"), QStringLiteral("09:00"), QString(),
                        QStringLiteral("2024.04.29 09:10:00"));
    // Not due: later today, no alarm, already running, a spent once alarm, an unknown kind.
    TestSql::insertNote(path, 4, QStringLiteral("Later today"), QStringLiteral("2024.05.06 08:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:31"));
    TestSql::insertNote(path, 5, QStringLiteral("Plain"), QStringLiteral("2024.05.06 07:00:00"));
    TestSql::insertNote(path, 6, QStringLiteral("Still running"), QStringLiteral("2024.05.02 10:00:00"), 1, 0,
                        QStringLiteral("2024.05.01"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 8, QStringLiteral("Done once"), QStringLiteral("2024.05.04 10:00:00"), 3, 0,
                        QStringLiteral("2024.05.01"), QStringLiteral("09:00"), QString(),
                        QStringLiteral("2024.05.01 10:00:00"));
    TestSql::insertNote(path, 9, QStringLiteral("Odd kind"), QStringLiteral("2024.05.04 11:00:00"), 2, 7,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:00"));

    MockClock clock(at(2024, 5, 6, 9, 30));
    TDM dm(path);
    QObject context;
    Announcements seen;
    seen.databasePath = path;
    TAlarmChecker checker(dm, &context, seen.recorder(), 60000);

    checker.CheckAlarms();

    const QString weekly = QStringLiteral("[Alarm: 2024-04-29 09:00] (weekly alarm)\r\nWeekly stand-up\r\n");
    const QString daily = QStringLiteral("[Alarm: 2024-05-20 08:15] (daily alarm)\r\nWater the plants\r\n");
    const QString once = QStringLiteral("[Alarm: 2024-05-06 09:30] \r\nCall the dentist\r\n");
    QCOMPARE(seen.calls.size(), 3);
    for (const Announcement &call : std::as_const(seen.calls))
        QCOMPARE(call.title, kBalloonTitle);
    QCOMPARE(seen.calls[0].text, weekly);
    QCOMPARE(seen.calls[1].text, weekly + daily);
    QCOMPARE(seen.calls[2].text, weekly + daily + once);
    // Each note is marked running before its own announcement, one at a time
    // (note 6 was running already).
    QCOMPARE(seen.calls[0].runningAtCall, 2);
    QCOMPARE(seen.calls[1].runningAtCall, 3);
    QCOMPARE(seen.calls[2].runningAtCall, 4);

    for (const int id : {1, 3, 7}) {
        QCOMPARE(stateOf(db, id), QStringLiteral("1"));
        QCOMPARE(archiveOf(db, id), QStringLiteral("<null>"));
    }
    QCOMPARE(stateOf(db, 4), QStringLiteral("2"));
    QCOMPARE(stateOf(db, 5), QStringLiteral("0"));
    QCOMPARE(stateOf(db, 6), QStringLiteral("1"));
    QCOMPARE(stateOf(db, 8), QStringLiteral("3"));
    QCOMPARE(archiveOf(db, 8), QStringLiteral("2024-05-01 10:00:00"));
    QCOMPARE(stateOf(db, 9), QStringLiteral("2"));

    // Running alarms are not announced again.
    checker.CheckAlarms();
    QCOMPARE(seen.calls.size(), 3);

    // The next pass starts with an empty text.
    clock.set(at(2024, 5, 6, 9, 31));
    checker.CheckAlarms();
    QCOMPARE(seen.calls.size(), 4);
    QCOMPARE(seen.calls[3].text, QStringLiteral("[Alarm: 2024-05-06 09:31] \r\nLater today\r\n"));
    QCOMPARE(stateOf(db, 4), QStringLiteral("1"));
    QCOMPARE(stateOf(db, 9), QStringLiteral("2"));
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

void TestAlarms::failedStateWriteAnnouncesAndFiresAgain()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TestSql::insertNote(path, 12, QStringLiteral("Refused"), QStringLiteral("2024.05.01 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:00"));
    TestSql::exec(path, QStringLiteral("CREATE EXCEPTION RUNNING_REFUSED 'running state refused'"));
    TestSql::exec(path, QStringLiteral("CREATE TRIGGER NOTATKI_NO_RUNNING FOR NOTATKI BEFORE UPDATE AS "
                                       "BEGIN IF (NEW.Alarm = 1) THEN EXCEPTION RUNNING_REFUSED; END"));

    MockClock clock(at(2024, 5, 6, 9, 30));
    TDM dm(path);
    QObject context;
    Announcements seen;
    seen.databasePath = path;
    TAlarmChecker checker(dm, &context, seen.recorder(), 60000);
    const QString entry = QStringLiteral("[Alarm: 2024-05-06 09:00] \r\nRefused\r\n");

    checker.CheckAlarms();
    QCOMPARE(seen.calls.size(), 1);
    QCOMPARE(seen.calls[0].title, kBalloonTitle);
    QCOMPARE(seen.calls[0].text, entry);
    QCOMPARE(stateOf(db, 12), QStringLiteral("2"));

    checker.CheckAlarms();
    QCOMPARE(seen.calls.size(), 2);
    QCOMPARE(seen.calls[1].text, entry);
    QCOMPARE(stateOf(db, 12), QStringLiteral("2"));

    // Once the write goes through, the alarm runs and stays quiet.
    TestSql::exec(path, QStringLiteral("DROP TRIGGER NOTATKI_NO_RUNNING"));
    dm.DisconnectDatabase(); // the next statement attaches anew and sees the change
    checker.CheckAlarms();
    QCOMPARE(seen.calls.size(), 3);
    QCOMPARE(stateOf(db, 12), QStringLiteral("1"));
    checker.CheckAlarms();
    QCOMPARE(seen.calls.size(), 3);
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

void TestAlarms::failingPassEndsSilently()
{
    MockClock clock(at(2024, 5, 6, 9, 30));
    QObject context;
    {
        // No database at all: the connection fails inside the pass.
        TDM dm(TestDatabase::unusedPath());
        Announcements seen;
        TAlarmChecker checker(dm, &context, seen.recorder(), 60000);
        checker.CheckAlarms();
        checker.CheckAlarms();
        QVERIFY(seen.calls.isEmpty());
    }

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TestSql::insertNote(path, 2, QStringLiteral("Due"), QStringLiteral("2024.05.01 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:00"));
    {
        // The file goes away while the program runs; the pass after its
        // return fires as usual.
        TDM dm(path);
        Announcements seen;
        seen.databasePath = path;
        TAlarmChecker checker(dm, &context, seen.recorder(), 60000);
        const QString away = path + QStringLiteral(".away");
        QVERIFY(QFile::rename(path, away));
        dm.DisconnectDatabase();
        checker.CheckAlarms();
        QVERIFY(seen.calls.isEmpty());
        QVERIFY(QFile::rename(away, path));
        QCOMPARE(stateOf(db, 2), QStringLiteral("2"));
        checker.CheckAlarms();
        QCOMPARE(seen.calls.size(), 1);
        QCOMPARE(stateOf(db, 2), QStringLiteral("1"));
    }

    // A column the pass reads is gone: nothing fires, nothing is written.
    TestSql::exec(path, QStringLiteral("UPDATE NOTATKI SET Alarm = 2 WHERE ID = 2"));
    TestSql::exec(path, QStringLiteral("ALTER TABLE NOTATKI ALTER COLUMN AlarmGodzina TO AlarmGodz"));
    {
        TDM dm(path);
        Announcements seen;
        TAlarmChecker checker(dm, &context, seen.recorder(), 60000);
        checker.CheckAlarms();
        QVERIFY(seen.calls.isEmpty());
        QCOMPARE(stateOf(db, 2), QStringLiteral("2"));
    }
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

void TestAlarms::stateWriteNeverOverlapsMainThreadStatements()
{
    // The main thread keeps refilling the list while the checker fires many
    // alarms; a state write sharing the main thread's query would tear it.
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    constexpr int dueNotes = 100;
    constexpr int otherNotes = 5;
    for (int i = 1; i <= dueNotes; ++i) {
        TestSql::insertNote(path, i, QStringLiteral("Due %1").arg(i),
                            at(2024, 4, 1, 8, 0).addSecs(i * 60).toString(QStringLiteral("yyyy.MM.dd HH:mm:ss")), 2, 0,
                            QStringLiteral("2024.05.06"), QStringLiteral("09:00"));
    }
    for (int i = 1; i <= otherNotes; ++i)
        TestSql::insertNote(path, 100 + i, QStringLiteral("Other %1").arg(i), QStringLiteral("2024.03.01 10:00:00"));

    MockClock clock(at(2024, 5, 6, 9, 30));
    TDM dm(path);
    {
        TFormMain form(dm, threadedOptions(1, 60000));
        int announced = 0;
        form.BalloonNotifier->sink = [&announced](const QString &, const QString &) { ++announced; };
        const QDeadlineTimer deadline(60000);
        while (announced < dueNotes && !deadline.hasExpired()) {
            QVERIFY(form.FillNoteList(-1));
            QCOMPARE(form.ListModel->count(), dueNotes + otherNotes);
            QCOMPARE(dm.GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("-1"));
            QCoreApplication::processEvents();
        }
        QCOMPARE(announced, dueNotes);
    }
    QCOMPARE(TestSql::count(path, QStringLiteral("WHERE Alarm = 1")), dueNotes);
}

void TestAlarms::firingIsGuardedAcrossCopies_data()
{
    // What another copy of the program does between this copy's reading of
    // the due alarms and its firing of one.
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<int>("mine");
    QTest::addColumn<int>("theirs");
    QTest::addColumn<QString>("state");
    QTest::newRow("nothing") << 0 << "" << 1 << 0 << "1";
    QTest::newRow("fired it") << 0 << "fired" << 0 << 1 << "1";
    QTest::newRow("fired and acknowledged it") << 0 << "acknowledged" << 0 << 1 << "3";
    QTest::newRow("switched it off") << 0 << "off" << 0 << 0 << "0";
    QTest::newRow("fired and acknowledged a daily alarm") << 1 << "acknowledged" << 0 << 1 << "3";
    QTest::newRow("holds its row") << 0 << "held" << 0 << 0 << "2";
}

void TestAlarms::firingIsGuardedAcrossCopies()
{
    // Two copies on one file: each due alarm is announced once, and never
    // written over what the other copy did with it meanwhile.
    QFETCH(int, kind);
    QFETCH(QString, meanwhile);
    QFETCH(int, mine);
    QFETCH(int, theirs);
    QFETCH(QString, state);
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TestSql::insertNote(path, 5, QStringLiteral("Due"), QStringLiteral("2024.05.01 10:00:00"), kind == 0 ? 2 : 3, kind,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:00"), QString(),
                        kind == 0 ? QString() : QStringLiteral("2024.05.04 09:10:00"));
    MockClock clock(at(2024, 5, 6, 9, 30));
    TDM ours(path);
    TDM other(path);
    QObject context;
    Announcements seenHere;
    Announcements seenThere;
    seenHere.databasePath = seenThere.databasePath = path;
    TAlarmChecker checker(ours, &context, seenHere.recorder(), 60000);
    TAlarmChecker otherChecker(other, &context, seenThere.recorder(), 60000);
    std::unique_ptr<Firebird::Connection> holder;
    std::unique_ptr<Firebird::Transaction> held;
    // The pass reads the clock once it has read the rows.
    clock.beforeNextRead([&] {
        if (meanwhile == QStringLiteral("fired") || meanwhile == QStringLiteral("acknowledged"))
            otherChecker.CheckAlarms();
        if (meanwhile == QStringLiteral("acknowledged")) {
            clock.advance(60);
            other.acknowledgeAlarm(5);
        }
        if (meanwhile == QStringLiteral("off"))
            other.writeAlarmStateOrThrow(5, Alarm::None);
        if (meanwhile == QStringLiteral("held")) {
            holder = std::make_unique<Firebird::Connection>(path);
            held = std::make_unique<Firebird::Transaction>(*holder, Firebird::Transaction::ReadWrite);
            held->execute(QStringLiteral("UPDATE NOTATKI SET Tytul = Tytul WHERE ID = 5"));
        }
    });
    checker.CheckAlarms();
    held.reset();
    QCOMPARE(seenHere.calls.size(), mine);
    QCOMPARE(seenThere.calls.size(), theirs);
    QCOMPARE(stateOf(db, 5), state);
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

void TestAlarms::notificationActionsAreGuarded_data()
{
    // Note 5's alarm (09:00) runs when its notification shows; another copy
    // may change it before the action. The row after: state, kind, date,
    // time, acknowledgement.
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("row");
    const QDateTime now = at(2024, 5, 6, 9, 30, 20);
    const char *snoozed = "2 0 2024-05-06 09:41:00 <null>";
    const char *theirs = "3 0 2024-05-06 09:00:00 2024-05-06 09:29:00";
    QTest::newRow("done") << "done" << 0 << "" << now << "3 0 2024-05-06 09:00:00 2024-05-06 09:30:20";
    QTest::newRow("snooze") << "snooze" << 0 << "" << now << snoozed;
    QTest::newRow("snooze under a dialog") << "snooze" << 0 << "dialog" << now << snoozed;
    QTest::newRow("snooze on the minute")
        << "snooze" << 0 << "" << at(2024, 5, 6, 9, 30) << "2 0 2024-05-06 09:40:00 <null>";
    QTest::newRow("snooze across midnight")
        << "snooze" << 0 << "" << at(2024, 5, 6, 23, 55, 30) << "2 0 2024-05-07 00:06:00 <null>";
    QTest::newRow("snooze, daily") << "snooze" << 1 << "" << now << "1 1 2024-05-06 09:00:00 <null>";
    QTest::newRow("done after theirs") << "done" << 0 << "acknowledged" << now << theirs;
    QTest::newRow("snooze after their done") << "snooze" << 0 << "acknowledged" << now << theirs;
    QTest::newRow("snooze after switched off") << "snooze" << 0 << "off" << now << "0 0 2024-05-06 09:00:00 <null>";
}

void TestAlarms::notificationActionsAreGuarded()
{
    QFETCH(QString, action);
    QFETCH(int, kind);
    QFETCH(QString, meanwhile);
    QFETCH(QDateTime, now);
    QFETCH(QString, row);
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 5, QStringLiteral("Tea"), QStringLiteral("2024.05.01 10:00:00"), Alarm::Running,
                        kind, QStringLiteral("2024.05.06"), QStringLiteral("09:00"));
    MockClock clock(at(2024, 5, 6, 9, 29));
    TDM dm(db.path());
    TFormMain form(dm, quietFormOptions());
    TDM other(db.path());
    if (meanwhile == QLatin1String("acknowledged"))
        other.acknowledgeAlarm(5);
    else if (meanwhile == QLatin1String("off"))
        other.writeAlarmStateOrThrow(5, Alarm::None);
    clock.set(now);
    // Snooze offered for every kind: the store's own guard is under test.
    form.BalloonNotifier->sent(42, {5, {5}, true});
    const auto act = [&] { form.BalloonNotifier->actionInvoked(42, action); };
    const std::unique_ptr<QTimer> canceller(
        meanwhile == QLatin1String("dialog") ? cancelModalWhenShown([&](QWidget *) { act(); }) : nullptr);
    canceller ? form.NewNote() : act();

    QStringList columns;
    for (const char *name : {"Alarm", "AlarmRodzaj", "AlarmData", "AlarmGodzina", "AlarmArchiwum"})
        columns << column(db, name, 5);
    QCOMPARE(columns.join(QLatin1Char(' ')), row);
    // The list follows at once: only a running alarm leads it, blinking.
    const int picture = form.ListModel->row(form.ListModel->rowOfId(5)).picture;
    QCOMPARE(picture == NoteListModel::PictureRunning || picture == NoteListModel::PictureRunningRays,
             row.startsWith(QLatin1Char('1')));
}

void TestAlarms::pausedCheckerStartsNoPass()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 2, QStringLiteral("Due"), QStringLiteral("2024.05.01 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:00"));
    MockClock clock(at(2024, 5, 6, 9, 30));
    TDM dm(db.path());
    QObject context;
    Announcements seen;
    seen.databasePath = db.path();
    TAlarmChecker checker(dm, &context, seen.recorder(), 10);

    QVERIFY(!checker.isPaused());
    checker.pause();
    checker.pause(); // already paused: stays paused
    QVERIFY(checker.isPaused());
    checker.start();
    // Many intervals go by without a pass.
    QTest::qWait(300);
    QVERIFY(checker.isRunning());
    QVERIFY(seen.calls.isEmpty());
    QCOMPARE(stateOf(db, 2), QStringLiteral("2"));

    checker.resume();
    QVERIFY(!checker.isPaused());
    QTRY_COMPARE_WITH_TIMEOUT(seen.calls.size(), 1, 30000);
    QCOMPARE(stateOf(db, 2), QStringLiteral("1"));
    checker.resume(); // not paused: nothing changes
    QVERIFY(!checker.isPaused());
    checker.stopAndWait();
    QVERIFY(checker.isFinished());
}

void TestAlarms::pauseDoesNotWaitForThePass()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TestSql::insertNote(path, 2, QStringLiteral("First"), QStringLiteral("2024.05.01 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 3, QStringLiteral("Second"), QStringLiteral("2024.05.02 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("10:00"));
    MockClock clock(at(2024, 5, 6, 9, 30));
    TDM dm(path);
    QObject context;

    TAlarmChecker *checker = nullptr;
    int announced = 0;
    bool pauseAnswer = false;
    bool pausedInside = false;
    // The first announcement holds the checker inside its main-thread call
    // until the test has paused it.
    auto announce = [&](const QString &, const QString &) {
        if (++announced != 1)
            return;
        QEventLoop hold;
        QTimer::singleShot(0, &hold, [&] {
            checker->pause();
            pauseAnswer = pausedInside = checker->isPaused();
            hold.quit();
        });
        hold.exec();
    };
    TAlarmChecker thread(dm, &context, announce, 10);
    checker = &thread;
    thread.start();
    QTRY_COMPARE_WITH_TIMEOUT(announced, 1, 30000);
    QVERIFY(pauseAnswer);
    QVERIFY(pausedInside);
    QCOMPARE(stateOf(db, 2), QStringLiteral("1"));

    // Another alarm comes due while paused: no pass picks it up.
    clock.set(at(2024, 5, 6, 10, 0));
    QTest::qWait(300);
    QCOMPARE(announced, 1);
    QCOMPARE(stateOf(db, 3), QStringLiteral("2"));

    thread.resume();
    QTRY_COMPARE_WITH_TIMEOUT(announced, 2, 30000);
    QCOMPARE(stateOf(db, 3), QStringLiteral("1"));
}

void TestAlarms::commandsResumeTheChecker()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TestSql::insertNote(path, 2, QStringLiteral("Running"), QStringLiteral("2024.05.02 10:00:00"), 1, 0,
                        QStringLiteral("2024.05.01"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 3, QStringLiteral("Plain"), QStringLiteral("2024.05.03 10:00:00"));
    MockClock clock(at(2024, 5, 6, 9, 30));
    TDM dm(path);
    TFormMain form(dm, threadedOptions(20, 20));
    form.BalloonNotifier->sink = [](const QString &, const QString &) {};
    QVERIFY(form.alarmChecker());
    QVERIFY(!form.alarmChecker()->isPaused());

    // New note: paused while the editor is open, resumed after cancel.
    {
        bool shown = false;
        bool pausedInside = false;
        std::unique_ptr<QTimer> canceller(cancelModalWhenShown([&](QWidget *) {
            shown = true;
            pausedInside = form.alarmChecker()->isPaused();
        }));
        form.NewNote();
        QVERIFY(shown);
        QVERIFY(pausedInside);
        QVERIFY(!form.alarmChecker()->isPaused());
    }

    // Tray "New note" over an open editor stacks a second one; closing it
    // leaves the checker paused for the editor still open below.
    {
        bool innerShown = false;
        bool pausedAfterInner = false;
        std::unique_ptr<QTimer> inner;
        std::unique_ptr<QTimer> canceller(cancelModalWhenShown([&](QWidget *outer) {
            inner.reset(cancelModalWhenShown([&](QWidget *) { innerShown = true; }, outer));
            form.PMNowaNotatka->trigger();
            pausedAfterInner = form.alarmChecker()->isPaused();
        }));
        form.NewNote();
        QVERIFY(innerShown);
        QVERIFY(pausedAfterInner);
        QVERIFY(!form.alarmChecker()->isPaused());
    }

    // View / Edit of a running alarm: acknowledged before the editor shows.
    {
        QVERIFY(form.FillNoteList(2));
        QCOMPARE(form.selectedRowId(), 2);
        bool shown = false;
        bool pausedInside = false;
        QString stateInside;
        std::unique_ptr<QTimer> canceller(cancelModalWhenShown([&](QWidget *) {
            shown = true;
            pausedInside = form.alarmChecker()->isPaused();
            stateInside = stateOf(db, 2);
        }));
        form.NotatkaPokazEdytujExecute();
        QVERIFY(shown);
        QVERIFY(pausedInside);
        QCOMPARE(stateInside, QStringLiteral("3"));
        QCOMPARE(archiveOf(db, 2), QStringLiteral("2024-05-06 09:30:00"));
        QVERIFY(!form.alarmChecker()->isPaused());
        const int row = form.ListModel->rowOfId(2);
        QVERIFY(row >= 0);
        QCOMPARE(form.ListModel->row(row).picture, int(NoteListModel::PictureAlarm));
    }

    // View / Edit whose state read fails: the error is shown, no editor, and
    // the checker runs again.
    {
        QVERIFY(form.FillNoteList(3));
        QCOMPARE(form.selectedRowId(), 3);
        MessageBox::takeRecorded();
        TestSql::exec(path, QStringLiteral("ALTER TABLE NOTATKI ALTER COLUMN Alarm TO AlarmStan"));
        // A fresh attachment is sure to see the changed table.
        dm.DisconnectDatabase();
        bool shown = false;
        std::unique_ptr<QTimer> canceller(cancelModalWhenShown([&](QWidget *) { shown = true; }));
        form.NotatkaPokazEdytujExecute();
        const QStringList messages = MessageBox::takeRecorded();
        QCOMPARE(messages.size(), 1);
        QVERIFY(!messages.constFirst().trimmed().isEmpty());
        QVERIFY(!shown);
        QVERIFY(!form.alarmChecker()->isPaused());
        QVERIFY(form.alarmChecker()->isRunning());
        TestSql::exec(path, QStringLiteral("ALTER TABLE NOTATKI ALTER COLUMN AlarmStan TO Alarm"));
        dm.DisconnectDatabase();
        QVERIFY(form.FillNoteList(3));
        QCOMPARE(form.listIds(), (QVector<int> {3, 2}));
    }
}

void TestAlarms::blinkOnEmptyOrQuietList()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TDM dm(path);
    {
        TFormMain form(dm, quietFormOptions());
        QVERIFY(!form.alarmChecker());
        QCOMPARE(form.ListModel->count(), 0);
        QSignalSpy changes(form.ListModel, &QAbstractItemModel::dataChanged);
        form.ToggleRunningAlarmImages();
        QCOMPARE(form.ListModel->count(), 0);
        QCOMPARE(changes.count(), 0);
    }

    // The first entry is no running alarm: the walk ends there, even when a
    // running picture follows further down.
    TestSql::insertNote(path, 1, QStringLiteral("Armed"), QStringLiteral("2024.05.03 10:00:00"), 2, 0,
                        QStringLiteral("2024.06.01"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 2, QStringLiteral("Plain"), QStringLiteral("2024.05.02 10:00:00"));
    TestSql::insertNote(path, 3, QStringLiteral("Older"), QStringLiteral("2024.05.01 10:00:00"));
    TFormMain form(dm, quietFormOptions());
    QCOMPARE(form.listIds(), (QVector<int> {1, 2, 3}));
    form.ListModel->setPicture(1, NoteListModel::PictureRunning);
    const QVector<int> before = listPictures(form);
    QCOMPARE(before, (QVector<int> {1, 2, 0}));
    QSignalSpy changes(form.ListModel, &QAbstractItemModel::dataChanged);
    form.ToggleRunningAlarmImages();
    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), before);
    QCOMPARE(changes.count(), 0);
}

void TestAlarms::blinkSwapsLeadingRunningEntriesTogether()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TestSql::insertNote(path, 1, QStringLiteral("Run A"), QStringLiteral("2024.05.01 10:00:00"), 1, 0,
                        QStringLiteral("2024.05.01"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 2, QStringLiteral("Run B"), QStringLiteral("2024.04.01 10:00:00"), 1, 1,
                        QStringLiteral("2024.04.01"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 3, QStringLiteral("Armed"), QStringLiteral("2024.05.05 10:00:00"), 2, 0,
                        QStringLiteral("2024.06.01"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 4, QStringLiteral("Plain"), QStringLiteral("2024.05.04 10:00:00"));
    TDM dm(path);
    TFormMain form(dm, quietFormOptions());
    QCOMPARE(form.listIds(), (QVector<int> {1, 2, 3, 4}));
    QCOMPARE(listPictures(form), (QVector<int> {2, 2, 1, 0}));
    // A running picture past the first other entry is out of the walk's reach.
    QVERIFY(form.FillNoteList(2));
    form.ListModel->setPicture(3, NoteListModel::PictureRunning);
    QCOMPARE(form.selectedRowId(), 2);

    QSignalSpy changes(form.ListModel, &QAbstractItemModel::dataChanged);
    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), (QVector<int> {3, 3, 1, 2}));
    QSet<int> changedRows;
    for (const QList<QVariant> &signal : std::as_const(changes))
        changedRows << signal.at(0).toModelIndex().row();
    QCOMPARE(changedRows, (QSet<int> {0, 1}));
    // Only the pictures change: captions, order and selection stay.
    QCOMPARE(form.listIds(), (QVector<int> {1, 2, 3, 4}));
    QCOMPARE(form.ListModel->row(0).title, QStringLiteral("Run A"));
    QCOMPARE(form.ListModel->index(1, 0).data().toString(), QStringLiteral("Run B"));
    QCOMPARE(form.selectedRowId(), 2);

    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), (QVector<int> {2, 2, 1, 2}));
    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), (QVector<int> {3, 3, 1, 2}));
    QCOMPARE(form.selectedRowId(), 2);
}

void TestAlarms::blinkAfterRefillStartsInOnePhase()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TestSql::insertNote(path, 1, QStringLiteral("Run A"), QStringLiteral("2024.05.01 10:00:00"), 1, 0,
                        QStringLiteral("2024.05.01"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 2, QStringLiteral("Armed"), QStringLiteral("2024.05.02 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.02"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 3, QStringLiteral("Plain"), QStringLiteral("2024.05.03 10:00:00"));
    TDM dm(path);
    TFormMain form(dm, quietFormOptions());
    QCOMPARE(form.listIds(), (QVector<int> {1, 3, 2}));
    QCOMPARE(listPictures(form), (QVector<int> {2, 0, 1}));
    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), (QVector<int> {3, 0, 1}));

    // Another alarm runs while the first shows its other phase.
    TestSql::exec(path, QStringLiteral("UPDATE NOTATKI SET Alarm = 1 WHERE ID = 2"));
    QVERIFY(form.FillNoteList(form.SelectedNoteId));
    QCOMPARE(form.listIds(), (QVector<int> {2, 1, 3}));
    QCOMPARE(listPictures(form), (QVector<int> {2, 2, 0}));
    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), (QVector<int> {3, 3, 0}));

    // Acknowledged: back among the others, and no longer blinking.
    TestSql::exec(path, QStringLiteral("UPDATE NOTATKI SET Alarm = 3, AlarmArchiwum = '2024.05.06 09:30:00' "
                                       "WHERE ID = 2"));
    QVERIFY(form.FillNoteList(form.SelectedNoteId));
    QCOMPARE(form.listIds(), (QVector<int> {1, 3, 2}));
    QCOMPARE(listPictures(form), (QVector<int> {2, 0, 1}));
    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), (QVector<int> {3, 0, 1}));
}

void TestAlarms::blinkPassesOverUnknownPicture()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    for (int id = 1; id <= 3; ++id) {
        TestSql::insertNote(path, id, QStringLiteral("Run %1").arg(id),
                            QStringLiteral("2024.05.0%1 10:00:00").arg(4 - id), 1, 0, QStringLiteral("2024.05.01"),
                            QStringLiteral("09:00"));
    }
    TestSql::insertNote(path, 4, QStringLiteral("Plain"), QStringLiteral("2024.05.04 10:00:00"));
    TDM dm(path);
    TFormMain form(dm, quietFormOptions());
    QCOMPARE(form.listIds(), (QVector<int> {1, 2, 3, 4}));
    form.ListModel->setPicture(1, 7);
    QCOMPARE(listPictures(form), (QVector<int> {2, 7, 2, 0}));
    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), (QVector<int> {3, 7, 3, 0}));
    form.ListModel->setPicture(1, -1);
    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), (QVector<int> {2, -1, 2, 0}));

    // An unknown picture as the last entry: the walk simply reaches the end.
    form.ListModel->setPicture(3, 9);
    form.ToggleRunningAlarmImages();
    QCOMPARE(listPictures(form), (QVector<int> {3, -1, 3, 9}));
}

void TestAlarms::blinkingSleepsUntilARunningAlarmShows()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TestSql::insertNote(path, 1, QStringLiteral("Armed"), QStringLiteral("2024.05.01 10:00:00"), 2, 0,
                        QStringLiteral("2024.06.01"), QStringLiteral("09:00"));
    TestSql::insertNote(path, 2, QStringLiteral("Plain"), QStringLiteral("2024.05.02 10:00:00"));
    MockClock clock(at(2024, 5, 6, 9, 0));
    TDM dm(path);
    auto form = std::make_unique<TFormMain>(dm, threadedOptions(60000, 10));
    TBlinkingItems *blinking = form->blinkingItems();
    QVERIFY(blinking);
    // Nothing runs: the thread waits with no step to make.
    QTRY_VERIFY_WITH_TIMEOUT(blinking->isIdle(), 30000);

    QSet<int> phases;
    connect(form->ListModel, &QAbstractItemModel::dataChanged, this,
            [&](const QModelIndex &topLeft, const QModelIndex &) {
                phases << form->ListModel->row(topLeft.row()).picture;
            });
    // A refill that shows a running alarm wakes it, and it blinks.
    TestSql::exec(path, QStringLiteral("UPDATE NOTATKI SET Alarm = 1 WHERE ID = 1"));
    QVERIFY(form->FillNoteList(form->SelectedNoteId));
    QTRY_VERIFY_WITH_TIMEOUT(phases.contains(2) && phases.contains(3), 30000);
    QVERIFY(!blinking->isIdle());

    // Acknowledged: nothing runs any more, and it goes back to sleep.
    TestSql::exec(path, QStringLiteral("UPDATE NOTATKI SET Alarm = 3, AlarmArchiwum = '2024.05.06 09:00:00' "
                                       "WHERE ID = 1"));
    QVERIFY(form->FillNoteList(form->SelectedNoteId));
    QTRY_VERIFY_WITH_TIMEOUT(blinking->isIdle(), 30000);
    QCOMPARE(listPictures(*form), (QVector<int> {0, 1}));
    // Asleep, it ends with the window, which joins it.
    form.reset();
}

void TestAlarms::dueAlarmIsAnnouncedListedAndBlinks()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    const QString path = db.path();
    TestSql::insertNote(path, 5, QStringLiteral("Take the pills"), QStringLiteral("2024.05.01 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:30"));
    TestSql::insertNote(path, 6, QStringLiteral("Shopping list"), QStringLiteral("2024.05.04 10:00:00"));
    TestSql::insertNote(path, 7, QStringLiteral("Recipes"), QStringLiteral("2024.05.05 10:00:00"));
    MockClock clock(at(2024, 5, 6, 9, 29, 59));
    TDM dm(path);
    TFormMain form(dm, threadedOptions(50, 20));
    QVector<Announcement> seen;
    form.BalloonNotifier->sink = [&seen](const QString &title, const QString &text) { seen.push_back({title, text}); };
    // A search is in force; the announcement shows the whole list all the same.
    form.SzukanyCiag->setText(QStringLiteral("Recipes"));
    QCOMPARE(form.listIds(), (QVector<int> {7}));

    // Not yet due: nothing fires while the checker keeps passing.
    QTest::qWait(200);
    QVERIFY(seen.isEmpty());
    QCOMPARE(stateOf(db, 5), QStringLiteral("2"));

    QSet<int> phases;
    QSet<int> changedRows;
    connect(form.ListModel, &QAbstractItemModel::dataChanged, this,
            [&](const QModelIndex &topLeft, const QModelIndex &) {
                changedRows << topLeft.row();
                phases << form.ListModel->row(topLeft.row()).picture;
            });
    clock.set(at(2024, 5, 6, 9, 30));
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 1, 30000);
    QCOMPARE(seen[0].title, kBalloonTitle);
    QCOMPARE(seen[0].text, QStringLiteral("[Alarm: 2024-05-06 09:30] \r\nTake the pills\r\n"));
    QCOMPARE(stateOf(db, 5), QStringLiteral("1"));
    QCOMPARE(archiveOf(db, 5), QStringLiteral("<null>"));
    QCOMPARE(form.listIds(), (QVector<int> {5, 7, 6}));
    QCOMPARE(form.SzukanyCiag->text(), QStringLiteral("Recipes"));
    QVERIFY(form.ListModel->row(0).picture == 2 || form.ListModel->row(0).picture == 3);

    // It blinks: both phases show, and only its own entry changes.
    QTRY_VERIFY_WITH_TIMEOUT(phases.contains(2) && phases.contains(3), 30000);
    QCOMPARE(changedRows, QSet<int> {0});
    QCOMPARE(form.ListModel->row(1).picture, int(NoteListModel::PictureNote));
    QCOMPARE(form.ListModel->row(2).picture, int(NoteListModel::PictureNote));

    // A running alarm is not announced again by later passes.
    QTest::qWait(300);
    QCOMPARE(seen.size(), 1);
}

void TestAlarms::shutdownWhilePausedOrSleeping()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    MockClock clock(at(2024, 5, 6, 9, 30));
    TDM dm(db.path());

    // Paused: the stop request wakes the pause.
    {
        auto form = std::make_unique<TFormMain>(dm, threadedOptions(10, 10));
        QVERIFY(form->PauseAlarmChecker());
        QVERIFY(form->alarmChecker()->isRunning());
        QTest::qWait(100);
        form.reset();
    }
    // Sleeping through a long interval: the stop request cuts the sleep.
    {
        auto form = std::make_unique<TFormMain>(dm, threadedOptions(60000, 60000));
        QVERIFY(form->alarmChecker()->isRunning());
        QTest::qWait(50);
        form.reset();
    }
    // The same for bare threads, which must also end before they are freed.
    {
        QObject context;
        TAlarmChecker checker(
            dm, &context, [](const QString &, const QString &) {}, 10);
        checker.pause();
        checker.start();
        TBlinkingItems blinking(
            &context, [] {}, 60000);
        blinking.start();
        QTest::qWait(50);
        checker.stopAndWait();
        blinking.stopAndWait();
        QVERIFY(checker.isFinished());
        QVERIFY(blinking.isFinished());
        checker.stopAndWait(); // a second stop is harmless
    }
}

void TestAlarms::shutdownWhileWaitingForTheMainThread()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 2, QStringLiteral("Due"), QStringLiteral("2024.05.01 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:00"));
    for (int round = 0; round < 3; ++round) {
        SignallingClock clock(at(2024, 5, 6, 9, 30));
        TDM dm(db.path());
        auto announced = std::make_shared<std::atomic<int>>(0);
        auto form = std::make_unique<TFormMain>(dm, threadedOptions(5, 5));
        form->BalloonNotifier->sink = [announced](const QString &, const QString &) { ++*announced; };
        // The checker has tested the due note and is about to wait for the
        // main thread, which serves nothing until the window is gone.
        QVERIFY(clock.backgroundReads.tryAcquire(1, 60000));
        QThread::msleep(20);
        form.reset();
        // Whatever the threads had queued is dropped with the window.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QTest::qWait(20);
        QCOMPARE(announced->load(), 0);
        // The firing never reached the window: the alarm stays armed for the next run.
        QCOMPARE(stateOf(db, 2), QStringLiteral("2"));
    }
}

void TestAlarms::stopFromInsideTheMainThreadCall()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 2, QStringLiteral("Due"), QStringLiteral("2024.05.01 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:00"));
    TestSql::insertNote(db.path(), 3, QStringLiteral("Due too"), QStringLiteral("2024.05.02 10:00:00"), 2, 0,
                        QStringLiteral("2024.05.06"), QStringLiteral("09:00"));
    MockClock clock(at(2024, 5, 6, 9, 30));
    TDM dm(db.path());
    QObject context;

    // The owner shuts the checker down while an announcement is under way
    // (a nested event loop, as a modal dialog would run one).
    TAlarmChecker *checker = nullptr;
    int announced = 0;
    bool finishedInside = false;
    TAlarmChecker thread(
        dm, &context,
        [&](const QString &, const QString &) {
            ++announced;
            checker->stopAndWait();
            finishedInside = checker->isFinished();
        },
        10);
    checker = &thread;
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(finishedInside, 30000);
    QTest::qWait(50);
    // The pass ended with its first announcement.
    QCOMPARE(announced, 1);

    // The same for the blinking thread.
    TBlinkingItems *blinker = nullptr;
    int toggles = 0;
    bool blinkerFinished = false;
    TBlinkingItems blinking(
        &context,
        [&] {
            ++toggles;
            blinker->stopAndWait();
            blinkerFinished = blinker->isFinished();
        },
        10);
    blinker = &blinking;
    blinking.setRunningShown(true);
    blinking.start();
    QTRY_VERIFY_WITH_TIMEOUT(blinkerFinished, 30000);
    QTest::qWait(50);
    QCOMPARE(toggles, 1);
}

QTEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
