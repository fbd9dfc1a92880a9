#include "FormProbe.h"
#include "MockClock.h"
#include "TestDatabase.h"
#include "access/FormHaslo.h"
#include "alarms/AlarmChecker.h"
#include "app/FormMain.h"
#include "app/NoteListModel.h"
#include "app/Notifier.h"
#include "notes/FormNotatka.h"
#include "notes/FormUsuwanie.h"
#include "online/OProgramie.h"
#include "store/DataModule.h"
#include "store/Sql.h"
#include "ui/DialogLook.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <csignal>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Whether the process holds back SIGTERM, SIGHUP and SIGINT, as the program
// does from the first instruction of main on.
bool holdsEndingSignals(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("SigBlk:")) {
            const quint64 mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
            const quint64 wanted = (1ULL << (SIGTERM - 1)) | (1ULL << (SIGHUP - 1)) | (1ULL << (SIGINT - 1));
            return (mask & wanted) == wanted;
        }
    }
    return false;
}

} // namespace

namespace {

// Opens the main window on a fresh database, with the threads off and the
// end of the program recorded instead of performed.
struct Fixture {
    TestDatabase db;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<TFormMain> form;
    int quitRequests = 0;

    Fixture() = default;

    void open(int trayAvailable = 1)
    {
        dm = std::make_unique<TDM>(db.path());
        FormMainOptions options = quietFormOptions();
        options.trayAvailable = trayAvailable;
        options.quit = [this] { ++quitRequests; };
        form = std::make_unique<TFormMain>(*dm, options);
    }

    void showActive()
    {
        form->ShowMainWindow();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    bool commandsEnabled() const
    {
        return form->MMUsun->isEnabled() && form->MMPodgladEdycja->isEnabled() && form->SBUsun->isEnabled();
    }
    bool commandsDisabled() const
    {
        return !form->MMUsun->isEnabled() && !form->MMPodgladEdycja->isEnabled() && !form->SBUsun->isEnabled();
    }
};

// Reports the class of the next modal dialog and closes it without saving.
class ModalWatcher final
{
public:
    ModalWatcher()
    {
        QTimer::singleShot(0, &m_context, [this] { poll(); });
    }
    QString seen;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            if (++m_tries < 200)
                QTimer::singleShot(10, &m_context, [this] { poll(); });
            return;
        }
        seen = QString::fromLatin1(modal->metaObject()->className());
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    }
    int m_tries = 0;
    // Takes the pending polls with it when a test ends before they ran out.
    QObject m_context;
};

void seedNotes(const QString &path)
{
    // ID, title, created, state. Note 3 runs, note 1 runs too but is older.
    TestSql::insertNote(path, 1, QStringLiteral("old running"), QStringLiteral("2020.01.01 08:00:00"), 1);
    TestSql::insertNote(path, 2, QStringLiteral("armed"), QStringLiteral("2021.03.04 10:00:00"), 2);
    TestSql::insertNote(path, 3, QStringLiteral("new running 2021"), QStringLiteral("2022.05.06 11:00:00"), 1);
    TestSql::insertNote(path, 4, QStringLiteral("plain"), QStringLiteral("2023.07.08 12:00:00"), 0);
    TestSql::insertNote(path, 5, QStringLiteral("acknowledged"), QStringLiteral("2021.09.10 13:00:00"), 3);
}

} // namespace

class TestApp final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    // Note list and search
    void programIconIsTheNotePicture();
    void listOrderAndPictures();
    void searchKeepsRunningFirst();
    void blanksOnlyIsARealSearch();
    void yearSearch();
    void reselectionAfterRefill();
    void startsEmptyWithoutDatabase();
    void dateColumnFormat();

    // Start-up
    void windowBuiltOnFirstShow();
    void closeBeforeStartFinished();
    void sigtermDuringStart();
    void unopenableFileIsSaid_data();
    void unopenableFileIsSaid();

    // Window state
    void firstStartDefaults();
    void storedGeometryComesBack();
    void oneBadCoordinateGetsItsDefault_data();
    void oneBadCoordinateGetsItsDefault();
    void columnMinimum();
    void closeProgramSavesOnceAndCancelsDialogs();

    // Keys and commands
    void escapeKey();
    void deleteAndInsertInSearchBox();
    void commandsNeedASelection();
    void trayClickToggles();
    void noTrayMeansMinimise();
    void balloonIsCut_data();
    void balloonIsCut();
    void announceRefillsUnfiltered();
    void menusFromTheKeyboard_data();
    void menusFromTheKeyboard();

    // The tray and the paths a user meets
    void trayAnswersUnderADialog();
    void sessionEndClosesOnce();
    void trayActivations_data();
    void trayActivations();
    void trayNewNoteWhileHidden();
    void saveKeepsTheFilter_data();
    void saveKeepsTheFilter();
    void acknowledgeInAFilteredList_data();
    void acknowledgeInAFilteredList();

    // Places and sizes
    void bottomRowPlaces_data();
    void bottomRowPlaces();
    void outerSize_data();
    void outerSize();
    void placeOffEveryScreen_data();
    void placeOffEveryScreen();
    void twinSettingRows();
    void boldCaptions_data();
    void boldCaptions();

    // A click on an alarm's notification
    void notificationActions_data();
    void notificationActions();
    void alarmNoteShown_data();
    void alarmNoteShown();
};

void TestApp::initTestCase()
{
    MessageBox::setRecording(true);
}

void TestApp::init()
{
    MessageBox::takeRecorded();
}

void TestApp::listOrderAndPictures()
{
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    QCOMPARE(f.form->listIds(), (QList<int> {3, 1, 4, 5, 2}));
    QCOMPARE(listPictures(*f.form), (QList<int> {2, 2, 0, 1, 1}));
    QVERIFY(f.commandsDisabled()); // nothing selected after the first fill
    QCOMPARE(f.form->SelectedNoteId, 0);
}

void TestApp::searchKeepsRunningFirst()
{
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    f.form->SzukanyCiag->setText(QStringLiteral("RUNNING"));
    QCOMPARE(f.form->listIds(), (QList<int> {3, 1}));
    f.form->SzukanyCiag->setText(QStringLiteral("n"));
    // "plain" and "acknowledged" hold an n too; running ones stay on top.
    QCOMPARE(f.form->listIds(), (QList<int> {3, 1, 4, 5}));
    f.form->SzukanyCiag->clear();
    QCOMPARE(f.form->listIds().size(), 5);
}

