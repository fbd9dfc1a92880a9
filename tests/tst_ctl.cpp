// The built penwickctl, run as a user runs it, against databases of the
// test's own; its clock stands at 2030-06-14 09:34:35.
#include "TestDatabase.h"
#include "store/DataLocation.h"
#include "store/DataModule.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result {
    int status = -1;
    QString out;
    QString err;
};

// Every note kind the commands meet: an armed, a running and an acknowledged
// repeating alarm, quotes, a CR LF body, letters beyond ASCII.
void seed(const QString &db)
{
    TestSql::insertNote(db, 1, QStringLiteral("Dentist"), QStringLiteral("2030.06.10 08:00:00"), 2, 0,
                        QStringLiteral("2030.06.15"), QStringLiteral("09:30"), QStringLiteral("Call him\r\nat 9"));
    TestSql::insertNote(db, 2, QStringLiteral("O'Brien"), QStringLiteral("2030.06.11 08:00:00"), 1, 2,
                        QStringLiteral("2030.06.12"), QStringLiteral("07:15"), QStringLiteral("żółć; a, b \\ c"));
    TestSql::insertNote(db, 3, QStringLiteral("Shopping"), QStringLiteral("2030.06.12 08:00:00"), 0, 0,
                        QStringLiteral("2030.06.12"), QStringLiteral("08:00"), QStringLiteral("milk  eggs"));
    TestSql::insertNote(db, 4, QStringLiteral("Rent"), QStringLiteral("2029.01.05 10:00:00"), 3, 3,
                        QStringLiteral("2029.01.31"), QStringLiteral("18:00"), QString(),
                        QStringLiteral("2030.05.31 18:01:02"));
    TestSql::exec(db, QStringLiteral("ALTER SEQUENCE GenNotka RESTART WITH 10"));
}

Result ctl(const QStringList &arguments, const QByteArray &input = {}, const QString &home = QString())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PENWICK_CTL_NOW"), QStringLiteral("2030-06-14T09:34:35"));
    // Never the user's own notes or autostart folder.
    const QString place = home.isEmpty() ? TestDatabase::processFolder() : home;
    env.insert(QStringLiteral("XDG_DATA_HOME"), place + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), place + QStringLiteral("/config"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(PENWICK_CTL), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

QJsonArray notesOf(const QString &db)
{
    const Result exported = ctl(
        {QStringLiteral("--database"), db, QStringLiteral("export"), QStringLiteral("--json"), QStringLiteral("-")});
    return QJsonDocument::fromJson(exported.out.toUtf8()).object().value(QStringLiteral("notes")).toArray();
}

} // namespace

class TestCtl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data();
    void commands();
    void roundTrip_data();
    void roundTrip();
    void calendar();
    void backupWhileOpenRestoreWhenClosed();
    void sameFileAsTheProgram();
    void autostart();
    void aRunningCopyHearsOfANewNote();
};

