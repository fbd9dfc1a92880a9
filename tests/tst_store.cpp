#include "AccessRecord.h"
#include "DataModule.h"
#include "Firebird.h"
#include "Sql.h"
#include "Statements.h"
#include "TestDatabase.h"
#include "UnicodeLibraries.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <future>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString fourByteLetters(int count, char32_t letter)
{
    return QString::fromUcs4(std::u32string(size_t(count), letter).data(), count);
}

// A folder of another user's (a link where this user cannot give one away),
// the way any local account can plant one in a shared folder.
void plantForeign(const QString &path, const QString &linkTarget)
{
    QVERIFY(QDir().mkpath(path));
    if (::chown(QFile::encodeName(path).constData(), 65534, 65534) != 0) {
        QVERIFY(QDir(path).removeRecursively());
        QVERIFY(QFile::link(linkTarget, path));
    }
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

enum class Plant { Nothing, ForeignInTmpdir, LinkInTmpdir, HardLink, BindMount, OlderCopy, OpenBase, ForeignBase };

} // namespace

class TestStore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void quoting_data();
    void quoting();
    void statementTexts();
    void textRoundTrip_data();
    void textRoundTrip();
    void storableText_data();
    void storableText();
    void nulNeverCutsAStatement();
    void limitsCountCharacters();
    void searchIgnoresCaseInEveryScript();
    void searchLettersWhoseUpperCaseChangesLength();
    void searchFindsQuotesYearsAndBlanks();
    void searchFindsWhatTheFullStatementFinds();
    void settings();
    void settingsWithQuotes();
    void settingsOneRowPerKeyFromTwoProcesses();
    void twinSettingRowsOfOlderFiles();
    void rowHeldByAnotherTransaction_data();
    void rowHeldByAnotherTransaction();
    void changesReachTheOtherConnections();
    void fullDiskNeverCrashes_data();
    void fullDiskNeverCrashes();
    void missingOrUnreadableDatabase();
    void reconnectsAfterDisconnect();
    void readsShareOneTransactionThatHoldsNothingBack();
    void survivesKill();
    void twoProcessesShareTheFile();
    void oneLockFolderPerFile_data();
    void oneLockFolderPerFile();
    void neighbourNote_data();
    void neighbourNote();
    void unicodeLibraryNames_data();
    void unicodeLibraryNames();
    void accessRecordFollowsTheFile_data();
    void accessRecordFollowsTheFile();

private:
    static int addNote(TDM &dm, const QString &title, const QString &body,
                       const QDateTime &created = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
    static QString worker();
    // Starts a worker; its TMPDIR is `tmpdir` when given.
    static void startWorker(QProcess &process, const QStringList &arguments, const QString &tmpdir = QString());
};

void TestStore::startWorker(QProcess &process, const QStringList &arguments, const QString &tmpdir)
{
    if (!tmpdir.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmpdir);
        process.setProcessEnvironment(env);
    }
    process.start(worker(), arguments);
}

QString TestStore::worker()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/storeworker");
}

int TestStore::addNote(TDM &dm, const QString &title, const QString &body, const QDateTime &created)
{
    Note note;
    note.title = title;
    note.body = NoteText::toStored(body);
    note.createdDate = created.date();
    note.createdTime = created.time();
    note.alarmDate = created.date();
    note.alarmTime = created.time();
    return dm.insertNote(note);
}

void TestStore::quoting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "abc"
                           << "'abc'";
    QTest::newRow("empty") << ""
                           << "''";
    QTest::newRow("inner quote") << "O'Brien"
                                 << "'O''Brien'";
    QTest::newRow("only quotes") << "''"
                                 << "''''''";
    QTest::newRow("backslash untouched") << "a\\b\"c"
                                         << "'a\\b\"c'";
}

void TestStore::quoting()
{
    QFETCH(QString, text);
    QFETCH(QString, quoted);
    QCOMPARE(Sql::quote(text), quoted);
}

void TestStore::statementTexts()
{
    QCOMPARE(Statements::noteList(true),
             QStringLiteral("SELECT * FROM NOTATKI WHERE Alarm = 1 ORDER BY DataGodzina DESC"));
    QCOMPARE(Statements::noteList(false),
             QStringLiteral("SELECT * FROM NOTATKI WHERE Alarm <> 1 ORDER BY DataGodzina DESC"));
    QCOMPARE(Statements::noteSearch(false, QStringLiteral("09-1")),
             QStringLiteral("SELECT * FROM NOTATKI WHERE (Alarm <> 1) AND (UPPER(Tytul) CONTAINING '09-1' OR Tresc "
                            "CONTAINING '09-1' OR DataGodzina CONTAINING '09-1') ORDER BY DataGodzina DESC"));
    // No creation moment can hold a letter: the term is left out.
    QCOMPARE(Statements::noteSearch(true, QStringLiteral("O'B")),
             QStringLiteral("SELECT * FROM NOTATKI WHERE (Alarm = 1) AND (UPPER(Tytul) CONTAINING 'O''B' OR Tresc "
                            "CONTAINING 'O''B') ORDER BY DataGodzina DESC"));
    QCOMPARE(Statements::updateSetting(QStringLiteral("TytulSzerokosc"), QStringLiteral("155"), 7),
             QStringLiteral("UPDATE USTAWIENIA SET Ustawienie = 'TytulSzerokosc', Wartosc = '155' WHERE ID = 7"));
    QCOMPARE(Statements::insertNote(12, QStringLiteral("Note no 1"), QStringLiteral("Call the dentist"),
                                    QDateTime(QDate(2009, 6, 14), QTime(9, 34, 35)), 0, 0, QDate(2009, 6, 14),
                                    QTime(9, 34, 35)),
             QStringLiteral("INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, "
                            "AlarmGodzina) VALUES (12, 'Note no 1', 'Call the dentist', '2009.06.14 09:34:35', 0, 0, "
                            "'2009.06.14', '09:34')"));
}

