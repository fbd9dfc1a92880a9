// The publicity window in this process, on a real X server, against the local
// test service of tests/e2e/publicity_server.py.

#include "online/publicity/PublicityPage.h"
#include "online/publicity/Reklama.h"
#include "online/publicity/StatusCheck.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWaitMs = 20000;

// Counts the events that reach one object past the application's filters.
class EventProbe final : public QObject
{
public:
    explicit EventProbe(QObject *target)
        : QObject(target)
    {
        target->installEventFilter(this);
    }
    QList<QEvent::Type> seen;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        seen << event->type();
        return false;
    }
};

// Stands in for the desktop's browser: records what would have left the window.
class OutsideBrowser final : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url)
    {
        opened << url;
    }
};

// One publicity window with what it asked and what it loaded.
struct Opened {
    QPointer<TReklama> window;
    std::unique_ptr<QSignalSpy> statuses;
    std::unique_ptr<QSignalSpy> loads;

    Opened() = default;
    Opened(Opened &&other) noexcept
        : window(other.window)
        , statuses(std::move(other.statuses))
        , loads(std::move(other.loads))
    {
        other.window = nullptr;
    }
    ~Opened()
    {
        delete window;
    }

    bool answered(const QUrl &url, int status) const
    {
        for (const QList<QVariant> &args : *statuses) {
            if (args.at(0).toUrl() == url && args.at(1).toInt() == status)
                return true;
        }
        return false;
    }
    bool loaded(const QUrl &url) const
    {
        return window && window->page()->url() == url && !loads->isEmpty() && loads->last().at(0).toBool();
    }
};

QString script(const QString &js, QWebEnginePage *page)
{
    QString result;
    bool done = false;
    page->runJavaScript(js, [&](const QVariant &value) {
        result = value.toString();
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, kWaitMs))
        return QStringLiteral("(no answer)");
    return result;
}

QWidget *renderWidget(TReklama *window)
{
    QWidget *proxy = window->wbPublicityBig->focusProxy();
    return proxy ? proxy : window->wbPublicityBig;
}

} // namespace

class TestPublicity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void guard_data();
    void guard();
    void statusRequestsPassEveryCache();
    void bodyStylesAfterLoad();
    void rightButtonFilter_data();
    void rightButtonFilter();
    void rightClickNeverReachesPage();
    void tabSkipsTheBrowser();

private:
    QUrl address(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }
    Opened open(const QString &path);
    bool settled(const Opened &opened, const QUrl &url);
    QList<QJsonObject> requests() const;

    QTemporaryDir m_dir;
    QProcess m_server;
    int m_port = 0;
    OutsideBrowser m_outside;
};

void TestPublicity::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("PENWICK_PUBLICITY_TIMEOUT_MS", "2000");
    QApplication::setQuitOnLastWindowClosed(false);
    for (const char *scheme : {"http", "https", "ftp"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_outside, "open");

    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(QStringLiteral("python3"), {QStringLiteral(PENWICK_PUBLICITY_SERVER), QStringLiteral("--log"),
                                               m_dir.filePath(QStringLiteral("requests.log"))});
    QVERIFY(m_server.waitForStarted());
    QVERIFY(QTest::qWaitFor([this] { return m_server.canReadLine(); }, kWaitMs));
    const QByteArray line = m_server.readLine().trimmed();
    QVERIFY2(line.startsWith("PORT "), line.constData());
    m_port = line.mid(5).toInt();
}

void TestPublicity::cleanupTestCase()
{
    for (const char *scheme : {"http", "https", "ftp"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    QVERIFY2(m_outside.opened.isEmpty(), "an address was handed to the desktop's browser");
    m_server.terminate();
    m_server.waitForFinished();
}

Opened TestPublicity::open(const QString &path)
{
    Opened opened;
    opened.window = new TReklama(address(path));
    opened.statuses = std::make_unique<QSignalSpy>(opened.window->statusCheck(), &StatusCheck::statusKnown);
    opened.loads = std::make_unique<QSignalSpy>(opened.window->page(), &QWebEnginePage::loadFinished);
    opened.window->show();
    return opened;
}

// The page at url has loaded and its status answer is in.
bool TestPublicity::settled(const Opened &opened, const QUrl &url)
{
    return QTest::qWaitFor([&] { return !opened.window || (opened.answered(url, 200) && opened.loaded(url)); }, kWaitMs)
           && opened.window;
}

QList<QJsonObject> TestPublicity::requests() const
{
    QList<QJsonObject> list;
    QFile file(m_dir.filePath(QStringLiteral("requests.log")));
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd())
            list << QJsonDocument::fromJson(file.readLine()).object();
    }
    return list;
}

