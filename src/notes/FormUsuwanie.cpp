#include "FormUsuwanie.h"

#include "store/DataModule.h"
#include "ui/DialogLook.h"
#include "ui/NoteListHost.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The red rounded panel behind the question.
class RoundedShape final : public QWidget
{
public:
    explicit RoundedShape(QWidget *parent)
        : QWidget(parent)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(128, 0, 0), 1));
        painter.setBrush(Qt::red);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

} // namespace

TFormUsuwanie::TFormUsuwanie(TDM &dm, NoteListHost &main, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_main(main)
{
    setObjectName(QStringLiteral("FormUsuwanie"));
    setWindowTitle(QStringLiteral("Penwick - Delete"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    DialogLook::apply(this);

    Shape1 = new RoundedShape(this);
    Label1 = new QLabel(QStringLiteral("Are you sure you want to delete?"), Shape1);
    Label1->setAlignment(Qt::AlignCenter);
    QPalette white = Label1->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(white);
    auto *shapeLayout = new QVBoxLayout(Shape1);
    shapeLayout->setContentsMargins(10, 10, 10, 10);
    shapeLayout->addWidget(Label1);

    TAK = new QPushButton(QStringLiteral("&Yes"), this);
    NIE = new QPushButton(QStringLiteral("&No"), this);
    TAK->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);
    layout->addWidget(Shape1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(TAK);
    buttons->addWidget(NIE);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    setTabOrder(TAK, NIE);
    TAK->setFocus();

    Zamknij = DialogLook::keyAction(this, {QKeySequence(Qt::Key_Escape)});
    // The action takes Enter before the focused button sees it, so the one
    // place that decides what Enter means is ZatwierdzExecute.
    Zatwierdz = DialogLook::keyAction(this, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});

    connect(Zamknij, &QAction::triggered, this, &TFormUsuwanie::ZamknijExecute);
    connect(Zatwierdz, &QAction::triggered, this, &TFormUsuwanie::ZatwierdzExecute);
    connect(TAK, &QPushButton::clicked, this, &TFormUsuwanie::TAKClick);
    connect(NIE, &QPushButton::clicked, this, &TFormUsuwanie::NIEClick);

    DialogLook::fixSize(this, QSize(280, 120));
    DialogLook::centre(this);
}

void TFormUsuwanie::TAKClick()
{
    Zatwierdz->trigger();
}

void TFormUsuwanie::NIEClick()
{
    Zamknij->trigger();
}

void TFormUsuwanie::ZamknijExecute()
{
    close();
}

void TFormUsuwanie::ZatwierdzExecute()
{
    // Enter while No has the focus cancels. The dialog's own focus widget is
    // asked, not the application's, so the answer holds while it is inactive.
    if (focusWidget() == NIE) {
        ZamknijExecute();
        return;
    }
    m_main.setSelectedNoteId(TDM::PickNeighbourNote(m_main.listIds(), m_main.selectedNoteId()));
    DeleteNote(DeleteNoteId);
    m_main.FillNoteList(m_main.selectedNoteId());
    accept();
}

void TFormUsuwanie::DeleteNote(int id)
{
    try {
        m_dm.deleteNote(id);
    } catch (const Firebird::Error &error) {
        m_dm.ReportFailure(QStringLiteral("Can't delete note!"), QStringLiteral("FormUsuwanie"), error.message());
    }
}
