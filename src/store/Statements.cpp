#include "Statements.h"

#include "Note.h"
#include "Sql.h"

#include <algorithm>

namespace Statements {

namespace {
const QString running1 = QString::number(Alarm::Running);
}

QString noteList(bool running)
{
    return (running ? QStringLiteral("SELECT * FROM NOTATKI WHERE Alarm = ")
                    : QStringLiteral("SELECT * FROM NOTATKI WHERE Alarm <> "))
           + running1 + QStringLiteral(" ") + QStringLiteral("ORDER BY DataGodzina DESC");
}

bool mayBeInMomentText(const QString &text)
{
    // A creation moment reads like "2024-05-06 07:08:09.0000".
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char(':')
               || c == QLatin1Char('.') || c == QLatin1Char(' ');
    });
}

namespace {

int utf8Length(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// CONTAINING upper-cases its text into as many bytes as the text had: after
// a letter whose upper case is shorter in UTF-8 (ı, ſ) whatever the buffer
// held is compared too, and a longer one (ɐ, ɡ) fails the statement. The
// letter's own upper case matches the same places and keeps its length.
QString caseSizedText(const QString &text)
{
    const QString stored = Sql::storableText(text);
    QString sent;
    sent.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        char32_t c = stored.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < stored.size()) {
            c = QChar::surrogateToUcs4(stored.at(i), stored.at(i + 1));
            ++i;
        }
        const char32_t upper = QChar::toUpper(c);
        sent += QString::fromUcs4(utf8Length(upper) == utf8Length(c) ? &c : &upper, 1);
    }
    return sent;
}

enum class Bodies { Unicode, Bytes, UpperCased };

QString search(bool running, const QString &text, Bodies bodies)
{
    const QString q = Sql::quote(caseSizedText(text));
    // The same folding in a buffer sized for it: the title's own is then
    // always of the same length. A title costs little; a body read twice
    // costs as much again, so only a failed statement does that.
    const QString title = QStringLiteral("UPPER(Tytul) CONTAINING ") + q;
    QString body;
    switch (bodies) {
    case Bodies::Unicode:
        body = QStringLiteral("Tresc CONTAINING ") + q;
        break;
    case Bodies::UpperCased:
        body = QStringLiteral("UPPER(Tresc) CONTAINING ") + q;
        break;
    case Bodies::Bytes: {
        const QString bytes = QString::number(BodyBytesInPlace);
        // As the character set NONE, the body is its stored bytes and
        // CONTAINING folds ASCII only: no Unicode case mapping of every body,
        // which is most of a search's time. A longer body fails the cast.
        body = QStringLiteral("CAST(Tresc AS VARCHAR(") + bytes + QStringLiteral(") CHARACTER SET NONE) ")
               + QStringLiteral("CONTAINING ") + q;
        // Except when all it would cut off is blanks: then it cuts silently,
        // and a text that ends in a blank may have its only match there.
        if (Sql::storableText(text).endsWith(QLatin1Char(' '))) {
            body = QStringLiteral("(") + body + QStringLiteral(" OR (OCTET_LENGTH(Tresc) > ") + bytes
                   + QStringLiteral(" AND Tresc CONTAINING ") + q + QStringLiteral("))");
        }
        break;
    }
    }
    // The creation moment's term costs a text conversion of every row's
    // moment, and can only match a text made of what such a text holds: any
    // other text leaves it out and finds the same rows. (A letter beyond ASCII
    // would even fail the whole statement: "Cannot transliterate".)
    const QString created = mayBeInMomentText(Sql::storableText(text))
                                ? QStringLiteral(" OR ") + QStringLiteral("DataGodzina CONTAINING ") + q
                                : QString();
    return (running ? QStringLiteral("SELECT * FROM NOTATKI WHERE (Alarm = ")
                    : QStringLiteral("SELECT * FROM NOTATKI WHERE (Alarm <> "))
           + running1 + QStringLiteral(") AND (") + title + QStringLiteral(" OR ") + body + created
           + QStringLiteral(") ") + QStringLiteral("ORDER BY DataGodzina DESC");
}

} // namespace

QString noteSearch(bool running, const QString &text)
{
    return search(running, text, Bodies::Unicode);
}

QString noteSearchUpperCasingBodies(bool running, const QString &text)
{
    return search(running, text, Bodies::UpperCased);
}

