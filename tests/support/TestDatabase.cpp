#include "TestDatabase.h"

#include "store/Firebird.h"
#include "store/Sql.h"

#include <QFile>
#include <QTemporaryDir>

#include <ibase.h>

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

QList<int> ids(const QString &databasePath, const QString &select)
{
    Firebird::Connection connection(databasePath);
    return ids(connection, select);
}

QList<int> ids(Firebird::Connection &connection, const QString &select)
{
    Firebird::Transaction transaction(connection, Firebird::Transaction::ReadOnly);
    Firebird::Cursor cursor(transaction, select);
    QList<int> found;
    while (cursor.next())
        found << cursor.asInteger(0);
    return found;
}

void setReadOnly(const QString &databasePath, bool readOnly)
{
    QByteArray dpb;
    dpb += char(isc_dpb_version1);
    for (const auto &[tag, value] : {std::pair {isc_dpb_user_name, Firebird::Credentials::userName},
                                     std::pair {isc_dpb_password, Firebird::Credentials::password}}) {
        dpb += char(tag);
        dpb += char(value.size());
        dpb += value.toUtf8();
    }
    dpb += char(isc_dpb_set_db_readonly);
    dpb += char(1);
    dpb += char(readOnly ? 1 : 0);
    const QByteArray path = QFile::encodeName(databasePath);
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    isc_attach_database(status, 0, path.constData(), &db, short(dpb.size()), dpb.constData());
    if (status[0] == 1 && status[1] != 0)
        throw Firebird::Error(QStringLiteral("cannot switch the read-only mode of %1").arg(databasePath));
    isc_detach_database(status, &db);
}

int count(const QString &databasePath, const QString &where)
{
    return value(databasePath, QStringLiteral("SELECT COUNT(*) FROM NOTATKI ") + where).toInt();
}

int insertNote(const QString &databasePath, int id, const QString &title, const QString &created, int alarm, int kind,
               const QString &alarmDate, const QString &alarmTime, const QString &body, const QString &archive)
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