void TestStore::textRoundTrip_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    QTest::newRow("polish") << QStringLiteral("Zażółć gęślą jaźń") << QStringLiteral("Łódź, Kraków\nŚwinoujście");
    QTest::newRow("cjk and emoji") << QStringLiteral("会議のメモ 📝")
                                   << QStringLiteral("天气很好 ☀️ 🚀\n第二行");
    QTest::newRow("apostrophes") << QStringLiteral("it's O'Brien's") << QStringLiteral("don't ''quote'' me");
    QTest::newRow("fifty two-byte letters") << QString(50, QChar(0x0105)) << QString();
    QTest::newRow("5000 characters") << QStringLiteral("long") << QString(4999, QLatin1Char('x')) + QStringLiteral("ż");
    QTest::newRow("byte-order mark first") << QStringLiteral("\uFEFFTitle") << QStringLiteral("\uFEFFBody\n\uFEFF");
    QTest::newRow("no-break space and line separator")
        << QStringLiteral("a\u00A0b\u2028c") << QStringLiteral("x\u00A0y\u2028z\n\u00A0");
    QTest::newRow("four-byte letters at both limits")
        << fourByteLetters(50, U'\U0001F4DD') << fourByteLetters(5000, U'\U0001F600');
}

void TestStore::storableText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    const QString exact = QStringLiteral("a\u00A0\uFEFF\u2028\U0001F4DD");
    QTest::newRow("nothing to drop") << exact << exact;
    QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(0) << QStringLiteral("ab");
    QTest::newRow("lone high surrogate") << QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("b")
                                         << QStringLiteral("ab");
    QTest::newRow("lone low surrogate at the end") << QStringLiteral("ab") + QChar(0xDC1D) << QStringLiteral("ab");
    QTest::newRow("reversed pair") << QString(QChar(0xDCDD)) + QChar(0xD83D) << QString();
    QTest::newRow("only NUL") << QString(3, QChar(0)) << QString();
}

void TestStore::storableText()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    QCOMPARE(Sql::storableText(text), kept);
    QCOMPARE(Sql::quote(text), Sql::quote(kept));
}

void TestStore::nulNeverCutsAStatement()
{
    TestDatabase db;
    TDM dm(db.path());
    const QString nul(QChar(0));
    const int id = addNote(dm, QStringLiteral("a") + nul + QStringLiteral("b"),
                           QStringLiteral("c") + nul + QStringLiteral("d"));
    QVERIFY(id > 0);
    QCOMPARE(dm.readNote(id)->title, QStringLiteral("ab"));
    dm.updateNoteText(id, nul + QStringLiteral("e"), QStringLiteral("f") + nul);
    QCOMPARE(dm.readNote(id)->title, QStringLiteral("e"));
    QCOMPARE(dm.readNote(id)->body, QStringLiteral("f"));
    const QString search = QStringLiteral("e") + nul;
    std::vector<Note> rows;
    QVERIFY(dm.readNoteList(&search, rows));
    QCOMPARE(rows.size(), size_t(1));
    QVERIFY(dm.SetSetting(QStringLiteral("k") + nul + QStringLiteral("ey"),
                          QStringLiteral("va") + nul + QStringLiteral("lue")));
    QCOMPARE(dm.GetSetting(QStringLiteral("key")), QStringLiteral("value"));
}

void TestStore::textRoundTrip()
{
    QFETCH(QString, title);
    QFETCH(QString, body);
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    const int id = addNote(dm, title, body);
    const std::optional<Note> note = dm.readNote(id);
    QVERIFY(note);
    QCOMPARE(note->title, title);
    const QString stored = note->body;
    QCOMPARE(NoteText::fromStored(stored), body);
    QCOMPARE(stored.count(QStringLiteral("\r\n")), body.count(QLatin1Char('\n')));
}

void TestStore::limitsCountCharacters()
{
    TestDatabase db;
    TDM dm(db.path());
    // 51 letters do not fit; 5000 three-byte letters do.
    QVERIFY_THROWS_EXCEPTION(Firebird::Error, addNote(dm, QString(51, QChar(0x0105)), QString()));
    addNote(dm, QStringLiteral("cjk"), QString(5000, QChar(0x4e2d)));
    QCOMPARE(TestSql::value(db.path(), QStringLiteral("SELECT CHAR_LENGTH(Tresc) FROM NOTATKI")),
             QStringLiteral("5000"));
}

void TestStore::searchIgnoresCaseInEveryScript()
{
    TestDatabase db;
    TDM dm(db.path());
    addNote(dm, QStringLiteral("żółć"), QString());
    addNote(dm, QStringLiteral("other"), QStringLiteral("ПРИВЕТ мир"));
    addNote(dm, QStringLiteral("third"), QStringLiteral("Straße"));
    auto titles = [&](const QString &text) {
        std::vector<Note> rows;
        [&] { QVERIFY(dm.readNoteList(&text, rows)); }();
        QStringList found;
        for (const auto &row : rows)
            found << row.title;
        return found;
    };
    // Letters beyond ASCII must not break the search of the creation time.
    QCOMPARE(titles(QStringLiteral("ŻÓŁ")), QStringList {QStringLiteral("żółć")});
    QCOMPARE(titles(QStringLiteral("ż")), QStringList {QStringLiteral("żółć")});
    QCOMPARE(titles(QStringLiteral("привет")), QStringList {QStringLiteral("other")});
    QCOMPARE(titles(QStringLiteral("STRASSE")).size(), 0); // a substring test, not a collation
    QCOMPARE(titles(QStringLiteral("straße")), QStringList {QStringLiteral("third")});
}