bool searchableByBytes(const QString &text)
{
    // The body's CONTAINING upper-cases both sides through Unicode; a byte
    // comparison folds the ASCII letters alone. For a text of ASCII characters
    // both find the same places, as long as no other character upper-cases to
    // one of the text's: only the long s and the dotless i do, to S and I.
    const QString stored = Sql::storableText(text);
    return std::all_of(stored.cbegin(), stored.cend(), [](QChar c) {
        const QChar lower = c.toLower();
        return c.unicode() < 0x80 && lower != QLatin1Char('s') && lower != QLatin1Char('i');
    });
}

QString noteSearchByBytes(bool running, const QString &text)
{
    return searchableByBytes(text) ? search(running, text, Bodies::Bytes) : QString();
}

QString settingValue(const QString &key)
{
    return QStringLiteral("SELECT Wartosc FROM USTAWIENIA WHERE Ustawienie = ") + Sql::quote(key);
}

QString settingRow(const QString &key)
{
    return QStringLiteral("SELECT * FROM USTAWIENIA WHERE Ustawienie = ") + Sql::quote(key);
}

QString updateSetting(const QString &key, const QString &value, int id)
{
    return QStringLiteral("UPDATE USTAWIENIA SET Ustawienie = ") + Sql::quote(key) + QStringLiteral(", ")
           + QStringLiteral("Wartosc = ") + Sql::quote(value) + QStringLiteral(" ") + QStringLiteral("WHERE ")
           + QStringLiteral("ID = ") + QString::number(id);
}

QString insertSetting(const QString &key, const QString &value)
{
    return QStringLiteral("INSERT INTO USTAWIENIA (Ustawienie, Wartosc) VALUES (") + Sql::quote(key)
           + QStringLiteral(", ") + Sql::quote(value) + QStringLiteral(")");
}

QString accessPassword()
{
    return QStringLiteral("SELECT Wartosc FROM USTAWIENIA WHERE Ustawienie = ")
           + Sql::quote(QStringLiteral("HasloDostepu"));
}

QString countNotes()
{
    return QStringLiteral("SELECT COUNT(ID) AS IloscNotatek FROM NOTATKI");
}

QString note(int id)
{
    return QStringLiteral("SELECT * FROM NOTATKI WHERE ID = ") + QString::number(id);
}

QString nextNoteId()
{
    return QStringLiteral("SELECT GEN_ID(GenNotka, 1) AS ID FROM RDB$DATABASE");
}

QString insertNote(int id, const QString &title, const QString &body, const QDateTime &created, int state, int kind,
                   const QDate &alarmDate, const QTime &alarmTime)
{
    const QString sep = QStringLiteral(", ");
    return QStringLiteral("INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, "
                          "AlarmGodzina) VALUES (")
           + QString::number(id) + sep + Sql::quote(title) + sep + Sql::quote(body) + sep + Sql::quotedMoment(created)
           + sep + QString::number(state) + sep + QString::number(kind) + sep + Sql::quotedDate(alarmDate) + sep
           + Sql::quotedTime(alarmTime) + QStringLiteral(")");
}

QString insertWholeNote(int id, const Note &note)
{
    const QString sep = QStringLiteral(", ");
    const QString null = QStringLiteral("NULL");
    const QDateTime created(note.createdDate, note.createdTime);
    const QDateTime archive(note.archive.date, note.archive.time);
    return QStringLiteral("INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, "
                          "AlarmGodzina, AlarmArchiwum) VALUES (")
           + QString::number(id) + sep + Sql::quote(note.title) + sep + Sql::quote(note.body) + sep
           + (created.isValid() ? Sql::quotedMoment(created) : null) + sep + QString::number(note.alarm) + sep
           + QString::number(note.kind) + sep + (note.alarmDate.isValid() ? Sql::quotedDate(note.alarmDate) : null)
           + sep + (note.alarmTime.isValid() ? Sql::quotedTime(note.alarmTime) : null) + sep
           + (archive.isValid() ? Sql::quotedMoment(archive) : null) + QStringLiteral(")");
}

QString updateNoteText(int id, const QString &title, const QString &body)
{
    return QStringLiteral("UPDATE NOTATKI SET Tytul = ") + Sql::quote(title) + QStringLiteral(", ")
           + QStringLiteral("Tresc = ") + Sql::quote(body) + QStringLiteral(" ") + QStringLiteral("WHERE ")
           + QStringLiteral("ID = ") + QString::number(id);
}

QString deleteNote(int id)
{
    return QStringLiteral("DELETE FROM NOTATKI WHERE ID = ") + QString::number(id);
}