void TestCtl::commands_data()
{
    QTest::addColumn<QStringList>("arguments"); // {db} and {dir} stand for the row's file and folder
    QTest::addColumn<QByteArray>("input");      // stdin, and the file {dir}/in.md or in.json
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");   // a pattern for all of stdout
    QTest::addColumn<QString>("err");   // in stderr; empty: nothing there
    QTest::addColumn<QString>("check"); // a SELECT on {db}, or a folder whose names are listed
    QTest::addColumn<QString>("checked");
    const QString note11 = QStringLiteral("SELECT Tytul || '|' || Tresc || '|' || Alarm || '|' || AlarmRodzaj || '|' "
                                          "|| AlarmData || ' ' || AlarmGodzina || '|' || DataGodzina FROM NOTATKI "
                                          "WHERE ID = 11");
    const auto row = [](const char *name, QStringList arguments, int status, const QString &out,
                        const QString &err = QString(), const QString &check = QString(),
                        const QString &checked = QString(), const QByteArray &input = QByteArray()) {
        QTest::newRow(name) << arguments << input << status << out << err << check << checked;
    };
    const QString nn = QStringLiteral("new");

    row("new: the default title, no alarm", {nn, QStringLiteral("Buy milk")}, 0, QStringLiteral("11\n"), {}, note11,
        QStringLiteral("Note no 5|Buy milk|0|0|2030-06-14 09:34:00.0000|2030-06-14 09:34:35.0000"));
    row("new: an empty title is the default one", {nn, QStringLiteral("--title="), QStringLiteral("x")}, 0,
        QStringLiteral("11\n"), {}, QStringLiteral("SELECT Tytul FROM NOTATKI WHERE ID = 11"),
        QStringLiteral("Note no 5"));
    row("new: title, alarm",
        {nn, QStringLiteral("--title"), QStringLiteral("Ring"), QStringLiteral("--alarm"),
         QStringLiteral("2030-06-14 09:35")},
        0, QStringLiteral("11\n"), {}, note11,
        QStringLiteral("Ring||2|0|2030-06-14 09:35:00.0000|2030-06-14 09:34:35.0000"));
    row("new: the body from stdin, CR LF stored", {nn, QStringLiteral("-")}, 0, QStringLiteral("11\n"), {},
        QStringLiteral("SELECT Tresc FROM NOTATKI WHERE ID = 11"), QStringLiteral("one\r\n\r\ntwo"),
        QByteArray("one\n\ntwo\n"));
    row("new: stdin that is not UTF-8", {nn, QStringLiteral("-")}, 1, {}, QStringLiteral("not UTF-8"),
        QStringLiteral("SELECT COUNT(*) FROM NOTATKI"), QStringLiteral("4"), QByteArray("\xff\xfe"));
    row("new: alarm yesterday", {nn, QStringLiteral("--alarm"), QStringLiteral("2030-06-13 23:59"), nn}, 1, {},
        QStringLiteral("penwickctl: Alarm date can't be earlier than today's!\n"),
        QStringLiteral("SELECT COUNT(*) FROM NOTATKI"), QStringLiteral("4"));
    row("new: alarm earlier today", {nn, QStringLiteral("--alarm"), QStringLiteral("2030-06-14 09:34"), nn}, 1, {},
        QStringLiteral("penwickctl: Alarm time must be later than the current!\n"));
    row("new: an earlier time on a later day", {nn, QStringLiteral("--alarm"), QStringLiteral("2030-06-15 00:00"), nn},
        0, QStringLiteral("11\n"));
    row("new: alarm not a moment", {nn, QStringLiteral("--alarm"), QStringLiteral("2030-02-30 10:00"), nn}, 2, {},
        QStringLiteral("YYYY-MM-DD HH:MM"));
    row("new: 50 characters beyond the BMP", {nn, QStringLiteral("--title"), QStringLiteral("😀").repeated(50)}, 0,
        QStringLiteral("11\n"));
    row("new: 51 characters", {nn, QStringLiteral("--title"), QString(51, QLatin1Char('t'))}, 1, {},
        QStringLiteral("at most 50 characters"));
    row("new: 5000 stored with a line break", {nn, QString(4998, QLatin1Char('b')) + QLatin1Char('\n')}, 0,
        QStringLiteral("11\n"));
    row("new: 5001 stored", {nn, QString(4999, QLatin1Char('b')) + QLatin1Char('\n')}, 1, {},
        QStringLiteral("at most 5000 characters"));
    row("new: two bodies", {nn, QStringLiteral("a"), QStringLiteral("b")}, 2, {}, QStringLiteral("quote it"));

    row("list: running first, then the newest", {QStringLiteral("list")}, 0,
        QStringLiteral("2\t2030-06-11 08:00\trunning\tO'Brien\n3\t2030-06-12 08:00\tnone\tShopping\n"
                       "1\t2030-06-10 08:00\tarmed\tDentist\n4\t2029-01-05 10:00\tacknowledged\tRent\n"));
    row("list: a quote, any case", {QStringLiteral("list"), QStringLiteral("--search"), QStringLiteral("o'b")}, 0,
        QStringLiteral("2\t.*O'Brien\n"));
    row("list: upper case of a body beyond ASCII",
        {QStringLiteral("list"), QStringLiteral("--search"), QStringLiteral("ŻÓŁ")}, 0, QStringLiteral("2\t.*\n"));
    row("list: the creation time's text", {QStringLiteral("list"), QStringLiteral("--search"), QStringLiteral("2029")},
        0, QStringLiteral("4\t.*Rent\n"));
    row("list: blanks are a search", {QStringLiteral("list"), QStringLiteral("--search"), QStringLiteral("  ")}, 0,
        QStringLiteral("3\t.*Shopping\n"));
    row("list: JSON", {QStringLiteral("list"), QStringLiteral("--json")}, 0,
        QStringLiteral(
            "\\[\\s*\\{\\s*\"alarm\": 1,\\s*\"created\": \"2030-06-11 08:00:00\",\\s*\"id\": 2,\\s*\"title\": "
            "\"O'Brien\"\\s*\\},.*\\]\n"));
    row("list: 51 characters", {QStringLiteral("list"), QStringLiteral("--search"), QString(51, QLatin1Char('x'))}, 2,
        {}, QStringLiteral("at most 50"));

    row("show", {QStringLiteral("show"), QStringLiteral("4")}, 0,
        QStringLiteral("ID: 4\nTitle: Rent\nCreated: 2029-01-05 10:00:00\nAlarm: 2029-01-31 18:00, monthly, "
                       "acknowledged\nAcknowledged: 2030-05-31 18:01:02\n\n\n"));
    row("show: JSON", {QStringLiteral("show"), QStringLiteral("1"), QStringLiteral("--json")}, 0,
        QStringLiteral(".*\"body\": \"Call him\\\\r\\\\nat 9\",.*\"kind\": 0,.*"));
    row("show: no such note", {QStringLiteral("show"), QStringLiteral("99")}, 1, {},
        QStringLiteral("penwickctl: there is no note 99\n"));
    row("show: not an ID", {QStringLiteral("show"), QStringLiteral("one")}, 2, {}, QStringLiteral("not a note's ID"));
    row("delete", {QStringLiteral("delete"), QStringLiteral("3")}, 0, {}, {},
        QStringLiteral("SELECT COUNT(*) FROM "
                       "NOTATKI WHERE ID = 3"),
        QStringLiteral("0"));
    row("delete: no such note", {QStringLiteral("delete"), QStringLiteral("99")}, 1, {},
        QStringLiteral("there is no note 99"));

    row("import: Markdown, title from the heading", {QStringLiteral("import"), QStringLiteral("{dir}/in.md")}, 0,
        QStringLiteral("11\tGroceries\n"), {}, note11,
        QStringLiteral("Groceries|intro\r\n\r\n- eggs|0|0|2030-06-14 09:34:00.0000|2030-06-14 09:34:35.0000"),
        QByteArray("intro\n\n# Groceries #\n- eggs\n\n"));
    row("import: a first line too long for a title stays in the body",
        {QStringLiteral("import"), QStringLiteral("{dir}/in.md")}, 0,
        QStringLiteral("11\t") + QString(50, QLatin1Char('w')) + QLatin1Char('\n'), {},
        QStringLiteral("SELECT Tresc FROM NOTATKI WHERE ID = 11"),
        QString(60, QLatin1Char('w')) + QStringLiteral("\r\nend"), QByteArray(60, 'w') + "\nend\n");
    row("import: front matter, a note that is there already", {QStringLiteral("import"), QStringLiteral("{dir}/in.md")},
        0, {}, QStringLiteral("\"Shopping\" is there already as note 3; not added"),
        QStringLiteral("SELECT COUNT(*) FROM NOTATKI"), QStringLiteral("4"),
        QByteArray("---\ntitle: \"Shopping\"\ncreated: \"2030-06-12 08:00:00\"\n---\nmilk  eggs\n"));
    row("import: front matter with an alarm", {QStringLiteral("import"), QStringLiteral("{dir}/in.md")}, 0,
        QStringLiteral("11\tQ: \"x\"\n"), {}, note11,
        QStringLiteral("Q: \"x\"|b|2|4|2031-02-03 04:05:00.0000|2030-01-02 03:04:05.0000"),
        QByteArray("---\ntitle: \"Q: \\\"x\\\"\" # why\ncreated: 2030-01-02 03:04:05\nalarm: '2031-02-03 04:05'\n"
                   "kind: annual\nother: [kept, out]\n---\nb\n"));
    row("import: a bad front matter adds nothing", {QStringLiteral("import"), QStringLiteral("{dir}/in.md")}, 1, {},
        QStringLiteral("kind is not one of"), QStringLiteral("SELECT COUNT(*) FROM NOTATKI"), QStringLiteral("4"),
        QByteArray("---\ntitle: a\nalarm: 2031-02-03 04:05\nkind: hourly\n---\n"));
    row("import: not an export", {QStringLiteral("import"), QStringLiteral("{dir}/in.json")}, 1, {},
        QStringLiteral("not an export of penwickctl"), {}, {}, QByteArray("{\"notes\": []}"));
    row("import: a title too long", {QStringLiteral("import"), QStringLiteral("{dir}/in.json")}, 1, {},
        QStringLiteral("longer than 50 characters"), {}, {},
        "{\"format\": \"penwick-notes\", \"version\": 1, \"notes\": [{\"title\": \"" + QByteArray(51, 'x') + "\"}]}");

    row("export: Markdown names for any title",
        {QStringLiteral("export"), QStringLiteral("--markdown"), QStringLiteral("{dir}/md")}, 0, {}, {},
        QStringLiteral("{dir}/md"),
        QStringLiteral("DENTIST (2).md|Dentist.md|O'Brien.md|Rent.md|Shopping.md|Untitled (2).md|Untitled.md|"
                       "_etc_passwd.md|a_b_.md|hidden.md"),
        QByteArray("INSERT INTO NOTATKI (ID, Tytul, DataGodzina) VALUES (5, '../etc/passwd', '2030.01.01 00:00:00');"
                   "INSERT INTO NOTATKI (ID, Tytul, DataGodzina) VALUES (6, '.hidden', '2030.01.01 00:00:01');"
                   "INSERT INTO NOTATKI (ID, Tytul, DataGodzina) VALUES (7, '..', '2030.01.01 00:00:02');"
                   "INSERT INTO NOTATKI (ID, Tytul, DataGodzina) VALUES (8, '', '2030.01.01 00:00:03');"
                   "INSERT INTO NOTATKI (ID, Tytul, DataGodzina) VALUES (9, 'DENTIST', '2030.07.01 00:00:00');"
                   "INSERT INTO NOTATKI (ID, Tytul, DataGodzina) VALUES (10, 'a' || ASCII_CHAR(9) || 'b?', "
                   "'2030.01.01 00:00:04')"));
    row("export: into a folder that is not empty",
        {QStringLiteral("export"), QStringLiteral("--markdown"), QStringLiteral("{dir}")}, 1, {},
        QStringLiteral("is not empty"));
    row("export: nothing asked for", {QStringLiteral("export")}, 2, {}, QStringLiteral("say what to write"));

    row("no command", {}, 2, {}, QStringLiteral("name a command"));
    row("no such command", {QStringLiteral("frobnicate")}, 2, {}, QStringLiteral("there is no command frobnicate"));
    row("no such option", {nn, QStringLiteral("--colour")}, 2, {}, QStringLiteral("colour"));
    row("help", {QStringLiteral("--help")}, 0, QStringLiteral("Usage: penwickctl .*Commands:.*autostart on\\|off.*"));
    row("a command's help", {QStringLiteral("help"), QStringLiteral("export")}, 0,
        QStringLiteral("Usage: penwickctl export .*--markdown <DIR>.*"));
    row("no such file", {QStringLiteral("--database"), QStringLiteral("{dir}/none.ib"), QStringLiteral("list")}, 1, {},
        QStringLiteral("there is no file"));
}

