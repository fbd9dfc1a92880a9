#include "online/Downloader.h"
#include "online/LinkLabel.h"
#include "online/OProgramie.h"
#include "online/OnlineChecks.h"
#include "online/Update.h"
#include "online/publicity/PublicityProcess.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <memory>

namespace {

const QString kProductSite = QStringLiteral("http://127.0.0.1:9/penwick/");

// A web service on 127.0.0.1 that answers every request as the test says.
class TestServer final : public QObject
{
public:
    enum Mode { Answer, Silent, CutShort, NoLength };

    TestServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &TestServer::accept);
    }
    QString baseUrl() const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
    }
    void stop()
    {
        m_server.close();
    }

    int status = 200;
    // Answers for single paths, where they differ from `status`.
    QHash<QString, int> statusOf;
    QByteArray body;
    Mode mode = Answer;
    QStringList paths;
    int connections = 0;

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            ++connections;
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
                *request += socket->readAll();
                if (request->contains("\r\n\r\n") && !request->isEmpty())
                    serve(socket, *request);
            });
        }
    }
    void serve(QTcpSocket *socket, QByteArray &request)
    {
        const QString path = QString::fromLatin1(request.split(' ').value(1));
        paths << path;
        request.clear();
        if (mode == Silent)
            return;
        const int answer = statusOf.value(path, status);
        QByteArray head = "HTTP/1.1 " + QByteArray::number(answer) + " Test\r\nConnection: close\r\n";
        if (mode != NoLength)
            head += "Content-Length: " + QByteArray::number(body.size() + (mode == CutShort ? 10 : 0)) + "\r\n";
        socket->write(head + "\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    quint16 m_port = m_server.listen(QHostAddress::LocalHost, 0) ? m_server.serverPort() : 0;
};

// The checks of one run against a test server, with no wait before the tick.
struct Run {
    TestServer server;
    std::unique_ptr<OnlineChecks> checks;
    int publicityChecks = 0;
    // A stand-in for the window's program.
    QString publicityProgram = QStringLiteral("/bin/true");

    void start(int timeoutMs = 10000)
    {
        OnlineOptions options;
        options.delayMs = 0;
        options.timeoutMs = timeoutMs;
        options.ServiceBaseUrl = server.baseUrl();
        options.ProductSiteUrl = kProductSite;
        options.publicityProgram = publicityProgram;
        checks = std::make_unique<OnlineChecks>(nullptr, options);
        QObject::connect(checks.get(), &OnlineChecks::publicityChecked, [this] { ++publicityChecks; });
    }
    // The publicity step comes last, whatever the update check found.
    bool ended()
    {
        return QTest::qWaitFor([this] { return publicityChecks > 0; }, 20000);
    }
};

QString runtimeFolder()
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/penwick");
}

QString downloaded(const QString &name)
{
    return runtimeFolder() + QLatin1Char('/') + name;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// Whatever stands under the name, a link included.
bool present(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

// Records the addresses handed to the desktop instead of starting a browser.
class Browser final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;
    Q_INVOKABLE void open(const QUrl &url)
    {
        opened << url;
    }
};

class TestOnline final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void comparison_data();
    void comparison();
    void failures_data();
    void failures();
    void oneTick();
    void publicityFlag_data();
    void publicityFlag();
    void environment_data();
    void environment();
    void removeDownloadedFiles_data();
    void removeDownloadedFiles();
    void unsafePlaces_data();
    void unsafePlaces();

    void noticePlace_data();
    void noticePlace();
    void noticeFade_data();
    void noticeFade();
    void noticeCommands();

    void aboutBlinks();
    void aboutCloses_data();
    void aboutCloses();
    void aboutLink_data();
    void aboutLink();

private:
    QTemporaryDir m_runtime;
    Browser m_browser;
};

void TestOnline::initTestCase()
{
    // The offscreen platform says so for every mask, raise and opacity of the notice.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.startsWith(QLatin1String("This plugin does not support")))
                previous(type, context, message);
        });
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    for (const char *proxy : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(proxy);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "open");
}

void TestOnline::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

void TestOnline::init()
{
    QDir(runtimeFolder()).removeRecursively();
    m_browser.opened.clear();
}

