// Makes a fresh database from the schema script, unless the target exists:
// an existing dbn.ib holds the user's notes and is never touched. The file is
// made under another name and moved into place, so no half-made database is
// ever left where the program looks.
//   penwick-makedb SCHEMA.sql TARGET.ib
// TARGET may also be a database on a server (inet://host:port/path), made
// there under the login of ISC_USER (see ServerAddress), who then owns it.
#include "store/Firebird.h"
#include "store/ServerAddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: penwick-makedb SCHEMA.sql TARGET.ib\n");
        return 2;
    }
    if (ServerAddress::isServer(args.at(2))) {
        try {
            Firebird::Connection::createFromScript(args.at(2), args.at(1));
            return 0;
        } catch (const Firebird::Error &error) {
            std::fprintf(stderr, "penwick-makedb: %s\n", error.what());
            return 1;
        }
    }
    const QString target = QFileInfo(args.at(2)).absoluteFilePath();
    if (QFileInfo::exists(target))
        return 0;
    QDir().mkpath(QFileInfo(target).absolutePath());
    // The file is made beside its final place, so both share one lock folder.
    if (!Firebird::prepareEnvironment(target)) {
        std::fprintf(stderr, "penwick-makedb: %s\n", qPrintable(Firebird::environmentProblem()));
        return 1;
    }
    const QString making = target + QStringLiteral(".creating");
    QFile::remove(making);
    try {
        Firebird::Connection::createFromScript(making, args.at(1));
    } catch (const Firebird::Error &error) {
        QFile::remove(making);
        std::fprintf(stderr, "penwick-makedb: %s\n", error.what());
        return 1;
    }
    if (!QFile::rename(making, target)) {
        QFile::remove(making);
        std::fprintf(stderr, "penwick-makedb: cannot move the new file to %s\n", qPrintable(target));
        return 1;
    }
    return 0;
}