void TestCtl::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, check);
    QFETCH(QString, checked);
    TestDatabase db;
    QVERIFY2(db.isValid(), qPrintable(db.error()));
    seed(db.path());
    QTemporaryDir dir(TestDatabase::processFolder() + QStringLiteral("/row-XXXXXX"));
    const auto place = [&](QString text) {
        return text.replace(QStringLiteral("{db}"), db.path()).replace(QStringLiteral("{dir}"), dir.path());
    };
    for (QString &argument : arguments)
        argument = place(argument);
    if (input.startsWith("INSERT")) {
        for (const QByteArray &statement : input.split(';'))
            TestSql::exec(db.path(), QString::fromUtf8(statement));
    } else {
        for (const char *name : {"/in.md", "/in.json"}) {
            QFile file(dir.path() + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(input) == input.size());
        }
    }
    if (!arguments.contains(QStringLiteral("--database")))
        arguments.prepend(db.path()), arguments.prepend(QStringLiteral("--database"));

    const Result result = ctl(arguments, input);
    QCOMPARE(result.status, status);
    QVERIFY2(
        QRegularExpression(QRegularExpression::anchoredPattern(out), QRegularExpression::DotMatchesEverythingOption)
            .match(result.out)
            .hasMatch(),
        qPrintable(result.out));
    if (err.isEmpty())
        QCOMPARE(result.err, QString());
    else
        QVERIFY2(result.err.contains(err), qPrintable(result.err));
    if (check.startsWith(QStringLiteral("SELECT")))
        QCOMPARE(TestSql::value(db.path(), check), checked);
    else if (!check.isEmpty()) {
        QStringList names = QDir(place(check)).entryList(QDir::Files | QDir::Hidden);
        names.sort();
        QCOMPARE(names.join(QLatin1Char('|')), checked);
    }
}