void TestPublicity::guard_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("link");      // clicked once the page is in; empty: none
    QTest::addColumn<QStringList>("asked"); // paths whose 200 answers the window waits for
    QTest::addColumn<QString>("shown");     // the page shown at the end; empty: the window closes

    const QStringList none;
    QTest::newRow("page answering 200 stays") << u"/page/ok"_s << u""_s << QStringList {u"/page/ok"_s} << u"/page/ok"_s;
    QTest::newRow("page answering 404 closes") << u"/status/404"_s << u""_s << none << u""_s;
    QTest::newRow("page answering 500 closes") << u"/status/500"_s << u""_s << none << u""_s;
    QTest::newRow("page that never answers closes") << u"/hang"_s << u""_s << none << u""_s;
    QTest::newRow("page the browser fails to load closes") << u"/broken"_s << u""_s << none << u""_s;
    QTest::newRow("link to a 200 page is followed")
        << u"/page/ok"_s << u"ok"_s << QStringList {u"/page/ok2"_s} << u"/page/ok2"_s;
    QTest::newRow("link to a new window opens here")
        << u"/page/ok"_s << u"blank"_s << QStringList {u"/page/ok2"_s} << u"/page/ok2"_s;
    QTest::newRow("link to a 404 page closes") << u"/page/ok"_s << u"missing"_s << none << u""_s;
    QTest::newRow("link to an FTP address closes") << u"/page/ok"_s << u"ftp"_s << none << u""_s;
    QTest::newRow("frames answering 200 stay")
        << u"/frames/good"_s << u""_s << QStringList {u"/frames/good"_s, u"/page/frame1"_s, u"/page/frame2"_s}
        << u"/frames/good"_s;
    QTest::newRow("one frame answering 404 closes") << u"/frames/bad"_s << u""_s << none << u""_s;
}

void TestPublicity::guard()
{
    QFETCH(QString, page);
    QFETCH(QString, link);
    QFETCH(QStringList, asked);
    QFETCH(QString, shown);

    Opened opened = open(page);
    if (!link.isEmpty()) {
        QVERIFY(settled(opened, address(page)));
        script(QStringLiteral("document.getElementById('%1').click()").arg(link), opened.window->page());
    }
    if (shown.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(!opened.window, kWaitMs);
        return;
    }
    for (const QString &path : asked)
        QTRY_VERIFY_WITH_TIMEOUT(!opened.window || opened.answered(address(path), 200), kWaitMs);
    QVERIFY(settled(opened, address(shown)));
    QVERIFY(opened.window->isVisible());
}

void TestPublicity::statusRequestsPassEveryCache()
{
    // The pages invite caching; the second visit of the same address must
    // still be asked of the server, and never conditionally.
    Opened opened = open(QStringLiteral("/page/cached"));
    QVERIFY(settled(opened, address(QStringLiteral("/page/cached"))));
    opened.statuses->clear();
    script(QStringLiteral("document.getElementById('self').click()"), opened.window->page());
    QVERIFY(settled(opened, address(QStringLiteral("/page/cached"))));

    const QString agent = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    int asked = 0;
    for (const QJsonObject &request : requests()) {
        const QJsonObject headers = request.value(QLatin1String("headers")).toObject();
        if (headers.value(QLatin1String("User-Agent")).toString() != agent)
            continue;
        QCOMPARE(headers.value(QLatin1String("Cache-Control")).toString(), QStringLiteral("no-cache"));
        QCOMPARE(headers.value(QLatin1String("Pragma")).toString(), QStringLiteral("no-cache"));
        QVERIFY(!headers.contains(QLatin1String("If-None-Match")));
        QVERIFY(!headers.contains(QLatin1String("If-Modified-Since")));
        if (request.value(QLatin1String("path")).toString() == QLatin1String("/page/cached"))
            ++asked;
    }
    QCOMPARE(asked, 2);
}

void TestPublicity::bodyStylesAfterLoad()
{
    // The page's own style asks for scroll bars and a red border.
    Opened opened = open(QStringLiteral("/page/styled"));
    QVERIFY(settled(opened, address(QStringLiteral("/page/styled"))));
    const QString read = QStringLiteral(
        "(function () { var s = getComputedStyle(document.body);"
        " return [s.overflowX, s.overflowY, s.borderTopStyle, s.borderLeftStyle].join(' '); })()");
    QTRY_COMPARE_WITH_TIMEOUT(script(read, opened.window->page()), QStringLiteral("hidden hidden none none"), kWaitMs);
}

