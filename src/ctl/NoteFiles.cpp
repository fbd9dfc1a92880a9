#include "NoteFiles.h"

#include "store/Characters.h"
#include "store/NoteRules.h"
#include "store/Sql.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimeZone>

#include <iterator>
#include <optional>

namespace NoteFiles {

namespace {

const QString kMomentFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kTimeFormat = QStringLiteral("HH:mm");
const QString kFormatName = QStringLiteral("penwick-notes");
constexpr int kFormatVersion = 1;

// The zero date-time the checker reads for an empty alarm column.
const QDate kZeroDate(1899, 12, 30);

const char *const kStates[] = {"none", "running", "armed", "acknowledged"};
const char *const kKinds[] = {"once", "daily", "weekly", "monthly", "annual"};
const char *const kRepeats[] = {nullptr, "DAILY", "WEEKLY", "MONTHLY", "YEARLY"};

template<size_t N> int codeOf(const char *const (&words)[N], const QString &word)
{
    for (size_t i = 0; i < N; ++i) {
        if (word == QLatin1String(words[i]))
            return int(i);
    }
    bool number = false;
    const int code = word.toInt(&number);
    return number ? code : -1;
}

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// A moment as this program writes it, or with a T between date and time.
bool readMoment(const QString &text, QDate &date, QTime &time)
{
    QString plain = text;
    if (plain.size() == 19 && plain.at(10) == QLatin1Char('T'))
        plain[10] = QLatin1Char(' ');
    const QDateTime moment = QDateTime::fromString(plain, kMomentFormat);
    if (!moment.isValid())
        return false;
    date = moment.date();
    time = moment.time();
    return true;
}

QTime readTime(const QString &text)
{
    const QTime time = QTime::fromString(text, kTimeFormat);
    return time.isValid() ? time : QTime::fromString(text, QStringLiteral("HH:mm:ss"));
}

// A note without a creation moment of its own is made now, to the second.
void madeAt(Note &note, const QDateTime &now)
{
    note.createdDate = now.date();
    note.createdTime = QTime(now.time().hour(), now.time().minute(), now.time().second());
}

// What the editor lets into a note, checked for a note from a file.
QString whyNotStorable(const Note &note)
{
    if (!NoteRules::titleFits(note.title))
        return QStringLiteral("the title \"%1\" is longer than %2 characters")
            .arg(note.title)
            .arg(NoteText::MaxTitleLength);
    if (!NoteRules::bodyFits(note.body))
        return QStringLiteral("the body of \"%1\" is longer than %2 characters (a line break counts as two)")
            .arg(note.title)
            .arg(NoteText::MaxBodyLength);
    return {};
}

// --- JSON

QString readJsonNote(const QJsonObject &object, const QDateTime &now, Read &read)
{
    Note &note = read.note;
    const auto text = [&](const char *key, QString &into) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull())
            return true;
        into = value.toString();
        return value.isString();
    };
    const auto integer = [&](const char *key, int &into) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        const double number = value.toDouble(0.5);
        into = int(number);
        return value.isDouble() && double(into) == number;
    };
    QString created, alarmDate, alarmTime, acknowledged;
    if (!object.value(QLatin1String("title")).isString())
        return QStringLiteral("a note without a title");
    if (!text("title", note.title) || !text("body", note.body) || !text("created", created)
        || !text("alarmDate", alarmDate) || !text("alarmTime", alarmTime) || !text("acknowledged", acknowledged)
        || !integer("alarm", note.alarm) || !integer("kind", note.kind))
        return QStringLiteral("\"%1\": a value of the wrong type").arg(note.title);
    note.title = Sql::storableText(note.title);
    note.body = Sql::storableText(note.body);
    read.dated = object.contains(QLatin1String("created"));
    if (!read.dated)
        madeAt(note, now);
    if (!created.isEmpty() && !readMoment(created, note.createdDate, note.createdTime))
        return QStringLiteral("\"%1\": created is not YYYY-MM-DD HH:MM:SS").arg(note.title);
    if (!acknowledged.isEmpty() && !readMoment(acknowledged, note.archive.date, note.archive.time))
        return QStringLiteral("\"%1\": acknowledged is not YYYY-MM-DD HH:MM:SS").arg(note.title);
    if (!alarmDate.isEmpty() && !(note.alarmDate = QDate::fromString(alarmDate, kDateFormat)).isValid())
        return QStringLiteral("\"%1\": alarmDate is not YYYY-MM-DD").arg(note.title);
    if (!alarmTime.isEmpty() && !(note.alarmTime = readTime(alarmTime)).isValid())
        return QStringLiteral("\"%1\": alarmTime is not HH:MM").arg(note.title);
    return whyNotStorable(note);
}

