#include "FormProbe.h"
#include "MockClock.h"
#include "TestDatabase.h"
#include "app/FormMain.h"
#include "app/NoteListModel.h"
#include "notes/FormNotatka.h"
#include "notes/FormUsuwanie.h"
#include "store/DataModule.h"
#include "store/Firebird.h"
#include "store/Sql.h"
#include "ui/DialogLook.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeView>

#include <ctime>
#include <memory>

namespace {

const QDate kToday(2024, 6, 14);
const QTime kNowTime(10, 20, 30);
const QDateTime kNow(kToday, kNowTime);

// The columns of a stored note, each as text ("<null>" for NULL).
struct StoredNote {
    QString title, body, created, alarm, kind, date, time, archive;
};

StoredNote storedNote(const QString &path, int id)
{
    const QStringList columns = TestSql::row(
        path, QStringLiteral("SELECT * FROM NOTATKI WHERE ID = ") + QString::number(id),
        {"Tytul", "Tresc", "DataGodzina", "Alarm", "AlarmRodzaj", "AlarmData", "AlarmGodzina", "AlarmArchiwum"});
    StoredNote note;
    if (columns.isEmpty()) {
        note.title = QStringLiteral("<none>");
        return note;
    }
    note = {columns[0], columns[1], columns[2], columns[3], columns[4], columns[5], columns[6], columns[7]};
    return note;
}

// Seeded rows take IDs from 101 on, so the generator's first IDs stay free
// for the notes the editor creates.
void seedNotes(const QString &path, int count)
{
    for (int i = 0; i < count; ++i) {
        TestSql::insertNote(path, 101 + i, QStringLiteral("Seed %1").arg(i + 1),
                            QStringLiteral("2024.06.0%1 08:00:00").arg(i + 1));
    }
}

// Takes the data module's file away, so that its next statement fails;
// answers where the file went.
QString breakConnection(TDM &dm)
{
    dm.DisconnectDatabase();
    const QString moved = dm.databaseName() + QStringLiteral(".gone");
    return QFile::rename(dm.databaseName(), moved) ? moved : QString();
}

// `n` times a character beyond the Basic Multilingual Plane: two UTF-16 units each.
QString emoji(int n)
{
    return QString::fromUcs4(U"\U0001F600").repeated(n);
}

bool activate(QWidget *window)
{
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

} // namespace

class TestNotes final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // The editor's look and controls.
    void dialogLook_data();
    void dialogLook();
    void editorTabOrder();

    // Titles, body and counter.
    void defaultTitle_data();
    void defaultTitle();
    void defaultTitleUnavailable();
    void emptiedTitleSavedAsFreshDefault();
    void charactersLeft_data();
    void charactersLeft();
    void bodyLimitOnInsert_data();
    void bodyLimitOnInsert();
    void bodyLimitWhileTyping();
    void bodyLimitUndoesInOneStep();
    void lineLimitsCountCharacters_data();
    void lineLimitsCountCharacters();

    // Saving.
    void newNoteWritesRow_data();
    void newNoteWritesRow();
    void apostrophesSurvive();
    void failedSaveKeepsTheText_data();
    void failedSaveKeepsTheText();
    void textRoundTrip_data();
    void textRoundTrip();
    void closingWithoutSaving_data();
    void closingWithoutSaving();
    void saveOverAChangeElsewhere_data();
    void saveOverAChangeElsewhere();

    // Alarm controls.
    void loadNoteFillsAlarmControls_data();
    void loadNoteFillsAlarmControls();
    void alarmBoxResetsPickersOnlyForNewNote();
    void alarmValidation_data();
    void alarmValidation();
    void messageBoxTitledWithApplicationTitle();
    void alarmValidationAcrossClockChange_data();
    void alarmValidationAcrossClockChange();
    void pickerKeepsSecondsOfNow();
    void applyAlarmOnSave_data();
    void applyAlarmOnSave();

    // Through the main window.
    void viewEditAcknowledgesBeforeShowing_data();
    void viewEditAcknowledgesBeforeShowing();
    void viewEditStopsWhenStateUnreadable();
    void saveStopsWhenStateUnreadable();

    // Deletion.
    void deleteConfirmed_data();
    void deleteConfirmed();
    void deleteCancelled_data();
    void deleteCancelled();
    void deleteFailureStillRefills();

private:
    std::unique_ptr<TFormNotatka> newEditor(TDM &dm, TFormMain &main);
    std::unique_ptr<TFormNotatka> existingEditor(TDM &dm, TFormMain &main, int id);

    std::unique_ptr<MockClock> m_clock;
};

void TestNotes::initTestCase()
{
    // Local time without daylight saving, so moments compare the same anywhere.
    qputenv("TZ", "UTC0");
    tzset();
}

void TestNotes::init()
{
    m_clock = std::make_unique<MockClock>(kNow);
    MessageBox::setRecording(true);
}

void TestNotes::cleanup()
{
    MessageBox::setRecording(false);
    m_clock.reset();
}

std::unique_ptr<TFormNotatka> TestNotes::newEditor(TDM &dm, TFormMain &main)
{
    auto editor = std::make_unique<TFormNotatka>(dm, main);
    editor->StatusFormatki->setText(QStringLiteral("New note"));
    editor->NoteId = -1;
    editor->show();
    return editor;
}

std::unique_ptr<TFormNotatka> TestNotes::existingEditor(TDM &dm, TFormMain &main, int id)
{
    auto editor = std::make_unique<TFormNotatka>(dm, main);
    editor->NoteId = id;
    editor->StatusFormatki->setText(QStringLiteral("View / Edit"));
    editor->LoadNote(id);
    editor->show();
    return editor;
}

// ---------------------------------------------------------------------------
// Look

void TestNotes::dialogLook_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("resizable");
    QTest::addColumn<bool>("maximisable");
    QTest::newRow("editor") << "editor"
                            << "FormNotatka"
                            << "Penwick - Note" << true << true;
    QTest::newRow("delete") << "delete"
                            << "FormUsuwanie"
                            << "Penwick - Delete" << false << false;
}

void TestNotes::dialogLook()
{
    QFETCH(QString, which);
    QFETCH(QString, objectName);
    QFETCH(QString, caption);
    QFETCH(bool, resizable);
    QFETCH(bool, maximisable);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    std::unique_ptr<QDialog> dialog;
    if (which == QStringLiteral("editor"))
        dialog = std::make_unique<TFormNotatka>(dm, main);
    else
        dialog = std::make_unique<TFormUsuwanie>(dm, main);

    QCOMPARE(dialog->objectName(), objectName);
    QCOMPARE(dialog->windowTitle(), caption);
    QCOMPARE(dialog->palette().color(QPalette::Window), QColor(255, 251, 240));
    QCOMPARE(dialog->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(dialog->font().pixelSize(), 11);
    QCOMPARE(dialog->minimumSize() == dialog->maximumSize(), !resizable);
    QCOMPARE(bool(dialog->windowFlags() & Qt::WindowMaximizeButtonHint), maximisable);
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(dialog->windowFlags() & Qt::WindowSystemMenuHint);
    if (resizable)
        QCOMPARE(dialog->minimumSize(), QSize(400, 300));

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint centre = dialog->geometry().center();
    QVERIFY2(qAbs(centre.x() - area.center().x()) <= 1 && qAbs(centre.y() - area.center().y()) <= 1,
             qPrintable(QStringLiteral("centre %1,%2").arg(centre.x()).arg(centre.y())));
}

void TestNotes::editorTabOrder()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    QVERIFY(activate(editor.get()));
    editor->cAlarm->setChecked(true);

    QCOMPARE(QApplication::focusWidget(), editor->Tytul);
    const QList<QWidget *> expected = {editor->cAlarm, editor->dtDate, editor->dtTime, editor->Tresc,
                                       editor->OK,     editor->Anuluj, editor->Tytul};
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    QVERIFY(editor->OK->isDefault());
    QVERIFY(editor->cbAlarm->isHidden());
    QCOMPARE(editor->cbAlarm->count(), 5);
    QCOMPARE(editor->cbAlarm->itemText(2), QStringLiteral("co tydzień"));
    QCOMPARE(editor->dtTime->displayFormat(), QStringLiteral("HH:mm"));
    QVERIFY(editor->dtDate->calendarPopup());
}