QString alarmState(int id)
{
    return QStringLiteral("SELECT Alarm FROM NOTATKI WHERE ID = ") + QString::number(id);
}

QString writeAlarmState(int id, int state, int kind, const QDate &date, const QTime &time,
                        const QDateTime &acknowledged)
{
    QString details;
    if (kind != -1) {
        details = QStringLiteral(", AlarmRodzaj = ") + QString::number(kind) + QStringLiteral(", ")
                  + QStringLiteral("AlarmData = ") + Sql::quotedDate(date) + QStringLiteral(", ")
                  + QStringLiteral("AlarmGodzina = ") + Sql::quotedTime(time) + QStringLiteral(" ");
    }
    const QString archive = state == Alarm::Acknowledged ? QStringLiteral(", AlarmArchiwum = ")
                                                               + Sql::quotedMoment(acknowledged) + QStringLiteral(" ")
                                                         : QStringLiteral(", AlarmArchiwum = NULL ");
    return QStringLiteral("UPDATE NOTATKI SET Alarm = ") + QString::number(state) + details + archive
           + QStringLiteral("WHERE ") + QStringLiteral("ID = ") + QString::number(id);
}

QString dueAlarmCandidates()
{
    return QStringLiteral("SELECT * FROM NOTATKI WHERE Alarm = ") + QString::number(Alarm::Armed)
           + QStringLiteral(" OR ") + QStringLiteral("Alarm = ") + QString::number(Alarm::Acknowledged)
           + QStringLiteral(" ") + QStringLiteral("ORDER BY DataGodzina DESC");
}

namespace {

// A column read to the millisecond holds a value within that millisecond; the
// engine keeps a tenth of one more.
QString withinMillisecond(const QString &column, const QString &read)
{
    return QStringLiteral(" AND ") + column + QStringLiteral(" BETWEEN ") + Sql::quote(read + QLatin1Char('0'))
           + QStringLiteral(" AND ") + Sql::quote(read + QLatin1Char('9'));
}

} // namespace

QString whileAlarmUnchanged(const Note &read)
{
    QString guard = QStringLiteral(" AND Alarm = ") + QString::number(read.alarm)
                    + QStringLiteral(" AND AlarmRodzaj = ") + QString::number(read.kind);
    guard += read.alarmDate.isValid() ? QStringLiteral(" AND AlarmData = ") + Sql::quotedDate(read.alarmDate)
                                      : QStringLiteral(" AND AlarmData IS NULL");
    guard += read.alarmTime.isValid() ? withinMillisecond(QStringLiteral("AlarmGodzina"),
                                                          read.alarmTime.toString(QStringLiteral("HH:mm:ss.zzz")))
                                      : QStringLiteral(" AND AlarmGodzina IS NULL");
    guard += read.archive.isValid() ? withinMillisecond(
                 QStringLiteral("AlarmArchiwum"), Sql::dateText(read.archive.date) + QLatin1Char(' ')
                                                      + read.archive.time.toString(QStringLiteral("HH:mm:ss.zzz")))
                                    : QStringLiteral(" AND AlarmArchiwum IS NULL");
    return guard;
}

QString whileRunning()
{
    return QStringLiteral(" AND Alarm = ") + running1;
}

QString whileRunningOnce()
{
    return whileRunning() + QStringLiteral(" AND AlarmRodzaj = ") + QString::number(Alarm::Once);
}

QString unfireAlarm(const Note &read)
{
    const QString archive = read.archive.isValid() ? Sql::quotedMoment(QDateTime(read.archive.date, read.archive.time))
                                                   : QStringLiteral("NULL");
    return QStringLiteral("UPDATE NOTATKI SET Alarm = ") + QString::number(read.alarm)
           + QStringLiteral(", AlarmArchiwum = ") + archive + QStringLiteral(" WHERE ID = ") + QString::number(read.id)
           + whileRunning() + QStringLiteral(" AND AlarmArchiwum IS NULL");
}

QString lockedNoteText(int id)
{
    return QStringLiteral("SELECT Tytul, Tresc FROM NOTATKI WHERE ID = ") + QString::number(id)
           + QStringLiteral(" WITH LOCK");
}

QString postChange()
{
    return QStringLiteral("EXECUTE BLOCK AS BEGIN POST_EVENT '") + QLatin1String(ChangeEvent)
           + QStringLiteral("'; END");
}

} // namespace Statements