// The engine upper-cases into a buffer of the text's own length: a shorter
// upper case (ı, ſ) leaves stale bytes in the comparison, a longer one
// (ɐ, ɡ) fails every statement that meets it.
void TestStore::searchLettersWhoseUpperCaseChangesLength()
{
    TestDatabase db;
    TDM dm(db.path());
    addNote(dm, QStringLiteral("abcdef"), QStringLiteral("abcdef"), QDateTime(QDate(2020, 1, 1), QTime(1, 0)));
    addNote(dm, QStringLiteral("ıı"), QStringLiteral("none"), QDateTime(QDate(2020, 1, 2), QTime(1, 0)));
    addNote(dm, QStringLiteral("x"), QStringLiteral("dıal ſo"), QDateTime(QDate(2020, 1, 3), QTime(1, 0)));
    addNote(dm, QStringLiteral("ɡood"), QStringLiteral("none"), QDateTime(QDate(2020, 1, 4), QTime(1, 0)));
    addNote(dm, QStringLiteral("y"), QStringLiteral("ɐbc"), QDateTime(QDate(2020, 1, 5), QTime(1, 0)));
    addNote(dm, QStringLiteral("z"), QStringLiteral("Ɐbc"), QDateTime(QDate(2020, 1, 6), QTime(1, 0)));
    const struct {
        QString text;
        QStringList titles; // newest first
    } cases[] = {
        {QStringLiteral("IICD"), {}},
        {QStringLiteral("ıı"), {QStringLiteral("ıı")}},
        {QStringLiteral("ı"), {QStringLiteral("x"), QStringLiteral("ıı")}},
        {QStringLiteral("DIAL"), {QStringLiteral("x")}},
        {QStringLiteral("ſ"), {QStringLiteral("x")}},
        {QStringLiteral("ɐ"), {QStringLiteral("z"), QStringLiteral("y")}},
        {QStringLiteral("Ɐb"), {QStringLiteral("z"), QStringLiteral("y")}},
        {QStringLiteral("ɡ"), {QStringLiteral("ɡood")}},
        {QStringLiteral("ood"), {QStringLiteral("ɡood")}},
        {QStringLiteral("bc"), {QStringLiteral("z"), QStringLiteral("y"), QStringLiteral("abcdef")}},
        {QStringLiteral("ä"), {}},
    };
    for (const auto &c : cases) {
        std::vector<Note> rows;
        QVERIFY2(dm.readNoteList(&c.text, rows), qPrintable(c.text));
        QStringList found;
        for (const Note &row : rows)
            found << row.title;
        QVERIFY2(found == c.titles, qPrintable(c.text + QStringLiteral(": ") + found.join(QLatin1Char(','))));
    }
}

void TestStore::searchFindsQuotesYearsAndBlanks()
{
    TestDatabase db;
    TDM dm(db.path());
    addNote(dm, QStringLiteral("Call O'Brien"), QString(), QDateTime(QDate(2021, 1, 2), QTime(3, 4, 5)));
    addNote(dm, QStringLiteral("two  blanks"), QString(), QDateTime(QDate(2022, 1, 2), QTime(3, 4, 5)));
    addNote(dm, QStringLiteral("nothing"), QStringLiteral("budget 2021 plan"),
            QDateTime(QDate(2023, 1, 2), QTime(3, 4, 5)));
    addNote(dm, QStringLiteral("x"), QString(), QDateTime(QDate(2021, 7, 8), QTime(9, 10, 11)));
    auto ids = [&](const QString &text) {
        std::vector<Note> rows;
        [&] { QVERIFY(dm.readNoteList(&text, rows)); }();
        QList<int> found;
        for (const auto &row : rows)
            found << row.id;
        return found;
    };
    QCOMPARE(ids(QStringLiteral("o'brien")), QList<int> {1});
    // The year finds the notes of that year, newest first, and the body that mentions it.
    QCOMPARE(ids(QStringLiteral("2021")), (QList<int> {3, 4, 1}));
    // Blanks are searched for as typed: every creation time holds one blank,
    // only one title holds two.
    QCOMPARE(ids(QStringLiteral(" ")).size(), 4);
    QCOMPARE(ids(QStringLiteral("  ")), QList<int> {2});
}