// ---------------------------------------------------------------------------
// Titles, body and counter

void TestNotes::defaultTitle_data()
{
    QTest::addColumn<int>("seeded");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("title");
    QTest::newRow("no notes") << 0 << 0 << "New note"
                              << "Note no 1";
    QTest::newRow("four notes") << 4 << 0 << "New note"
                                << "Note no 5";
    // A count, not a sequence: it can repeat a title that exists.
    QTest::newRow("after deletions") << 5 << 2 << "New note"
                                     << "Note no 4";
    QTest::newRow("view mode keeps the loaded title") << 2 << 0 << "View / Edit"
                                                      << "";
    QTest::newRow("status must match exactly") << 2 << 0 << "New note "
                                               << "";
}

void TestNotes::defaultTitle()
{
    QFETCH(int, seeded);
    QFETCH(int, deleted);
    QFETCH(QString, status);
    QFETCH(QString, title);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    seedNotes(db.path(), seeded);
    for (int i = 0; i < deleted; ++i)
        TestSql::exec(db.path(), QStringLiteral("DELETE FROM NOTATKI WHERE ID = ") + QString::number(101 + i));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());

    TFormNotatka editor(dm, main);
    editor.StatusFormatki->setText(status);
    QCOMPARE(editor.Tytul->text(), QString());
    editor.show();
    QCOMPARE(editor.Tytul->text(), title);
    QCOMPARE(editor.DefaultTitle(), QStringLiteral("Note no ") + QString::number(seeded - deleted + 1));
}

void TestNotes::defaultTitleUnavailable()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.folder() + QStringLiteral("/missing.ib"));
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    QCOMPARE(editor->Tytul->text(), QStringLiteral("n. a."));
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

void TestNotes::emptiedTitleSavedAsFreshDefault()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    seedNotes(db.path(), 2);
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    QCOMPARE(editor->Tytul->text(), QStringLiteral("Note no 3"));

    // Another note arrives while the editor is open: the title counts at save.
    TestSql::insertNote(db.path(), 150, QStringLiteral("Meanwhile"), QStringLiteral("2024.06.10 08:00:00"));
    editor->Tytul->clear();
    editor->OK->click();

    QVERIFY(!editor->isVisible());
    QVERIFY(main.SelectedNoteId > 0);
    QCOMPARE(storedNote(db.path(), main.SelectedNoteId).title, QStringLiteral("Note no 4"));
}

void TestNotes::charactersLeft_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("left");
    QTest::newRow("empty") << "" << 5000;
    QTest::newRow("one line") << "Call the dentist" << 4984;
    QTest::newRow("one break") << "a\nb" << 4996;
    QTest::newRow("only breaks") << "\n\n\n" << 4994;
    QTest::newRow("full") << QString(5000, QLatin1Char('x')) << 0;
    QTest::newRow("full with breaks") << QString(4990, QLatin1Char('x')) + QStringLiteral("\n\n\n\n\n") << 0;
    QTest::newRow("an emoji counts once") << emoji(10) << 4990;
    QTest::newRow("full of emoji") << emoji(5000) << 0;
}

void TestNotes::charactersLeft()
{
    QFETCH(QString, body);
    QFETCH(int, left);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left 5000"));
    editor->Tresc->setPlainText(body);
    QCOMPARE(editor->Tresc->toPlainText(), body);
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left ") + QString::number(left));

    // The same body loaded from a row, where its breaks are CR LF.
    TestSql::insertNote(db.path(), 101, QStringLiteral("Stored"), QStringLiteral("2024.06.01 08:00:00"), 0, 0,
                        QString(), QString(), QString(body).replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
    auto loaded = existingEditor(dm, main, 101);
    QCOMPARE(loaded->Tresc->toPlainText(), body);
    QCOMPARE(loaded->LBIloscZnakow->text(), QStringLiteral("Characters left ") + QString::number(left));
}

void TestNotes::bodyLimitOnInsert_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("selectFrom");
    QTest::addColumn<int>("selectTo");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("caret");

    const QString a4990(4990, QLatin1Char('a'));
    const QString a4995(4995, QLatin1Char('a'));
    const QString a4997(4997, QLatin1Char('a'));
    const QString a4999(4999, QLatin1Char('a'));
    const QString a5000(5000, QLatin1Char('a'));
    const QString head(2500, QLatin1Char('h'));
    const QString tail(2495, QLatin1Char('t'));

    QTest::newRow("fits exactly") << a4990 << 4990 << 4990 << "0123456789" << a4990 + QStringLiteral("0123456789")
                                  << 5000;
    QTest::newRow("cut at its end") << a4995 << 4995 << 4995 << "0123456789" << a4995 + QStringLiteral("01234") << 5000;
    QTest::newRow("into the middle keeps the tail")
        << head + tail << 2500 << 2500 << "0123456789" << head + QStringLiteral("01234") + tail << 2505;
    QTest::newRow("a break needs two") << a4999 << 4999 << 4999 << "\n" << a4999 << 4999;
    QTest::newRow("a break is never halved")
        << a4997 << 4997 << 4997 << "x\ny" << a4997 + QStringLiteral("x\n") << 4999;
    QTest::newRow("CR LF is one break") << a4995 << 4995 << 4995 << "x\r\ny\r\nz" << a4995 + QStringLiteral("x\ny")
                                        << 4998;
    QTest::newRow("a selection frees its room")
        << a5000 << 10 << 13 << "bcdef" << QStringLiteral("aaaaaaaaaabcd") + QString(4987, QLatin1Char('a')) << 13;
    QTest::newRow("full refuses everything") << a5000 << 0 << 0 << "zz" << a5000 << 0;
    QTest::newRow("an emoji is one character") << a4999 << 4999 << 4999 << emoji(2) << a4999 + emoji(1) << 5001;
    QTest::newRow("an emoji is never halved")
        << a4997 << 4997 << 4997 << QStringLiteral("x") + emoji(1) + QStringLiteral("yz")
        << a4997 + QStringLiteral("x") + emoji(1) + QStringLiteral("y") << 5001;
    QTest::newRow("emoji after emoji") << emoji(4990) << 9980 << 9980 << emoji(20) << emoji(5000) << 10000;
}

void TestNotes::bodyLimitOnInsert()
{
    QFETCH(QString, before);
    QFETCH(int, selectFrom);
    QFETCH(int, selectTo);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    QFETCH(int, caret);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    editor->Tresc->setPlainText(before);
    QTextCursor cursor = editor->Tresc->textCursor();
    cursor.setPosition(selectFrom);
    cursor.setPosition(selectTo, QTextCursor::KeepAnchor);
    editor->Tresc->setTextCursor(cursor);

    QApplication::clipboard()->setText(pasted);
    editor->Tresc->paste();

    QCOMPARE(editor->Tresc->toPlainText(), after);
    QCOMPARE(editor->Tresc->textCursor().position(), caret);
    // Stored, each break takes two and each character one, whatever its size.
    const int stored = int(after.toUcs4().size() + after.count(QLatin1Char('\n')));
    QVERIFY(stored <= 5000);
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left ") + QString::number(5000 - stored));
}

