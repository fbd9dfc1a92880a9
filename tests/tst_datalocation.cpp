#include "TestDatabase.h"
#include "store/DataLocation.h"
#include "store/DataModule.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
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

QTEST_GUILESS_MAIN(TestDataLocation)
#include "tst_datalocation.moc"