// --- YAML front matter

QString yamlQuoted(const QString &text)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            quoted += QLatin1String("\\\"");
            break;
        case '\\':
            quoted += QLatin1String("\\\\");
            break;
        case '\n':
            quoted += QLatin1String("\\n");
            break;
        case '\r':
            quoted += QLatin1String("\\r");
            break;
        case '\t':
            quoted += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator)
                quoted += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                quoted += c;
        }
    }
    return quoted + QLatin1Char('"');
}

// A scalar of one line: double-quoted with escapes, single-quoted, or plain.
std::optional<QString> yamlScalar(const QString &raw)
{
    const QString text = raw.trimmed();
    if (text.startsWith(QLatin1Char('\''))) {
        if (text.size() < 2 || !text.endsWith(QLatin1Char('\'')))
            return std::nullopt;
        return text.mid(1, text.size() - 2).replace(QLatin1String("''"), QLatin1String("'"));
    }
    if (!text.startsWith(QLatin1Char('"'))) {
        const qsizetype comment = text.indexOf(QLatin1String(" #"));
        return (comment < 0 ? text : text.left(comment)).trimmed();
    }
    QString value;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"')) {
            const QString after = text.mid(i + 1).trimmed();
            return after.isEmpty() || after.startsWith(QLatin1Char('#')) ? std::optional<QString>(value) : std::nullopt;
        }
        if (c != QLatin1Char('\\')) {
            value += c;
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        const char escape = text.at(i).toLatin1();
        static const QString simple = QStringLiteral("0abtnvfre \"/\\N_LP");
        static const QString meant = QStringLiteral("\u0000\a\b\t\n\v\f\r\u001b \"/\\\u0085\u00a0\u2028\u2029");
        if (const qsizetype at = simple.indexOf(QLatin1Char(escape)); at >= 0) {
            value += meant.at(at);
            continue;
        }
        const int digits = escape == 'x' ? 2 : escape == 'u' ? 4 : escape == 'U' ? 8 : 0;
        bool ok = false;
        const uint code = digits ? text.mid(i + 1, digits).toUInt(&ok, 16) : 0;
        if (!ok || text.mid(i + 1, digits).size() != digits || code > 0x10ffff)
            return std::nullopt;
        value += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        i += digits;
    }
    return std::nullopt;
}

bool isNull(const QString &value)
{
    return value.isEmpty() || value == QLatin1String("null") || value == QLatin1String("~");
}

// The front matter's keys this program knows; what else it holds is left.
QString readFrontMatter(const QStringList &lines, const QDateTime &now, Read &read, bool &titled)
{
    Note &note = read.note;
    QString alarm, kind, state;
    for (const QString &line : lines) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(' ')))
            continue;
        if (colon < 0)
            return QStringLiteral("the front matter line \"%1\" is not KEY: VALUE").arg(line);
        const QString key = line.left(colon).trimmed();
        const std::optional<QString> value = yamlScalar(line.mid(colon + 1));
        if (!value)
            return QStringLiteral("the front matter value of %1 is not closed").arg(key);
        if (key == QLatin1String("title")) {
            note.title = Sql::storableText(*value);
            titled = true;
        } else if (key == QLatin1String("created") && !isNull(*value)) {
            if (!readMoment(*value, note.createdDate, note.createdTime))
                return QStringLiteral("created is not YYYY-MM-DD HH:MM:SS");
            read.dated = true;
        } else if (key == QLatin1String("acknowledged") && !isNull(*value)) {
            if (!readMoment(*value, note.archive.date, note.archive.time))
                return QStringLiteral("acknowledged is not YYYY-MM-DD HH:MM:SS");
        } else if (key == QLatin1String("alarm")) {
            alarm = isNull(*value) ? QString() : *value;
        } else if (key == QLatin1String("kind")) {
            kind = *value;
        } else if (key == QLatin1String("state")) {
            state = *value;
        }
    }
    const QDateTime created = read.dated ? QDateTime(note.createdDate, note.createdTime) : now;
    note.alarmDate = created.date();
    note.alarmTime = QTime(created.time().hour(), created.time().minute());
    note.alarm = alarm.isEmpty() ? Alarm::None : Alarm::Armed;
    if (!alarm.isEmpty()) {
        const QDateTime moment = QDateTime::fromString(alarm, QStringLiteral("yyyy-MM-dd HH:mm"));
        if (!moment.isValid())
            return QStringLiteral("alarm is not YYYY-MM-DD HH:MM");
        note.alarmDate = moment.date();
        note.alarmTime = moment.time();
        note.kind = kind.isEmpty() ? int(Alarm::Once) : codeOf(kKinds, kind);
        if (note.kind < 0)
            return QStringLiteral("kind is not one of once, daily, weekly, monthly, annual");
        if (!state.isEmpty())
            note.alarm = codeOf(kStates, state);
        if (note.alarm < 0 || note.alarm == Alarm::None)
            return QStringLiteral("state is not one of running, armed, acknowledged");
    } else if (!state.isEmpty() && state != QLatin1String("none")) {
        return QStringLiteral("state %1 without an alarm").arg(state);
    }
    return {};
}