void TestCtl::roundTrip_data()
{
    QTest::addColumn<QString>("format");
    // The columns the format carries for every note ("text": the body with
    // plain line breaks); those of an alarm go with every alarm.
    QTest::addColumn<QStringList>("columns");
    const QStringList always {QStringLiteral("title"), QStringLiteral("created"), QStringLiteral("alarm"),
                              QStringLiteral("acknowledged")};
    QTest::newRow("JSON") << QStringLiteral("--json")
                          << always
                                 + QStringList {QStringLiteral("body"), QStringLiteral("kind"),
                                                QStringLiteral("alarmDate"), QStringLiteral("alarmTime")};
    QTest::newRow("Markdown") << QStringLiteral("--markdown") << always + QStringList {QStringLiteral("text")};
}

void TestCtl::roundTrip()
{
    QFETCH(QString, format);
    QFETCH(QStringList, columns);
    TestDatabase from;
    TestDatabase to;
    QVERIFY(from.isValid() && to.isValid());
    seed(from.path());
    // What only an export meets: empty alarm columns, a lone CR, a body ending
    // in line breaks, an empty title.
    TestSql::insertNote(from.path(), 5, QString(), QStringLiteral("2030.06.13 08:00:00"), 0, 1, QString(), QString(),
                        QStringLiteral("a\rb\r\n\r\n"));
    QTemporaryDir dir(TestDatabase::processFolder() + QStringLiteral("/trip-XXXXXX"));
    const QString file = dir.path()
                         + (format == QStringLiteral("--json") ? QStringLiteral("/all.json") : QStringLiteral("/md"));
    QCOMPARE(ctl({QStringLiteral("--database"), from.path(), QStringLiteral("export"), format, file}).status, 0);
    QStringList files {file};
    if (format == QStringLiteral("--markdown")) {
        files = QDir(file).entryList(QDir::Files);
        for (QString &name : files)
            name.prepend(file + QLatin1Char('/'));
    }
    const Result imported = ctl(QStringList {QStringLiteral("--database"), to.path(), QStringLiteral("import")}
                                + files);
    QCOMPARE(imported.status, 0);
    QCOMPARE(imported.out.count(QLatin1Char('\n')), 5);

    const auto carried = [&](const QJsonArray &notes) {
        QStringList rows;
        for (const QJsonValue &note : notes) {
            QStringList cells;
            for (const QString &column : columns)
                cells << (column == QStringLiteral("text")
                              ? NoteText::fromStored(note[QStringLiteral("body")].toString())
                              : note[column].toVariant().toString());
            if (note[QStringLiteral("alarm")].toInt() != 0) {
                for (const char *column : {"kind", "alarmDate", "alarmTime"})
                    cells << note[QLatin1String(column)].toVariant().toString();
            }
            rows << cells.join(QLatin1Char('|'));
        }
        rows.sort();
        return rows;
    };
    const QJsonArray before = notesOf(from.path());
    QCOMPARE(before.size(), 5);
    QCOMPARE(carried(notesOf(to.path())), carried(before));
}