void TestNotes::bodyLimitWhileTyping()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    QPlainTextEdit *body = editor->Tresc;
    body->setPlainText(QString(4995, QLatin1Char('a')));
    body->moveCursor(QTextCursor::End);

    QTest::keyClicks(body, QStringLiteral("xyz"));
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left 2"));
    QTest::keyClick(body, Qt::Key_Return);
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left 0"));
    QTest::keyClicks(body, QStringLiteral("more"));
    QTest::keyClick(body, Qt::Key_Return);
    QCOMPARE(body->toPlainText(), QString(4995, QLatin1Char('a')) + QStringLiteral("xyz\n"));
    QCOMPARE(body->textCursor().position(), 4999);

    // Removing the break gives back two; one character then fits, a break not.
    QTest::keyClick(body, Qt::Key_Backspace);
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left 2"));
    QTest::keyClick(body, Qt::Key_Q);
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left 1"));
    QTest::keyClick(body, Qt::Key_Return);
    QCOMPARE(body->toPlainText(), QString(4995, QLatin1Char('a')) + QStringLiteral("xyzq"));
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left 1"));

    // Typing in the middle at the limit leaves the text and the caret alone.
    QTest::keyClick(body, Qt::Key_R);
    QTextCursor middle = body->textCursor();
    middle.setPosition(100);
    body->setTextCursor(middle);
    QTest::keyClicks(body, QStringLiteral("zz"));
    QCOMPARE(body->toPlainText(), QString(4995, QLatin1Char('a')) + QStringLiteral("xyzqr"));
    QCOMPARE(body->textCursor().position(), 100);
}

void TestNotes::bodyLimitUndoesInOneStep()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    const QString before(4998, QLatin1Char('a'));
    editor->Tresc->setPlainText(before);
    editor->Tresc->moveCursor(QTextCursor::End);
    QApplication::clipboard()->setText(QStringLiteral("0123456789"));
    editor->Tresc->paste();
    QCOMPARE(editor->Tresc->toPlainText(), before + QStringLiteral("01"));

    editor->Tresc->undo();
    QCOMPARE(editor->Tresc->toPlainText(), before);
    editor->Tresc->redo();
    QCOMPARE(editor->Tresc->toPlainText(), before + QStringLiteral("01"));
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left 0"));
}

void TestNotes::lineLimitsCountCharacters_data()
{
    QTest::addColumn<bool>("title");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("after");

    const QString a(QLatin1Char('a'));
    for (bool title : {true, false}) {
        const QByteArray box = title ? "title, " : "search, ";
        QTest::newRow(box + "50 emoji pasted") << title << QString() << 0 << emoji(50) << true << emoji(50);
        QTest::newRow(box + "60 emoji pasted") << title << QString() << 0 << emoji(60) << true << emoji(50);
        QTest::newRow(box + "the 50th typed") << title << emoji(49) << 98 << emoji(1) << false << emoji(50);
        QTest::newRow(box + "a 51st typed") << title << emoji(50) << 100 << emoji(1) << false << emoji(50);
        QTest::newRow(box + "a letter after 50 emoji") << title << emoji(50) << 100 << a << false << emoji(50);
        QTest::newRow(box + "an emoji after 50 letters")
            << title << a.repeated(50) << 50 << emoji(1) << false << a.repeated(50);
        QTest::newRow(box + "cut at the end of the paste")
            << title << a.repeated(49) << 49 << emoji(2) << true << a.repeated(49) + emoji(1);
        QTest::newRow(box + "a paste into the middle keeps the tail")
            << title << a.repeated(47) << 10 << emoji(1) + QStringLiteral("xyz") << true
            << a.repeated(10) + emoji(1) + QStringLiteral("xy") + a.repeated(37);
    }
}

void TestNotes::lineLimitsCountCharacters()
{
    QFETCH(bool, title);
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(QString, after);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    QLineEdit *edit = title ? editor->Tytul : main.SzukanyCiag;
    edit->setText(before);
    edit->setCursorPosition(cursor);
    if (pasted) {
        QApplication::clipboard()->setText(typed);
        edit->paste();
    } else {
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, typed, Qt::NoModifier);
    }
    QCOMPARE(edit->text(), after);
    if (!title)
        return;
    // The database takes the same 50 characters.
    editor->OK->click();
    QVERIFY(!editor->isVisible());
    QCOMPARE(storedNote(db.path(), main.SelectedNoteId).title, after);
}

// ---------------------------------------------------------------------------
// Saving

void TestNotes::newNoteWritesRow_data()
{
    QTest::addColumn<bool>("alarm");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("alarmDate");
    QTest::addColumn<QString>("alarmTime");
    // The pickers are set a day ahead at 09:15 when the alarm is on; off,
    // they keep the moment the editor opened.
    QTest::newRow("without alarm") << false << ""
                                   << "0"
                                   << "2024-06-14"
                                   << "10:20:00";
    QTest::newRow("with alarm") << true << ""
                                << "2"
                                << "2024-06-15"
                                << "09:15:00";
    QTest::newRow("while searching") << false << "zzz"
                                     << "0"
                                     << "2024-06-14"
                                     << "10:20:00";
}

void TestNotes::newNoteWritesRow()
{
    QFETCH(bool, alarm);
    QFETCH(QString, search);
    QFETCH(QString, state);
    QFETCH(QString, alarmDate);
    QFETCH(QString, alarmTime);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    seedNotes(db.path(), 2);
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.SzukanyCiag->setText(search);
    auto editor = newEditor(dm, main);
    editor->Tytul->setText(QStringLiteral("Dentist"));
    editor->Tresc->setPlainText(QStringLiteral("Call the dentist\nat nine"));
    if (alarm) {
        editor->cAlarm->click();
        editor->dtDate->setDate(kToday.addDays(1));
        editor->dtTime->setTime(QTime(9, 15));
    }
    // The row carries the moment of saving, not of opening.
    m_clock->advance(65);
    editor->OK->click();

    QVERIFY(!editor->isVisible());
    QCOMPARE(editor->result(), int(QDialog::Accepted));
    QVERIFY(MessageBox::takeRecorded().isEmpty());
    const int id = main.SelectedNoteId;
    QCOMPARE(id, 1);
    const StoredNote note = storedNote(db.path(), id);
    QCOMPARE(note.title, QStringLiteral("Dentist"));
    QCOMPARE(note.body, QStringLiteral("Call the dentist\r\nat nine"));
    QCOMPARE(note.created, QStringLiteral("2024-06-14 10:21:35"));
    QCOMPARE(note.alarm, state);
    QCOMPARE(note.kind, QStringLiteral("0"));
    QCOMPARE(note.date, alarmDate);
    QCOMPARE(note.time, alarmTime);
    QCOMPARE(note.archive, QStringLiteral("<null>"));

    // The full list, whatever the search box holds, with the new note selected.
    QCOMPARE(main.ListModel->count(), 3);
    QCOMPARE(main.selectedRowId(), id);
    QCOMPARE(main.SzukanyCiag->text(), search);
    if (!search.isEmpty())
        QCOMPARE(main.focusWidget(), main.LVNotatki);
}