// "# Title", up to three blanks before it, closing hashes after.
QString headingText(const QString &line)
{
    static const QRegularExpression heading(QStringLiteral("^ {0,3}#{1,6}(?:[ \\t]+(.*?))?(?:[ \\t]+#+)?[ \\t]*$"));
    const QRegularExpressionMatch match = heading.match(line);
    return match.hasMatch() ? match.captured(1) : QString();
}

bool isHeading(const QString &line)
{
    static const QRegularExpression heading(QStringLiteral("^ {0,3}#{1,6}(?:[ \\t]|$)"));
    return heading.match(line).hasMatch();
}

// Title and body of a text without front matter.
void readPlainText(QStringList lines, Note &note)
{
    qsizetype at = -1;
    for (qsizetype i = 0; i < lines.size() && at < 0; ++i) {
        if (isHeading(lines.at(i)))
            at = i;
    }
    QString title;
    if (at >= 0) {
        title = headingText(lines.at(at)).trimmed();
    } else {
        for (at = 0; at < lines.size() && lines.at(at).trimmed().isEmpty(); ++at) { }
        title = at < lines.size() ? lines.at(at).trimmed() : QString();
    }
    QString line = at < lines.size() ? lines.takeAt(at) : QString();
    // Nothing is lost: a first line too long for a title stays in the body.
    if (!NoteRules::titleFits(title)) {
        title = Characters::left(title, NoteText::MaxTitleLength);
        lines.insert(at, line);
    }
    while (!lines.isEmpty() && lines.constFirst().trimmed().isEmpty())
        lines.removeFirst();
    while (!lines.isEmpty() && lines.constLast().trimmed().isEmpty())
        lines.removeLast();
    note.title = title;
    note.body = lines.join(QLatin1Char('\n'));
}

// --- iCalendar

// TEXT as RFC 5545 escapes it; control characters have no place in it.
QString icsText(const QString &text)
{
    QString escaped;
    for (const QChar c : NoteText::fromStored(text)) {
        if (c == QLatin1Char('\\') || c == QLatin1Char(';') || c == QLatin1Char(','))
            escaped += QLatin1Char('\\') + QString(c);
        else if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (c == QLatin1Char('\t') || (c.unicode() >= 0x20 && c.unicode() != 0x7f))
            escaped += c;
    }
    return escaped;
}

// One content line, folded at 75 octets, never inside a UTF-8 sequence.
void icsLine(QByteArray &out, const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    qsizetype from = 0;
    qsizetype room = 75;
    while (bytes.size() - from > room) {
        qsizetype cut = from + room;
        while (cut > from && (uchar(bytes.at(cut)) & 0xc0) == 0x80)
            --cut;
        out += bytes.mid(from, cut - from) + "\r\n ";
        from = cut;
        room = 74;
    }
    out += bytes.mid(from) + "\r\n";
}

// Floating local time: the alarm rings at this time on the wall clock,
// wherever the clock is.
QString floating(const QDate &date, const QTime &time)
{
    return date.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('T') + time.toString(QStringLiteral("HHmmss"));
}

QString utc(const QDateTime &moment)
{
    return moment.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

} // namespace

QString momentText(const QDate &date, const QTime &time)
{
    if (!date.isValid() || !time.isValid())
        return {};
    return date.toString(kDateFormat) + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss"));
}

QString stateWord(int alarm)
{
    return alarm >= 0 && alarm < int(std::size(kStates)) ? QLatin1String(kStates[alarm]) : QString::number(alarm);
}

QString kindWord(int kind)
{
    return kind >= 0 && kind < int(std::size(kKinds)) ? QLatin1String(kKinds[kind]) : QString::number(kind);
}

