#include "Commands.h"

#include "Autostart.h"
#include "NoteFiles.h"
#include "Window.h"
#include "store/Backup.h"
#include "store/Characters.h"
#include "store/Clock.h"
#include "store/DataLocation.h"
#include "store/DataModule.h"
#include "store/NoteRules.h"
#include "store/ServerAddress.h"
#include "store/Sql.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QMultiHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <tuple>
#include <utility>

namespace Commands {

namespace {

// Ends a command with its status and the line that says why.
struct Stop {
    int status;
    QString message;
};

[[noreturn]] void fail(const QString &message)
{
    throw Stop {Failed, message};
}

[[noreturn]] void misuse(const QString &message)
{
    throw Stop {Misused, message};
}

QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text.trimmed().replace(QLatin1Char('\n'), QLatin1String("; "));
}

void write(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void say(const QString &line)
{
    write(stdout, line.toUtf8() + '\n');
}

QString option(const char *name)
{
    return QLatin1String(name);
}

// The tests' fixed reading of the clock: PENWICK_CTL_NOW=yyyy-MM-ddTHH:mm:ss.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(const QDateTime &now)
        : m_now(now)
    {
        setInstance(this);
    }
    ~FixedClock() override
    {
        setInstance(nullptr);
    }
    Q_DISABLE_COPY_MOVE(FixedClock)

protected:
    QDateTime currentDateTimeImpl() const override
    {
        return m_now;
    }

private:
    QDateTime m_now;
};

// One run of one command: its parsed arguments and, once asked for, the
// notes file and its data module.
class Invocation final
{
public:
    QCommandLineParser parser;

    QStringList arguments() const
    {
        return parser.positionalArguments();
    }
    QString value(const char *name) const
    {
        return parser.value(option(name));
    }
    bool isSet(const char *name) const
    {
        return parser.isSet(option(name));
    }

    // The file the program would use (a first start's copy made, as the
    // program makes it), or the one --database names.
    QString notesFile()
    {
        if (isSet("database")) {
            const QString named = QFileInfo(value("database")).absoluteFilePath();
            if (!QFileInfo(named).isFile())
                fail(QStringLiteral("there is no file %1").arg(named));
            return named;
        }
        const DataLocation::Decision decision = DataLocation::decideHere();
        if (!decision.problem.isEmpty())
            fail(decision.problem);
        if (decision.source == DataLocation::Source::None)
            fail(QStringLiteral("there is no notes file: neither %1 nor a dbn.ib beside penwickctl exists, and no "
                                "empty one is supplied")
                     .arg(decision.path));
        const DataLocation::Result located = DataLocation::carryOut(decision);
        if (!located.problem.isEmpty())
            fail(located.problem);
        return located.path;
    }

    // Where the notes file is or would be, made or copied by nobody.
    QString notesPlace() const
    {
        return isSet("database") ? QFileInfo(value("database")).absoluteFilePath() : DataLocation::decideHere().path;
    }

    TDM &dm()
    {
        if (!m_dm) {
            const QString path = notesFile();
            m_dm = std::make_unique<TDM>(path);
            if (!m_dm->isConnected())
                fail(QStringLiteral("cannot open %1: %2").arg(path, oneLine(m_dm->connectError())));
        }
        return *m_dm;
    }

private:
    std::unique_ptr<TDM> m_dm;
};

QString onlyArgument(const Invocation &in, const char *what)
{
    const QStringList arguments = in.arguments();
    if (arguments.size() != 1)
        misuse(QStringLiteral("name one %1").arg(QLatin1String(what)));
    return arguments.constFirst();
}

int noteId(const Invocation &in)
{
    const QString text = onlyArgument(in, "note by its ID");
    bool number = false;
    const int id = text.toInt(&number);
    if (!number)
        misuse(QStringLiteral("%1 is not a note's ID").arg(text));
    return id;
}

Note existingNote(Invocation &in, int id)
{
    const std::optional<Note> note = in.dm().readNote(id);
    if (!note)
        fail(QStringLiteral("there is no note %1").arg(id));
    return *note;
}

QByteArray readAll(const QString &path)
{
    QFile file;
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened)
        fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return data;
}