void TestNotes::apostrophesSurvive()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    const QString title = QStringLiteral("it's O'Brien's");
    const QString body = QStringLiteral("it's\n'quoted' and ''doubled''");

    auto editor = newEditor(dm, main);
    editor->Tytul->setText(title);
    editor->Tresc->setPlainText(body);
    editor->OK->click();
    const int id = main.SelectedNoteId;
    QVERIFY(id > 0);
    QCOMPARE(storedNote(db.path(), id).title, title);
    QCOMPARE(storedNote(db.path(), id).body, QString(body).replace(QLatin1Char('\n'), QStringLiteral("\r\n")));

    auto again = existingEditor(dm, main, id);
    QCOMPARE(again->Tytul->text(), title);
    QCOMPARE(again->Tresc->toPlainText(), body);
    again->Tytul->setText(title + QStringLiteral("'"));
    again->OK->click();
    QCOMPARE(storedNote(db.path(), id).title, title + QStringLiteral("'"));
    QCOMPARE(storedNote(db.path(), id).body, QString(body).replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
}

void TestNotes::failedSaveKeepsTheText_data()
{
    QTest::addColumn<bool>("existing");
    QTest::addColumn<bool>("rowHeld");
    QTest::addColumn<QString>("message");
    QTest::newRow("new note, read-only file") << false << false << "Can't add new note!";
    QTest::newRow("existing note, read-only file") << true << false << "Can't save changes in note!";
    QTest::newRow("existing note, row held by another copy") << true << true << "Can't save changes in note!";
}

void TestNotes::failedSaveKeepsTheText()
{
    QFETCH(bool, existing);
    QFETCH(bool, rowHeld);
    QFETCH(QString, message);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 101, QStringLiteral("Stored"), QStringLiteral("2024.06.01 08:00:00"), 0, 0,
                        QString(), QString(), QStringLiteral("Stored body"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.FillNoteList(101);
    auto editor = existing ? existingEditor(dm, main, 101) : newEditor(dm, main);
    const QString title = QStringLiteral("Typed title");
    const QString body = QStringLiteral("Typed\nbody");
    editor->Tytul->setText(title);
    editor->Tresc->setPlainText(body);

    // Another copy holds the row in an open transaction, or the file is read-only.
    std::unique_ptr<Firebird::Connection> other;
    std::unique_ptr<Firebird::Transaction> holding;
    if (rowHeld) {
        other = std::make_unique<Firebird::Connection>(db.path());
        holding = std::make_unique<Firebird::Transaction>(*other, Firebird::Transaction::ReadWrite);
        holding->execute(QStringLiteral("UPDATE NOTATKI SET Tresc = 'theirs' WHERE ID = 101"));
    } else {
        dm.DisconnectDatabase();
        TestSql::setReadOnly(db.path(), true);
    }
    editor->OK->click();

    QVERIFY(editor->isVisible());
    const QStringList shown = MessageBox::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().startsWith(message + QStringLiteral("\n\n")), qPrintable(shown.first()));
    // The database's reason follows the fixed text.
    QVERIFY2(shown.first().size() > message.size() + 80, qPrintable(shown.first()));
    QCOMPARE(editor->Tytul->text(), title);
    QCOMPARE(editor->Tresc->toPlainText(), body);
    QCOMPARE(TestSql::count(db.path()), 1);
    QCOMPARE(storedNote(db.path(), 101).title, QStringLiteral("Stored"));

    // Once the cause is gone, OK again stores the note.
    if (rowHeld) {
        holding.reset();
        other.reset();
    } else {
        dm.DisconnectDatabase();
        TestSql::setReadOnly(db.path(), false);
    }
    editor->OK->click();

    QVERIFY(!editor->isVisible());
    QCOMPARE(editor->result(), int(QDialog::Accepted));
    QVERIFY(MessageBox::takeRecorded().isEmpty());
    const int id = existing ? 101 : main.SelectedNoteId;
    QVERIFY(id > 0);
    QCOMPARE(storedNote(db.path(), id).title, title);
    QCOMPARE(storedNote(db.path(), id).body, QStringLiteral("Typed\r\nbody"));
    QCOMPARE(TestSql::count(db.path()), existing ? 1 : 2);
}

void TestNotes::textRoundTrip_data()
{
    QTest::addColumn<QString>("pastedTitle");
    QTest::addColumn<QString>("pastedBody");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    const QString nul(QChar(0));
    QTest::newRow("NUL") << QStringLiteral("a") + nul + QStringLiteral("b") << nul + QStringLiteral("c\nd") + nul
                         << QStringLiteral("ab") << QStringLiteral("c\nd");
    QTest::newRow("lone surrogates") << QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("b")
                                     << QStringLiteral("c") + QChar(0xDC1D) << QStringLiteral("ab")
                                     << QStringLiteral("c");
    QTest::newRow("byte-order mark first") << QStringLiteral("\uFEFFTitle") << QStringLiteral("\uFEFFBody")
                                           << QStringLiteral("\uFEFFTitle") << QStringLiteral("\uFEFFBody");
    QTest::newRow("no-break space and line separator")
        << QStringLiteral("a\u00A0b\u2028c") << QStringLiteral("x\u00A0y\u2028z\n\u00A0")
        << QStringLiteral("a\u00A0b\u2028c") << QStringLiteral("x\u00A0y\u2028z\n\u00A0");
    // As many four-byte letters as the fields take today (they count UTF-16 units).
    const QString letters = QString(25, QChar(0xD83D)).replace(QChar(0xD83D), QStringLiteral("\U0001F4DD"));
    const QString bodyLetters = QString(2500, QChar(0xD83D)).replace(QChar(0xD83D), QStringLiteral("\U0001F600"));
    QTest::newRow("four-byte letters") << letters << bodyLetters << letters << bodyLetters;
}