void TestApp::blanksOnlyIsARealSearch()
{
    Fixture f;
    seedNotes(f.db.path());
    TestSql::insertNote(f.db.path(), 6, QStringLiteral("two  blanks"), QStringLiteral("2019.01.01 00:00:00"));
    f.open();
    f.form->SzukanyCiag->setText(QStringLiteral("  "));
    QCOMPARE(f.form->listIds(), QList<int> {6});
}

void TestApp::yearSearch()
{
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    f.form->SzukanyCiag->setText(QStringLiteral("2021"));
    // Created in 2021 (2, 5), and a running note whose title holds the year.
    QCOMPARE(f.form->listIds(), (QList<int> {3, 5, 2}));
}

void TestApp::reselectionAfterRefill()
{
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    QTreeView *list = f.form->LVNotatki;
    list->selectionModel()->select(f.form->ListModel->index(2, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(f.form->SelectedNoteId, 4);
    QVERIFY(f.commandsEnabled());

    // Hidden by a search, selected again once the search is cleared.
    f.form->SzukanyCiag->setText(QStringLiteral("armed"));
    QCOMPARE(f.form->listIds(), QList<int> {2});
    QVERIFY(list->selectionModel()->selectedRows().isEmpty());
    QVERIFY(f.commandsDisabled());
    QCOMPARE(f.form->SelectedNoteId, 4);
    f.form->SzukanyCiag->clear();
    QCOMPARE(f.form->selectedRowId(), 4);
    QCOMPARE(list->currentIndex().row(), 2);
    QVERIFY(f.commandsEnabled());

    // Gone from the table: nothing selected, commands off.
    TestSql::exec(f.db.path(), QStringLiteral("DELETE FROM NOTATKI WHERE ID = 4"));
    QVERIFY(f.form->FillNoteList(f.form->SelectedNoteId));
    QCOMPARE(f.form->selectedRowId(), -1);
    QVERIFY(f.commandsDisabled());
}

void TestApp::startsEmptyWithoutDatabase()
{
    TDM dm(TestDatabase::unusedPath());
    FormMainOptions options = quietFormOptions();
    options.trayAvailable = 1;
    TFormMain form(dm, options);
    QCOMPARE(form.ListModel->count(), 0);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.size(), QSize(300, 400));
    QVERIFY(!form.MMUsun->isEnabled());
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

void TestApp::dateColumnFormat()
{
    const QString text = NoteListModel::dateText(QDate(2009, 6, 4), QTime(9, 5, 59));
    QVERIFY2(text.startsWith(QStringLiteral("2009-06-04 09")) && text.endsWith(QStringLiteral("05")), qPrintable(text));
    QCOMPARE(text.size(), 16);
}

namespace {
// The program's own start: a tray icon and a window built at its first showing.
FormMainOptions programOptions(int *quitRequests)
{
    FormMainOptions options = quietFormOptions();
    options.trayAvailable = 1;
    options.buildWindow = false;
    options.startThreads = true;
    options.checkerIntervalMs = 3600000;
    options.blinkIntervalMs = 3600000;
    options.quit = [quitRequests] { ++*quitRequests; };
    return options;
}

void storeSettings(const QString &path, std::initializer_list<std::pair<const char *, const char *>> settings)
{
    TDM dm(path);
    for (const auto &[key, value] : settings)
        dm.SetSetting(QString::fromUtf8(key), QString::fromUtf8(value));
}

void storeWindowState(const QString &path)
{
    storeSettings(path, {{"FormMainWidth", "333"},
                         {"FormMainHeight", "444"},
                         {"FormMainTop", "55"},
                         {"FormMainLeft", "66"},
                         {"TytulSzerokosc", "180"},
                         {"DataSzerokosc", "111"}});
}
} // namespace

void TestApp::windowBuiltOnFirstShow()
{
    Fixture f;
    seedNotes(f.db.path());
    storeWindowState(f.db.path());
    TDM dm(f.db.path());
    int quits = 0;
    TFormMain form(dm, programOptions(&quits));
    // Only the tray icon exists, with the stored state restored and the threads running.
    QVERIFY(form.TrayIcon && !form.windowBuilt() && !form.LVNotatki && !form.SzukanyCiag);
    QVERIFY(form.alarmChecker());
    QCOMPARE(form.size(), QSize(333, 444));
    // Hidden, the window reads no list and takes no command.
    QVERIFY(!form.windowBuilt());
    QStringList announced;
    form.BalloonNotifier->sink = [&](const QString &title, const QString &) { announced << title; };
    form.AlarmBalloonTitle = QStringLiteral("Penwick A L A R M");
    form.AnnounceAlarms();
    QCOMPARE(announced.size(), 1);
    form.ToggleRunningAlarmImages();
    form.NotatkaPokazEdytujExecute();
    form.DeleteSelectedNote();
    form.UkryjExecute();
    QCOMPARE(form.selectedRowId(), -1);
    QVERIFY(form.listIds().isEmpty());
    QVERIFY(!form.windowBuilt());

    // The first tray click builds the window with the stored widths and the notes.
    form.TrayIconClick();
    QVERIFY(form.windowBuilt() && form.isVisible());
    QCOMPARE(form.listIds(), QVector<int>({3, 1, 4, 5, 2}));
    QCOMPARE(form.LVNotatki->header()->sectionSize(0), 180);
    QCOMPARE(form.LVNotatki->header()->sectionSize(1), 111);
    QVERIFY(form.SzukanyCiag->text().isEmpty());
    form.CloseProgram();
    QCOMPARE(quits, 1);
}

void TestApp::closeBeforeStartFinished()
{
    Fixture f;
    storeWindowState(f.db.path());
    storeSettings(f.db.path(), {{"FormMainWidth", "-1"}, {"TytulSzerokosc", "x"}});
    TDM dm(f.db.path());
    int quits = 0;
    TFormMain form(dm, programOptions(&quits));
    // SIGTERM before the window was ever shown saves what was restored, bad
    // values as their defaults.
    form.CloseProgram();
    QCOMPARE(quits, 1);
    QVERIFY(!form.windowBuilt());
    const auto setting = [&](const char *key) {
        return TestSql::value(
            f.db.path(),
            QStringLiteral("SELECT Wartosc FROM USTAWIENIA WHERE Ustawienie = '%1'").arg(QLatin1String(key)));
    };
    QCOMPARE(setting("FormMainWidth"), QStringLiteral("300"));
    QCOMPARE(setting("FormMainHeight"), QStringLiteral("444"));
    QCOMPARE(setting("FormMainTop"), QStringLiteral("55"));
    QCOMPARE(setting("FormMainLeft"), QStringLiteral("66"));
    QCOMPARE(setting("TytulSzerokosc"), QStringLiteral("155"));
    QCOMPARE(setting("DataSzerokosc"), QStringLiteral("111"));
}

void TestApp::firstStartDefaults()
{
    Fixture f;
    f.open();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(f.form->size(), QSize(300, 400));
    QCOMPARE(f.form->pos(), QPoint(screen.width() - 300 - 40, screen.height() - 400 - 60));
    QCOMPARE(f.form->LVNotatki->header()->sectionSize(0), 155);
    QCOMPARE(f.form->LVNotatki->header()->sectionSize(1), 100);
    QVERIFY(!f.form->isVisible());
}

void TestApp::storedGeometryComesBack()
{
    Fixture f;
    f.open();
    f.form->resize(420, 520);
    f.form->move(33, 44);
    f.form->LVNotatki->header()->resizeSection(0, 210);
    f.form->LVNotatki->header()->resizeSection(1, 120);
    f.form->CloseProgram();
    QCOMPARE(f.quitRequests, 1);
    f.form.reset();
    f.dm.reset();
    f.open();
    QCOMPARE(f.form->size(), QSize(420, 520));
    QCOMPARE(f.form->pos(), QPoint(33, 44));
    QCOMPARE(f.form->LVNotatki->header()->sectionSize(0), 210);
    QCOMPARE(f.form->LVNotatki->header()->sectionSize(1), 120);
}

void TestApp::oneBadCoordinateGetsItsDefault_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("left -1") << "FormMainLeft"
                             << "-1";
    QTest::newRow("top not a number") << "FormMainTop"
                                      << "12px";
    QTest::newRow("width empty") << "FormMainWidth"
                                 << "";
    QTest::newRow("height fraction") << "FormMainHeight"
                                     << "450.5";
}

void TestApp::oneBadCoordinateGetsItsDefault()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    Fixture f;
    const QByteArray badKey = key.toUtf8();
    const QByteArray badValue = value.toUtf8();
    storeSettings(f.db.path(), {{"FormMainWidth", "500"},
                                {"FormMainHeight", "600"},
                                {"FormMainTop", "70"},
                                {"FormMainLeft", "80"},
                                {badKey.constData(), badValue.constData()}});
    f.open();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int width = key == QLatin1String("FormMainWidth") ? 300 : 500;
    const int height = key == QLatin1String("FormMainHeight") ? 400 : 600;
    QCOMPARE(f.form->size(), QSize(width, height));
    QCOMPARE(f.form->y(), key == QLatin1String("FormMainTop") ? screen.height() - height - 60 : 70);
    QCOMPARE(f.form->x(), key == QLatin1String("FormMainLeft") ? screen.width() - width - 40 : 80);
}