void TestCtl::calendar()
{
    TestDatabase db;
    QVERIFY(db.isValid());
    seed(db.path());
    TestSql::insertNote(db.path(), 5, QString(50, QChar(0x0142)), QStringLiteral("2030.06.13 08:00:00"), 2, 1,
                        QStringLiteral("2030.06.20"), QStringLiteral("23:59"));
    const QString file = TestDatabase::unusedPath(QStringLiteral(".ics"));
    QCOMPARE(
        ctl({QStringLiteral("--database"), db.path(), QStringLiteral("export"), QStringLiteral("--ics"), file}).status,
        0);
    QFile raw(file);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray text = raw.readAll();
    QVERIFY(text.endsWith("END:VCALENDAR\r\n"));
    for (const QByteArray &line : text.split('\n')) {
        QVERIFY2(line.isEmpty() || line.endsWith('\r'), line.constData());
        QVERIFY2(line.size() <= 76, line.constData());
    }

    QProcess reader;
    reader.start(QStringLiteral(PENWICK_DEBIAN_PYTHON), {QStringLiteral(PENWICK_ICS_READER), file});
    QVERIFY(reader.waitForFinished(30000));
    if (reader.exitCode() == 77)
        QSKIP("python3-icalendar is not installed (make test installs it)");
    QCOMPARE(reader.exitCode(), 0);
    QStringList todos;
    for (const QJsonValue todo : QJsonDocument::fromJson(reader.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const char *key : {"summary", "description", "start", "due", "rrule", "status"})
            cells << todo[QLatin1String(key)].toString();
        cells << todo[QStringLiteral("alarms")].toVariant().toStringList();
        todos << cells.join(QLatin1Char('|'));
    }
    todos.sort();
    QCOMPARE(todos, (QStringList {
                        QStringLiteral("Dentist|Call him\nat 9|2030-06-15T09:30:00|2030-06-15T09:31:00||NEEDS-ACTION|"
                                       "DISPLAY 0:00:00"),
                        QStringLiteral("O'Brien|żółć; a, b \\ c|2030-06-12T07:15:00|2030-06-12T07:16:00|FREQ=WEEKLY|"
                                       "NEEDS-ACTION|DISPLAY 0:00:00"),
                        QStringLiteral("Rent||2029-01-31T18:00:00|2029-01-31T18:01:00|FREQ=MONTHLY|NEEDS-ACTION|"
                                       "DISPLAY 0:00:00"),
                        QString(50, QChar(0x0142))
                            + QStringLiteral("||2030-06-20T23:59:00|2030-06-21T00:00:00|FREQ=DAILY|NEEDS-ACTION|"
                                             "DISPLAY 0:00:00"),
                    }));
}

