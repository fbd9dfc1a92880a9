#include "Update.h"

#include "LinkLabel.h"
#include "ui/DialogLook.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int kFirstAlpha = 50;
constexpr int kAlphaStep = 10;
constexpr int kLastAlpha = 250;
constexpr int kMargin = 5;
const QRect kShape(8, 5, 273, 68);
// The corners are quarters of a 17 x 17 ellipse.
constexpr qreal kCornerRadius = 8.5;

class NoticeShape final : public QWidget
{
public:
    explicit NoticeShape(QWidget *parent)
        : QWidget(parent)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(QColor(255, 255, 230));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
    }
};

QFont noticeFont(bool bold, bool underline)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

TfUpdate::TfUpdate(const QString &productSiteUrl, QWidget *owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_productSiteUrl(productSiteUrl)
{
    setObjectName(QStringLiteral("fUpdate"));
    setWindowTitle(QStringLiteral("Pellago - Aktualizacja"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Only the card and its texts are drawn. Without a compositor the
    // transparent pixels would show whatever the server left there, so a
    // mask of the card's outline cuts them away as well.
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(291, 81);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(kShape), kCornerRadius, kCornerRadius);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
    DialogLook::loadFonts();
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);

    Shape1 = new NoticeShape(this);
    Shape1->setGeometry(kShape);

    Label1 = new QLabel(QStringLiteral("New version of Penwick is available!"), this);
    Label1->setFont(noticeFont(false, false));
    Label1->setWordWrap(true);
    placeLabel(Label1, QRect(23, 23, 242, 15));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(Label1, Qt::red);

    lbGetNewVersion = new LinkLabel(QStringLiteral("Download now..."), this);
    lbGetNewVersion->setFont(noticeFont(true, true));
    placeLabel(lbGetNewVersion, QRect(85, 44, 106, 16));
    lbGetNewVersion->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbGetNewVersion->setCursor(Qt::PointingHandCursor);
    setTextColour(lbGetNewVersion, Qt::blue);

    Label2 = new LinkLabel(QStringLiteral("x"), this);
    Label2->setFont(noticeFont(true, false));
    placeLabel(Label2, QRect(265, 8, 7, 16));
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TfUpdate::Timer1Timer);
    connect(lbGetNewVersion, &LinkLabel::clicked, this, &TfUpdate::lbGetNewVersionClick);
    connect(Label2, &LinkLabel::clicked, this, &TfUpdate::Label2Click);

    setAlpha(kFirstAlpha);
    Timer1->start();
}

QPoint TfUpdate::placeIn(const QRect &freeArea, const QSize &size)
{
    // Never above or left of the area, even when it is smaller than the notice.
    return QPoint(qMax(freeArea.x(), freeArea.x() + freeArea.width() - size.width() - kMargin),
                  qMax(freeArea.y(), freeArea.y() + freeArea.height() - size.height() - kMargin));
}

void TfUpdate::showEvent(QShowEvent *event)
{
    // Placed before the window is mapped, so it never shows elsewhere first.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(placeIn(screen->availableGeometry(), size()));
    QWidget::showEvent(event);
    raise();
    activateWindow();
    // The fade-in started with the window; a restart would only delay it.
    if (!Timer1->isActive() && m_alpha < kLastAlpha)
        Timer1->start();
}

void TfUpdate::Timer1Timer()
{
    if (m_alpha >= kLastAlpha)
        Timer1->stop();
    else
        setAlpha(m_alpha + kAlphaStep);
}

void TfUpdate::setAlpha(int alpha)
{
    m_alpha = alpha;
    setWindowOpacity(alpha / 255.0);
    // The X11 platform queues the new opacity without sending it; a repaint
    // sends what is queued, also when nothing else in the program stirs.
    update();
}

void TfUpdate::lbGetNewVersionClick()
{
    // Whatever the desktop makes of the address, the notice has done its job.
    QDesktopServices::openUrl(QUrl(m_productSiteUrl));
    close();
}

void TfUpdate::Label2Click()
{
    close();
}