void TestApp::columnMinimum()
{
    Fixture f;
    storeSettings(
        f.db.path(),
        {{"TytulSzerokosc", "40"}, {"DataSzerokosc", "100000"}, {"FormMainWidth", "10"}, {"FormMainHeight", "10"}});
    f.open();
    QCOMPARE(f.form->LVNotatki->header()->sectionSize(0), 100);
    QCOMPARE(f.form->LVNotatki->header()->sectionSize(1), QGuiApplication::primaryScreen()->virtualGeometry().width());
    QVERIFY(f.form->width() >= 300 && f.form->height() >= 350);
}

void TestApp::closeProgramSavesOnceAndCancelsDialogs()
{
    Fixture f;
    f.open();
    f.showActive();
    // "Close" chosen while the editor is open: the editor is cancelled first.
    bool editorClosed = false;
    QTimer::singleShot(0, [&] {
        QVERIFY(qobject_cast<TFormNotatka *>(QApplication::activeModalWidget()));
        f.form->CloseProgram();
        editorClosed = QApplication::activeModalWidget() == nullptr;
    });
    f.form->NewNote();
    QVERIFY(editorClosed);
    QCOMPARE(TestSql::count(f.db.path()), 0);
    f.form->CloseProgram(); // a second request (SIGTERM after Close) changes nothing
    QCOMPARE(f.quitRequests, 1);
    QCOMPARE(TestSql::value(f.db.path(), QStringLiteral("SELECT COUNT(*) FROM USTAWIENIA")), QStringLiteral("6"));
    QVERIFY(!f.form->alarmChecker() || !f.form->alarmChecker()->isPaused());
}

void TestApp::escapeKey()
{
    Fixture f;
    f.open();
    f.showActive();
    QLineEdit *search = f.form->SzukanyCiag;
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("abc"));
    QTest::keyClick(search, Qt::Key_Escape);
    QCOMPARE(search->text(), QString());
    QVERIFY(f.form->isVisible());

    QTest::keyClicks(search, QStringLiteral("   "));
    QTest::keyClick(search, Qt::Key_Escape);
    QVERIFY(!f.form->isVisible());
    QCOMPARE(search->text(), QStringLiteral("   "));

    f.showActive();
    search->setText(QStringLiteral("kept"));
    f.form->LVNotatki->setFocus();
    QTest::keyClick(f.form->LVNotatki, Qt::Key_Escape);
    QVERIFY(!f.form->isVisible());
    QCOMPARE(search->text(), QStringLiteral("kept"));
}

void TestApp::deleteAndInsertInSearchBox()
{
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    f.showActive();
    QLineEdit *search = f.form->SzukanyCiag;
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("n"));
    f.form->LVNotatki->selectionModel()->select(f.form->ListModel->index(0, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    search->setFocus();
    search->setCursorPosition(0);
    {
        ModalWatcher watcher;
        QTest::keyClick(search, Qt::Key_Delete);
        QCOMPARE(watcher.seen, QStringLiteral("TFormUsuwanie"));
    }
    QCOMPARE(search->text(), QStringLiteral("n"));
    f.showActive();
    search->setFocus();
    {
        ModalWatcher watcher;
        QTest::keyClick(search, Qt::Key_Insert);
        QCOMPARE(watcher.seen, QStringLiteral("TFormNotatka"));
    }
    QCOMPARE(search->text(), QStringLiteral("n"));
    QCOMPARE(TestSql::count(f.db.path()), 5);
    // Enter in the search box opens the selected note.
    f.showActive();
    search->setFocus();
    {
        ModalWatcher watcher;
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(watcher.seen, QStringLiteral("TFormNotatka"));
    }
}

void TestApp::commandsNeedASelection()
{
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    f.showActive();
    QVERIFY(f.form->LVNotatki->selectionModel()->selectedRows().isEmpty());
    ModalWatcher watcher;
    QTest::keyClick(f.form->LVNotatki, Qt::Key_Return);
    QTest::keyClick(f.form->LVNotatki, Qt::Key_F2);
    QTest::keyClick(f.form->LVNotatki, Qt::Key_Delete);
    f.form->NotatkaPokazEdytujExecute();
    f.form->DeleteSelectedNote();
    const QRect empty = f.form->LVNotatki->visualRect(f.form->ListModel->index(4, 0));
    QTest::mouseDClick(f.form->LVNotatki->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, empty.bottom() + 40));
    QTest::qWait(50);
    QCOMPARE(watcher.seen, QString());
    QCOMPARE(TestSql::count(f.db.path()), 5);
    // Running alarms stay running: nothing was opened.
    QCOMPARE(TestSql::count(f.db.path(), QStringLiteral("WHERE Alarm = 1")), 2);
}

