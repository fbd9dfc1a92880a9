#include "Reklama.h"

#include "PublicityPage.h"
#include "RightClickFilter.h"
#include "StatusCheck.h"
#include "ui/DialogLook.h"

#include <QCloseEvent>
#include <QFrame>
#include <QPushButton>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace {

// The page shows neither scroll bars nor a border, whatever its own style says.
const QString kBodyStyle = QStringLiteral("(function () {"
                                          " var body = document.body;"
                                          " if (!body) return;"
                                          " body.style.overflowX = 'hidden';"
                                          " body.style.overflowY = 'hidden';"
                                          " body.style.borderStyle = 'none';"
                                          "})();");

} // namespace

TReklama::TReklama(const QUrl &pageUrl, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::WindowStaysOnTopHint)
    , m_pageUrl(pageUrl)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Reklama"));
    setWindowTitle(QStringLiteral("Publicity"));
    setWindowIcon(DialogLook::programIcon());
    DialogLook::apply(this);
    DialogLook::fixSize(this, QSize(519, 460));

    // Nothing of the page outlives the window: no cookies or cache on disk.
    m_profile = new QWebEngineProfile(this);
    m_page = new TPublicityPage(m_profile, this);
    m_statusCheck = new StatusCheck(this);

    wbPublicityBig = new QWebEngineView(this);
    wbPublicityBig->setObjectName(QStringLiteral("wbPublicityBig"));
    wbPublicityBig->setPage(m_page);
    wbPublicityBig->setGeometry(8, 8, 503, 393);
    wbPublicityBig->setFocusPolicy(Qt::ClickFocus);

    // An etched line along the top of its box.
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 416, 503, 2);

    bClose = new QPushButton(QStringLiteral("Close"), this);
    bClose->setObjectName(QStringLiteral("bClose"));
    bClose->setGeometry(225, 427, 75, 25);
    bClose->setFocus();

    ApplicationEvents1 = new RightClickFilter(wbPublicityBig, this);

    connect(m_page, &TPublicityPage::navigationStarting, this, &TReklama::wbPublicityBigBeforeNavigate2);
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus)
            wbPublicityBigDocumentComplete();
        else if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus)
            wbPublicityBigNavigateError();
    });
    connect(m_statusCheck, &StatusCheck::statusKnown, this, [this](const QUrl &, int status) { StatusKnown(status); });
    connect(bClose, &QPushButton::clicked, this, &TReklama::bCloseClick);
}

TReklama::~TReklama()
{
    // The page must go before its profile.
    delete m_page;
    m_page = nullptr;
}

bool TReklama::event(QEvent *event)
{
    // It belongs to the tray program, which has no taskbar entry either. The
    // browser's drawing makes Qt create the native window anew while it is
    // first shown, so each new one gets the hint before it is mapped.
    if (event->type() == QEvent::WinIdChange)
        DialogLook::keepOffTaskbar(this);
    return QWidget::event(event);
}

void TReklama::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        FormShow();
    }
}

void TReklama::FormShow()
{
    DialogLook::centre(this);
    wbPublicityBig->hide();
    m_page->load(m_pageUrl);
    wbPublicityBig->show();
    raise();
    activateWindow();
}

void TReklama::wbPublicityBigBeforeNavigate2(const QUrl &url)
{
    // The navigation goes ahead meanwhile; a wrong answer closes the window.
    m_statusCheck->ask(url);
}

void TReklama::StatusKnown(int status)
{
    if (status != 200)
        close();
}

void TReklama::wbPublicityBigDocumentComplete()
{
    m_page->runJavaScript(kBodyStyle, QWebEngineScript::ApplicationWorld);
}

void TReklama::wbPublicityBigNavigateError()
{
    close();
}

void TReklama::bCloseClick()
{
    close();
}

void TReklama::closeEvent(QCloseEvent *event)
{
    // FormClose: the window is destroyed on every close (WA_DeleteOnClose).
    event->accept();
}

bool TReklama::focusNextPrevChild(bool next)
{
    // Tab never lands in the browser; inside the page it moves between the
    // page's own links as usual.
    const bool moved = QWidget::focusNextPrevChild(next);
    QWidget *focus = focusWidget();
    if (focus && (focus == wbPublicityBig || wbPublicityBig->isAncestorOf(focus)))
        bClose->setFocus(Qt::TabFocusReason);
    return moved;
}
