#include "FormLogowanie.h"

#include "Access.h"
#include "store/DataModule.h"
#include "ui/DialogLook.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

TFormLogowanie::TFormLogowanie(TDM &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
{
    setObjectName(QStringLiteral("FormLogowanie"));
    setWindowTitle(QStringLiteral("Penwick - Login"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    DialogLook::apply(this);

    Label1 = DialogLook::boldLabel(QStringLiteral("Password"), this);
    Label1->move(19, 29);
    Haslo = Access::passwordField(this, 81, 26);
    Label1->setBuddy(Haslo);
    Bevel1 = Access::bevel(this, 6, 78);
    OK = Access::okButton(this, 83, 85);
    Anuluj = Access::cancelButton(this, 160, 85);
    setTabOrder(OK, Anuluj);
    setTabOrder(Anuluj, Haslo);

    Zatwierdz = DialogLook::keyAction(this, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    Zamknij = DialogLook::keyAction(this, {QKeySequence(Qt::Key_Escape)});
    connect(Zatwierdz, &QAction::triggered, this, &TFormLogowanie::ZatwierdzExecute);
    connect(Zamknij, &QAction::triggered, this, &TFormLogowanie::ZamknijExecute);
    connect(OK, &QPushButton::clicked, this, &TFormLogowanie::OKClick);
    connect(Anuluj, &QPushButton::clicked, this, &TFormLogowanie::AnulujClick);

    DialogLook::fixSize(this, QSize(237, 114));
    DialogLook::centre(this);
}

void TFormLogowanie::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormLogowanie::FormShow()
{
    Haslo->setFocus();
}

void TFormLogowanie::OKClick()
{
    Zatwierdz->trigger();
}

void TFormLogowanie::AnulujClick()
{
    Zamknij->trigger();
}

void TFormLogowanie::ZamknijExecute()
{
    close();
}

bool TFormLogowanie::IsPasswordCorrect(const QString &typed)
{
    const StoredPassword stored = m_dm.ReadAccessPassword();
    if (stored.failed) {
        // The attempt may be the right password: it never goes into a diagnostic line.
        m_dm.ReportFailure(QStringLiteral("Can't check if password ") + QStringLiteral("***")
                               + QStringLiteral(" is correct!"),
                           QStringLiteral("FormLogowanie"), stored.error);
        return false;
    }
    return stored.value && *stored.value == typed;
}

void TFormLogowanie::ZatwierdzExecute()
{
    // Enter confirms wherever the focus is, on Cancel too. The text is taken
    // as typed: blanks and letter case count.
    if (IsPasswordCorrect(Haslo->text())) {
        m_dm.AccessGranted = true;
        accept();
        return;
    }
    m_dm.AccessGranted = false;
    MessageBox::information(this, QStringLiteral("Wrong password!"));
    Haslo->setFocus();
}