void TestApp::trayClickToggles()
{
    Fixture f;
    f.open();
    QVERIFY(!f.form->isVisible());
    f.form->TrayIconClick();
    QVERIFY(f.form->isVisible());
    f.form->TrayClickBusy = true; // a click still being handled
    f.form->TrayIconClick();
    QVERIFY(f.form->isVisible());
    f.form->TrayClickBusy = false;
    f.form->TrayIconClick();
    QVERIFY(!f.form->isVisible());
    QVERIFY(!f.form->TrayClickBusy);
    // The close button only hides.
    f.form->TrayIconClick();
    QVERIFY(f.form->isVisible());
    QVERIFY(!f.form->close());
    QVERIFY(!f.form->isVisible());
    QCOMPARE(f.quitRequests, 0);
}

void TestApp::noTrayMeansMinimise()
{
    Fixture f;
    f.open(0);
    QVERIFY(f.form->trayMissing());
    QVERIFY(f.form->isVisible());
    QVERIFY(!(f.form->windowFlags() & Qt::Tool) || (f.form->windowFlags() & Qt::WindowType_Mask) == Qt::Window);
    f.form->UkryjExecute();
    QTRY_VERIFY(f.form->isMinimized());
    QVERIFY(f.form->isVisible());
    f.form->TrayIconClick();
    QVERIFY(!f.form->isMinimized());
}

void TestApp::balloonIsCut_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<QString>("shownText");

    const QString face = QString::fromUcs4(U"\U0001F600");
    QTest::newRow("long") << QString(70, QLatin1Char('T')) << QString(300, QLatin1Char('x'))
                          << QString(63, QLatin1Char('T')) << QString(255, QLatin1Char('x'));
    QTest::newRow("short") << "Penwick A L A R M"
                           << "short\r\n"
                           << "Penwick A L A R M"
                           << "short\r\n";
    // Counted in characters: an emoji is one, and never cut in half.
    QTest::newRow("emoji") << face.repeated(70) << face.repeated(300) << face.repeated(63) << face.repeated(255);
    QTest::newRow("emoji at the limit") << QString(62, QLatin1Char('T')) + face.repeated(2)
                                        << QString(254, QLatin1Char('x')) + face.repeated(2)
                                        << QString(62, QLatin1Char('T')) + face
                                        << QString(254, QLatin1Char('x')) + face;
}

void TestApp::balloonIsCut()
{
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, shownTitle);
    QFETCH(QString, shownText);

    Fixture f;
    f.open();
    QString seenTitle;
    QString seenText;
    f.form->BalloonNotifier->sink = [&](const QString &t, const QString &x) {
        seenTitle = t;
        seenText = x;
    };
    f.form->AlarmBalloonTitle = title;
    f.form->AlarmBalloonText = text;
    f.form->AnnounceAlarms();
    QCOMPARE(seenTitle, shownTitle);
    QCOMPARE(seenText, shownText);
}

void TestApp::announceRefillsUnfiltered()
{
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    f.form->BalloonNotifier->sink = [](const QString &, const QString &) {};
    f.form->SzukanyCiag->setText(QStringLiteral("plain"));
    QCOMPARE(f.form->listIds(), QList<int> {4});
    TestSql::exec(f.db.path(), QStringLiteral("UPDATE NOTATKI SET Alarm = 1 WHERE ID = 4"));
    f.form->AnnounceAlarms();
    QCOMPARE(f.form->listIds(), (QList<int> {4, 3, 1, 5, 2}));
    QCOMPARE(f.form->SzukanyCiag->text(), QStringLiteral("plain"));
}

namespace {
// Runs `during` once the next modal dialog is up, then makes sure it is gone.
template<class During> void whileModal(During during)
{
    QTimer::singleShot(0, [during] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        during(QApplication::activeModalWidget());
        if (auto *left = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            left->reject();
    });
}

QString setting(const QString &path, const QString &key)
{
    return TestSql::value(path, QStringLiteral("SELECT Wartosc FROM USTAWIENIA WHERE Ustawienie = '%1'").arg(key));
}
} // namespace

void TestApp::trayAnswersUnderADialog()
{
    Fixture f;
    f.open();
    f.showActive();
    // The tray icon's window is a top-level of its own, like this one.
    QPushButton trayWindow(QStringLiteral("tray"));
    trayWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&trayWindow));
    QObject::connect(&trayWindow, &QPushButton::clicked, f.form.get(), &TFormMain::CloseProgram);
    f.form->SzukanyCiag->setText(QStringLiteral("abc"));
    int searchClicks = 0;
    QObject::connect(f.form->SzukanyCiag, &QLineEdit::selectionChanged, [&] { ++searchClicks; });
    whileModal([&](QWidget *editor) {
        QVERIFY(qobject_cast<TFormNotatka *>(editor));
        // The editor keeps the main window blocked: a double click that would
        // select the search text does not reach it.
        // Through the window system, which holds back what a modal dialog blocks.
        const QPoint search = f.form->SzukanyCiag->mapTo(f.form.get(), f.form->SzukanyCiag->rect().center());
        QTest::mouseDClick(f.form->windowHandle(), Qt::LeftButton, {}, search);
        QTest::mouseClick(trayWindow.windowHandle(), Qt::LeftButton, {}, trayWindow.rect().center());
    });
    f.form->NewNote();
    QCOMPARE(searchClicks, 0);
    QCOMPARE(f.quitRequests, 1);
    QCOMPARE(TestSql::count(f.db.path()), 0);
}

