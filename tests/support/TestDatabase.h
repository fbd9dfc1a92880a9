#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace Firebird {
class Connection;
}

// A fresh database made from the schema script, removed with the object.
// Every file of a test process lies in one temporary folder: the engine takes
// one lock folder per process, and a file's lock folder is that of its folder.
class TestDatabase final
{
public:
    TestDatabase();
    ~TestDatabase();
    Q_DISABLE_COPY_MOVE(TestDatabase)
    QString path() const
    {
        return m_path;
    }
    QString folder() const
    {
        return processFolder();
    }
    // A name in that folder that no file has yet.
    static QString unusedPath(const QString &suffix = QStringLiteral(".ib"));
    static QString processFolder();
    bool isValid() const
    {
        return m_valid;
    }
    QString error() const
    {
        return m_error;
    }

    static QString schemaPath();

private:
    QString m_path;
    QString m_error;
    bool m_valid = false;
};

// Runs statements on a database of its own connection, for seeding and
// checking what the program wrote.
namespace TestSql {
void exec(const QString &databasePath, const QString &statement);
// The first column of the first row as text; "<none>" when there is no row.
QString value(const QString &databasePath, const QString &select);
// The named columns of the first row as text ("<null>" for NULL); empty when
// there is no row.
QStringList row(const QString &databasePath, const QString &select, const QList<const char *> &columns);
// The first column of every row, as integers.
QList<int> ids(const QString &databasePath, const QString &select);
// The same on a connection of the caller's, for many reads in a row.
QList<int> ids(Firebird::Connection &connection, const QString &select);
int count(const QString &databasePath, const QString &where = QString());
// Switches the database's read-only mode; needs the file with no attachment.
void setReadOnly(const QString &databasePath, bool readOnly);
// Inserts a note row directly; returns its ID.
int insertNote(const QString &databasePath, int id, const QString &title, const QString &created, int alarm = 0,
               int kind = 0, const QString &alarmDate = QString(), const QString &alarmTime = QString(),
               const QString &body = QString(), const QString &archive = QString());
} // namespace TestSql