void TestCtl::backupWhileOpenRestoreWhenClosed()
{
    TestDatabase db;
    QVERIFY(db.isValid());
    seed(db.path());
    const QString backup = TestDatabase::unusedPath(QStringLiteral(".fbk"));
    const QStringList on {QStringLiteral("--database"), db.path()};
    {
        // A copy of the program holds the file, with a write not yet committed.
        Firebird::Connection open(db.path());
        Firebird::Transaction pending(open, Firebird::Transaction::ReadWrite);
        pending.execute(QStringLiteral("DELETE FROM NOTATKI"));
        QCOMPARE(ctl(on + QStringList {QStringLiteral("backup"), backup}).status, 0);
        QVERIFY(QFileInfo(backup).permissions()
                == (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser));
        const Result refused = ctl(on + QStringList {QStringLiteral("restore"), backup});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains(QStringLiteral("close it first")), qPrintable(refused.err));
    }
    TestSql::exec(db.path(), QStringLiteral("DELETE FROM NOTATKI WHERE ID = 1"));
    // A backup that is not one changes nothing and leaves nothing.
    const QString junk = TestDatabase::unusedPath(QStringLiteral(".fbk"));
    {
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a backup") > 0);
    }
    const QStringList before = QDir(db.folder()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(ctl(on + QStringList {QStringLiteral("restore"), junk}).status, 1);
    QCOMPARE(QDir(db.folder()).entryList(QDir::Files | QDir::Hidden), before);

    const Result restored = ctl(on + QStringList {QStringLiteral("restore"), backup});
    QCOMPARE(restored.status, 0);
    QCOMPARE(TestSql::ids(db.path(), QStringLiteral("SELECT ID FROM NOTATKI ORDER BY ID")), (QList<int> {1, 2, 3, 4}));
    QCOMPARE(TestSql::count(db.path() + QStringLiteral(".before-restore")), 3);
    QVERIFY(restored.out.contains(db.path() + QStringLiteral(".before-restore")));
    QCOMPARE(ctl(on + QStringList {QStringLiteral("new"), QStringLiteral("after")}).out, QStringLiteral("11\n"));
}