void TestApp::sessionEndClosesOnce()
{
    Fixture f;
    f.open();
    f.showActive();
    auto *session = qApp->findChild<QSessionManager *>();
    QVERIFY(session);
    // The session ends while the editor holds typed text: it is not saved,
    // and a second request changes nothing.
    whileModal([&](QWidget *editor) {
        qobject_cast<TFormNotatka *>(editor)->Tytul->setText(QStringLiteral("typed"));
        Q_EMIT qApp->commitDataRequest(*session);
        QVERIFY(!QApplication::activeModalWidget());
        Q_EMIT qApp->commitDataRequest(*session);
    });
    f.form->NewNote();
    QCOMPARE(f.quitRequests, 1);
    QCOMPARE(TestSql::count(f.db.path()), 0);
    QCOMPARE(TestSql::value(f.db.path(), QStringLiteral("SELECT COUNT(*) FROM USTAWIENIA")), QStringLiteral("6"));
}

void TestApp::trayActivations_data()
{
    using Reason = QSystemTrayIcon::ActivationReason;
    QTest::addColumn<QList<int>>("reasons");
    QTest::addColumn<bool>("shownBefore");
    QTest::addColumn<bool>("shownAfter");
    // A double click arrives as a click and then the double click.
    QTest::newRow("click shows") << QList<int> {Reason::Trigger} << false << true;
    QTest::newRow("click hides") << QList<int> {Reason::Trigger} << true << false;
    QTest::newRow("double click shows once") << QList<int> {Reason::Trigger, Reason::DoubleClick} << false << true;
    QTest::newRow("double click hides once") << QList<int> {Reason::Trigger, Reason::DoubleClick} << true << false;
    QTest::newRow("menu button leaves it") << QList<int> {Reason::Context} << false << false;
    QTest::newRow("middle button leaves it") << QList<int> {Reason::MiddleClick} << true << true;
}

void TestApp::trayActivations()
{
    QFETCH(QList<int>, reasons);
    QFETCH(bool, shownBefore);
    QFETCH(bool, shownAfter);
    Fixture f;
    f.open();
    if (shownBefore)
        f.form->ShowMainWindow();
    for (int reason : reasons)
        Q_EMIT f.form->TrayIcon->activated(QSystemTrayIcon::ActivationReason(reason));
    QCOMPARE(f.form->isVisible(), shownAfter);
}

void TestApp::trayNewNoteWhileHidden()
{
    Fixture f;
    f.open();
    QVERIFY(!f.form->isVisible());
    bool shownUnder = false;
    QString status;
    whileModal([&](QWidget *editor) {
        shownUnder = f.form->isVisible();
        status = qobject_cast<TFormNotatka *>(editor)->StatusFormatki->text();
    });
    f.form->PMNowaNotatka->trigger();
    QVERIFY(shownUnder);
    QCOMPARE(status, QStringLiteral("New note"));
    QVERIFY(f.form->isVisible());
}

void TestApp::saveKeepsTheFilter_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QList<int>>("listed");
    QTest::newRow("still matching") << "plain, changed" << QList<int> {4};
    QTest::newRow("no longer matching") << "changed" << QList<int> {};
}

void TestApp::saveKeepsTheFilter()
{
    QFETCH(QString, title);
    QFETCH(QList<int>, listed);
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    f.showActive();
    f.form->SzukanyCiag->setText(QStringLiteral("plain"));
    f.form->LVNotatki->selectionModel()->select(f.form->ListModel->index(0, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    whileModal([&](QWidget *modal) {
        auto *editor = qobject_cast<TFormNotatka *>(modal);
        editor->Tytul->setText(title);
        editor->OK->click();
    });
    f.form->NotatkaPokazEdytujExecute();
    QCOMPARE(TestSql::value(f.db.path(), QStringLiteral("SELECT Tytul FROM NOTATKI WHERE ID = 4")), title);
    QCOMPARE(f.form->SzukanyCiag->text(), QStringLiteral("plain"));
    QCOMPARE(f.form->listIds(), listed);
}

void TestApp::acknowledgeInAFilteredList_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QList<int>>("listed");
    // Note 3 runs; opened, it leaves the top group before the editor shows.
    QTest::newRow("filtered") << "running" << QList<int> {1, 3};
    QTest::newRow("filtered by year") << "2021" << QList<int> {3, 5, 2};
    QTest::newRow("full list") << "" << QList<int> {1, 4, 3, 5, 2};
}

void TestApp::acknowledgeInAFilteredList()
{
    QFETCH(QString, search);
    QFETCH(QList<int>, listed);
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    f.showActive();
    f.form->SzukanyCiag->setText(search);
    const int row = f.form->listIds().indexOf(3);
    QVERIFY(row >= 0);
    f.form->LVNotatki->selectionModel()->select(f.form->ListModel->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QList<int> underEditor;
    QList<int> pictures;
    whileModal([&](QWidget *) {
        underEditor = f.form->listIds();
        pictures = listPictures(*f.form);
    });
    f.form->NotatkaPokazEdytujExecute();
    QCOMPARE(underEditor, listed);
    QCOMPARE(pictures.at(listed.indexOf(3)), 1);
    QCOMPARE(f.form->selectedRowId(), 3);
    QCOMPARE(f.form->SzukanyCiag->text(), search);
    QCOMPARE(TestSql::value(f.db.path(), QStringLiteral("SELECT Alarm FROM NOTATKI WHERE ID = 3")),
             QStringLiteral("3"));
}

void TestApp::menusFromTheKeyboard_data()
{
    using Keys = QList<QKeyCombination>;
    QTest::addColumn<Keys>("keys");
    // "bar": the menu bar has the focus with File highlighted; or the open menu.
    QTest::addColumn<QString>("then");
    QTest::newRow("F10") << Keys {Qt::Key_F10} << "bar";
    QTest::newRow("Alt alone") << Keys {Qt::Key_Alt} << "bar";
    QTest::newRow("Alt alone, Enter") << Keys {Qt::Key_Alt, Qt::Key_Return} << "File";
    QTest::newRow("F10, Right, Down") << Keys {Qt::Key_F10, Qt::Key_Right, Qt::Key_Down} << "Info";
    QTest::newRow("Alt+F") << Keys {Qt::ALT | Qt::Key_F} << "File";
    QTest::newRow("Alt+I") << Keys {Qt::ALT | Qt::Key_I} << "Info";
    QTest::newRow("Alt+S types nothing") << Keys {Qt::ALT | Qt::Key_S} << "";
}

void TestApp::menusFromTheKeyboard()
{
    QFETCH(QList<QKeyCombination>, keys);
    QFETCH(QString, then);
    Fixture f;
    f.open();
    f.showActive();
    f.form->SzukanyCiag->setFocus();
    // Through the window, as the window system delivers them: shortcuts first.
    for (const QKeyCombination key : keys)
        QTest::keyClick(f.form->windowHandle(), key.key(), key.keyboardModifiers());
    const bool open = f.form->Plik->isVisible() || f.form->Info->isVisible();
    const bool onFile = then == QLatin1String("bar") || then == QLatin1String("File");
    QCOMPARE(f.form->menuBar()->hasFocus() && !open, then == QLatin1String("bar"));
    QCOMPARE(f.form->menuBar()->activeAction() == f.form->Plik->menuAction(), onFile);
    QCOMPARE(f.form->Info->isVisible(), then == QLatin1String("Info"));
    QCOMPARE(f.form->SzukanyCiag->text(), QString());
    QCOMPARE(f.form->Plik->title(), QStringLiteral("File"));
}

void TestApp::bottomRowPlaces_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QRect>("place"); // a width or height of -1 is the control's own
    const QSize design(292, 535);
    const QSize other(420, 300);
    QTest::newRow("list, design") << "LVNotatki" << design << QRect(7, 6, 279, 492);
    QTest::newRow("new, design") << "SBDodaj" << design << QRect(6, 504, 25, 25);
    QTest::newRow("delete, design") << "SBUsun" << design << QRect(34, 504, 25, 25);
    QTest::newRow("picture, design") << "searchPicture" << design << QRect(81, 509, 13, 16);
    QTest::newRow("label, design") << "searchLabel" << design << QRect(99, 511, -1, -1);
    QTest::newRow("search, design") << "SzukanyCiag" << design << QRect(144, 508, 142, -1);
    // The list follows all four edges, the rest the left and the bottom.
    QTest::newRow("list, other") << "LVNotatki" << other << QRect(7, 6, 407, 257);
    QTest::newRow("new, other") << "SBDodaj" << other << QRect(6, 269, 25, 25);
    QTest::newRow("delete, other") << "SBUsun" << other << QRect(34, 269, 25, 25);
    QTest::newRow("picture, other") << "searchPicture" << other << QRect(81, 274, 13, 16);
    QTest::newRow("label, other") << "searchLabel" << other << QRect(99, 276, -1, -1);
    QTest::newRow("search, other") << "SzukanyCiag" << other << QRect(144, 273, 142, -1);
}

void TestApp::bottomRowPlaces()
{
    QFETCH(QString, control);
    QFETCH(QSize, area);
    QFETCH(QRect, place);
    Fixture f;
    f.open();
    const QHash<QString, QWidget *> controls = {
        {QStringLiteral("LVNotatki"), f.form->LVNotatki},
        {QStringLiteral("SBDodaj"), f.form->SBDodaj},
        {QStringLiteral("SBUsun"), f.form->SBUsun},
        {QStringLiteral("SzukanyCiag"), f.form->SzukanyCiag},
        {QStringLiteral("searchPicture"), f.form->findChild<QLabel *>(QStringLiteral("searchPicture"))},
        {QStringLiteral("searchLabel"), f.form->findChild<QLabel *>(QStringLiteral("searchLabel"))},
    };
    QWidget *widget = controls.value(control);
    QVERIFY(widget);
    QWidget *client = f.form->centralWidget();
    client->layout()->setGeometry(QRect(QPoint(0, 0), area));
    const QRect actual(widget->mapTo(client, QPoint(0, 0)), widget->size());
    QCOMPARE(actual.topLeft(), place.topLeft());
    if (place.width() >= 0)
        QCOMPARE(actual.width(), place.width());
    if (place.height() >= 0)
        QCOMPARE(actual.height(), place.height());
}

void TestApp::outerSize_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QSize>("outer");
    QTest::newRow("default") << "-1"
                             << "-1" << QSize(300, 400);
    QTest::newRow("stored") << "420"
                            << "520" << QSize(420, 520);
    QTest::newRow("below the minimum") << "10"
                                       << "10" << QSize(300, 350);
    QTest::newRow("beyond every screen") << "100000"
                                         << "100000" << QGuiApplication::primaryScreen()->virtualGeometry().size();
}

