#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A fresh dbn.ib made from the schema script in a temporary folder, removed
// with the object.
class TestDatabase final
{
public:
    TestDatabase();
    QString path() const
    {
        return m_path;
    }
    QString folder() const
    {
        return m_dir.path();
    }
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
    QTemporaryDir m_dir;
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
int count(const QString &databasePath, const QString &where = QString());
// Inserts a note row directly; returns its ID.
int insertNote(const QString &databasePath, int id, const QString &title, const QString &created, int alarm = 0,
               int kind = 0, const QString &alarmDate = QString(), const QString &alarmTime = QString(),
               const QString &body = QString(), const QString &archive = QString());
} // namespace TestSql