void TestOnline::comparison_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("notice");
    QTest::newRow("3.0") << QByteArray("3.0") << false;
    QTest::newRow("3.0 LF") << QByteArray("3.0\n") << false;
    QTest::newRow("3.0 CR LF") << QByteArray("3.0\r\n") << false;
    QTest::newRow("3.0 and a second line") << QByteArray("3.0\r\n3.1 is coming\n") << false;
    QTest::newRow("3.00") << QByteArray("3.00") << true;
    QTest::newRow("3.1") << QByteArray("3.1\n") << true;
    QTest::newRow("2.9") << QByteArray("2.9\r\n") << true;
    QTest::newRow("space before") << QByteArray(" 3.0") << true;
    QTest::newRow("space after") << QByteArray("3.0 \r\n") << true;
    QTest::newRow("CR without LF") << QByteArray("3.0\r") << true;
    QTest::newRow("empty line") << QByteArray("\n3.0\n") << true;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("exactly 64 KiB") << QByteArray(64 * 1024, 'x') << true;
}

void TestOnline::comparison()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, notice);
    Run run;
    run.server.body = body;
    run.start();
    QVERIFY(run.ended());
    QCOMPARE(run.server.paths, (QStringList {QStringLiteral("/app/penwick/update/vx.ver"),
                                             QStringLiteral("/app/penwick/publicity2/isPublicity2.info")}));
    QCOMPARE(contents(downloaded(QStringLiteral("vx.ver"))), body);
    QCOMPARE(!run.checks->fUpdate.isNull(), notice);
    if (notice)
        QVERIFY(run.checks->fUpdate->isVisible());
}

void TestOnline::failures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("listening");
    const QByteArray tooLarge(64 * 1024 + 1, 'x');
    QTest::newRow("404") << 404 << QByteArray("3.1") << int(TestServer::Answer) << true;
    QTest::newRow("500") << 500 << QByteArray("3.1") << int(TestServer::Answer) << true;
    QTest::newRow("refused") << 200 << QByteArray("3.1") << int(TestServer::Answer) << false;
    QTest::newRow("never answers") << 200 << QByteArray() << int(TestServer::Silent) << true;
    QTest::newRow("body cut short") << 200 << QByteArray("3.1") << int(TestServer::CutShort) << true;
    QTest::newRow("oversized, announced") << 200 << tooLarge << int(TestServer::Answer) << true;
    QTest::newRow("oversized, not announced") << 200 << tooLarge << int(TestServer::NoLength) << true;
}