// Neither leaving out the creation moment's term nor comparing the bodies'
// bytes may ever change what a search finds, in either group.
void TestStore::searchFindsWhatTheFullStatementFinds()
{
    TestDatabase db;
    TDM dm(db.path());
    const QDateTime moments[] = {
        QDateTime(QDate(2021, 1, 2), QTime(3, 4, 5)), QDateTime(QDate(2022, 11, 30), QTime(23, 59, 0)),
        QDateTime(QDate(2019, 7, 8), QTime(9, 10, 11)), QDateTime(QDate(2024, 2, 29), QTime(0, 0, 1))};
    addNote(dm, QStringLiteral("Call O'Brien at 9:10"), QStringLiteral("budget 2021-01 plan"), moments[0]);
    addNote(dm, QStringLiteral("two  blanks"), QStringLiteral("meet 23:59. then"), moments[1]);
    addNote(dm, QStringLiteral("Ünïcode"), QStringLiteral("line one\nline two: 0.5 - 1"), moments[2]);
    addNote(dm, QStringLiteral("x"), QString(), moments[3]);
    // Letters whose upper case is an ASCII one or looks like one, letters
    // that a byte comparison cannot fold, and forms that only look alike.
    const QString bodies[] = {QStringLiteral("Congreſs ſhall"),  QStringLiteral("dıal ıt"),
                              QStringLiteral("5 \u212A cold"),   QStringLiteral("Straße"),
                              QStringLiteral("żółw Żuraw"),      QStringLiteral("ＡＢＣ ﬁle cafe\u0301"),
                              QStringLiteral("it's trailing  "), QStringLiteral("MiXeD CaSe zqx")};
    int minutes = 0;
    for (const QString &body : bodies)
        addNote(dm, QStringLiteral("b"), body, moments[1].addSecs(60 * ++minutes));
    TestSql::exec(db.path(), QStringLiteral("INSERT INTO NOTATKI (ID, DataGodzina, Alarm) VALUES "
                                            "(900, '2020.01.01 10:00:00', 1)"));
    TestSql::exec(db.path(), QStringLiteral("UPDATE NOTATKI SET Alarm = 1 WHERE ID IN (2, 6, 11)"));

    struct Case {
        QString text;
        bool byBytes;             // compared as bytes, not through the engine's Unicode folding
        QString same = QString(); // the text the statement below finds the same for, when not this one
    };
    const Case cases[] = {
        {QStringLiteral("2021"), true},
        {QStringLiteral("21-0"), true},
        {QStringLiteral(":04"), true},
        {QStringLiteral("03:04:05"), true},
        {QStringLiteral("2019-07-08 09:10"), true},
        {QStringLiteral("23:59."), true},
        {QStringLiteral(".0000"), true},
        {QStringLiteral("29 0"), true},
        {QStringLiteral("2019") + QChar(0), true},
        {QStringLiteral("0.5 - 1"), true},
        {QStringLiteral("-"), true},
        {QStringLiteral("."), true},
        {QStringLiteral(" "), true},
        {QStringLiteral("  "), true},
        {QStringLiteral(""), true},
        {QStringLiteral("a"), true},
        {QStringLiteral("T"), true},
        {QStringLiteral("O'B"), true},
        {QStringLiteral("'"), true},
        {QStringLiteral("''"), true},
        {QStringLiteral("at 9"), true},
        {QStringLiteral("1 p"), true},
        {QStringLiteral("2021-01 p"), true},
        {QStringLiteral("xed ca"), true},
        {QStringLiteral("E ZQX"), true},
        {QStringLiteral("e\u0301"), false},
        {QStringLiteral("e"), true},
        {QStringLiteral("k"), true},
        {QStringLiteral("K"), true},
        {QStringLiteral("\u212A"), false},
        {QStringLiteral("abc"), true},
        {QStringLiteral("ＡＢＣ"), false},
        {QStringLiteral("fle"), true},
        {QStringLiteral("ﬁ"), false},
        {QStringLiteral("ng "), true},
        {QStringLiteral("g  "), true},
        {QStringLiteral("ing  "), false},
        {QStringLiteral("s"), false},
        {QStringLiteral("S"), false},
        {QStringLiteral("congress"), false},
        {QStringLiteral("ſ"), false, QStringLiteral("S")},
        {QStringLiteral("i"), false},
        {QStringLiteral("DIAL"), false},
        {QStringLiteral("ı"), false, QStringLiteral("I")},
        {QStringLiteral("ß"), false},
        {QStringLiteral("ss"), false},
        {QStringLiteral("ż"), false},
        {QStringLiteral("ŻÓŁW"), false},
    };
    // One connection of its own for the statements run directly.
    Firebird::Connection direct(db.path());
    auto ids = [&](const QString &select) { return TestSql::ids(direct, select); };
    auto fullStatement = [&](const QString &text) {
        const QString q = Sql::quote(text);
        // The engine cannot even compare a text beyond ASCII with a moment,
        // and no moment's text holds one: for such a text the term goes.
        const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
        const QString created = ascii ? QStringLiteral(" OR DataGodzina CONTAINING ") + q : QString();
        QList<int> found;
        for (const char *group : {"=", "<>"}) {
            found << ids(QStringLiteral("SELECT ID FROM NOTATKI WHERE (Alarm %1 1) AND (Tytul CONTAINING %2 OR Tresc "
                                        "CONTAINING %2%3) ORDER BY DataGodzina DESC")
                             .arg(QLatin1String(group), q, created));
        }
        return found;
    };
    auto listed = [&](const QString &text) {
        std::vector<Note> rows;
        [&] { QVERIFY(dm.readNoteList(&text, rows)); }();
        QList<int> found;
        for (const Note &row : rows)
            found << row.id;
        return found;
    };
    auto byBytes = [&](const QString &text) {
        QList<int> found;
        for (const bool running : {true, false})
            found << ids(Statements::noteSearchByBytes(running, text));
        return found;
    };
    auto check = [&](bool bytesMustWork) {
        for (const Case &c : cases) {
            const QByteArray what = c.text.toUtf8();
            // The engine does not size its upper case of ı and ſ for them.
            const QList<int> full = fullStatement(c.same.isNull() ? c.text : c.same);
            QVERIFY2(listed(c.text) == full, what.constData());
            QVERIFY2(Statements::searchableByBytes(c.text) == c.byBytes, what.constData());
            if (c.byBytes && bytesMustWork)
                QVERIFY2(byBytes(c.text) == full, what.constData());
        }
    };
    check(true);
    if (QTest::currentTestFailed())
        return;
    // A body longer than the bytes compared in place whose rest is blanks:
    // the cast cuts it silently, so a text that ends in a blank can only be
    // found whole.
    const int inPlace = Statements::BodyBytesInPlace;
    addNote(dm, QStringLiteral("long"),
            QString(inPlace - 3, QLatin1Char('y')) + QStringLiteral("ing") + QString(9, QLatin1Char(' ')),
            moments[0].addDays(1));
    check(true);
    if (QTest::currentTestFailed())
        return;
    // One whose rest is not: the cast fails, and the full statement runs.
    addNote(dm, QStringLiteral("longer"), QString(inPlace, QLatin1Char('w')) + QStringLiteral(" O'B 21-0 ing "),
            moments[0].addDays(2));
    check(false);
}

void TestStore::settings()
{
    TestDatabase db;
    TDM dm(db.path());
    QCOMPARE(dm.GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("-1"));
    QVERIFY(dm.SetSetting(QStringLiteral("FormMainWidth"), QStringLiteral("320")));
    // Committed when the write ended: another connection sees it at once.
    QCOMPARE(TDM(db.path()).GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("320"));
    QCOMPARE(dm.GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("320"));
    const QString id = TestSql::value(db.path(),
                                      QStringLiteral("SELECT ID FROM USTAWIENIA WHERE Ustawienie = 'FormMainWidth'"));
    QVERIFY(dm.SetSetting(QStringLiteral("FormMainWidth"), QStringLiteral("400")));
    QCOMPARE(dm.GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("400"));
    QCOMPARE(TestSql::value(db.path(), QStringLiteral("SELECT COUNT(*) FROM USTAWIENIA")), QStringLiteral("1"));
    QCOMPARE(TestSql::value(db.path(), QStringLiteral("SELECT ID FROM USTAWIENIA WHERE Ustawienie = 'FormMainWidth'")),
             id);

    QVERIFY(dm.SetSetting(QStringLiteral("HasloDostepu"), QString()));
    QCOMPARE(dm.GetSetting(QStringLiteral("HasloDostepu")), QString());
    TestSql::exec(db.path(), QStringLiteral("INSERT INTO USTAWIENIA (Ustawienie, Wartosc) VALUES ('Nothing', NULL)"));
    QCOMPARE(dm.GetSetting(QStringLiteral("Nothing")), QString());
}