// Written whole or not at all; "-" is the standard output.
void saveFile(const QString &path, const QByteArray &data)
{
    if (path == QLatin1String("-")) {
        write(stdout, data);
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

QString createdText(const Note &note)
{
    return NoteFiles::momentText(note.createdDate, note.createdTime);
}

// A title on one line of a listing.
QString flat(QString title)
{
    static const QRegularExpression breaks(QStringLiteral("[\\t\\r\\n\\x{2028}\\x{2029}]"));
    return title.replace(breaks, QStringLiteral(" "));
}

// --- the commands

void defineNew(QCommandLineParser &parser)
{
    parser.addOption({option("title"),
                      QStringLiteral("The title, at most 50 characters (by default \"Note no \" and the number of "
                                     "notes plus one)."),
                      QStringLiteral("TEXT")});
    parser.addOption({option("alarm"), QStringLiteral("A one-time alarm at that moment, which must lie ahead."),
                      QStringLiteral("YYYY-MM-DD HH:MM")});
    parser.addPositionalArgument(
        QStringLiteral("BODY"),
        QStringLiteral("The text, at most 5000 characters, a line break counting as two; - reads it from the "
                       "standard input, without its last line break."),
        QStringLiteral("[BODY | -]"));
}

void runNew(Invocation &in)
{
    const QStringList arguments = in.arguments();
    if (arguments.size() > 1)
        misuse(QStringLiteral("new takes one BODY; quote it"));
    QString body;
    if (!arguments.isEmpty() && arguments.constFirst() == QLatin1String("-")) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        body = decoder.decode(readAll(QStringLiteral("-")));
        if (decoder.hasError())
            fail(QStringLiteral("the standard input is not UTF-8 text"));
        static const QRegularExpression lastBreak(QStringLiteral("\\r?\\n$"));
        body.remove(lastBreak);
    } else if (!arguments.isEmpty()) {
        body = arguments.constFirst();
    }
    // What the editor's fields would hold.
    body = Sql::storableText(NoteText::fromStored(body));
    QString title = Sql::storableText(in.value("title"));
    if (!NoteRules::titleFits(title))
        fail(QStringLiteral("a title holds at most %1 characters; this one has %2")
                 .arg(NoteText::MaxTitleLength)
                 .arg(Characters::count(title)));
    const QString stored = NoteText::toStored(body);
    if (!NoteRules::bodyFits(stored))
        fail(QStringLiteral("a body holds at most %1 characters, a line break counting as two; this one takes %2")
                 .arg(NoteText::MaxBodyLength)
                 .arg(Characters::count(stored)));

    const QDateTime now = Clock::currentDateTime();
    Note note;
    note.alarm = Alarm::None;
    note.kind = Alarm::Once;
    note.alarmDate = now.date();
    note.alarmTime = now.time();
    if (in.isSet("alarm")) {
        static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}$"));
        const QString text = in.value("alarm");
        const QDateTime alarm = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
        if (!form.match(text).hasMatch() || !alarm.isValid())
            misuse(QStringLiteral("--alarm takes \"YYYY-MM-DD HH:MM\", not \"%1\"").arg(text));
        const NoteRules::AlarmProblem problem = NoteRules::checkAlarm(alarm.date(), alarm.time(), now);
        if (problem != NoteRules::AlarmProblem::None)
            fail(NoteRules::message(problem));
        note.alarm = Alarm::Armed;
        note.alarmDate = alarm.date();
        note.alarmTime = alarm.time();
    }
    TDM &dm = in.dm();
    if (title.isEmpty())
        title = NoteRules::defaultTitle(dm, QStringLiteral("penwickctl"));
    note.title = title;
    note.body = stored;
    const QDateTime created = Clock::currentDateTime();
    note.createdDate = created.date();
    note.createdTime = created.time();
    const int id = dm.insertNote(note);
    if (id == -1)
        fail(QStringLiteral("the engine gave the note no ID"));
    say(QString::number(id));
}