void TestOnline::failures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, mode);
    QFETCH(bool, listening);
    Run run;
    run.server.status = status;
    run.server.body = body;
    run.server.mode = TestServer::Mode(mode);
    if (!listening)
        run.server.stop();
    // The event loop keeps turning while the check waits.
    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&turns] { ++turns; });
    ticker.start(10);
    run.start(400);
    QVERIFY(run.ended());
    QCOMPARE(run.server.connections, listening ? 2 : 0);
    QVERIFY(!run.checks->Reklama);
    if (mode == TestServer::Silent)
        QVERIFY2(turns >= 5, qPrintable(QString::number(turns)));
    QVERIFY(run.checks->fUpdate.isNull());
    // Not even a half-written temporary file.
    QCOMPARE(QDir(runtimeFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
}

void TestOnline::oneTick()
{
    Run run;
    run.server.body = "3.1";
    run.start();
    QVERIFY(run.checks->tUpdateAndPublicity->isActive());
    QVERIFY(run.ended());
    QVERIFY(!run.checks->tUpdateAndPublicity->isActive());
    QPointer<TfUpdate> notice = run.checks->fUpdate;
    QVERIFY(notice && notice->isVisible());
    notice->Label2Click();
    QTRY_VERIFY(notice.isNull());

    // Another tick, from the timer or a direct call, checks nothing again.
    run.checks->tUpdateAndPublicity->start();
    QTRY_VERIFY(!run.checks->tUpdateAndPublicity->isActive());
    run.checks->tUpdateAndPublicityTimer();
    QTest::qWait(200);
    QCOMPARE(run.server.connections, 2); // the version and the publicity flag
    QCOMPARE(run.publicityChecks, 1);
    QVERIFY(run.checks->fUpdate.isNull());
}

void TestOnline::publicityFlag_data()
{
    QTest::addColumn<int>("versionStatus");
    QTest::addColumn<int>("flagStatus");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("window");
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("requests");
    const QString standIn = QStringLiteral("/bin/true");
    QTest::newRow("an empty flag file") << 200 << 200 << QByteArray() << true << standIn << 2;
    QTest::newRow("a flag after a failed update check") << 404 << 200 << QByteArray("x") << true << standIn << 2;
    QTest::newRow("no flag") << 200 << 404 << QByteArray("3.0") << false << standIn << 2;
    // The window's package is not installed: the flag is not even asked for.
    QTest::newRow("no window program") << 200 << 200 << QByteArray("3.0") << false
                                       << QStringLiteral("/nonexistent/penwick-publicity") << 1;
    QTest::newRow("window program not executable")
        << 200 << 200 << QByteArray("3.0") << false << QStringLiteral("/etc/passwd") << 1;
    QTest::newRow("a folder in its place") << 200 << 200 << QByteArray("3.0") << false << QStringLiteral("/bin") << 1;
}

void TestOnline::publicityFlag()
{
    QFETCH(int, versionStatus);
    QFETCH(int, flagStatus);
    QFETCH(QByteArray, body);
    QFETCH(bool, window);
    QFETCH(QString, program);
    QFETCH(int, requests);
    Run run;
    run.publicityProgram = program;
    run.server.body = body;
    run.server.statusOf.insert(QStringLiteral("/app/penwick/update/vx.ver"), versionStatus);
    run.server.statusOf.insert(QStringLiteral("/app/penwick/publicity2/isPublicity2.info"), flagStatus);
    run.start();
    QVERIFY(run.ended());
    QCOMPARE(bool(run.checks->Reklama), window);
    if (window)
        QTRY_VERIFY(!run.checks->Reklama->running()); // /bin/true stands in for the window
    // A second tick opens nothing more and asks nothing more.
    run.checks->tUpdateAndPublicityTimer();
    QTest::qWait(100);
    QCOMPARE(run.server.connections, requests);
    QCOMPARE(run.publicityChecks, 1);
    run.checks->RemoveDownloadedFiles();
    QVERIFY(!present(downloaded(QStringLiteral("isPublicity2.info"))));
}

void TestOnline::environment_data()
{
    QTest::addColumn<QByteArray>("delay");
    QTest::addColumn<bool>("baseSet");
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("nothing set") << QByteArray() << false << QByteArray() << 180000;
    QTest::newRow("one second") << QByteArray("1000") << false << QByteArray() << 1000;
    QTest::newRow("delay not a number") << QByteArray("soon") << false << QByteArray() << 180000;
    QTest::newRow("negative delay") << QByteArray("-5") << false << QByteArray() << 180000;
    QTest::newRow("other service") << QByteArray() << true << QByteArray("http://127.0.0.1:1") << 180000;
    QTest::newRow("switched off") << QByteArray("0") << true << QByteArray() << 0;
}

void TestOnline::environment()
{
    QFETCH(QByteArray, delay);
    QFETCH(bool, baseSet);
    QFETCH(QByteArray, base);
    QFETCH(int, delayMs);
    qputenv("PENWICK_ONLINE_DELAY_MS", delay);
    if (baseSet)
        qputenv("PENWICK_SERVICE_BASE_URL", base);
    else
        qunsetenv("PENWICK_SERVICE_BASE_URL");
    OnlineOptions options = OnlineOptions::fromEnvironment();
    qunsetenv("PENWICK_ONLINE_DELAY_MS");
    qunsetenv("PENWICK_SERVICE_BASE_URL");
    QCOMPARE(options.delayMs, delayMs);
    const QString expectedBase = baseSet ? QString::fromUtf8(base) : OnlineOptions::builtServiceBaseUrl();
    QCOMPARE(options.ServiceBaseUrl, expectedBase);

    // Switched off, the checks never start, not even on a tick.
    int publicityChecks = 0;
    OnlineChecks checks(nullptr, options);
    connect(&checks, &OnlineChecks::publicityChecked, [&publicityChecks] { ++publicityChecks; });
    QCOMPARE(checks.tUpdateAndPublicity->isActive(), !expectedBase.isEmpty());
    if (expectedBase.isEmpty()) {
        checks.tUpdateAndPublicityTimer();
        QTest::qWait(50);
        QCOMPARE(publicityChecks, 0);
    }
}

void TestOnline::removeDownloadedFiles_data()
{
    QTest::addColumn<bool>("version");
    QTest::addColumn<bool>("flag");
    QTest::addColumn<bool>("versionIsLink");
    QTest::newRow("both") << true << true << false;
    QTest::newRow("only the version") << true << false << false;
    QTest::newRow("only the flag") << false << true << false;
    QTest::newRow("neither") << false << false << false;
    QTest::newRow("the version a link") << false << true << true;
}

void TestOnline::removeDownloadedFiles()
{
    QFETCH(bool, version);
    QFETCH(bool, flag);
    QFETCH(bool, versionIsLink);
    QVERIFY(!Downloader::folder().isEmpty());
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));
    writeFile(victim, "precious");
    if (version)
        writeFile(downloaded(QStringLiteral("vx.ver")), "3.1");
    if (flag)
        writeFile(downloaded(QStringLiteral("isPublicity2.info")), "1");
    if (versionIsLink)
        QVERIFY(QFile::link(victim, downloaded(QStringLiteral("vx.ver"))));
    OnlineOptions options;
    options.ServiceBaseUrl.clear();
    OnlineChecks(nullptr, options).RemoveDownloadedFiles();
    QVERIFY(!present(downloaded(QStringLiteral("vx.ver"))));
    QVERIFY(!present(downloaded(QStringLiteral("isPublicity2.info"))));
    QCOMPARE(contents(victim), QByteArray("precious"));
}