void TestNotes::textRoundTrip()
{
    QFETCH(QString, pastedTitle);
    QFETCH(QString, pastedBody);
    QFETCH(QString, title);
    QFETCH(QString, body);
    const QString stored = QString(body).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    editor->Tytul->clear();
    QApplication::clipboard()->setText(pastedTitle);
    editor->Tytul->paste();
    QApplication::clipboard()->setText(pastedBody);
    editor->Tresc->paste();
    // What the fields show is what will be stored.
    QCOMPARE(editor->Tytul->text(), title);
    QCOMPARE(editor->Tresc->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')), body);
    editor->OK->click();
    QVERIFY(!editor->isVisible());
    const int id = main.SelectedNoteId;
    QVERIFY(id > 0);
    QCOMPARE(storedNote(db.path(), id).title, title);
    QCOMPARE(storedNote(db.path(), id).body, stored);

    // Shown again exactly, and saved back unchanged.
    auto again = existingEditor(dm, main, id);
    QCOMPARE(again->Tytul->text(), title);
    QCOMPARE(again->Tresc->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')), body);
    again->OK->click();
    QVERIFY(!again->isVisible());
    QCOMPARE(storedNote(db.path(), id).title, title);
    QCOMPARE(storedNote(db.path(), id).body, stored);

    // The search box keeps out what the title box keeps out, and finds the note.
    main.SzukanyCiag->setText(pastedTitle);
    QCOMPARE(main.SzukanyCiag->text(), title);
    QCOMPARE(main.listIds(), QVector<int> {id});
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

void TestNotes::closingWithoutSaving_data()
{
    QTest::addColumn<bool>("existing");
    QTest::addColumn<QString>("way");
    for (const bool existing : {false, true}) {
        for (const char *way : {"Cancel", "Esc", "Zamknij", "close button"}) {
            QTest::addRow("%s note, %s", existing ? "existing" : "new", way) << existing << QString::fromLatin1(way);
        }
    }
}

void TestNotes::closingWithoutSaving()
{
    QFETCH(bool, existing);
    QFETCH(QString, way);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 101, QStringLiteral("Kept"), QStringLiteral("2024.06.01 08:00:00"), 3, 0,
                        QStringLiteral("2024.06.20"), QStringLiteral("08:00"), QStringLiteral("Body"),
                        QStringLiteral("2024.06.02 09:00:00"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.FillNoteList(101);
    const StoredNote before = storedNote(db.path(), 101);
    QSignalSpy refills(main.ListModel, &QAbstractItemModel::modelReset);

    auto editor = existing ? existingEditor(dm, main, 101) : newEditor(dm, main);
    QVERIFY(activate(editor.get()));
    editor->Tytul->setText(QStringLiteral("Changed"));
    editor->Tresc->setPlainText(QStringLiteral("Changed body"));
    editor->cAlarm->setChecked(!editor->cAlarm->isChecked());
    editor->dtDate->setDate(kToday.addDays(3));

    if (way == QStringLiteral("Cancel"))
        editor->Anuluj->click();
    else if (way == QStringLiteral("Esc"))
        QTest::keyClick(editor->Tytul, Qt::Key_Escape);
    else if (way == QStringLiteral("Zamknij"))
        editor->Zamknij->trigger();
    else
        editor->close();

    QVERIFY(!editor->isVisible());
    QCOMPARE(editor->result(), int(QDialog::Rejected));
    QCOMPARE(TestSql::count(db.path()), 1);
    const StoredNote after = storedNote(db.path(), 101);
    QCOMPARE(after.title, before.title);
    QCOMPARE(after.body, before.body);
    QCOMPARE(after.alarm, before.alarm);
    QCOMPARE(after.date, before.date);
    QCOMPARE(after.archive, before.archive);
    QCOMPARE(refills.count(), 0);
    QCOMPARE(main.SelectedNoteId, 101);
}

void TestNotes::saveOverAChangeElsewhere_data()
{
    // What happened to note 101 after the editor loaded it, the answer to the
    // question the save then asks (-1: none asked), and what is stored.
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("titles");
    QTest::newRow("nothing: saved at once") << "" << -1 << true << "typed";
    QTest::newRow("opened on a missing note, kept") << "missing" << 1 << false << "";
    QTest::newRow("deleted, kept editing") << "deleted" << 1 << false << "";
    QTest::newRow("deleted, saved as new") << "deleted" << 0 << true << "typed";
    QTest::newRow("changed, kept editing") << "changed" << 2 << false << "theirs";
    QTest::newRow("changed, overwritten") << "changed" << 0 << true << "typed";
    QTest::newRow("changed, saved as new") << "changed" << 1 << true << "theirs,typed";
}

void TestNotes::saveOverAChangeElsewhere()
{
    // Another copy of the program changed or deleted the note while this
    // editor held it: nothing typed is lost, nor the other copy's work.
    QFETCH(QString, meanwhile);
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QFETCH(QString, titles);
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    if (meanwhile != QStringLiteral("missing"))
        TestSql::insertNote(db.path(), 101, QStringLiteral("Only"), QStringLiteral("2024.06.01 08:00:00"), 0, 0,
                            QStringLiteral("2024.06.20"), QStringLiteral("08:00"), QStringLiteral("Body"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = existingEditor(dm, main, 101);
    if (meanwhile == QStringLiteral("deleted"))
        TestSql::exec(db.path(), QStringLiteral("DELETE FROM NOTATKI WHERE ID = 101"));
    if (meanwhile == QStringLiteral("changed"))
        TestSql::exec(db.path(), QStringLiteral("UPDATE NOTATKI SET Tytul = 'theirs' WHERE ID = 101"));
    editor->Tytul->setText(QStringLiteral("typed"));
    editor->Tresc->setPlainText(QStringLiteral("mine"));
    MessageBox::setNextAnswers({answer});
    editor->OK->click();

    QCOMPARE(MessageBox::takeRecorded().size(), answer < 0 ? 0 : 1);
    QCOMPARE(editor->isVisible(), !closed);
    QStringList stored;
    for (const int id : TestSql::ids(db.path(), QStringLiteral("SELECT ID FROM NOTATKI ORDER BY ID DESC")))
        stored << storedNote(db.path(), id).title;
    QCOMPARE(stored.join(QLatin1Char(',')), titles);
    if (!closed)
        QCOMPARE(editor->Tytul->text(), QStringLiteral("typed"));
}

// ---------------------------------------------------------------------------
// Alarm controls

void TestNotes::loadNoteFillsAlarmControls_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("shownKind");
    QTest::addColumn<QDate>("shownDate");
    QTest::addColumn<QTime>("shownTime");

    QTest::newRow("no alarm") << 0 << 3 << "2024.07.01"
                              << "07:45" << false << 0 << kToday << kNowTime;
    QTest::newRow("running") << 1 << 1 << "2024.07.01"
                             << "07:45" << true << 1 << QDate(2024, 7, 1) << QTime(7, 45);
    QTest::newRow("armed") << 2 << 0 << "2024.07.01"
                           << "07:45" << true << 0 << QDate(2024, 7, 1) << QTime(7, 45);
    QTest::newRow("acknowledged yearly") << 3 << 4 << "2024.07.01"
                                         << "07:45" << true << 4 << QDate(2024, 7, 1) << QTime(7, 45);
    QTest::newRow("NULL date and time keep the start") << 2 << 2 << ""
                                                       << "" << true << 2 << kToday << kNowTime;
    QTest::newRow("unknown state") << 9 << 2 << "2024.07.01"
                                   << "07:45" << false << 0 << kToday << kNowTime;
}

void TestNotes::loadNoteFillsAlarmControls()
{
    QFETCH(int, state);
    QFETCH(int, kind);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(bool, on);
    QFETCH(int, shownKind);
    QFETCH(QDate, shownDate);
    QFETCH(QTime, shownTime);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 101, QStringLiteral("Loaded"), QStringLiteral("2024.06.01 08:00:00"), state, kind,
                        date, time, QStringLiteral("one\r\ntwo"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = std::make_unique<TFormNotatka>(dm, main);
    editor->NoteId = 101;
    editor->StatusFormatki->setText(QStringLiteral("View / Edit"));
    QVERIFY(editor->LoadNote(101));
    editor->show();

    QCOMPARE(editor->Tytul->text(), QStringLiteral("Loaded"));
    QCOMPARE(editor->Tresc->toPlainText(), QStringLiteral("one\ntwo"));
    QCOMPARE(editor->LBIloscZnakow->text(), QStringLiteral("Characters left 4992"));
    QCOMPARE(editor->cAlarm->isChecked(), on);
    QCOMPARE(editor->dtDate->isVisible(), on);
    QCOMPARE(editor->dtTime->isVisible(), on);
    QVERIFY(editor->cbAlarm->isHidden());
    QCOMPARE(editor->cbAlarm->currentIndex(), shownKind);
    QCOMPARE(editor->dtDate->date(), shownDate);
    QCOMPARE(editor->dtTime->time(), shownTime);
    QVERIFY(!editor->AlarmChanged);
}

void TestNotes::alarmBoxResetsPickersOnlyForNewNote()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 101, QStringLiteral("Armed"), QStringLiteral("2024.06.01 08:00:00"), 2, 0,
                        QStringLiteral("2024.07.01"), QStringLiteral("07:45"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());

    auto fresh = newEditor(dm, main);
    QVERIFY(!fresh->dtDate->isVisible());
    QVERIFY(!fresh->AlarmChanged);
    fresh->cAlarm->click();
    QVERIFY(fresh->dtDate->isVisible() && fresh->dtTime->isVisible());
    QCOMPARE(fresh->dtDate->date(), kToday);
    QCOMPARE(fresh->dtTime->time(), kNowTime);
    fresh->dtDate->setDate(kToday.addDays(3));
    fresh->dtTime->setTime(QTime(12, 0));
    fresh->cAlarm->click();
    QVERIFY(!fresh->dtDate->isVisible() && !fresh->dtTime->isVisible());
    m_clock->advance(86400 + 60);
    fresh->cAlarm->click();
    QCOMPARE(fresh->dtDate->date(), kToday.addDays(1));
    QCOMPARE(fresh->dtTime->time(), kNowTime.addSecs(60));
    QVERIFY(fresh->cbAlarm->isHidden());

    auto stored = existingEditor(dm, main, 101);
    QVERIFY(!stored->AlarmChanged);
    stored->dtTime->setTime(QTime(8, 30));
    stored->cAlarm->click();
    QVERIFY(!stored->dtTime->isVisible());
    stored->cAlarm->click();
    QCOMPARE(stored->dtDate->date(), QDate(2024, 7, 1));
    QCOMPARE(stored->dtTime->time(), QTime(8, 30));
    QVERIFY(stored->AlarmChanged);
    QVERIFY(stored->cbAlarm->isHidden());
}

void TestNotes::alarmValidation_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");

    const QString early = QStringLiteral("Alarm date can't be earlier than today's!");
    const QString late = QStringLiteral("Alarm time must be later than the current!");
    QTest::newRow("yesterday") << -1 << QTime(23, 59) << early << "dtDate";
    QTest::newRow("last year, earlier time") << -365 << QTime(9, 0) << early << "dtDate";
    QTest::newRow("today, an hour ago") << 0 << QTime(9, 20) << late << "dtTime";
    QTest::newRow("today, now") << 0 << kNowTime << late << "dtTime";
    QTest::newRow("today, a second ago") << 0 << QTime(10, 20, 29) << late << "dtTime";
    QTest::newRow("today, a second ahead") << 0 << QTime(10, 20, 31) << ""
                                           << "";
    QTest::newRow("today, a minute ahead") << 0 << QTime(10, 21) << ""
                                           << "";
    QTest::newRow("tomorrow, same time") << 1 << kNowTime << ""
                                         << "";
    QTest::newRow("tomorrow, an hour earlier") << 1 << QTime(9, 20) << ""
                                               << "";
}

void TestNotes::alarmValidation()
{
    QFETCH(int, days);
    QFETCH(QTime, time);
    QFETCH(QString, message);
    QFETCH(QString, focus);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    editor->Tresc->setPlainText(QStringLiteral("typed"));
    editor->Tresc->setFocus();
    editor->cAlarm->click();
    editor->dtDate->setDate(kToday.addDays(days));
    editor->dtTime->setTime(time);
    editor->OK->click();

    const QStringList shown = MessageBox::takeRecorded();
    if (message.isEmpty()) {
        QVERIFY2(shown.isEmpty(), qPrintable(shown.join(QLatin1Char('|'))));
        QVERIFY(!editor->isVisible());
        QCOMPARE(TestSql::count(db.path()), 1);
        QCOMPARE(storedNote(db.path(), main.SelectedNoteId).alarm, QStringLiteral("2"));
        return;
    }
    QCOMPARE(shown, QStringList {message});
    QVERIFY(editor->isVisible());
    QWidget *expectedFocus = focus == QStringLiteral("dtDate") ? static_cast<QWidget *>(editor->dtDate)
                                                               : static_cast<QWidget *>(editor->dtTime);
    QCOMPARE(editor->focusWidget(), expectedFocus);
    QCOMPARE(TestSql::count(db.path()), 0);
    // The values stay as they were.
    QCOMPARE(editor->dtDate->date(), kToday.addDays(days));
    QCOMPARE(editor->dtTime->time(), time);
    QCOMPARE(editor->Tresc->toPlainText(), QStringLiteral("typed"));
    QVERIFY(editor->cAlarm->isChecked());
}

void TestNotes::alarmValidationAcrossClockChange_data()
{
    QTest::addColumn<QString>("nowUtc");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("accepted");

    // Central European time: on 2023-03-26 the clock jumps from 02:00 to 03:00
    // (01:00 UTC); on 2023-10-29 it shows 02:00 to 03:00 twice. A time in the
    // gap counts as the moment of the jump.
    QTest::newRow("skipped time, before the jump (01:30)") << "2023-03-26T00:30:00Z" << QTime(2, 30) << true;
    QTest::newRow("skipped time, a second before the jump (01:59:59)") << "2023-03-26T00:59:59Z" << QTime(2, 0) << true;
    QTest::newRow("skipped time, at the jump (03:00)") << "2023-03-26T01:00:00Z" << QTime(2, 30) << false;
    QTest::newRow("skipped time, after the jump (03:10)") << "2023-03-26T01:10:00Z" << QTime(2, 30) << false;
    QTest::newRow("a minute after the jump (03:00)") << "2023-03-26T01:00:00Z" << QTime(3, 1) << true;
    QTest::newRow("repeated hour, first time round (02:15)") << "2023-10-29T00:15:00Z" << QTime(2, 30) << true;
    QTest::newRow("repeated hour, second time round (02:15)") << "2023-10-29T01:15:00Z" << QTime(2, 30) << true;
    QTest::newRow("repeated hour, passed (02:45)") << "2023-10-29T01:45:00Z" << QTime(2, 30) << false;
}

void TestNotes::alarmValidationAcrossClockChange()
{
    QFETCH(QString, nowUtc);
    QFETCH(QTime, time);
    QFETCH(bool, accepted);

    struct ZoneGuard {
        ZoneGuard()
        {
            qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
            tzset();
        }
        ~ZoneGuard()
        {
            qputenv("TZ", "UTC0");
            tzset();
        }
    } zone;
    const QDateTime now = QDateTime::fromString(nowUtc, Qt::ISODate).toLocalTime();
    m_clock->set(now);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    editor->cAlarm->click();
    editor->dtDate->setDate(now.date());
    editor->dtTime->setTime(time);
    editor->OK->click();

    if (accepted) {
        QVERIFY(MessageBox::takeRecorded().isEmpty());
        QVERIFY(!editor->isVisible());
        QCOMPARE(storedNote(db.path(), main.SelectedNoteId).time, time.toString(QStringLiteral("HH:mm:ss")));
    } else {
        QCOMPARE(MessageBox::takeRecorded(),
                 QStringList {QStringLiteral("Alarm time must be later than the current!")});
        QVERIFY(editor->isVisible());
        QCOMPARE(TestSql::count(db.path()), 0);
    }
}

void TestNotes::messageBoxTitledWithApplicationTitle()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    auto editor = newEditor(dm, main);
    editor->cAlarm->click();
    editor->dtDate->setDate(kToday.addDays(-1));

    // Shown for real this time, and closed once it has been read.
    MessageBox::setRecording(false);
    QString title;
    QString text;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    poll.start(5);
    editor->OK->click();
    MessageBox::setRecording(true);
    QCOMPARE(text, QStringLiteral("Alarm date can't be earlier than today's!"));
    QCOMPARE(title, QStringLiteral("Penwick"));
    QVERIFY(editor->isVisible());
}

void TestNotes::pickerKeepsSecondsOfNow()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());

    // Set to now at 10:20:30; checked at 10:20:29 the picker is still ahead,
    // although the minutes alone are equal.
    auto editor = newEditor(dm, main);
    editor->cAlarm->click();
    QCOMPARE(editor->dtTime->time().second(), 30);
    m_clock->set(QDateTime(kToday, QTime(10, 20, 29)));
    editor->OK->click();
    QVERIFY(MessageBox::takeRecorded().isEmpty());
    QVERIFY(!editor->isVisible());
    QCOMPARE(storedNote(db.path(), main.SelectedNoteId).time, QStringLiteral("10:20:00"));

    // A time loaded from a row carries no seconds: 10:20 is not after 10:20:29.
    TestSql::exec(db.path(), QStringLiteral("UPDATE NOTATKI SET AlarmData = '2024.06.14', Alarm = 3"));
    auto loaded = existingEditor(dm, main, main.SelectedNoteId);
    // A touch of the date, so that the check runs for a stored note.
    loaded->dtDate->setDate(kToday.addDays(1));
    loaded->dtDate->setDate(kToday);
    QCOMPARE(loaded->dtTime->time(), QTime(10, 20));
    loaded->OK->click();
    QCOMPARE(MessageBox::takeRecorded(), QStringList {QStringLiteral("Alarm time must be later than the current!")});
    QVERIFY(loaded->isVisible());
}

void TestNotes::applyAlarmOnSave_data()
{
    QTest::addColumn<int>("stored");
    // What the user does after loading: flip the box (a touch) and/or set the
    // time (a touch); an invalid time leaves the picker alone.
    QTest::addColumn<int>("flips");
    QTest::addColumn<QTime>("setTime");
    QTest::addColumn<QString>("alarm");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("archive");

    // Stored: kind 2, 2024-06-20 08:00, acknowledged 2024-06-01 12:00:00.
    const QString keptArchive = QStringLiteral("2024-06-01 12:00:00");
    const QString nowStamp = QStringLiteral("2024-06-14 10:20:30");
    const QTime none;
    const QTime eleven(11, 0);

    const auto row = [](const char *name, int stored, int flips, QTime setTime, const char *alarm, const char *kind,
                        const char *date, const char *time, const QString &archive) {
        QTest::newRow(name) << stored << flips << setTime << QString::fromLatin1(alarm) << QString::fromLatin1(kind)
                            << QString::fromLatin1(date) << QString::fromLatin1(time) << archive;
    };
    const QString null = QStringLiteral("<null>");
    // Off on loading: switching on arms it with what the pickers show; for a
    // stored state 0 they still hold the start values, kind 0.
    row("0, switched on", 0, 1, eleven, "2", "0", "2024-06-14", "11:00:00", null);
    row("0, off", 0, 0, none, "0", "2", "2024-06-20", "08:00:00", keptArchive);
    row("0, off, time touched", 0, 0, eleven, "0", "2", "2024-06-20", "08:00:00", keptArchive);
    row("1, untouched", 1, 0, none, "3", "2", "2024-06-20", "08:00:00", nowStamp);
    row("1, switched off", 1, 1, none, "3", "2", "2024-06-20", "08:00:00", nowStamp);
    row("1, time changed", 1, 0, eleven, "3", "2", "2024-06-20", "08:00:00", nowStamp);
    row("2, untouched", 2, 0, none, "2", "2", "2024-06-20", "08:00:00", null);
    row("2, time changed", 2, 0, eleven, "2", "2", "2024-06-20", "11:00:00", null);
    row("2, switched off", 2, 1, none, "0", "2", "2024-06-20", "08:00:00", null);
    row("3, untouched", 3, 0, none, "3", "2", "2024-06-20", "08:00:00", keptArchive);
    row("3, time changed", 3, 0, eleven, "2", "2", "2024-06-20", "11:00:00", null);
    row("3, off and on again", 3, 2, none, "2", "2", "2024-06-20", "08:00:00", null);
    row("3, switched off", 3, 1, none, "0", "2", "2024-06-20", "08:00:00", null);
    row("unknown state, untouched", 7, 0, none, "7", "2", "2024-06-20", "08:00:00", keptArchive);
    row("unknown state, switched on", 7, 1, eleven, "7", "2", "2024-06-20", "08:00:00", keptArchive);
}

void TestNotes::applyAlarmOnSave()
{
    QFETCH(int, stored);
    QFETCH(int, flips);
    QFETCH(QTime, setTime);
    QFETCH(QString, alarm);
    QFETCH(QString, kind);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QString, archive);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 101, QStringLiteral("Alarm note"), QStringLiteral("2024.06.01 08:00:00"), stored, 2,
                        QStringLiteral("2024.06.20"), QStringLiteral("08:00"), QStringLiteral("Body"),
                        QStringLiteral("2024.06.01 12:00:00"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());

    auto editor = existingEditor(dm, main, 101);
    for (int i = 0; i < flips; ++i)
        editor->cAlarm->click();
    if (setTime.isValid())
        editor->dtTime->setTime(setTime);
    editor->Tytul->setText(QStringLiteral("Renamed"));
    editor->OK->click();

    QVERIFY(MessageBox::takeRecorded().isEmpty());
    QVERIFY(!editor->isVisible());
    const StoredNote note = storedNote(db.path(), 101);
    QCOMPARE(note.title, QStringLiteral("Renamed"));
    QCOMPARE(note.created, QStringLiteral("2024-06-01 08:00:00"));
    QCOMPARE(note.alarm, alarm);
    QCOMPARE(note.kind, kind);
    QCOMPARE(note.date, date);
    QCOMPARE(note.time, time);
    QCOMPARE(note.archive, archive);
}