void TestCtl::sameFileAsTheProgram()
{
    const QString beside = QFileInfo(QStringLiteral(PENWICK_CTL)).absolutePath() + QStringLiteral("/dbn.ib");
    if (QFileInfo::exists(beside))
        QSKIP("a dbn.ib lies beside the built programs: it would be the notes file");
    // Sanitizer builds make no supplied empty database.
    if (DataLocation::suppliedFile(QFileInfo(QStringLiteral(PENWICK_CTL)).absolutePath()).isEmpty())
        QSKIP("this build supplies no empty database");
    QTemporaryDir home(TestDatabase::processFolder() + QStringLiteral("/home-XXXXXX"));
    QCOMPARE(ctl({QStringLiteral("new"), QStringLiteral("first")}, {}, home.path()).out, QStringLiteral("1\n"));
    // The first use copied the supplied empty file, as the program's first start does.
    QCOMPARE(TestSql::count(home.path() + QStringLiteral("/data/penwick/dbn.ib")), 1);
}

void TestCtl::autostart()
{
    QTemporaryDir home(TestDatabase::processFolder() + QStringLiteral("/home-XXXXXX"));
    const Result on = ctl({QStringLiteral("autostart"), QStringLiteral("on")}, {}, home.path());
    QCOMPARE(on.status, 0);
    QFile entry(on.out.trimmed());
    QCOMPARE(entry.fileName(), home.path() + QStringLiteral("/config/autostart/penwick.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    QVERIFY2(text.startsWith("[Desktop Entry]\nExec=" PENWICK_BINARY "\n"), text.constData());
    QCOMPARE(text.count("Exec="), 1);
    QCOMPARE(ctl({QStringLiteral("autostart"), QStringLiteral("off")}, {}, home.path()).status, 0);
    QVERIFY(!entry.exists());
}

void TestCtl::aRunningCopyHearsOfANewNote()
{
    TestDatabase db;
    QVERIFY(db.isValid());
    TDM running(db.path());
    int changes = 0;
    running.listenForChanges([&](int count) { changes += count; });
    QCOMPARE(ctl({QStringLiteral("--database"), db.path(), QStringLiteral("new"), QStringLiteral("x")}).status, 0);
    QTRY_COMPARE_WITH_TIMEOUT(changes, 1, 10000);
}

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