void TestApp::outerSize()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QSize, outer);
    Fixture f;
    {
        TDM dm(f.db.path());
        dm.SetSetting(QStringLiteral("FormMainWidth"), width);
        dm.SetSetting(QStringLiteral("FormMainHeight"), height);
    }
    f.open();
    f.showActive();
    // The test platform draws a frame, as a window manager would.
    QTRY_VERIFY(f.form->frameGeometry().size() != f.form->size());
    QTRY_COMPARE(f.form->frameGeometry().size(), outer);
    // The bottom row keeps its distance to the client area's bottom.
    QWidget *client = f.form->centralWidget();
    QCOMPARE(f.form->SBDodaj->geometry().bottom() + 1 + 6, client->height());
    f.form->resize(1, 1);
    QTRY_COMPARE(f.form->frameGeometry().size(), QSize(300, 350));
    f.form->resize(outer - (f.form->frameGeometry().size() - f.form->size()));
    QTRY_COMPARE(f.form->frameGeometry().size(), outer);
    f.form->CloseProgram();
    QCOMPARE(setting(f.db.path(), QStringLiteral("FormMainWidth")), QString::number(outer.width()));
    QCOMPARE(setting(f.db.path(), QStringLiteral("FormMainHeight")), QString::number(outer.height()));
}

void TestApp::placeOffEveryScreen_data()
{
    QTest::addColumn<QPoint>("stored");
    QTest::addColumn<QPoint>("place");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint farRight(area.right() + 500, area.top() + 10);
    QTest::newRow("right of every screen") << farRight << QPoint(area.right() + 1 - 300, area.top() + 10);
    QTest::newRow("above and left") << QPoint(-3000, -2000) << area.topLeft();
    QTest::newRow("below") << QPoint(area.left() + 20, area.bottom() + 900)
                           << QPoint(area.left() + 20, area.bottom() + 1 - 400);
    const QPoint partly(area.right() - 50, area.top() + 30);
    QTest::newRow("partly on a screen stays") << partly << partly;
}

void TestApp::placeOffEveryScreen()
{
    QFETCH(QPoint, stored);
    QFETCH(QPoint, place);
    Fixture f;
    {
        TDM dm(f.db.path());
        dm.SetSetting(QStringLiteral("FormMainWidth"), QStringLiteral("300"));
        dm.SetSetting(QStringLiteral("FormMainHeight"), QStringLiteral("400"));
        dm.SetSetting(QStringLiteral("FormMainLeft"), QString::number(stored.x()));
        dm.SetSetting(QStringLiteral("FormMainTop"), QString::number(stored.y()));
    }
    f.open();
    QCOMPARE(f.form->pos(), place);
}