void defineList(QCommandLineParser &parser)
{
    parser.addOption({option("search"),
                      QStringLiteral("Only the notes whose title, text or creation time holds TEXT, in any letter "
                                     "case, as the search box finds them (at most 50 characters)."),
                      QStringLiteral("TEXT")});
    parser.addOption({option("json"), QStringLiteral("JSON: an array of {id, title, created, alarm}.")});
}

void runList(Invocation &in)
{
    if (!in.arguments().isEmpty())
        misuse(QStringLiteral("list takes no arguments"));
    const QString search = Sql::storableText(in.value("search"));
    if (Characters::count(search) > NoteRules::MaxSearchLength)
        misuse(QStringLiteral("a search holds at most %1 characters, as the search box does")
                   .arg(NoteRules::MaxSearchLength));
    std::vector<Note> rows;
    QString error;
    // An empty search box lists every note.
    if (!in.dm().readNoteList(search.isEmpty() ? nullptr : &search, rows, &error))
        fail(QStringLiteral("cannot read the notes: %1").arg(oneLine(error)));
    if (in.isSet("json")) {
        QJsonArray array;
        for (const Note &row : rows)
            array.append(NoteFiles::listEntry(row));
        write(stdout, QJsonDocument(array).toJson(QJsonDocument::Indented));
        return;
    }
    QByteArray out;
    for (const Note &row : rows)
        out += (QString::number(row.id) + QLatin1Char('\t') + createdText(row).left(16) + QLatin1Char('\t')
                + NoteFiles::stateWord(row.alarm) + QLatin1Char('\t') + flat(row.title) + QLatin1Char('\n'))
                   .toUtf8();
    write(stdout, out);
}

void defineShow(QCommandLineParser &parser)
{
    parser.addOption({option("json"), QStringLiteral("JSON: every column, the text with CR LF line breaks.")});
    parser.addPositionalArgument(QStringLiteral("ID"), QStringLiteral("The note's ID, as list shows it."));
}

void runShow(Invocation &in)
{
    const Note note = existingNote(in, noteId(in));
    if (in.isSet("json")) {
        write(stdout, QJsonDocument(NoteFiles::toJson(note)).toJson(QJsonDocument::Indented));
        return;
    }
    QString alarm = QStringLiteral("none");
    if (note.alarm != Alarm::None)
        alarm = note.alarmDate.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ')
                + note.alarmTime.toString(QStringLiteral("HH:mm")) + QStringLiteral(", ")
                + NoteFiles::kindWord(note.kind) + QStringLiteral(", ") + NoteFiles::stateWord(note.alarm);
    QString text = QStringLiteral("ID: %1\nTitle: %2\nCreated: %3\nAlarm: %4\n")
                       .arg(note.id)
                       .arg(flat(note.title), createdText(note), alarm);
    if (note.archive.isValid())
        text += QStringLiteral("Acknowledged: ") + NoteFiles::momentText(note.archive.date, note.archive.time)
                + QLatin1Char('\n');
    say(text + QLatin1Char('\n') + NoteText::fromStored(note.body));
}

void defineDelete(QCommandLineParser &parser)
{
    parser.addPositionalArgument(QStringLiteral("ID"), QStringLiteral("The note's ID, as list shows it."));
}

void runDelete(Invocation &in)
{
    const int id = noteId(in);
    if (!in.dm().deleteNote(id))
        fail(QStringLiteral("there is no note %1").arg(id));
}

void defineExport(QCommandLineParser &parser)
{
    parser.addOption({option("markdown"),
                      QStringLiteral("One Markdown file per note, named after its title, in DIR, which must be new "
                                     "or empty."),
                      QStringLiteral("DIR")});
    parser.addOption({option("json"),
                      QStringLiteral("Every note, every column, in one JSON file (- for the "
                                     "standard output), which import reads back."),
                      QStringLiteral("FILE")});
    parser.addOption({option("ics"), QStringLiteral("The notes with an alarm as iCalendar to-dos with a reminder."),
                      QStringLiteral("FILE")});
}

