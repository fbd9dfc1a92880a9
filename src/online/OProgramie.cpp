#include "OProgramie.h"

#include "LinkLabel.h"
#include "OnlineChecks.h"
#include "ui/DialogLook.h"

#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace {

// A white box with a silver outline.
class FramedBox final : public QWidget
{
public:
    explicit FramedBox(QWidget *parent)
        : QWidget(parent)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.setPen(QColor(192, 192, 192));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// An etched line along the bottom edge of its box.
class BottomBevel final : public QWidget
{
public:
    explicit BottomBevel(QWidget *parent)
        : QWidget(parent)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(QColor(160, 160, 160));
        painter.drawLine(0, height() - 2, width() - 1, height() - 2);
        painter.setPen(Qt::white);
        painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    }
};

QLabel *textLabel(const QString &text, QWidget *parent, const QRect &place)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeLabel(label, place);
    return label;
}

QLabel *pictureLabel(const QString &resource, QWidget *parent, const QRect &place)
{
    auto *label = new QLabel(parent);
    label->setPixmap(DialogLook::picture(resource));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(place);
    return label;
}

} // namespace

TFormOProgramie::TFormOProgramie(const QString &productSiteUrl, QWidget *parent)
    : QDialog(parent)
    , m_productSiteUrl(productSiteUrl)
{
    setObjectName(QStringLiteral("FormOProgramie"));
    setWindowTitle(QStringLiteral("Penwick - About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    DialogLook::apply(this);

    Shape1 = new FramedBox(this);
    Shape1->setGeometry(13, 20, 223, 103);
    ShapeRamkaNaLogo = new FramedBox(this);
    ShapeRamkaNaLogo->setGeometry(239, 20, 202, 103);

    Label2 = DialogLook::boldLabel(QStringLiteral("Legend:"), this);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeLabel(Label2, QRect(24, 24, 44, 13));
    // The same pictures as the note list's rows.
    I1 = pictureLabel(QStringLiteral(":/icons/note.png"), this, QRect(32, 41, 17, 18));
    Label3 = textLabel(QStringLiteral("- standard note"), this, QRect(60, 46, 75, 13));
    I2 = pictureLabel(QStringLiteral(":/icons/note-alarm.png"), this, QRect(32, 68, 17, 18));
    Label4 = textLabel(QStringLiteral("- note with planned alarm"), this, QRect(60, 73, 122, 13));
    I3 = pictureLabel(QStringLiteral(":/icons/beacon-rays.png"), this, QRect(32, 95, 17, 18));
    I33 = pictureLabel(QStringLiteral(":/icons/beacon.png"), this, QRect(32, 95, 17, 18));
    I33->hide();
    Label5 = textLabel(QStringLiteral("- running alarm"), this, QRect(60, 100, 72, 13));

    const QString host = siteHost(productSiteUrl);
    MemoInfo = new QPlainTextEdit(this);
    MemoInfo->setGeometry(241, 21, 199, 100);
    MemoInfo->setReadOnly(true);
    MemoInfo->setFrameShape(QFrame::NoFrame);
    MemoInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoInfo->document()->setDocumentMargin(2);
    QPalette memoPalette = MemoInfo->palette();
    memoPalette.setColor(QPalette::Base, Qt::white);
    MemoInfo->setPalette(memoPalette);
    MemoInfo->setPlainText(QStringList {
        QStringLiteral("Penwick"),
        QString(),
        QStringLiteral("Notes with alarms, always at"),
        QStringLiteral("hand in the notification area."),
        QString(),
        QStringLiteral("Version ") + OnlineChecks::ownVersion(),
        QStringLiteral("Written in C++ with Qt 6"),
        QStringLiteral("and Firebird."),
        QString(),
        QStringLiteral("Notes stay on this computer,"),
        QStringLiteral("in the database file dbn.ib."),
        QString(),
        host,
    }
                               .join(QLatin1Char('\n')));

    Label1 = new LinkLabel(host, this);
    QFont linkFont(QStringLiteral("Tahoma"));
    linkFont.setPixelSize(13);
    linkFont.setUnderline(true);
    Label1->setFont(linkFont);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setCursor(Qt::PointingHandCursor);
    QPalette linkPalette = Label1->palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    Label1->setPalette(linkPalette);
    placeLabel(Label1, QRect(154, 135, 138, 16));

    Bevel1 = new BottomBevel(this);
    Bevel1->setGeometry(0, 151, 457, 9);

    OK = new QPushButton(QStringLiteral("OK"), this);
    OK->setGeometry(185, 166, 75, 25);
    OK->setAutoDefault(false);

    setTabOrder(MemoInfo, OK);
    MemoInfo->setFocus();

    // Esc and Enter close the dialog wherever the focus is, the text box included.
    Zamknij = DialogLook::keyAction(
        this, {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    Timer1 = new QTimer(this);
    Timer1->setInterval(500);

    connect(Zamknij, &QAction::triggered, this, &TFormOProgramie::ZamknijExecute);
    connect(OK, &QPushButton::clicked, this, &TFormOProgramie::OKClick);
    connect(Label1, &LinkLabel::clicked, this, &TFormOProgramie::Label1Click);
    connect(Timer1, &QTimer::timeout, this, &TFormOProgramie::Timer1Timer);
    Timer1->start();

    DialogLook::fixSize(this, QSize(456, 198));
    DialogLook::centre(this);
}

void TFormOProgramie::Execute(const QString &productSiteUrl, QWidget *opener)
{
    TFormOProgramie dialog(productSiteUrl, opener);
    DialogLook::execModal(dialog);
}

QString TFormOProgramie::siteHost(const QString &productSiteUrl)
{
    return QUrl(productSiteUrl).host();
}

void TFormOProgramie::Timer1Timer()
{
    const bool rays = !I3->isHidden();
    I3->setVisible(!rays);
    I33->setVisible(rays);
}

void TFormOProgramie::Label1Click()
{
    QDesktopServices::openUrl(QUrl(m_productSiteUrl));
}

void TFormOProgramie::OKClick()
{
    Zamknij->trigger();
}

void TFormOProgramie::ZamknijExecute()
{
    close();
}