void TestApp::twinSettingRows()
{
    Fixture f;
    // Rows added outside the program, in a file older than the key's unique
    // index: the first of each key counts, and is the one written back.
    TestSql::exec(f.db.path(), QStringLiteral("DROP INDEX USTAWIENIA_Ustawienie"));
    for (const char *row :
         {"'FormMainWidth', '420'", "'FormMainWidth', '500'", "'TytulSzerokosc', '180'", "'TytulSzerokosc', '120'"}) {
        TestSql::exec(
            f.db.path(),
            QStringLiteral("INSERT INTO USTAWIENIA (Ustawienie, Wartosc) VALUES (%1)").arg(QLatin1String(row)));
    }
    f.open();
    QCOMPARE(f.form->width(), 420);
    QCOMPARE(f.form->LVNotatki->header()->sectionSize(0), 180);
    f.form->resize(450, f.form->height());
    f.form->LVNotatki->header()->resizeSection(0, 200);
    f.form->CloseProgram();
    f.form.reset();
    f.dm.reset();
    f.open();
    QCOMPARE(f.form->width(), 450);
    QCOMPARE(f.form->LVNotatki->header()->sectionSize(0), 200);
    const QString rows = QStringLiteral("SELECT LIST(Wartosc, ',') FROM (SELECT Wartosc FROM USTAWIENIA "
                                        "WHERE Ustawienie = '%1' ORDER BY ID)");
    QCOMPARE(TestSql::value(f.db.path(), rows.arg(QStringLiteral("FormMainWidth"))), QStringLiteral("450,500"));
    QCOMPARE(TestSql::value(f.db.path(), rows.arg(QStringLiteral("TytulSzerokosc"))), QStringLiteral("200,120"));
}

namespace {
// The ink a text leaves in a font as it is drawn on the screen.
double ink(const QString &text, const QFont &font)
{
    QImage image(QFontMetrics(font).size(0, text) + QSize(4, 4), QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, text);
    painter.end();
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            sum += 255 - qGray(image.pixel(x, y));
    }
    return sum / 255;
}
} // namespace

void TestApp::boldCaptions_data()
{
    // The row's name is the caption.
    QTest::addColumn<QString>("window");
    QTest::newRow("Search:") << "main";
    QTest::newRow("Title") << "editor";
    QTest::newRow("Message") << "editor";
    QTest::newRow("Password") << "password";
    QTest::newRow("Repeat") << "password";
    QTest::newRow("Legend:") << "about";
}

void TestApp::boldCaptions()
{
    QFETCH(QString, window);
    const QString caption = QString::fromLatin1(QTest::currentDataTag());
    Fixture f;
    f.open();
    std::unique_ptr<QWidget> dialog;
    if (window == QStringLiteral("editor"))
        dialog = std::make_unique<TFormNotatka>(*f.dm, *f.form);
    else if (window == QStringLiteral("password"))
        dialog = std::make_unique<TFormHaslo>(*f.dm);
    else if (window == QStringLiteral("about"))
        dialog = std::make_unique<TFormOProgramie>(QStringLiteral("http://127.0.0.1:9/"));
    QWidget *shown = dialog ? dialog.get() : f.form.get();
    const QList<QLabel *> labels = shown->findChildren<QLabel *>();
    const auto label = std::find_if(labels.begin(), labels.end(), [&](QLabel *l) { return l->text() == caption; });
    QVERIFY(label != labels.end());
    // In the window's own face, and bold as drawn: a face that calls itself
    // bold may still draw thin strokes.
    QCOMPARE(QFontInfo((*label)->font()).family(), QFontInfo(shown->font()).family());
    const double bold = ink(caption, (*label)->font());
    const double regular = ink(caption, shown->font());
    QVERIFY2(bold > 1.25 * regular, qPrintable(QStringLiteral("ink %1 against %2").arg(bold).arg(regular)));
}

void TestApp::notificationActions_data()
{
    // What the notification service reports, in order: "shown NOTIFICATION
    // NOTES [once]" (the notes it lists, the newest firing last; "once": each
    // a one-time alarm), "action NOTIFICATION KEY", "closed NOTIFICATION";
    // after "=>", what the notifier asks for.
    QTest::addColumn<QString>("events");
    QTest::newRow("default action") << "shown 42 7, action 42 default => open 7";
    QTest::newRow("each its own note")
        << "shown 42 7, shown 43 9, action 43 default, action 42 default => open 9, open 7";
    QTest::newRow("another key") << "shown 42 7, action 42 close =>";
    QTest::newRow("not ours") << "shown 42 7, action 41 default =>";
    QTest::newRow("after closing") << "shown 42 7, closed 42, action 42 default =>";
    QTest::newRow("number used again") << "shown 42 7, shown 42 8, action 42 default => open 8";
    QTest::newRow("done") << "shown 42 7, action 42 done => done 7";
    QTest::newRow("several alarms: open the last fired, done all")
        << "shown 42 7+9, action 42 default, action 42 done => open 9, done 7 9";
    QTest::newRow("snooze one-time alarms") << "shown 42 7+9 once, action 42 snooze => snooze 7 9";
    QTest::newRow("no snooze for a repeating one") << "shown 42 7, action 42 snooze =>";
}

void TestApp::notificationActions()
{
    QFETCH(QString, events);
    Notifier notifier(nullptr);
    QStringList seen;
    const auto record = [&seen](const char *what, const QList<int> &ids) {
        QString line = QLatin1String(what);
        for (int id : ids)
            line += QLatin1Char(' ') + QString::number(id);
        seen << line;
    };
    QObject::connect(&notifier, &Notifier::noteActivated, [&](int id) { record("open", {id}); });
    QObject::connect(&notifier, &Notifier::alarmsDone, [&](const QList<int> &ids) { record("done", ids); });
    QObject::connect(&notifier, &Notifier::alarmsSnoozed, [&](const QList<int> &ids) { record("snooze", ids); });
    const QStringList list = events.section(QStringLiteral(" =>"), 0, 0).split(QStringLiteral(", "));
    for (const QString &event : list) {
        const QStringList part = event.split(QLatin1Char(' '));
        if (part[0] == QLatin1String("shown")) {
            NotifiedAlarms alarms;
            for (const QString &id : part[2].split(QLatin1Char('+')))
                alarms.notes << id.toInt();
            alarms.open = alarms.notes.constLast();
            alarms.snoozable = part.size() > 3;
            notifier.sent(part[1].toUInt(), alarms);
        } else if (part[0] == QLatin1String("action")) {
            notifier.actionInvoked(part[1].toUInt(), part[2]);
        } else {
            notifier.notificationClosed(part[1].toUInt(), 2);
        }
    }
    QCOMPARE(seen.join(QStringLiteral(", ")), events.section(QStringLiteral("=> "), 1));
}