void writeMarkdown(const QString &folder, std::vector<Note> notes)
{
    // The oldest note keeps the plain name, whatever comes later.
    std::stable_sort(notes.begin(), notes.end(), [](const Note &a, const Note &b) {
        return std::tie(a.createdDate, a.createdTime, a.id) < std::tie(b.createdDate, b.createdTime, b.id);
    });
    QSet<QString> taken;
    for (const Note &note : notes) {
        QFile file(folder + QLatin1Char('/') + NoteFiles::markdownName(note.title, taken));
        const QByteArray text = NoteFiles::markdown(note);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(text) != text.size() || !file.flush())
            fail(QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
    }
}

void runExport(Invocation &in)
{
    if (!in.arguments().isEmpty())
        misuse(QStringLiteral("export takes no arguments, only --markdown DIR, --json FILE or --ics FILE"));
    if (!in.isSet("markdown") && !in.isSet("json") && !in.isSet("ics"))
        misuse(QStringLiteral("say what to write: --markdown DIR, --json FILE or --ics FILE"));
    const QString folder = in.value("markdown");
    if (in.isSet("markdown")) {
        if (!QDir().mkpath(folder))
            fail(QStringLiteral("cannot make the folder %1").arg(folder));
        if (!QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
            fail(QStringLiteral("%1 is not empty: export into a new or an empty folder").arg(folder));
    }
    const std::vector<Note> notes = in.dm().readNotes();
    if (in.isSet("json"))
        saveFile(in.value("json"), NoteFiles::exportJson(notes));
    if (in.isSet("ics"))
        saveFile(in.value("ics"), NoteFiles::calendar(notes, Clock::currentDateTime()));
    if (in.isSet("markdown"))
        writeMarkdown(folder, notes);
}

void defineImport(QCommandLineParser &parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A JSON export of penwickctl (.json), or a Markdown or text file: "
                                                "the title from its first heading, else its first line."),
                                 QStringLiteral("FILE..."));
}

// Whether a stored note of the same title is the one read.
bool sameNote(const Note &stored, const NoteFiles::Read &read)
{
    return stored.body == read.note.body && (!read.dated || createdText(stored) == createdText(read.note));
}

void runImport(Invocation &in)
{
    const QStringList files = in.arguments();
    if (files.isEmpty())
        misuse(QStringLiteral("name the files to import"));
    // Every file is read before anything is added: a file at fault adds nothing.
    const QDateTime now = Clock::currentDateTime();
    std::vector<std::pair<QString, NoteFiles::Read>> incoming;
    for (const QString &file : files) {
        const QByteArray data = readAll(file);
        std::vector<NoteFiles::Read> read(1);
        QString problem;
        if (file.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) {
            read.clear();
            problem = NoteFiles::readJson(data, now, read);
        } else {
            problem = NoteFiles::readText(data, now, read.front());
        }
        if (!problem.isEmpty())
            fail(QStringLiteral("%1: %2").arg(file, problem));
        for (NoteFiles::Read &note : read)
            incoming.emplace_back(file, std::move(note));
    }
    TDM &dm = in.dm();
    // Never a second copy of a note that is there already.
    const std::vector<Note> stored = dm.readNotes();
    QMultiHash<QString, const Note *> byTitle;
    for (const Note &note : stored)
        byTitle.insert(note.title, &note);
    for (const auto &[file, read] : incoming) {
        const Note *there = nullptr;
        for (auto it = byTitle.constFind(read.note.title);
             !there && it != byTitle.cend() && it.key() == read.note.title; ++it) {
            if (sameNote(**it, read))
                there = *it;
        }
        if (there) {
            write(stderr, QStringLiteral("penwickctl: %1: \"%2\" is there already as note %3; not added\n")
                              .arg(file, flat(read.note.title))
                              .arg(there->id)
                              .toUtf8());
            continue;
        }
        const int id = dm.insertWholeNote(read.note);
        if (id == -1)
            fail(QStringLiteral("the engine gave a note no ID"));
        say(QString::number(id) + QLatin1Char('\t') + flat(read.note.title));
    }
}

void defineBackup(QCommandLineParser &parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("Where the backup goes, in the engine's own format (gbak), made "
                                                "while Penwick runs too; an older file of that name is replaced."));
}