void TestOnline::unsafePlaces_data()
{
    QTest::addColumn<QString>("plant");
    QTest::addColumn<bool>("written");
    QTest::newRow("a link under the file's name") << "file link" << true;
    QTest::newRow("the folder a link elsewhere") << "folder link" << false;
    QTest::newRow("the folder open to others") << "open folder" << true;
}

void TestOnline::unsafePlaces()
{
    QFETCH(QString, plant);
    QFETCH(bool, written);
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("vx.ver"));
    writeFile(victim, "precious");
    if (plant == QLatin1String("file link")) {
        QVERIFY(!Downloader::folder().isEmpty());
        QVERIFY(QFile::link(victim, downloaded(QStringLiteral("vx.ver"))));
    } else if (plant == QLatin1String("folder link")) {
        QVERIFY(QFile::link(elsewhere.path(), runtimeFolder()));
    } else {
        QVERIFY(QDir().mkdir(runtimeFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                                  | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    }
    Run run;
    run.server.body = "3.1";
    run.start();
    QVERIFY(run.ended());
    // Whatever was planted, nothing outside the private folder changes.
    QCOMPARE(contents(victim), QByteArray("precious"));
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList {QStringLiteral("vx.ver")});
    QCOMPARE(!run.checks->fUpdate.isNull(), written);
    if (written) {
        QVERIFY(!QFileInfo(downloaded(QStringLiteral("vx.ver"))).isSymLink());
        QCOMPARE(contents(downloaded(QStringLiteral("vx.ver"))), QByteArray("3.1"));
        struct stat info = {};
        QCOMPARE(::lstat(QFile::encodeName(runtimeFolder()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
    }
    QFile::remove(runtimeFolder());
}

void TestOnline::noticePlace_data()
{
    QTest::addColumn<QRect>("freeArea");
    QTest::addColumn<QPoint>("place");
    QTest::newRow("taskbar at the bottom") << QRect(0, 0, 1280, 760) << QPoint(984, 674);
    QTest::newRow("panel on the left") << QRect(48, 0, 1232, 800) << QPoint(984, 714);
    QTest::newRow("panel on top") << QRect(0, 30, 1280, 770) << QPoint(984, 714);
    QTest::newRow("primary screen right of another") << QRect(1920, 0, 1280, 1024) << QPoint(2904, 938);
}

void TestOnline::noticePlace()
{
    QFETCH(QRect, freeArea);
    QFETCH(QPoint, place);
    QCOMPARE(TfUpdate::placeIn(freeArea, QSize(291, 81)), place);

    TfUpdate notice(kProductSite);
    notice.show();
    QCOMPARE(notice.frameGeometry(),
             QRect(TfUpdate::placeIn(QGuiApplication::primaryScreen()->availableGeometry(), QSize(291, 81)),
                   QSize(291, 81)));
}

void TestOnline::noticeFade_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("alpha");
    QTest::addColumn<bool>("fading");
    QTest::newRow("0 ticks") << 0 << 50 << true;
    QTest::newRow("1 tick") << 1 << 60 << true;
    QTest::newRow("20 ticks") << 20 << 250 << true;
    QTest::newRow("21 ticks") << 21 << 250 << false;
}

void TestOnline::noticeFade()
{
    QFETCH(int, ticks);
    QFETCH(int, alpha);
    QFETCH(bool, fading);
    TfUpdate notice(kProductSite);
    notice.show();
    for (int i = 0; i < ticks; ++i)
        notice.Timer1Timer();
    QCOMPARE(notice.alpha(), alpha);
    QCOMPARE(qRound(notice.windowOpacity() * 255), alpha);
    QCOMPARE(notice.Timer1->isActive(), fading);
}

void TestOnline::noticeCommands()
{
    QPointer<TfUpdate> notice = new TfUpdate(kProductSite);
    notice->show();
    QTest::mouseClick(notice->lbGetNewVersion, Qt::LeftButton);
    QCOMPARE(m_browser.opened, QList<QUrl> {QUrl(kProductSite)});
    QTRY_VERIFY(notice.isNull());

    notice = new TfUpdate(kProductSite);
    notice->show();
    QTest::mouseClick(notice->Label1, Qt::LeftButton);
    QVERIFY(notice->isVisible());
    QTest::mouseClick(notice->Label2, Qt::LeftButton);
    QTRY_VERIFY(notice.isNull());
    QCOMPARE(m_browser.opened.size(), 1);
}

void TestOnline::aboutBlinks()
{
    for (int opening = 0; opening < 2; ++opening) {
        TFormOProgramie dialog(kProductSite);
        dialog.show();
        QVERIFY(!dialog.I3->pixmap().isNull() && !dialog.I33->pixmap().isNull());
        // Each opening starts with the rays shown; each period swaps the pictures.
        QVERIFY(dialog.I3->isVisible() && !dialog.I33->isVisible());
        QSignalSpy period(dialog.Timer1, &QTimer::timeout);
        QVERIFY(period.wait(5000));
        QVERIFY(!dialog.I3->isVisible() && dialog.I33->isVisible());
        QVERIFY(period.wait(5000));
        QVERIFY(dialog.I3->isVisible() && !dialog.I33->isVisible());
        QCOMPARE(dialog.Timer1->interval(), 500);
    }
}

void TestOnline::aboutCloses_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::newRow("Enter in the text box") << "MemoInfo" << int(Qt::Key_Return);
    QTest::newRow("keypad Enter in the text box") << "MemoInfo" << int(Qt::Key_Enter);
    QTest::newRow("Esc in the text box") << "MemoInfo" << int(Qt::Key_Escape);
    QTest::newRow("Enter on OK") << "OK" << int(Qt::Key_Return);
    QTest::newRow("Esc on OK") << "OK" << int(Qt::Key_Escape);
    QTest::newRow("OK clicked") << "OK" << 0;
}

void TestOnline::aboutCloses()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    TFormOProgramie dialog(kProductSite);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.focusWidget(), static_cast<QWidget *>(dialog.MemoInfo));
    QWidget *target = focus == QLatin1String("OK") ? static_cast<QWidget *>(dialog.OK) : dialog.MemoInfo;
    target->setFocus();
    if (key)
        QTest::keyClick(target, Qt::Key(key));
    else
        QTest::mouseClick(dialog.OK, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
}

void TestOnline::aboutLink_data()
{
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("host");
    QTest::newRow("the built one") << OnlineOptions::builtProductSiteUrl() << "127.0.0.1";
    QTest::newRow("root page") << "http://penwick.example.org/"
                               << "penwick.example.org";
}

void TestOnline::aboutLink()
{
    QFETCH(QString, site);
    QFETCH(QString, host);
    TFormOProgramie dialog(site);
    dialog.show();
    QCOMPARE(dialog.Label1->text(), host);
    const QStringList lines = dialog.MemoInfo->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 13);
    QCOMPARE(lines.first(), QStringLiteral("Penwick"));
    QCOMPARE(lines.last(), host);
    QVERIFY(dialog.MemoInfo->isReadOnly());
    QTest::mouseClick(dialog.Label1, Qt::LeftButton);
    // The site's root page, exactly as it is given.
    QVERIFY2(site.endsWith(QLatin1Char('/')), qPrintable(site));
    QCOMPARE(m_browser.opened.size(), 1);
    QCOMPARE(m_browser.opened.constFirst().toString(), site);
    QVERIFY(dialog.isVisible());
}

QTEST_MAIN(TestOnline)
#include "tst_online.moc"