void TestApp::alarmNoteShown_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("underDialog");
    QTest::addColumn<QString>("searchAfter");
    QTest::addColumn<int>("selected");
    QTest::newRow("full list") << "" << false << "" << 3;
    QTest::newRow("search that lists it") << "running" << false << "running" << 3;
    QTest::newRow("search that hides it") << "plain" << false << "" << 3;
    QTest::newRow("under a dialog") << "" << true << "" << 4;
}

void TestApp::alarmNoteShown()
{
    QFETCH(QString, search);
    QFETCH(bool, underDialog);
    QFETCH(QString, searchAfter);
    QFETCH(int, selected);
    Fixture f;
    seedNotes(f.db.path());
    f.open();
    f.form->SzukanyCiag->setText(search);
    f.form->SelectedNoteId = 4;
    f.form->RefreshNoteList();
    QVERIFY(!f.form->isVisible());
    if (underDialog) {
        bool shown = false;
        whileModal([&](QWidget *) {
            Q_EMIT f.form->BalloonNotifier->noteActivated(3);
            shown = f.form->isVisible();
        });
        f.form->DeleteSelectedNote();
        QVERIFY(shown);
    } else {
        Q_EMIT f.form->BalloonNotifier->noteActivated(3);
    }
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.form->SzukanyCiag->text(), searchAfter);
    QCOMPARE(f.form->selectedRowId(), selected);
}

void TestApp::sigtermDuringStart()
{
    // The built program, on the offscreen platform, finds dbn.ib beside
    // itself: a copy of it beside a fresh file in this test's folder.
    const QString folder = TestDatabase::processFolder();
    const QString program = folder + QStringLiteral("/penwick");
    const QString database = folder + QStringLiteral("/dbn.ib");
    QFile::remove(program);
    QVERIFY(QFile::copy(QStringLiteral(PENWICK_BINARY), program));
    TestDatabase pristine;
    QVERIFY2(pristine.isValid(), qPrintable(pristine.error()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QStringList keys = {QStringLiteral("FormMainHeight"), QStringLiteral("FormMainWidth"),
                              QStringLiteral("FormMainTop"),    QStringLiteral("FormMainLeft"),
                              QStringLiteral("TytulSzerokosc"), QStringLiteral("DataSzerokosc")};
    constexpr int runs = 20;
    constexpr int spanMs = 300;
    for (int run = 0; run < runs; ++run) {
        const int moment = run * spanMs / runs;
        QFile::remove(database);
        QVERIFY(QFile::copy(pristine.path(), database));
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(program, {});
        QVERIFY(child.waitForStarted());
        // The moments count from the program's first instruction: before
        // it, no program can have a say about a signal.
        QElapsedTimer since;
        since.start();
        while (!holdsEndingSignals(child.processId()) && since.elapsed() < 10000)
            QThread::usleep(100);
        QVERIFY(holdsEndingSignals(child.processId()));
        since.restart();
        while (since.elapsed() < moment)
            QThread::usleep(100);
        ::kill(pid_t(child.processId()), SIGTERM);
        const QString what = QStringLiteral("run %1, SIGTERM at %2 ms: ").arg(run).arg(moment);
        QVERIFY2(child.waitForFinished(2000), qPrintable(what + QStringLiteral("not ended within 2 s")));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(what + QStringLiteral("exit code %1, ").arg(child.exitCode())
                            + QString::fromLocal8Bit(child.readAllStandardError())));
        for (const QString &key : keys) {
            QVERIFY2(TestSql::value(database, QStringLiteral("SELECT COUNT(*) FROM USTAWIENIA WHERE Ustawienie = ")
                                                  + Sql::quote(key))
                         == QStringLiteral("1"),
                     qPrintable(what + key + QStringLiteral(" not stored")));
        }
    }
}

void TestApp::unopenableFileIsSaid_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("zeroed") << "zeroed"
                            << "is not a valid database";
    QTest::newRow("truncated") << "truncated"
                               << "File size is less than expected";
    QTest::newRow("held by another program") << "held"
                                             << "lock";
    QTest::newRow("open in an older version") << "older"
                                              << "older version";
}

void TestApp::unopenableFileIsSaid()
{
    // A dbn.ib that is there but cannot be opened: the program says so once,
    // with the engine's reason, runs without it, ends in order, and leaves
    // the file as it was.
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    const QString program = folder.path() + QStringLiteral("/penwick");
    const QString database = folder.path() + QStringLiteral("/dbn.ib");
    QVERIFY(QFile::copy(QStringLiteral(PENWICK_BINARY), program));
    TestDatabase pristine;
    QVERIFY(QFile::copy(pristine.path(), database));
    QFile file(database);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QFile olderLockTable(folder.path() + QStringLiteral("/.penwick-lock/fb_lock_00fe"));
    if (fault == QStringLiteral("zeroed"))
        file.write(QByteArray(int(file.size()), '\0'));
    if (fault == QStringLiteral("truncated"))
        file.resize(100000);
    // The engine of a program that opened it for itself alone.
    if (fault == QStringLiteral("held"))
        QCOMPARE(::flock(file.handle(), LOCK_EX), 0);
    if (fault == QStringLiteral("older")) {
        QVERIFY(QDir().mkpath(QFileInfo(olderLockTable).absolutePath()));
        QVERIFY(olderLockTable.open(QIODevice::WriteOnly));
        QCOMPARE(::flock(olderLockTable.handle(), LOCK_SH), 0);
    }
    file.flush();
    QVERIFY(file.seek(0));
    const QByteArray before = file.readAll();
    QProcess child;
    child.start(program, {});
    QVERIFY(child.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += child.readAllStandardError()).contains("cannot open"), 20000);
    QVERIFY2(said.contains(reason.toUtf8()), said.constData());
    QCOMPARE(child.state(), QProcess::Running);
    ::kill(pid_t(child.processId()), SIGTERM);
    QVERIFY(child.waitForFinished(10000));
    said += child.readAllStandardError();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, said.constData());
    QCOMPARE(said.count("cannot open"), 1);
    QVERIFY(file.seek(0));
    QVERIFY(file.readAll() == before);
}

// The icon compiled in is the note picture of the resources, pixel for pixel.
void TestApp::programIconIsTheNotePicture()
{
    const QImage file = DialogLook::picture(QStringLiteral(":/icons/note.png"))
                            .toImage()
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QVERIFY(!file.isNull());
    const QImage icon = DialogLook::programIcon().pixmap(file.size()).toImage().convertToFormat(file.format());
    QCOMPARE(icon, file);
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