void runBackup(Invocation &in)
{
    const QString backup = onlyArgument(in, "backup FILE");
    const QString notes = in.notesPlace();
    if (!QFileInfo(notes).isFile())
        fail(QStringLiteral("there are no notes to back up: %1 does not exist").arg(notes));
    const QString problem = Backup::save(notes, backup);
    if (!problem.isEmpty())
        fail(QStringLiteral("cannot back up %1: %2").arg(notes, problem));
}

void defineRestore(QCommandLineParser &parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A backup made by penwickctl backup. Penwick must be closed; the "
                                                "notes it replaces are kept beside them, as dbn.ib.before-restore."));
}

void runRestore(Invocation &in)
{
    const QString backup = onlyArgument(in, "backup FILE");
    const QString notes = in.notesPlace();
    const Backup::Restored restored = Backup::restore(backup, notes);
    if (!restored.problem.isEmpty())
        fail(QStringLiteral("cannot restore %1: %2").arg(backup, restored.problem));
    if (!restored.keptAs.isEmpty())
        say(QStringLiteral("The notes it replaced are kept in %1").arg(restored.keptAs));
}

void defineAutostart(QCommandLineParser &parser)
{
    parser.addPositionalArgument(QStringLiteral("on|off"),
                                 QStringLiteral("on: Penwick starts with the desktop session; off: it does not."));
}

void runAutostart(Invocation &in)
{
    const QString choice = onlyArgument(in, "of on and off");
    if (choice == QLatin1String("on")) {
        const QString problem = Autostart::switchOn(DataLocation::executableDir());
        if (!problem.isEmpty())
            fail(problem);
        say(Autostart::entryPath());
    } else if (choice == QLatin1String("off")) {
        const QString problem = Autostart::switchOff();
        if (!problem.isEmpty())
            fail(problem);
    } else {
        misuse(QStringLiteral("autostart takes on or off, not %1").arg(choice));
    }
}

// The database on a server that PENWICK_DATABASE names.
QString serverDatabase()
{
    QString problem;
    const QString server = ServerAddress::fromEnvironment(&problem);
    if (!problem.isEmpty())
        fail(problem);
    if (server.isEmpty())
        fail(QStringLiteral("name the database on the server in PENWICK_DATABASE (host[/port]:/path or "
                            "inet://host[:port]/path); the login comes from ISC_USER and ISC_PASSWORD or "
                            "PENWICK_DATABASE_PASSWORD_FILE"));
    return server;
}

void defineServerInit(QCommandLineParser &)
{
}

void runServerInit(Invocation &in)
{
    if (!in.arguments().isEmpty())
        misuse(QStringLiteral("server-init takes no arguments"));
    const QString server = serverDatabase();
    const QString schema = DataLocation::sharedFile(DataLocation::executableDir(), QStringLiteral("penwick/dbn.sql"));
    if (schema.isEmpty())
        fail(QStringLiteral("the schema of the notes (share/penwick/dbn.sql) is not installed beside penwickctl"));
    // Made under the user's own login, who then owns it: no other account
    // of the server may read it.
    Firebird::Connection::createFromScript(server, schema);
    say(QStringLiteral("Made %1 for %2").arg(server, qEnvironmentVariable("ISC_USER")));
}

void defineServerCopy(QCommandLineParser &)
{
}

void runServerCopy(Invocation &in)
{
    if (!in.arguments().isEmpty())
        misuse(QStringLiteral("server-copy takes no arguments"));
    const QString server = serverDatabase();
    // The notes on this computer: the file Penwick uses without
    // PENWICK_DATABASE, or the one --database names. Opened first: it decides
    // this process's lock folder.
    QString local = in.isSet("database") ? QFileInfo(in.value("database")).absoluteFilePath() : QString();
    if (local.isEmpty()) {
        const QString exe = DataLocation::executableDir();
        local = DataLocation::decide(exe, DataLocation::dataHome(), DataLocation::suppliedFile(exe)).path;
    }
    if (!QFileInfo(local).isFile())
        fail(QStringLiteral("there are no notes on this computer to copy: %1 does not exist").arg(local));
    TDM here(local);
    if (!here.isConnected())
        fail(QStringLiteral("cannot open %1: %2").arg(local, oneLine(here.connectError())));
    const std::vector<Note> notes = here.readNotes();
    TDM there(server);
    if (!there.isConnected())
        fail(QStringLiteral("cannot open %1: %2").arg(server, oneLine(there.connectError())));
    const int copied = there.copyIntoEmpty(notes);
    if (copied < 0)
        fail(QStringLiteral("%1 holds notes already; nothing was copied").arg(server));
    say(QStringLiteral("Copied %1 notes from %2 to %3").arg(copied).arg(local, server));
}