void TestStore::readsShareOneTransactionThatHoldsNothingBack()
{
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    TDM dm(db.path());
    const auto nextTransaction = [&db] {
        return TestSql::value(db.path(), QStringLiteral("SELECT MON$NEXT_TRANSACTION FROM MON$DATABASE")).toInt();
    };
    QCOMPARE(dm.GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("-1"));
    // Reads start no transaction of their own (each start is two forced page
    // writes), also with writes between them, which commit as before.
    const int before = nextTransaction();
    for (int i = 0; i < 5; ++i)
        dm.GetSetting(QStringLiteral("FormMainWidth"));
    QCOMPARE(nextTransaction(), before + 1); // only the look of the checking connection
    addNote(dm, QStringLiteral("One"), QStringLiteral("first"));
    QVERIFY(dm.SetSetting(QStringLiteral("FormMainWidth"), QStringLiteral("320")));
    QCOMPARE(TDM(db.path()).GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("320"));
    QCOMPARE(dm.GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("320"));
    // Open all along, it holds back no garbage collection.
    const int oldestActive =
        TestSql::value(db.path(), QStringLiteral("SELECT MON$OLDEST_ACTIVE FROM MON$DATABASE")).toInt();
    QVERIFY2(oldestActive >= before,
             qPrintable(QStringLiteral("oldest active %1, before %2").arg(oldestActive).arg(before)));
    // Rows written by another process since it began are seen.
    TestSql::exec(db.path(),
                  QStringLiteral("INSERT INTO USTAWIENIA (Ustawienie, Wartosc) VALUES ('Elsewhere', 'yes')"));
    QCOMPARE(dm.GetSetting(QStringLiteral("Elsewhere")), QStringLiteral("yes"));
    dm.DisconnectDatabase();
    QCOMPARE(dm.GetSetting(QStringLiteral("Elsewhere")), QStringLiteral("yes"));
}

void TestStore::settingsWithQuotes()
{
    TestDatabase db;
    TDM dm(db.path());
    const QString key = QStringLiteral("it's");
    const QString value = QStringLiteral("O'Brien's 'quoted' ż");
    QVERIFY(dm.SetSetting(key, value));
    QCOMPARE(dm.GetSetting(key), value);
    // Written by a later process: a fresh connection sees it.
    TDM other(db.path());
    QCOMPARE(other.GetSetting(key), value);
}

void TestStore::settingsOneRowPerKeyFromTwoProcesses()
{
    TestDatabase db;
    constexpr int keys = 300;
    QProcess a;
    QProcess b;
    startWorker(a, {QStringLiteral("write-settings"), db.path(), QStringLiteral("a"), QString::number(keys)});
    startWorker(b, {QStringLiteral("write-settings"), db.path(), QStringLiteral("b"), QString::number(keys)});
    QVERIFY(a.waitForFinished(120000));
    QVERIFY(b.waitForFinished(120000));
    QCOMPARE(a.readAllStandardOutput().trimmed(), QByteArray::number(keys));
    QCOMPARE(b.readAllStandardOutput().trimmed(), QByteArray::number(keys));
    QCOMPARE(TestSql::value(db.path(), QStringLiteral("SELECT COUNT(*) FROM USTAWIENIA")), QString::number(keys));
    QCOMPARE(TestSql::value(db.path(), QStringLiteral("SELECT COUNT(DISTINCT Ustawienie) FROM USTAWIENIA")),
             QString::number(keys));
}

void TestStore::twinSettingRowsOfOlderFiles()
{
    // A file made before keys were unique may hold twins: the first one counts.
    TestDatabase db;
    TestSql::exec(db.path(), QStringLiteral("DROP INDEX USTAWIENIA_Ustawienie"));
    for (const char *value : {"first", "second"}) {
        TestSql::exec(db.path(), QStringLiteral("INSERT INTO USTAWIENIA (Ustawienie, Wartosc) VALUES ('Twin', '%1')")
                                     .arg(QLatin1String(value)));
    }
    TDM dm(db.path());
    QCOMPARE(dm.GetSetting(QStringLiteral("Twin")), QStringLiteral("first"));
    QVERIFY(dm.SetSetting(QStringLiteral("Twin"), QStringLiteral("changed")));
    QCOMPARE(dm.GetSetting(QStringLiteral("Twin")), QStringLiteral("changed"));
    QCOMPARE(TestSql::value(db.path(), QStringLiteral("SELECT LIST(Wartosc, ',') FROM USTAWIENIA")),
             QStringLiteral("changed,second"));
}

void TestStore::rowHeldByAnotherTransaction_data()
{
    QTest::addColumn<bool>("released");
    QTest::newRow("released within the wait: saved") << true;
    QTest::newRow("held on: busy, and the checker does not wait") << false;
}

void TestStore::rowHeldByAnotherTransaction()
{
    // Another copy (or isql) changes the row and commits soon, or keeps it.
    QFETCH(bool, released);
    TestDatabase db;
    TDM dm(db.path());
    const int id = addNote(dm, QStringLiteral("before"), QStringLiteral("body"));
    std::promise<void> held;
    std::promise<void> done;
    std::thread other([&] {
        try {
            Firebird::Connection connection(db.path());
            Firebird::Transaction transaction(connection, Firebird::Transaction::ReadWrite);
            transaction.execute(QStringLiteral("UPDATE NOTATKI SET Tytul = 'theirs' WHERE ID = %1").arg(id));
            held.set_value();
            if (released)
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
            else
                done.get_future().wait();
            transaction.commit();
        } catch (const Firebird::Error &) {
            held.set_value();
        }
    });
    held.get_future().wait();
    std::optional<Firebird::Error> saveFailure;
    std::optional<Firebird::Error> fireFailure;
    try {
        dm.updateNoteText(id, QStringLiteral("mine"), QStringLiteral("body"));
    } catch (const Firebird::Error &error) {
        saveFailure = error;
    }
    Note read = *dm.readNote(id);
    try {
        dm.fireAlarm(read);
    } catch (const Firebird::Error &error) {
        fireFailure = error;
    }
    done.set_value();
    other.join();
    if (released) {
        QVERIFY2(!saveFailure, saveFailure ? saveFailure->what() : "");
        QCOMPARE(dm.readNote(id)->title, QStringLiteral("mine"));
        return;
    }
    QVERIFY2(saveFailure && saveFailure->busy(), saveFailure ? saveFailure->what() : "saved");
    QVERIFY(fireFailure && (fireFailure->conflict() || fireFailure->busy()));
    QCOMPARE(dm.readNote(id)->title, QStringLiteral("theirs"));
}