void TestPublicity::rightButtonFilter_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("delivered");

    const int press = QEvent::MouseButtonPress;
    const int dbl = QEvent::MouseButtonDblClick;
    const int release = QEvent::MouseButtonRelease;
    const int menu = QEvent::ContextMenu;
    QTest::newRow("right press in the page") << u"page"_s << press << int(Qt::RightButton) << false;
    QTest::newRow("right double-click in the page") << u"page"_s << dbl << int(Qt::RightButton) << false;
    QTest::newRow("menu request by the mouse in the page") << u"page"_s << menu << int(Qt::RightButton) << false;
    QTest::newRow("right press on the browser itself") << u"browser"_s << press << int(Qt::RightButton) << false;
    QTest::newRow("right release in the page") << u"page"_s << release << int(Qt::RightButton) << true;
    QTest::newRow("left press in the page") << u"page"_s << press << int(Qt::LeftButton) << true;
    QTest::newRow("left double-click in the page") << u"page"_s << dbl << int(Qt::LeftButton) << true;
    QTest::newRow("menu request by the keyboard in the page") << u"page"_s << menu << int(Qt::NoButton) << true;
    QTest::newRow("right press on Close") << u"close"_s << press << int(Qt::RightButton) << true;
    QTest::newRow("right double-click on Close") << u"close"_s << dbl << int(Qt::RightButton) << true;
    QTest::newRow("right press on the background") << u"window"_s << press << int(Qt::RightButton) << true;
}

void TestPublicity::rightButtonFilter()
{
    QFETCH(QString, target);
    QFETCH(int, type);
    QFETCH(int, button);
    QFETCH(bool, delivered);

    Opened opened = open(QStringLiteral("/page/filter"));
    QVERIFY(settled(opened, address(QStringLiteral("/page/filter"))));
    TReklama *window = opened.window;
    QWidget *receiver = target == QLatin1String("page")      ? renderWidget(window)
                        : target == QLatin1String("browser") ? window->wbPublicityBig
                        : target == QLatin1String("close")   ? window->bClose
                                                             : static_cast<QWidget *>(window);
    QVERIFY(target != QLatin1String("page") || receiver != window->wbPublicityBig);
    auto *probe = new EventProbe(receiver);
    const QPointF at(4, 4);
    if (type == QEvent::ContextMenu) {
        QContextMenuEvent event(button ? QContextMenuEvent::Mouse : QContextMenuEvent::Keyboard, at.toPoint(),
                                receiver->mapToGlobal(at.toPoint()));
        QApplication::sendEvent(receiver, &event);
    } else {
        const auto pressed = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButton(button);
        QMouseEvent event(QEvent::Type(type), at, receiver->mapToGlobal(at), Qt::MouseButton(button), pressed,
                          Qt::NoModifier);
        QApplication::sendEvent(receiver, &event);
    }
    QCOMPARE(probe->seen.contains(QEvent::Type(type)), delivered);
    delete probe;
}

void TestPublicity::rightClickNeverReachesPage()
{
    // The page counts the mousedown events it sees into its title.
    Opened opened = open(QStringLiteral("/page/clicks"));
    QVERIFY(settled(opened, address(QStringLiteral("/page/clicks"))));
    QWidget *page = renderWidget(opened.window);
    // Below the page's links, on its bare body.
    const QPoint spot(page->width() / 2, page->height() - 20);
    // Each round ends with a left click: once the page has seen that, it has
    // seen whatever came before. The first rounds may come before the page
    // takes input.
    const auto title = [&] { return opened.window->page()->title(); };
    QDeadlineTimer deadline(kWaitMs);
    while (title().startsWith(QLatin1String("left 0")) && !deadline.hasExpired()) {
        QTest::mouseClick(page, Qt::RightButton, Qt::NoModifier, spot);
        QTest::mouseDClick(page, Qt::RightButton, Qt::NoModifier, spot);
        QTest::mouseClick(page, Qt::LeftButton, Qt::NoModifier, spot);
        static_cast<void>(QTest::qWaitFor([&] { return !title().startsWith(QLatin1String("left 0")); }, 1000));
    }
    QVERIFY2(!title().startsWith(QLatin1String("left 0")), "the page never saw a left click");
    QCOMPARE(title().section(QLatin1Char(' '), 2), QStringLiteral("right 0"));
}

void TestPublicity::tabSkipsTheBrowser()
{
    Opened opened = open(QStringLiteral("/page/tab"));
    QVERIFY(settled(opened, address(QStringLiteral("/page/tab"))));
    opened.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(opened.window));
    QTRY_COMPARE(QApplication::focusWidget(), opened.window->bClose);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), opened.window->bClose);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), opened.window->bClose);
    }
}

int main(int argc, char **argv)
{
    // The engine refuses to run its sandbox as root.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestPublicity test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_publicity.moc"