void defineWindow(QCommandLineParser &parser)
{
    parser.addPositionalArgument(QStringLiteral("show|toggle|new-note|open ID"),
                                 QStringLiteral("show: the window comes up; toggle: it comes up, or goes when it is "
                                                "up; new-note: the editor for a new note over it; open ID: the "
                                                "window with that note selected. While a dialog is open, each "
                                                "brings up that dialog."));
}

void runWindow(Invocation &in)
{
    static const std::pair<const char *, const char *> kCalls[] = {
        {"show", "Show"}, {"toggle", "Toggle"}, {"new-note", "NewNote"}, {"open", "OpenNote"}};
    const QStringList arguments = in.arguments();
    const auto call = std::find_if(std::begin(kCalls), std::end(kCalls), [&](const auto &known) {
        return !arguments.isEmpty() && arguments.constFirst() == QLatin1String(known.first);
    });
    if (call == std::end(kCalls))
        misuse(QStringLiteral("window takes show, toggle, new-note or open ID"));
    QVariantList callArguments;
    if (arguments.constFirst() == QLatin1String("open")) {
        bool number = false;
        const int id = arguments.value(1).toInt(&number);
        if (arguments.size() != 2 || !number)
            misuse(QStringLiteral("window open takes one note's ID"));
        callArguments << id;
    } else if (arguments.size() != 1) {
        misuse(QStringLiteral("window %1 takes nothing more").arg(arguments.constFirst()));
    }
    const QString problem = Window::call(QLatin1String(call->second), callArguments);
    if (!problem.isEmpty())
        fail(problem);
}

struct Command {
    const char *name;
    const char *synopsis;
    const char *summary;
    bool usesNotes;
    void (*define)(QCommandLineParser &);
    void (*run)(Invocation &);
};

const Command kCommands[] = {
    {"new", "new [--title TEXT] [--alarm \"YYYY-MM-DD HH:MM\"] [BODY | -]",
     "Adds a note as the editor does and prints its ID.", true, defineNew, runNew},
    {"list", "list [--search TEXT] [--json]",
     "Lists the notes as the window does: running alarms first, then the newest first.", true, defineList, runList},
    {"show", "show ID [--json]", "Shows one note.", true, defineShow, runShow},
    {"delete", "delete ID", "Deletes one note.", true, defineDelete, runDelete},
    {"export", "export [--markdown DIR] [--json FILE] [--ics FILE]", "Writes the notes out.", true, defineExport,
     runExport},
    {"import", "import FILE...", "Adds the notes of the files, never over a note, and prints what it added.", true,
     defineImport, runImport},
    {"backup", "backup FILE", "Backs the notes up, also while Penwick runs.", true, defineBackup, runBackup},
    {"restore", "restore FILE", "Puts the notes of a backup in place, while Penwick is closed.", true, defineRestore,
     runRestore},
    {"autostart", "autostart on|off", "Starts Penwick with the desktop session, or no longer.", false, defineAutostart,
     runAutostart},
    {"window", "window show|toggle|new-note|open ID",
     "Shows or hides the running Penwick's window, opens its editor for a new note, or shows one note.", false,
     defineWindow, runWindow},
    {"server-init", "server-init", "Makes the database that PENWICK_DATABASE names on a server, owned by ISC_USER.",
     false, defineServerInit, runServerInit},
    {"server-copy", "server-copy",
     "Copies the notes of this computer to the server's database, once: it must hold none.", true, defineServerCopy,
     runServerCopy},
};