void TestStore::changesReachTheOtherConnections()
{
    // Each committed write reaches every other listening connection with its
    // commit: a process's own writes never, a failed or empty write never.
    TestDatabase db;
    TDM writer(db.path());
    TDM other(db.path());
    int seenByWriter = 0;
    int seenByOther = 0;
    writer.listenForChanges([&](int changes) { seenByWriter += changes; });
    other.listenForChanges([&](int changes) { seenByOther += changes; });
    const int id = addNote(writer, QStringLiteral("one"), QStringLiteral("body"));
    QVERIFY_THROWS_EXCEPTION(Firebird::Error,
                             writer.writeAlarmStateOrThrow(id, Alarm::Armed, {Alarm::Once, QDate(), QTime()}));
    writer.deleteNote(id + 1000);
    writer.deleteNote(id);
    // Counts add up in order: had the failed or the empty write posted, the
    // total would pass 2 with the last delivery.
    QTRY_VERIFY_WITH_TIMEOUT(seenByOther >= 2, 10000);
    QCOMPARE(seenByOther, 2);
    QVERIFY(other.SetSetting(QStringLiteral("Key"), QStringLiteral("value")));
    QTRY_VERIFY_WITH_TIMEOUT(seenByWriter >= 1, 10000);
    QCOMPARE(seenByWriter, 1);

    // Another process's commits come the same way.
    QProcess process;
    startWorker(process, {QStringLiteral("write-rows"), db.path(), QStringLiteral("w"), QStringLiteral("3")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(seenByOther >= 5, 10000);
    QCOMPARE(seenByOther, 5);

    // After a lost connection the next statement attaches again and listens
    // again; what came meanwhile is unknown (0), what comes later is counted.
    int calls = 0;
    other.listenForChanges([&](int changes) {
        ++calls;
        seenByOther += changes;
    });
    QVERIFY(other.DisconnectDatabase());
    addNote(writer, QStringLiteral("while away"), QStringLiteral("body"));
    QCOMPARE(other.GetSetting(QStringLiteral("Key")), QStringLiteral("value"));
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 10000);
    QCOMPARE(seenByOther, 5);
    addNote(writer, QStringLiteral("back"), QStringLiteral("body"));
    QTRY_VERIFY_WITH_TIMEOUT(seenByOther >= 6, 10000);
    QCOMPARE(seenByOther, 6);
}

void TestStore::fullDiskNeverCrashes_data()
{
    QTest::addColumn<bool>("memoryFull");
    QTest::newRow("the disk of the file") << false;
    QTest::newRow("the memory of the lock files") << true;
}

void TestStore::fullDiskNeverCrashes()
{
    // A full file system under the file or under the engine's mapped lock
    // files: a save fails with a reason, nothing reported saved is lost, and
    // nothing dies of SIGBUS.
    QFETCH(bool, memoryFull);
    if (::geteuid() != 0)
        QSKIP("needs root to mount a small file system");
    QTemporaryDir full;
    QTemporaryDir memory;
    const QString small = memoryFull ? memory.path() : full.path();
    if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                    QStringLiteral("size=3m"), QStringLiteral("tmpfs"), small})
        != 0)
        QSKIP("cannot mount a small file system here");
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {small}); });
    TestDatabase made;
    const QString path = full.path() + QStringLiteral("/dbn.ib");
    QVERIFY(QFile::copy(made.path(), path));
    QFile filler(small + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(1 << 16, 'x');
    while (filler.write(block) == block.size() && filler.flush()) { }
    filler.close();
    QStringList arguments {QStringLiteral("write-rows"), path, QStringLiteral("full"), QStringLiteral("400")};
    if (memoryFull)
        arguments = QStringList {QStringLiteral("--memory"), memory.path()} + arguments;
    QProcess process;
    startWorker(process, arguments);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QByteArray said = process.readAllStandardError();
    if (memoryFull) {
        // Refused before the engine maps anything there.
        QVERIFY(process.exitCode() == 3 || process.exitCode() == 4);
        QVERIFY2(said.contains("no room") || said.contains("No space left on device"), said.constData());
    } else {
        QVERIFY2(said.contains("No space left on device"), said.constData());
    }
    const QByteArray stored = process.readAllStandardOutput().trimmed();
    QVERIFY(filler.remove());
    // Every save reported done is there once there is room again (read from
    // a copy: this process opens files of its own file system only).
    const QString copy = TestDatabase::unusedPath();
    QVERIFY(QFile::copy(path, copy));
    if (!memoryFull)
        QCOMPARE(QByteArray::number(TestSql::count(copy, QStringLiteral("WHERE Tytul STARTING WITH 'full-'"))), stored);
    QCOMPARE(TestSql::value(copy, QStringLiteral("SELECT COUNT(*) FROM RDB$DATABASE")), QStringLiteral("1"));
}

void TestStore::missingOrUnreadableDatabase()
{
    const QString missing = TestDatabase::unusedPath();
    QFile garbage(TestDatabase::unusedPath());
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(20000, 'x'));
    garbage.close();
    for (const QString &path : {missing, garbage.fileName()}) {
        TDM dm(path);
        QVERIFY(!dm.ConnectDatabase());
        QCOMPARE(dm.GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("-1"));
        QVERIFY(!dm.SetSetting(QStringLiteral("FormMainWidth"), QStringLiteral("1")));
        std::vector<Note> rows;
        QVERIFY(!dm.readNoteList(nullptr, rows));
        QVERIFY(rows.empty());
        QVERIFY_THROWS_EXCEPTION(Firebird::Error, dm.ReadAlarmState(1));
        dm.WriteAlarmState(1, 1); // reports, never throws
    }
    QVERIFY(!QFile::exists(missing)); // nothing creates a database behind the user's back
}

void TestStore::reconnectsAfterDisconnect()
{
    TestDatabase db;
    TDM dm(db.path());
    QVERIFY(dm.DisconnectDatabase());
    QVERIFY(!dm.isConnected());
    QVERIFY(dm.SetSetting(QStringLiteral("FormMainTop"), QStringLiteral("12")));
    QVERIFY(dm.isConnected());
    QCOMPARE(TDM(db.path()).GetSetting(QStringLiteral("FormMainTop")), QStringLiteral("12"));
}

