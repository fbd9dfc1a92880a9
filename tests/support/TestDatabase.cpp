#include "TestDatabase.h"

#include "store/Firebird.h"
#include "store/Sql.h"

#include <QFile>
#include <QTemporaryDir>

QString TestDatabase::processFolder()
{
    static QTemporaryDir dir;
    return dir.path();
}

QString TestDatabase::unusedPath(const QString &suffix)
{
    static int made = 0;
    return QStringLiteral("%1/db-%2%3").arg(processFolder()).arg(++made).arg(suffix);
}

TestDatabase::TestDatabase()
{
    m_path = unusedPath();
    try {
        Firebird::Connection::createFromScript(m_path, schemaPath());
        m_valid = true;
    } catch (const Firebird::Error &error) {
        m_error = error.message();
    }
}

TestDatabase::~TestDatabase()
{
    QFile::remove(m_path);
}

QString TestDatabase::schemaPath()
{
    return QStringLiteral(PENWICK_SCHEMA_PATH);
}

namespace TestSql {

void exec(const QString &databasePath, const QString &statement)
{
    Firebird::Connection(databasePath).execute(statement);
}

QStringList row(const QString &databasePath, const QString &select, const QList<const char *> &columns)
{
    Firebird::Connection connection(databasePath);
    Firebird::Transaction transaction(connection, Firebird::Transaction::ReadOnly);
    Firebird::Cursor cursor(transaction, select);
    QStringList texts;
    if (!cursor.next())
        return texts;
    for (const char *column : columns) {
        const int field = cursor.fieldIndex(column);
        texts << (cursor.isNull(field) ? QStringLiteral("<null>") : cursor.asString(field));
    }
    return texts;
}

QString value(const QString &databasePath, const QString &select)
{
    Firebird::Connection connection(databasePath);
    Firebird::Transaction transaction(connection, Firebird::Transaction::ReadOnly);
    Firebird::Cursor cursor(transaction, select);
    if (!cursor.next())
        return QStringLiteral("<none>");
    return cursor.isNull(0) ? QStringLiteral("<null>") : cursor.asString(0);
}

int count(const QString &databasePath, const QString &where)
{
    return value(databasePath, QStringLiteral("SELECT COUNT(*) FROM NOTATKI ") + where).toInt();
}

int insertNote(const QString &databasePath, int id, const QString &title, const QString &created, int alarm,
               int kind, const QString &alarmDate, const QString &alarmTime, const QString &body,
               const QString &archive)
{
    auto orNull = [](const QString &text) { return text.isEmpty() ? QStringLiteral("NULL") : Sql::quote(text); };
    exec(databasePath,
         QStringLiteral("INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, "
                        "AlarmGodzina, AlarmArchiwum) VALUES (%1, %2, %3, %4, %5, %6, %7, %8, %9)")
             .arg(id)
             .arg(Sql::quote(title), Sql::quote(body), Sql::quote(created))
             .arg(alarm)
             .arg(kind)
             .arg(orNull(alarmDate), orNull(alarmTime), orNull(archive)));
    return id;
}

} // namespace TestSql