QString overview()
{
    QString text = QStringLiteral("Usage: penwickctl [--database FILE] COMMAND [OPTIONS] [ARGUMENTS]\n"
                                  "Penwick's notes from a terminal, whether or not Penwick runs.\n\nCommands:\n");
    for (const Command &command : kCommands)
        text += QStringLiteral("  %1\n      %2\n").arg(QLatin1String(command.synopsis), QLatin1String(command.summary));
    return text
           + QStringLiteral("\nOptions:\n"
                            "  --database FILE  The notes file to use instead of the one Penwick would use.\n"
                            "  -h, --help       This help; penwickctl COMMAND --help tells more.\n"
                            "  --version        The version.\n\n"
                            "Exit status: 0 done, 1 failed (said on standard error), 2 wrong usage.\n");
}

const Command *commandNamed(const QString &name)
{
    const auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command &command) { return name == QLatin1String(command.name); });
    return found == std::end(kCommands) ? nullptr : found;
}

int runCommand(const Command &command, QStringList arguments)
{
    Invocation in;
    QCommandLineParser &parser = in.parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("This help."));
    parser.addOption(help);
    if (command.usesNotes)
        parser.addOption({option("database"), QStringLiteral("The notes file to use instead of Penwick's own."),
                          QStringLiteral("FILE")});
    command.define(parser);
    if (!parser.parse(arguments))
        misuse(parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: penwickctl ") + QLatin1String(command.synopsis) + QLatin1Char('\n')
                         + QLatin1String(command.summary));
        write(stdout, text.toUtf8());
        return Done;
    }
    try {
        command.run(in);
    } catch (const Firebird::Error &error) {
        fail(oneLine(error.message()));
    }
    std::fflush(stdout);
    if (std::ferror(stdout))
        fail(QStringLiteral("cannot write the output"));
    return Done;
}

// The first argument that is neither an option nor the value of --database:
// options may stand before the command or after it.
qsizetype firstWord(const QStringList &arguments)
{
    qsizetype at = 0;
    for (; at < arguments.size(); ++at) {
        const QString &argument = arguments.at(at);
        if (argument == QLatin1String("--database"))
            ++at;
        else if (argument == QLatin1String("-") || !argument.startsWith(QLatin1Char('-')))
            break;
    }
    return std::min(at, arguments.size());
}

} // namespace

int run(const QStringList &arguments)
{
    // The store's diagnostic lines are for the program's log; here each
    // failure is said once, in its own words.
    QLoggingCategory::setFilterRules(QStringLiteral("penwick.*=false"));
    std::unique_ptr<FixedClock> fixed;
    if (const QByteArray now = qgetenv("PENWICK_CTL_NOW"); !now.isEmpty())
        fixed = std::make_unique<FixedClock>(QDateTime::fromString(QString::fromLatin1(now), Qt::ISODate));

    QStringList rest = arguments.mid(1);
    const qsizetype at = firstWord(rest);
    try {
        if (at >= rest.size()) {
            if (rest.contains(QLatin1String("--version"))) {
                say(QStringLiteral("penwickctl " PENWICK_VERSION));
                return Done;
            }
            if (rest.contains(QLatin1String("-h")) || rest.contains(QLatin1String("--help"))) {
                write(stdout, overview().toUtf8());
                return Done;
            }
            misuse(QStringLiteral("name a command; penwickctl --help lists them"));
        }
        const QString name = rest.takeAt(at);
        if (name == QLatin1String("help")) {
            const qsizetype word = firstWord(rest);
            if (word >= rest.size()) {
                write(stdout, overview().toUtf8());
                return Done;
            }
            const Command *command = commandNamed(rest.at(word));
            if (!command)
                misuse(QStringLiteral("there is no command %1; penwickctl --help lists them").arg(rest.at(word)));
            return runCommand(*command, {arguments.constFirst(), QStringLiteral("--help")});
        }
        const Command *command = commandNamed(name);
        if (!command)
            misuse(QStringLiteral("there is no command %1; penwickctl --help lists them").arg(name));
        rest.prepend(arguments.constFirst());
        return runCommand(*command, rest);
    } catch (const Stop &stop) {
        std::fflush(stdout);
        write(stderr, (QStringLiteral("penwickctl: ") + oneLine(stop.message) + QLatin1Char('\n')).toUtf8());
        return stop.status;
    }
}

} // namespace Commands