QJsonObject toJson(const Note &note)
{
    return {{QLatin1String("id"), note.id},
            {QLatin1String("title"), note.title},
            {QLatin1String("body"), note.body},
            {QLatin1String("created"), orNull(momentText(note.createdDate, note.createdTime))},
            {QLatin1String("alarm"), note.alarm},
            {QLatin1String("kind"), note.kind},
            {QLatin1String("alarmDate"), orNull(note.alarmDate.toString(kDateFormat))},
            {QLatin1String("alarmTime"), orNull(note.alarmTime.toString(kTimeFormat))},
            {QLatin1String("acknowledged"), orNull(momentText(note.archive.date, note.archive.time))}};
}

QJsonObject listEntry(const Note &row)
{
    return {{QLatin1String("id"), row.id},
            {QLatin1String("title"), row.title},
            {QLatin1String("created"), orNull(momentText(row.createdDate, row.createdTime))},
            {QLatin1String("alarm"), row.alarm}};
}

QByteArray exportJson(const std::vector<Note> &notes)
{
    QJsonArray array;
    for (const Note &note : notes)
        array.append(toJson(note));
    const QJsonObject document {{QLatin1String("format"), kFormatName},
                                {QLatin1String("version"), kFormatVersion},
                                {QLatin1String("notes"), array}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QString readJson(const QByteArray &data, const QDateTime &now, std::vector<Read> &notes)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("not JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset);
    const QJsonObject top = document.object();
    if (top.value(QLatin1String("format")).toString() != kFormatName)
        return QStringLiteral("not an export of penwickctl (no \"format\": \"%1\")").arg(kFormatName);
    if (top.value(QLatin1String("version")).toInt(kFormatVersion + 1) > kFormatVersion)
        return QStringLiteral("written by a newer version (format version %1)")
            .arg(top.value(QLatin1String("version")).toVariant().toString());
    const QJsonArray array = top.value(QLatin1String("notes")).toArray();
    std::vector<Read> read(size_t(array.size()));
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject())
            return QStringLiteral("note %1 is not an object").arg(i + 1);
        const QString problem = readJsonNote(array.at(i).toObject(), now, read[size_t(i)]);
        if (!problem.isEmpty())
            return QStringLiteral("note %1: %2").arg(i + 1).arg(problem);
    }
    notes.insert(notes.end(), read.begin(), read.end());
    return {};
}

QString readText(const QByteArray &data, const QDateTime &now, Read &read)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return QStringLiteral("not UTF-8 text");
    text = Sql::storableText(NoteText::fromStored(text));
    if (text.startsWith(QChar::ByteOrderMark))
        text.remove(0, 1);
    if (text.trimmed().isEmpty())
        return QStringLiteral("empty");
    Note &note = read.note;
    madeAt(note, now);
    note.alarm = Alarm::None;
    note.kind = Alarm::Once;
    note.alarmDate = note.createdDate;
    note.alarmTime = QTime(now.time().hour(), now.time().minute());
    QStringList lines = text.split(QLatin1Char('\n'));
    const qsizetype end = lines.indexOf(QLatin1String("---"), 1);
    bool titled = false;
    if (lines.constFirst() == QLatin1String("---") && end > 0) {
        const QString problem = readFrontMatter(lines.mid(1, end - 1), now, read, titled);
        if (!problem.isEmpty())
            return problem;
        lines = lines.mid(end + 1);
        // Written with a line break after the body, which is not the body's.
        if (lines.size() > 1 && lines.constLast().isEmpty())
            lines.removeLast();
    }
    if (titled) {
        note.body = lines.join(QLatin1Char('\n'));
    } else {
        const QString title = note.title;
        readPlainText(lines, note);
        if (note.title.isEmpty())
            note.title = title;
    }
    note.body = NoteText::toStored(note.body);
    return whyNotStorable(note);
}

QByteArray markdown(const Note &note)
{
    QString text = QStringLiteral("---\ntitle: ") + yamlQuoted(note.title) + QStringLiteral("\ncreated: ");
    const QString created = momentText(note.createdDate, note.createdTime);
    text += created.isEmpty() ? QStringLiteral("null") : yamlQuoted(created);
    if (note.alarm == Alarm::None) {
        text += QStringLiteral("\nalarm: null\nstate: none");
    } else {
        const QDate date = note.alarmDate.isValid() ? note.alarmDate : kZeroDate;
        const QTime time = note.alarmTime.isValid() ? note.alarmTime : QTime(0, 0);
        text += QStringLiteral("\nalarm: ")
                + yamlQuoted(date.toString(kDateFormat) + QLatin1Char(' ') + time.toString(kTimeFormat))
                + QStringLiteral("\nkind: ") + kindWord(note.kind) + QStringLiteral("\nstate: ")
                + stateWord(note.alarm);
    }
    const QString acknowledged = momentText(note.archive.date, note.archive.time);
    if (!acknowledged.isEmpty())
        text += QStringLiteral("\nacknowledged: ") + yamlQuoted(acknowledged);
    text += QStringLiteral("\n---\n") + NoteText::fromStored(note.body) + QLatin1Char('\n');
    return text.toUtf8();
}