void TestStore::survivesKill()
{
    TestDatabase db;
    QProcess child;
    child.start(worker(), {QStringLiteral("save-and-wait"), db.path()});
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForReadyRead(30000));
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("saved"));
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(10000));
    TDM dm(db.path());
    QCOMPARE(dm.GetSetting(QStringLiteral("Survivor")), QStringLiteral("kept"));
    QCOMPARE(TestSql::count(db.path(), QStringLiteral("WHERE Tytul = 'survives a kill'")), 1);
}

void TestStore::twoProcessesShareTheFile()
{
    TestDatabase db;
    constexpr int rows = 150;
    QProcess a;
    QProcess b;
    a.start(worker(), {QStringLiteral("write-rows"), db.path(), QStringLiteral("a"), QString::number(rows)});
    b.start(worker(), {QStringLiteral("write-rows"), db.path(), QStringLiteral("b"), QString::number(rows)});
    QVERIFY(a.waitForFinished(60000));
    QVERIFY(b.waitForFinished(60000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    QCOMPARE(TestSql::count(db.path(), QStringLiteral("WHERE Tytul STARTING WITH 'a-'")), rows);
    QCOMPARE(TestSql::count(db.path(), QStringLiteral("WHERE Tytul STARTING WITH 'b-'")), rows);
    QCOMPARE(TestSql::value(db.path(), QStringLiteral("SELECT COUNT(DISTINCT ID) FROM NOTATKI")),
             QString::number(2 * rows));
}

void TestStore::oneLockFolderPerFile_data()
{
    // refused: 0 written, 3 the engine's folder refused, 4 the file refused.
    QTest::addColumn<int>("plant");
    QTest::addColumn<int>("refused");
    QTest::newRow("different TMPDIR values") << int(Plant::Nothing) << 0;
    QTest::newRow("a foreign penwick folder in TMPDIR") << int(Plant::ForeignInTmpdir) << 0;
    QTest::newRow("a link as penwick folder in TMPDIR") << int(Plant::LinkInTmpdir) << 0;
    QTest::newRow("the second copy through a hard link") << int(Plant::HardLink) << 0;
    QTest::newRow("the second copy through a bind mount") << int(Plant::BindMount) << 0;
    QTest::newRow("an older version has the file open") << int(Plant::OlderCopy) << 4;
    QTest::newRow("the private folder was open to others") << int(Plant::OpenBase) << 0;
    QTest::newRow("the private folder is another user's") << int(Plant::ForeignBase) << 3;
}

void TestStore::oneLockFolderPerFile()
{
    // Two copies started from different places (a terminal, tmux, a sandbox)
    // or through different names write one file at once: every save reported
    // done is in the file, or the file is refused untouched; never two lock
    // folders for one file, and nothing planted is used.
    QFETCH(int, plant);
    QFETCH(int, refused);
    constexpr int rows = 150;
    TestDatabase made;
    QTemporaryDir elsewhere;
    QTemporaryDir tmpA;
    QTemporaryDir tmpB;
    QTemporaryDir theirs;
    QTemporaryDir memory;
    const QString ours = QStringLiteral("/penwick-") + QString::number(getuid());
    QString path = made.path();
    QString second = path;
    QStringList options;
    QFile olderLockTable(elsewhere.path() + QStringLiteral("/.penwick-lock/fb_lock_00fe"));
    QString mounted;
    const auto unmount = qScopeGuard([&mounted] {
        if (!mounted.isEmpty())
            QProcess::execute(QStringLiteral("umount"), {mounted});
    });
    switch (Plant(plant)) {
    case Plant::Nothing:
        break;
    case Plant::ForeignInTmpdir:
        plantForeign(tmpA.path() + ours, theirs.path());
        plantForeign(tmpB.path() + ours, theirs.path());
        break;
    case Plant::LinkInTmpdir:
        QVERIFY(QFile::link(theirs.path(), tmpA.path() + ours));
        QVERIFY(QFile::link(theirs.path(), tmpB.path() + ours));
        break;
    case Plant::HardLink:
        second = elsewhere.path() + QStringLiteral("/dbn.ib");
        QVERIFY(::link(QFile::encodeName(path).constData(), QFile::encodeName(second).constData()) == 0);
        break;
    case Plant::BindMount: {
        second = elsewhere.path() + QStringLiteral("/dbn.ib");
        QFile(second).open(QIODevice::WriteOnly);
        if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("--bind"), path, second}) != 0)
            QSKIP("cannot bind-mount here");
        mounted = second;
        break;
    }
    case Plant::OlderCopy:
        // An older version's engine keeps a shared lock on its lock table.
        path = second = elsewhere.path() + QStringLiteral("/dbn.ib");
        QVERIFY(QFile::copy(made.path(), path));
        QVERIFY(QDir().mkpath(QFileInfo(olderLockTable).absolutePath()));
        QVERIFY(olderLockTable.open(QIODevice::WriteOnly));
        QCOMPARE(::flock(olderLockTable.handle(), LOCK_SH), 0);
        break;
    case Plant::OpenBase:
    case Plant::ForeignBase: {
        options = QStringList {QStringLiteral("--memory"), memory.path()};
        const QString base = memory.path() + ours;
        QVERIFY(QDir().mkpath(base + QStringLiteral("/engine/intl")));
        QFile planted(base + QStringLiteral("/engine/intl/libfbintl.so"));
        QVERIFY(planted.open(QIODevice::WriteOnly));
        planted.close();
        QVERIFY(QFile::copy(planted.fileName(), base + QStringLiteral("/engine/plugins.conf")));
        QCOMPARE(::chmod(QFile::encodeName(base).constData(), 0777), 0);
        if (Plant(plant) == Plant::ForeignBase)
            plantForeign(base, theirs.path());
        break;
    }
    }
    const QByteArray before = fileHash(path);
    QProcess a;
    QProcess b;
    startWorker(a,
                options + QStringList {QStringLiteral("write-rows"), path, QStringLiteral("a"), QString::number(rows)},
                tmpA.path());
    startWorker(
        b, options + QStringList {QStringLiteral("write-rows"), second, QStringLiteral("b"), QString::number(rows)},
        tmpB.path());
    QVERIFY(a.waitForFinished(120000));
    QVERIFY(b.waitForFinished(120000));
    QVERIFY(QDir(theirs.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    if (refused) {
        QCOMPARE(a.exitCode(), refused);
        QCOMPARE(b.exitCode(), refused);
        const QByteArray said = a.readAllStandardError();
        QVERIFY2(said.contains(refused == 3 ? "another user" : "older version"), said.constData());
        QCOMPARE(fileHash(path), before);
        return;
    }
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    QCOMPARE(a.readAllStandardOutput().trimmed(), QByteArray::number(rows));
    QCOMPARE(b.readAllStandardOutput().trimmed(), QByteArray::number(rows));
    QCOMPARE(TestSql::count(path, QStringLiteral("WHERE Tytul STARTING WITH 'a-'")), rows);
    QCOMPARE(TestSql::count(path, QStringLiteral("WHERE Tytul STARTING WITH 'b-'")), rows);
    if (!options.isEmpty()) {
        // Emptied before use: what was planted is gone, and the folder is private.
        const QString base = memory.path() + ours;
        QVERIFY(!QFile::exists(base + QStringLiteral("/engine/plugins.conf")));
        QVERIFY(QFileInfo(base + QStringLiteral("/engine/intl")).isSymLink());
        QCOMPARE(QFileInfo(base).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }
}

void TestStore::neighbourNote_data()
{
    QTest::addColumn<QVector<int>>("ids");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << QVector<int> {} << 5 << -1;
    QTest::newRow("only") << QVector<int> {5} << 5 << -1;
    QTest::newRow("first of three") << QVector<int> {7, 5, 3} << 7 << 5;
    QTest::newRow("middle") << QVector<int> {7, 5, 3} << 5 << 3;
    QTest::newRow("last of three") << QVector<int> {7, 5, 3} << 3 << 5;
    QTest::newRow("absent") << QVector<int> {7, 5, 3} << 9 << -1;
}

void TestStore::neighbourNote()
{
    QFETCH(QVector<int>, ids);
    QFETCH(int, id);
    QFETCH(int, expected);
    QCOMPARE(TDM::PickNeighbourNote(ids, id), expected);
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"

// The installed Unicode library, as the engine asks for it ("libicuuc.so.72").
static QString installedUnicodeLibrary()
{
    QDirIterator found(QStringLiteral("/usr/lib/" PENWICK_LIBRARY_ARCH), {QStringLiteral("libicuuc.so.*")});
    QString shortest;
    while (found.hasNext()) {
        const QString name = QFileInfo(found.next()).fileName();
        if (shortest.isEmpty() || name.size() < shortest.size())
            shortest = name;
    }
    return shortest;
}

void TestStore::unicodeLibraryNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("libraryPath");
    QTest::addColumn<bool>("refused");
    const QString installed = installedUnicodeLibrary();
    QVERIFY2(!installed.isEmpty(), "no Unicode library installed");
    QTest::newRow("a version that is not installed") << "libicuuc.so.4_19" << QByteArray() << true;
    QTest::newRow("the other library of it") << "libicui18n.so.52" << QByteArray() << true;
    QTest::newRow("the installed one") << installed << QByteArray() << false;
    QTest::newRow("another library") << "libQt6Core.so.6" << QByteArray() << false;
    QTest::newRow("a path is the caller's own") << "/nowhere/libicuuc.so.4_19" << QByteArray() << false;
    QTest::newRow("a library path of the user's") << "libicuuc.so.4_19" << QByteArray("/opt/icu") << false;
}

void TestStore::unicodeLibraryNames()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, libraryPath);
    QFETCH(bool, refused);
    const QByteArray before = qgetenv("LD_LIBRARY_PATH");
    qputenv("LD_LIBRARY_PATH", libraryPath);
    char where[4096] = {};
    const bool answer = UnicodeLibraries::cannotBeFound(name.toUtf8().constData(), where, sizeof where);
    qputenv("LD_LIBRARY_PATH", before);
    QCOMPARE(answer, refused);
    // What the loader itself says of the name: found, or not.
    void *handle = dlopen(name.toUtf8().constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle && libraryPath.isEmpty() && !name.startsWith(QLatin1Char('/')))
        handle = dlopen(name.toUtf8().constData(), RTLD_LAZY);
    if (refused) {
        QVERIFY(!handle);
        QVERIFY(QByteArray(where).endsWith('/' + name.toUtf8()));
        QVERIFY(!dlopen(where, RTLD_LAZY));
        QVERIFY(dlerror() != nullptr);
    }
    if (handle)
        dlclose(handle);
}