// ---------------------------------------------------------------------------
// Through the main window

void TestNotes::viewEditAcknowledgesBeforeShowing_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("cancelled") << false;
    QTest::newRow("saved") << true;
}

void TestNotes::viewEditAcknowledgesBeforeShowing()
{
    QFETCH(bool, save);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 101, QStringLiteral("Ringing"), QStringLiteral("2024.06.01 08:00:00"), 1, 0,
                        QStringLiteral("2024.06.10"), QStringLiteral("08:00"));
    TestSql::insertNote(db.path(), 102, QStringLiteral("Newer"), QStringLiteral("2024.06.05 08:00:00"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.FillNoteList(101);
    QCOMPARE(main.listIds(), (QVector<int> {101, 102}));
    QCOMPARE(main.ListModel->row(0).picture, int(NoteListModel::PictureRunning));
    QCOMPARE(main.selectedRowId(), 101);

    bool seen = false;
    QVector<int> idsWhileOpen;
    int pictureWhileOpen = -1;
    QString statusWhileOpen;
    QString titleWhileOpen;
    bool alarmOnWhileOpen = false;
    bool changedWhileOpen = true;
    QTimer::singleShot(0, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *editor = qobject_cast<TFormNotatka *>(modal)) {
            seen = true;
            idsWhileOpen = main.listIds();
            pictureWhileOpen = main.ListModel->row(1).picture;
            statusWhileOpen = editor->StatusFormatki->text();
            titleWhileOpen = editor->Tytul->text();
            alarmOnWhileOpen = editor->cAlarm->isChecked();
            changedWhileOpen = editor->AlarmChanged;
            if (save)
                editor->OK->click();
            else
                editor->Anuluj->click();
        } else if (modal) {
            modal->close();
        }
    });
    main.NotatkaPokazEdytujExecute();

    QVERIFY(seen);
    QCOMPARE(idsWhileOpen, (QVector<int> {102, 101}));
    QCOMPARE(pictureWhileOpen, int(NoteListModel::PictureAlarm));
    QCOMPARE(statusWhileOpen, QStringLiteral("View / Edit"));
    QCOMPARE(titleWhileOpen, QStringLiteral("Ringing"));
    QVERIFY(alarmOnWhileOpen);
    QVERIFY(!changedWhileOpen);
    QVERIFY(MessageBox::takeRecorded().isEmpty());
    const StoredNote note = storedNote(db.path(), 101);
    QCOMPARE(note.alarm, QStringLiteral("3"));
    QCOMPARE(note.archive, QStringLiteral("2024-06-14 10:20:30"));
    QCOMPARE(main.listIds(), (QVector<int> {102, 101}));
}