QString markdownName(const QString &title, QSet<QString> &taken)
{
    // Nothing a file system of any kind refuses in a name, nor a name that
    // hides the file or climbs out of the folder.
    static const QString refused = QStringLiteral("/\\:*?\"<>|");
    QString stem;
    for (const QChar c : title) {
        const bool control = c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
        stem += control || refused.contains(c) ? QChar(QLatin1Char('_')) : c;
    }
    static const QRegularExpression edges(QStringLiteral("^[\\s.]+|[\\s.]+$"));
    stem.remove(edges);
    // Room for the number and the extension within a name's 255 bytes.
    while (stem.toUtf8().size() > 200)
        stem = Characters::left(stem, Characters::count(stem) - 1);
    if (stem.isEmpty())
        stem = QStringLiteral("Untitled");
    QString name = stem + QStringLiteral(".md");
    for (int n = 2; taken.contains(name.toCaseFolded()); ++n)
        name = QStringLiteral("%1 (%2).md").arg(stem).arg(n);
    taken.insert(name.toCaseFolded());
    return name;
}

QByteArray calendar(const std::vector<Note> &notes, const QDateTime &now)
{
    QByteArray out;
    for (const char *line :
         {"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Penwick//penwickctl//EN", "CALSCALE:GREGORIAN"})
        icsLine(out, QLatin1String(line));
    const QString stamp = utc(now);
    for (const Note &note : notes) {
        // The alarms the checker rings, with its reading of empty columns.
        if (note.alarm < Alarm::Running || note.alarm > Alarm::Acknowledged || note.kind < Alarm::Once
            || note.kind > Alarm::Annual)
            continue;
        const QDate date = note.alarmDate.isValid() ? note.alarmDate : kZeroDate;
        const QTime time = note.alarmTime.isValid() ? note.alarmTime : QTime(0, 0);
        // A due moment must lie after the start: the end of the alarm's minute.
        const QDateTime minuteEnd = QDateTime(date, time, QTimeZone::utc()).addSecs(60);
        const QDateTime created(note.createdDate, note.createdTime);
        const bool done = note.alarm == Alarm::Acknowledged && note.kind == Alarm::Once;
        icsLine(out, QStringLiteral("BEGIN:VTODO"));
        icsLine(out,
                QStringLiteral("UID:%1-%2@penwick").arg(note.id).arg(floating(note.createdDate, note.createdTime)));
        icsLine(out, QStringLiteral("DTSTAMP:") + stamp);
        if (created.isValid())
            icsLine(out, QStringLiteral("CREATED:") + utc(created));
        icsLine(out, QStringLiteral("SUMMARY:") + icsText(note.title));
        if (!note.body.isEmpty())
            icsLine(out, QStringLiteral("DESCRIPTION:") + icsText(note.body));
        icsLine(out, QStringLiteral("DTSTART:") + floating(date, time));
        icsLine(out, QStringLiteral("DUE:") + floating(minuteEnd.date(), minuteEnd.time()));
        if (const char *frequency = kRepeats[note.kind])
            icsLine(out, QStringLiteral("RRULE:FREQ=") + QLatin1String(frequency));
        icsLine(out, done ? QStringLiteral("STATUS:COMPLETED") : QStringLiteral("STATUS:NEEDS-ACTION"));
        if (done && note.archive.isValid())
            icsLine(out, QStringLiteral("COMPLETED:") + utc(QDateTime(note.archive.date, note.archive.time)));
        icsLine(out, QStringLiteral("BEGIN:VALARM"));
        icsLine(out, QStringLiteral("ACTION:DISPLAY"));
        icsLine(out, QStringLiteral("DESCRIPTION:") + icsText(note.title));
        icsLine(out, QStringLiteral("TRIGGER;RELATED=START:PT0S"));
        icsLine(out, QStringLiteral("END:VALARM"));
        icsLine(out, QStringLiteral("END:VTODO"));
    }
    icsLine(out, QStringLiteral("END:VCALENDAR"));
    return out;
}

} // namespace NoteFiles