void TestStore::accessRecordFollowsTheFile_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("rememberedOpen");
    QTest::addColumn<bool>("saysOpen");
    QTest::newRow("left open, unchanged") << "" << true << true;
    QTest::newRow("left with a password") << "" << false << false;
    QTest::newRow("never remembered") << "forget" << true << false;
    QTest::newRow("a program wrote to it") << "write" << true << false;
    QTest::newRow("only touched") << "touch" << true << false;
    QTest::newRow("copied over itself") << "copy" << true << false;
    QTest::newRow("another file of the folder remembered") << "other" << true << false;
}

void TestStore::accessRecordFollowsTheFile()
{
    QFETCH(QString, change);
    QFETCH(bool, rememberedOpen);
    QFETCH(bool, saysOpen);
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    AccessRecord::remember(db.path(), rememberedOpen);
    QCOMPARE(AccessRecord::saysOpen(db.path()), rememberedOpen);
    if (change == QLatin1String("forget")) {
        AccessRecord::remember(db.path(), false);
    } else if (change == QLatin1String("write")) {
        TestSql::exec(db.path(), QStringLiteral("INSERT INTO USTAWIENIA (Ustawienie, Wartosc) "
                                                "VALUES ('HasloDostepu', 'x')"));
    } else if (change == QLatin1String("touch")) {
        QFile file(db.path());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    } else if (change == QLatin1String("copy")) {
        const QString copy = db.path() + QStringLiteral(".copy");
        QVERIFY(QFile::copy(db.path(), copy));
        QVERIFY(QFile::remove(db.path()));
        QVERIFY(QFile::rename(copy, db.path()));
    } else if (change == QLatin1String("other")) {
        TestDatabase other;
        QVERIFY(other.isValid());
        AccessRecord::remember(other.path(), true);
        QVERIFY(AccessRecord::saysOpen(other.path()));
        AccessRecord::remember(db.path(), false);
    }
    QCOMPARE(AccessRecord::saysOpen(db.path()), saysOpen);
}
