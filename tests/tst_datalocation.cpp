#include "TestDatabase.h"
#include "store/DataLocation.h"
#include "store/DataModule.h"
#include "store/ServerAddress.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using DataLocation::Source;

Q_DECLARE_METATYPE(DataLocation::Source)

// A program folder, a data home and a supplied empty database, each made on
// demand inside one temporary folder.
class Layout final
{
public:
    QString exeDir() const
    {
        return m_root.path() + QStringLiteral("/prefix/bin");
    }
    QString dataHome() const
    {
        return m_root.path() + QStringLiteral("/home/.local/share");
    }
    QString portable() const
    {
        return exeDir() + QStringLiteral("/dbn.ib");
    }
    QString perUser() const
    {
        return dataHome() + QStringLiteral("/penwick/dbn.ib");
    }
    QString supplied() const
    {
        return m_root.path() + QStringLiteral("/prefix/share/penwick/dbn.ib");
    }

    static void write(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The names in the per-user folder: a half-made copy would show here.
    QStringList dataEntries() const
    {
        return QDir(QFileInfo(perUser()).absolutePath())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    DataLocation::Decision decide() const
    {
        return DataLocation::decide(exeDir(), dataHome(), supplied());
    }

private:
    QTemporaryDir m_root;
};

class TestDataLocation final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decision_data();
    void decision();
    void suppliedBesideOrAbove_data();
    void suppliedBesideOrAbove();
    void dataHomeFromEnvironment_data();
    void dataHomeFromEnvironment();
    void firstStartCopiesSecondKeepsNotes();
    void existingFileIsNeverReplaced();
    void failedCopyLeavesNothing_data();
    void failedCopyLeavesNothing();
    void serverAddress_data();
    void serverAddress();
    void serverLogin_data();
    void serverLogin();
};

void TestDataLocation::decision_data()
{
    QTest::addColumn<bool>("portable");
    QTest::addColumn<bool>("perUser");
    QTest::addColumn<bool>("supplied");
    QTest::addColumn<Source>("source");
    QTest::newRow("portable wins over everything") << true << true << true << Source::Portable;
    QTest::newRow("portable alone") << true << false << false << Source::Portable;
    QTest::newRow("per-user file in use") << false << true << true << Source::PerUser;
    QTest::newRow("per-user file without a supplied one") << false << true << false << Source::PerUser;
    QTest::newRow("first start") << false << false << true << Source::FirstStart;
    QTest::newRow("nothing anywhere") << false << false << false << Source::None;
}

void TestDataLocation::decision()
{
    QFETCH(bool, portable);
    QFETCH(bool, perUser);
    QFETCH(bool, supplied);
    QFETCH(Source, source);
    Layout layout;
    QDir().mkpath(layout.exeDir());
    if (portable)
        Layout::write(layout.portable(), "portable");
    if (perUser)
        Layout::write(layout.perUser(), "per-user");
    if (supplied)
        Layout::write(layout.supplied(), "supplied");
    const auto before = layout.dataEntries();

    const DataLocation::Decision decision = layout.decide();
    QCOMPARE(decision.source, source);
    QCOMPARE(decision.path, source == Source::Portable ? layout.portable() : layout.perUser());
    QCOMPARE(decision.supplied, source == Source::FirstStart ? layout.supplied() : QString());
    QCOMPARE(layout.dataEntries(), before); // deciding changes nothing
}

void TestDataLocation::suppliedBesideOrAbove_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("supplied");
    QTest::newRow("installed: <prefix>/share") << "prefix/bin"
                                               << "prefix/share/penwick/dbn.ib";
    QTest::newRow("build tree: share beside the program") << "build"
                                                          << "build/share/penwick/dbn.ib";
    QTest::newRow("none") << "prefix/bin"
                          << "";
}

void TestDataLocation::suppliedBesideOrAbove()
{
    QFETCH(QString, program);
    QFETCH(QString, supplied);
    QTemporaryDir root;
    const QString exeDir = root.path() + QLatin1Char('/') + program;
    QDir().mkpath(exeDir);
    if (!supplied.isEmpty())
        Layout::write(root.path() + QLatin1Char('/') + supplied, "supplied");
    QCOMPARE(DataLocation::suppliedFile(exeDir),
             supplied.isEmpty() ? QString() : root.path() + QLatin1Char('/') + supplied);
}