void TestNotes::viewEditStopsWhenStateUnreadable()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 101, QStringLiteral("Note"), QStringLiteral("2024.06.01 08:00:00"), 1);
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.FillNoteList(101);
    QCOMPARE(main.selectedRowId(), 101);
    QVERIFY(!breakConnection(dm).isEmpty());

    bool fired = false;
    QWidget *modalSeen = nullptr;
    QTimer::singleShot(0, this, [&] {
        fired = true;
        modalSeen = QApplication::activeModalWidget();
        if (modalSeen)
            modalSeen->close();
    });
    main.NotatkaPokazEdytujExecute();
    QTRY_VERIFY(fired);

    QVERIFY(!modalSeen);
    const QStringList shown = MessageBox::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QVERIFY(!shown.first().isEmpty());
}

void TestNotes::saveStopsWhenStateUnreadable()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TestSql::insertNote(db.path(), 101, QStringLiteral("Note"), QStringLiteral("2024.06.01 08:00:00"), 2, 0,
                        QStringLiteral("2024.06.20"), QStringLiteral("08:00"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.FillNoteList(101);
    auto editor = existingEditor(dm, main, 101);
    QSignalSpy refills(main.ListModel, &QAbstractItemModel::modelReset);
    const QString moved = breakConnection(dm);
    QVERIFY(!moved.isEmpty());

    editor->Tytul->setText(QStringLiteral("Unsaved"));
    editor->OK->click();

    const QStringList shown = MessageBox::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QVERIFY(!shown.first().isEmpty());
    QVERIFY(editor->isVisible());
    QCOMPARE(refills.count(), 0);
    QCOMPARE(main.listIds(), QVector<int> {101});
    QCOMPARE(storedNote(moved, 101).title, QStringLiteral("Note"));
}

// ---------------------------------------------------------------------------
// Deletion

void TestNotes::deleteConfirmed_data()
{
    QTest::addColumn<int>("notes");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<int>("rememberedId");
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QVector<int>>("listAfter");
    QTest::addColumn<int>("selectedAfter");

    // Seeded notes 101.. are newer the higher their ID, so the list shows
    // 103, 102, 101.
    QTest::newRow("only note") << 1 << 101 << 101 << "" << true << QVector<int> {} << -1;
    QTest::newRow("last of three") << 3 << 101 << 101 << "" << true << QVector<int> {103, 102} << 102;
    QTest::newRow("first of three") << 3 << 103 << 103 << "" << false << QVector<int> {102, 101} << 102;
    QTest::newRow("middle of three") << 3 << 102 << 102 << "" << true << QVector<int> {103, 101} << 101;
    QTest::newRow("while searching") << 3 << 102 << 102 << "Seed 2" << true << QVector<int> {103, 101} << -1;
    QTest::newRow("remembered note on no row") << 3 << 102 << 999 << "" << false << QVector<int> {103, 101} << -1;
}

void TestNotes::deleteConfirmed()
{
    QFETCH(int, notes);
    QFETCH(int, deleted);
    QFETCH(int, rememberedId);
    QFETCH(QString, search);
    QFETCH(bool, byKey);
    QFETCH(QVector<int>, listAfter);
    QFETCH(int, selectedAfter);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    seedNotes(db.path(), notes);
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.FillNoteList(deleted);
    main.SzukanyCiag->setText(search);
    QCOMPARE(main.selectedRowId(), deleted);
    main.SelectedNoteId = rememberedId;

    TFormUsuwanie dialog(dm, main);
    dialog.DeleteNoteId = main.selectedRowId();
    dialog.show();
    QVERIFY(activate(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.TAK);
    if (byKey)
        QTest::keyClick(dialog.TAK, Qt::Key_Return);
    else
        dialog.TAK->click();

    QVERIFY(!dialog.isVisible());
    QCOMPARE(TestSql::count(db.path()), notes - 1);
    QCOMPARE(storedNote(db.path(), deleted).title, QStringLiteral("<none>"));
    QCOMPARE(main.listIds(), listAfter);
    QCOMPARE(main.selectedRowId(), selectedAfter);
    QCOMPARE(main.SelectedNoteId, selectedAfter);
    QCOMPARE(main.SzukanyCiag->text(), search);
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

void TestNotes::deleteCancelled_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("Tab to No, then Enter") << "tab enter";
    QTest::newRow("Tab to No, then keypad Enter") << "tab keypad enter";
    QTest::newRow("Enter straight to the focused No") << "no button enter";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("No clicked") << "no click";
    QTest::newRow("close button") << "close";
}

void TestNotes::deleteCancelled()
{
    QFETCH(QString, way);

    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    seedNotes(db.path(), 3);
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.FillNoteList(102);
    QSignalSpy refills(main.ListModel, &QAbstractItemModel::modelReset);

    TFormUsuwanie dialog(dm, main);
    dialog.DeleteNoteId = 102;
    dialog.show();
    QVERIFY(activate(&dialog));
    QVERIFY(dialog.TAK->isDefault());
    QCOMPARE(QApplication::focusWidget(), dialog.TAK);

    if (way.startsWith(QStringLiteral("tab"))) {
        QTest::keyClick(dialog.TAK, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.NIE);
        QTest::keyClick(dialog.NIE, way.contains(QStringLiteral("keypad")) ? Qt::Key_Enter : Qt::Key_Return,
                        way.contains(QStringLiteral("keypad")) ? Qt::KeypadModifier : Qt::NoModifier);
    } else if (way == QStringLiteral("no button enter")) {
        // Past the dialog's actions, as if only the button saw the key.
        dialog.NIE->setFocus();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(dialog.NIE, &press);
    } else if (way == QStringLiteral("esc")) {
        QTest::keyClick(dialog.TAK, Qt::Key_Escape);
    } else if (way == QStringLiteral("no click")) {
        dialog.NIE->click();
    } else {
        dialog.close();
    }

    QVERIFY(!dialog.isVisible());
    QCOMPARE(TestSql::count(db.path()), 3);
    QCOMPARE(refills.count(), 0);
    QCOMPARE(main.selectedRowId(), 102);
    QCOMPARE(main.SelectedNoteId, 102);
}

void TestNotes::deleteFailureStillRefills()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    seedNotes(db.path(), 3);
    TestSql::exec(db.path(), QStringLiteral("CREATE EXCEPTION KEEP_NOTES 'Notes stay'"));
    TestSql::exec(db.path(), QStringLiteral("CREATE TRIGGER NOTATKI_KEEP FOR NOTATKI BEFORE DELETE AS "
                                            "BEGIN EXCEPTION KEEP_NOTES; END"));
    TDM dm(db.path());
    TFormMain main(dm, quietFormOptions());
    main.FillNoteList(103);
    QSignalSpy refills(main.ListModel, &QAbstractItemModel::modelReset);

    TFormUsuwanie dialog(dm, main);
    dialog.DeleteNoteId = 103;
    dialog.show();
    dialog.TAK->click();

    QVERIFY(!dialog.isVisible());
    QCOMPARE(TestSql::count(db.path()), 3);
    QCOMPARE(refills.count(), 1);
    QCOMPARE(main.listIds(), (QVector<int> {103, 102, 101}));
    QCOMPARE(main.selectedRowId(), 102);
    QVERIFY(MessageBox::takeRecorded().isEmpty());
}

QTEST_MAIN(TestNotes)
#include "tst_notes.moc"
