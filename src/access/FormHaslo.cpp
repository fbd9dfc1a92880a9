#include "FormHaslo.h"

#include "Access.h"
#include "store/DataModule.h"
#include "ui/DialogLook.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
// Characters as the user counts them: a letter outside the basic plane is one.
int characterCount(const QString &text)
{
    return int(text.toUcs4().size());
}
} // namespace

TFormHaslo::TFormHaslo(TDM &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
{
    setObjectName(QStringLiteral("FormHaslo"));
    setWindowTitle(QStringLiteral("Penwick - Password"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    DialogLook::apply(this);

    Label1 = DialogLook::boldLabel(QStringLiteral("Password"), this);
    Label1->move(19, 27);
    Label2 = DialogLook::boldLabel(QStringLiteral("Repeat"), this);
    Label2->move(19, 54);
    Haslo = Access::passwordField(this, 81, 24);
    Powtorka = Access::passwordField(this, 81, 51);
    Label1->setBuddy(Haslo);
    Label2->setBuddy(Powtorka);
    Bevel1 = Access::bevel(this, 6, 100);
    OK = Access::okButton(this, 83, 107);
    Anuluj = Access::cancelButton(this, 160, 107);
    setTabOrder(Haslo, Powtorka);
    setTabOrder(Powtorka, OK);
    setTabOrder(OK, Anuluj);
    Haslo->setFocus();

    Zatwierdz = DialogLook::keyAction(this, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    Zamknij = DialogLook::keyAction(this, {QKeySequence(Qt::Key_Escape)});
    connect(Zatwierdz, &QAction::triggered, this, &TFormHaslo::ZatwierdzExecute);
    connect(Zamknij, &QAction::triggered, this, &TFormHaslo::ZamknijExecute);
    connect(OK, &QPushButton::clicked, this, &TFormHaslo::OKClick);
    connect(Anuluj, &QPushButton::clicked, this, &TFormHaslo::AnulujClick);

    DialogLook::fixSize(this, QSize(237, 136));
    DialogLook::centre(this);
    FormCreate();
}

void TFormHaslo::FormCreate()
{
    LoadPassword();
}

void TFormHaslo::LoadPassword()
{
    const StoredPassword stored = m_dm.ReadAccessPassword();
    if (stored.failed)
        m_dm.ReportFailure(QStringLiteral("Can't retrieve password!"), QStringLiteral("FormHaslo"), stored.error);
    const QString value = stored.value.value_or(QString());
    // One stored longer by another tool is shown whole, so that the length
    // rule refuses it rather than OK storing a shortened copy.
    for (QLineEdit *field : {Haslo, Powtorka}) {
        field->setMaxLength(qMax(int(Access::MaxPasswordLength), int(value.size())));
        field->setText(value);
    }
}

bool TFormHaslo::ValidatePassword()
{
    // Texts are taken as typed: blanks count and nothing is trimmed.
    const QString password = Haslo->text();
    const QString repeated = Powtorka->text();
    if (password.isEmpty() && repeated.isEmpty())
        return true;
    QLineEdit *fault = nullptr;
    QString message;
    if (password.isEmpty()) {
        fault = Haslo;
        message = QStringLiteral("Enter password!");
    } else if (characterCount(password) < 3 || characterCount(password) > Access::MaxPasswordLength) {
        fault = Haslo;
        message = QStringLiteral("Password must be from 3 to 20 characters length!");
    } else if (repeated.isEmpty()) {
        fault = Powtorka;
        message = QStringLiteral("Repeat password!");
    } else if (password != repeated) {
        fault = Powtorka;
        message = QStringLiteral("Repeated password is wrong!");
    } else {
        return true;
    }
    MessageBox::information(this, message);
    fault->setFocus();
    return false;
}

void TFormHaslo::SavePassword()
{
    if (!ValidatePassword())
        return;
    // An empty value removes the protection; the row stays. A failed store
    // is reported by the data module and the dialog closes all the same.
    m_dm.SetSetting(Access::passwordKey(), Haslo->text());
    accept();
}

void TFormHaslo::OKClick()
{
    Zatwierdz->trigger();
}

void TFormHaslo::AnulujClick()
{
    Zamknij->trigger();
}

void TFormHaslo::ZatwierdzExecute()
{
    // Enter on Cancel cancels. The dialog's own focus widget is asked, so the
    // answer holds while the dialog is inactive.
    if (focusWidget() == Anuluj) {
        ZamknijExecute();
        return;
    }
    SavePassword();
}

void TFormHaslo::ZamknijExecute()
{
    close();
}