void TestDataLocation::dataHomeFromEnvironment_data()
{
    QTest::addColumn<QByteArray>("xdgDataHome");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absolute XDG_DATA_HOME") << QByteArray("/srv/data/") << "/srv/data";
    QTest::newRow("relative XDG_DATA_HOME is ignored") << QByteArray("data") << "HOME/.local/share";
    QTest::newRow("unset") << QByteArray() << "HOME/.local/share";
}

void TestDataLocation::dataHomeFromEnvironment()
{
    QFETCH(QByteArray, xdgDataHome);
    QFETCH(QString, expected);
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    if (xdgDataHome.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", xdgDataHome);
    const QString found = DataLocation::dataHome();
    if (wasSet)
        qputenv("XDG_DATA_HOME", saved);
    else
        qunsetenv("XDG_DATA_HOME");
    QCOMPARE(found, QString(expected).replace(QStringLiteral("HOME"), QDir::homePath()));
}

void TestDataLocation::firstStartCopiesSecondKeepsNotes()
{
    TestDatabase empty;
    QVERIFY2(empty.isValid(), qPrintable(empty.error()));
    Layout layout;
    Layout::write(layout.supplied(), Layout::read(empty.path()));

    DataLocation::Result first = DataLocation::carryOut(layout.decide());
    QCOMPARE(first.problem, QString());
    QCOMPARE(first.path, layout.perUser());
    QCOMPARE(Layout::read(layout.perUser()), Layout::read(empty.path()));
    QCOMPARE(layout.dataEntries(), QStringList {QStringLiteral("dbn.ib")});
    // The copy is a working database with the user's notes written into it.
    // (One process keeps its files in one folder: the engine's lock folder
    // goes with the first file, so the copy is opened from there.)
    const QString opened = TestDatabase::unusedPath();
    Layout::write(opened, Layout::read(first.path));
    {
        TDM dm(opened);
        QVERIFY(dm.isConnected());
        QVERIFY(dm.SetSetting(QStringLiteral("FormMainWidth"), QStringLiteral("420")));
    }
    const QByteArray notes = Layout::read(opened);
    Layout::write(layout.perUser(), notes);

    const DataLocation::Decision again = layout.decide();
    QCOMPARE(again.source, Source::PerUser);
    const DataLocation::Result second = DataLocation::carryOut(again);
    QCOMPARE(second.problem, QString());
    QCOMPARE(second.path, layout.perUser());
    QCOMPARE(Layout::read(second.path), notes);
    QCOMPARE(TDM(opened).GetSetting(QStringLiteral("FormMainWidth")), QStringLiteral("420"));
}

void TestDataLocation::existingFileIsNeverReplaced()
{
    // Another instance may copy between our decision and our rename.
    Layout layout;
    Layout::write(layout.supplied(), "supplied");
    const DataLocation::Decision decision = layout.decide();
    QCOMPARE(decision.source, Source::FirstStart);
    Layout::write(layout.perUser(), "the user's notes");

    const DataLocation::Result result = DataLocation::carryOut(decision);
    QCOMPARE(result.problem, QString());
    QCOMPARE(result.path, layout.perUser());
    QCOMPARE(Layout::read(layout.perUser()), QByteArray("the user's notes"));
    QCOMPARE(layout.dataEntries(), QStringList {QStringLiteral("dbn.ib")});
}

void TestDataLocation::failedCopyLeavesNothing_data()
{
    QTest::addColumn<QString>("cause");
    QTest::newRow("data home is a file") << "file";
    QTest::newRow("read-only data folder") << "read-only";
    QTest::newRow("disk full halfway") << "full";
}

void TestDataLocation::failedCopyLeavesNothing()
{
    QFETCH(QString, cause);
    Layout layout;
    Layout::write(layout.supplied(), QByteArray(256 * 1024, 'x'));
    const QString folder = QFileInfo(layout.perUser()).absolutePath();
    if (cause == QLatin1String("file")) {
        Layout::write(layout.dataHome(), "not a folder");
    } else if (cause == QLatin1String("read-only")) {
        if (geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    } else {
        QVERIFY(QDir().mkpath(folder));
    }
    const DataLocation::Decision decision = layout.decide();
    QCOMPARE(decision.source, Source::FirstStart);

    DataLocation::Result result;
    if (cause == QLatin1String("full")) {
        // Files may grow to 64 KiB only; past that, a write fails.
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 64 * 1024;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        result = DataLocation::carryOut(decision);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    } else {
        result = DataLocation::carryOut(decision);
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY2(!result.problem.isEmpty(), "a failed copy is reported");
    QVERIFY2(result.problem.contains(cause == QLatin1String("file") ? folder : layout.perUser()),
             qPrintable(result.problem));
    QVERIFY(!QFileInfo::exists(layout.perUser()));
    QCOMPARE(layout.dataEntries(), QStringList());
}

void TestDataLocation::serverAddress_data()
{
    // What PENWICK_DATABASE may say: the connection string given to the client
    // library, "local" for a file on this computer, or the start of the refusal.
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("expected");
    QTest::newRow("host and path") << "notes.example.org:/srv/penwick/dbn.ib"
                                   << "inet://notes.example.org:3050//srv/penwick/dbn.ib";
    QTest::newRow("host, port and path") << "127.0.0.1/3051:/srv/dbn.ib"
                                         << "inet://127.0.0.1:3051//srv/dbn.ib";
    QTest::newRow("URL with port") << "inet://127.0.0.1:3051//srv/dbn.ib"
                                   << "inet://127.0.0.1:3051//srv/dbn.ib";
    QTest::newRow("URL without port") << "inet://db.lan//srv/dbn.ib"
                                      << "inet://db.lan:3050//srv/dbn.ib";
    QTest::newRow("IPv6") << "inet://[::1]:3051//srv/dbn.ib"
                          << "inet://[::1]:3051//srv/dbn.ib";
    QTest::newRow("a local path") << "/home/me/dbn.ib"
                                  << "local";
    QTest::newRow("a port out of range") << "db.lan/70000:/srv/dbn.ib"
                                         << "refused: the port";
    QTest::newRow("a port that is a word") << "inet://db.lan:gds_db//srv/dbn.ib"
                                           << "refused: the port";
    QTest::newRow("no path") << "inet://db.lan:3051"
                             << "refused: no path";
    QTest::newRow("a host with a blank") << "inet://db lan//srv/dbn.ib"
                                         << "refused: \"db lan\"";
}

void TestDataLocation::serverAddress()
{
    QFETCH(QString, named);
    QFETCH(QString, expected);
    QString problem;
    const std::optional<ServerAddress> address = ServerAddress::parse(named, &problem);
    if (expected == QStringLiteral("local")) {
        QVERIFY(!address);
        QVERIFY(problem.isEmpty());
    } else if (expected.startsWith(QStringLiteral("refused: "))) {
        QVERIFY(!address);
        QVERIFY2(problem.contains(expected.mid(9)), qPrintable(problem));
    } else {
        QVERIFY2(address, qPrintable(problem));
        QCOMPARE(address->connectionString(), expected);
        QVERIFY(ServerAddress::isServer(address->connectionString()));
    }
}

void TestDataLocation::serverLogin_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ISC_PASSWORD") << "secret"
                                  << "" << 0 << "secret";
    QTest::newRow("a private file wins") << "other"
                                         << "secret\n"
                                         << 0600 << "secret";
    QTest::newRow("a file others may read") << ""
                                            << "secret\n"
                                            << 0644 << "refused: nobody else";
    QTest::newRow("an empty file") << ""
                                   << "" << 0600 << "refused: empty";
    QTest::newRow("nothing at all") << ""
                                    << "-" << 0 << "refused: no password";
}

void TestDataLocation::serverLogin()
{
    QFETCH(QString, password);
    QFETCH(QString, file);
    QFETCH(int, mode);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/password");
    qputenv("ISC_USER", "penwick");
    qputenv("ISC_PASSWORD", password.toUtf8());
    qunsetenv("PENWICK_DATABASE_PASSWORD_FILE");
    if (mode != 0) {
        Layout::write(path, file.toUtf8());
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
        qputenv("PENWICK_DATABASE_PASSWORD_FILE", QFile::encodeName(path));
    }
    const ServerLogin login = ServerLogin::fromEnvironment();
    qunsetenv("ISC_PASSWORD");
    qunsetenv("PENWICK_DATABASE_PASSWORD_FILE");
    if (expected.startsWith(QStringLiteral("refused: "))) {
        QVERIFY2(login.problem.contains(expected.mid(9)), qPrintable(login.problem));
        // The reason never holds the password.
        QVERIFY(!login.problem.contains(QStringLiteral("secret")));
        return;
    }
    QCOMPARE(login.problem, QString());
    QCOMPARE(login.user, QStringLiteral("penwick"));
    QCOMPARE(login.password, expected);
}

QTEST_GUILESS_MAIN(TestDataLocation)
#include "tst_datalocation.moc"
