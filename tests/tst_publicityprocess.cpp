// The tray program's handle on the publicity window's process, with stand-in
// programs in place of the window.

#include "online/publicity/PublicityProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestPublicityProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endStopsTheWindow_data();
    void endStopsTheWindow();
    void oneWindowPerRun();
    void programFor_data();
    void programFor();

private:
    QTemporaryDir m_dir;
};

void TestPublicityProcess::endStopsTheWindow_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("script");

    // The address is the one argument; "sleep" takes it for seconds.
    QTest::newRow("ends when asked") << QStringLiteral("quiet")
                                     << QStringLiteral("#!/bin/sh\ntrap 'kill $!; exit 0' TERM\nsleep \"$1\" & wait\n");
    QTest::newRow("ignores the request") << QStringLiteral("stubborn")
                                         << QStringLiteral("#!/bin/sh\ntrap '' TERM\nsleep \"$1\" & wait\n");
}

void TestPublicityProcess::endStopsTheWindow()
{
    QFETCH(QString, program);
    QFETCH(QString, script);
    QVERIFY(m_dir.isValid());
    QFile file(m_dir.filePath(program));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(script.toUtf8());
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    PublicityProcess publicity(nullptr, file.fileName());
    QSignalSpy ended(&publicity, &PublicityProcess::ended);
    QVERIFY(publicity.start(QStringLiteral("60")));
    QTRY_VERIFY(publicity.processId() > 0);
    const qint64 pid = publicity.processId();
    // Once the stand-in sleeps, its trap is set.
    QByteArray sleeper;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
            sleeper = children.open(QIODevice::ReadOnly) ? children.readAll().trimmed() : QByteArray();
            return !sleeper.isEmpty();
        }(),
        10000);
    publicity.end();
    QVERIFY(!publicity.running());
    QCOMPARE(ended.count(), 1);
    QVERIFY(::kill(pid_t(pid), 0) != 0);
    ::kill(pid_t(sleeper.toInt()), SIGKILL);
}

void TestPublicityProcess::oneWindowPerRun()
{
    PublicityProcess publicity(nullptr, QStringLiteral("/bin/sleep"));
    QVERIFY(publicity.start(QStringLiteral("60")));
    QTRY_VERIFY(publicity.running());
    const qint64 first = publicity.processId();
    QVERIFY(!publicity.start(QStringLiteral("60")));
    QCOMPARE(publicity.processId(), first);
    publicity.end();
    // Not even once the first has gone.
    QVERIFY(!publicity.start(QStringLiteral("60")));
    QVERIFY(!publicity.running());
}

void TestPublicityProcess::programFor_data()
{
    QTest::addColumn<QStringList>("executables");
    QTest::addColumn<QStringList>("plainFiles");
    QTest::addColumn<QString>("found");
    const QString beside = QStringLiteral("bin/penwick-publicity");
    const QString installed = QStringLiteral("bin/") + PublicityProcess::installedFolder()
                              + QStringLiteral("/penwick-publicity");
    QTest::newRow("beside the program") << QStringList {beside} << QStringList() << beside;
    QTest::newRow("installed") << QStringList {installed} << QStringList() << installed;
    QTest::newRow("both: the one beside") << QStringList {beside, installed} << QStringList() << beside;
    QTest::newRow("absent") << QStringList() << QStringList() << QString();
    QTest::newRow("not executable") << QStringList() << QStringList {beside, installed} << QString();
    QTest::newRow("a plain file beside, the installed one")
        << QStringList {installed} << QStringList {beside} << installed;
}

void TestPublicityProcess::programFor()
{
    QFETCH(QStringList, executables);
    QFETCH(QStringList, plainFiles);
    QFETCH(QString, found);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("bin")));
    for (const QString &name : executables + plainFiles) {
        const QString path = QDir::cleanPath(dir.filePath(name));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.setPermissions(executables.contains(name) ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
    }
    const QString expected = found.isEmpty() ? QString() : QDir::cleanPath(dir.filePath(found));
    QCOMPARE(PublicityProcess::programFor(dir.filePath(QStringLiteral("bin"))), expected);
}

QTEST_GUILESS_MAIN(TestPublicityProcess)
#include "tst_publicityprocess.moc"
