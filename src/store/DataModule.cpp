#include "DataModule.h"

#include "Clock.h"
#include "Statements.h"

#include <QCoreApplication>

Q_LOGGING_CATEGORY(lcStore, "penwick.store", QtWarningMsg)

namespace {
const QString kOrigin = QStringLiteral("DM");

// The access password stays in the file: a failed save of it must not copy
// the value into the diagnostic line.
QString withoutPassword(const QString &message)
{
    const QString head = QStringLiteral("Nie można zapisać ustawienia HasloDostepu o wartości ");
    const QString tail = QStringLiteral(" w konfiguracji!");
    if (message.size() >= head.size() + tail.size() && message.startsWith(head) && message.endsWith(tail))
        return head + QStringLiteral("***") + tail;
    return message;
}
}

TDM::TDM(const QString &databaseName, Connect connect)
    : Transaction(Database)
    , MainQuery(Database)
    , StateQuery(Database)
    , CheckerQuery(Database)
    , m_databaseName(databaseName)
{
    if (connect == Connect::Now)
        ConnectDatabase();
}

TDM::~TDM()
{
    MainQuery.close();
    StateQuery.close();
    CheckerQuery.close();
    DisconnectDatabase();
}

QString TDM::defaultDatabaseName()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/dbn.ib");
}

bool TDM::ConnectDatabase()
{
    try {
        Database.setParameters(m_databaseName, QStringLiteral("sysdba"), QStringLiteral("quietbird"),
                               QStringLiteral("NONE"));
        Database.open();
        return true;
    } catch (const Firebird::Error &) {
        return false;
    }
}

bool TDM::DisconnectDatabase()
{
    try {
        Database.close();
        return true;
    } catch (const Firebird::Error &) {
        return false;
    }
}

void TDM::ReportFailure(const QString &message, const QString &origin, const QString &error) const
{
    qCWarning(lcStore).noquote() << origin << ":" << withoutPassword(message)
                                 << QString(error).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString TDM::GetSetting(const QString &key)
{
    try {
        MainQuery.open(Statements::settingValue(key));
        QString value = QStringLiteral("-1");
        if (MainQuery.recordCount() >= 1)
            value = MainQuery.asString("Wartosc");
        MainQuery.close();
        return value;
    } catch (const Firebird::Error &error) {
        MainQuery.close();
        ReportFailure(QStringLiteral("Nie można pobrać ustawienia ") + key + QStringLiteral(" z konfiguracji!"), kOrigin,
                      error.message());
        return QStringLiteral("-1");
    }
}

bool TDM::SetSetting(const QString &key, const QString &value)
{
    try {
        MainQuery.open(Statements::settingRow(key));
        const bool exists = MainQuery.recordCount() >= 1;
        const int id = exists ? MainQuery.asInteger("ID") : 0;
        MainQuery.close();
        MainQuery.execSql(exists ? Statements::updateSetting(key, value, id) : Statements::insertSetting(key, value));
        return true;
    } catch (const Firebird::Error &error) {
        MainQuery.close();
        ReportFailure(QStringLiteral("Nie można zapisać ustawienia ") + key + QStringLiteral(" o wartości ") + value
                          + QStringLiteral(" w konfiguracji!"),
                      kOrigin, error.message());
        return false;
    }
}

StoredPassword TDM::ReadAccessPassword()
{
    StoredPassword stored;
    try {
        MainQuery.open(Statements::accessPassword());
        if (MainQuery.recordCount() >= 1)
            stored.value = MainQuery.asString("Wartosc");
        MainQuery.close();
    } catch (const Firebird::Error &error) {
        MainQuery.close();
        stored.value.reset();
        stored.failed = true;
        stored.error = error.message();
    }
    return stored;
}

int TDM::ReadAlarmState(int id)
{
    StateQuery.open(Statements::alarmState(id));
    const int state = StateQuery.recordCount() >= 1 ? StateQuery.asInteger("Alarm") : 0;
    StateQuery.close();
    return state;
}

void TDM::WriteAlarmState(int id, int state, const AlarmDetails &details)
{
    try {
        MainQuery.execSql(Statements::writeAlarmState(id, state, details.kind, details.date, details.time,
                                                     Clock::currentDateTime()));
    } catch (const Firebird::Error &error) {
        ReportFailure(QStringLiteral("Can't set the type of alarm!"), QStringLiteral("FormNotatka"), error.message());
    }
}

int TDM::PickNeighbourNote(const QVector<int> &listIds, int id)
{
    if (listIds.size() <= 1)
        return -1;
    const int first = int(listIds.indexOf(id));
    if (first < 0)
        return -1;
    if (listIds.last() == id)
        return first > 0 ? listIds.at(first - 1) : -1;
    return listIds.at(first + 1);
}

bool TDM::readNoteList(const QString *searchText, std::vector<NoteListRow> &rows)
{
    try {
        for (const bool running : {true, false}) {
            MainQuery.open(searchText ? Statements::noteSearch(running, *searchText)
                                        : Statements::noteList(running));
            const int idField = MainQuery.fieldIndex("ID");
            const int titleField = MainQuery.fieldIndex("Tytul");
            const int createdField = MainQuery.fieldIndex("DataGodzina");
            const int alarmField = MainQuery.fieldIndex("Alarm");
            while (!MainQuery.eof()) {
                rows.push_back({MainQuery.asInteger(idField), MainQuery.asString(titleField),
                                MainQuery.asDate(createdField), MainQuery.asTime(createdField),
                                MainQuery.asInteger(alarmField)});
                MainQuery.next();
            }
            MainQuery.close();
        }
        return true;
    } catch (const Firebird::Error &) {
        MainQuery.close();
        return false;
    }
}
