#include "Access.h"

#include "FormLogowanie.h"
#include "store/DataModule.h"
#include "ui/DialogLook.h"

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

bool CheckAccessPassword(TDM &dm)
{
    return CheckAccessPassword(dm, dm.ReadAccessPassword());
}

bool CheckAccessPassword(TDM &dm, const StoredPassword &stored)
{
    if (stored.failed) {
        dm.ReportFailure(QStringLiteral("Nie można sprawdzić czy dostęp do programu jest strzeżony hasłem!"),
                         QStringLiteral("DM"), stored.error);
    }
    if (!stored.protects()) {
        dm.AccessGranted = true;
        return true;
    }
    dm.AccessGranted = false;
    TFormLogowanie login(dm);
    DialogLook::execModal(login);
    return dm.AccessGranted;
}

namespace Access {

QLineEdit *passwordField(QWidget *dialog, int left, int top)
{
    auto *field = new QLineEdit(dialog);
    field->setGeometry(left, top, 121, 21);
    field->setMaxLength(MaxPasswordLength);
    field->setEchoMode(QLineEdit::Password);
    // The desktop's style would pick a bullet.
    field->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    return field;
}

namespace {
QPushButton *button(QWidget *dialog, const QString &caption, QStyle::StandardPixmap picture, int left, int top)
{
    auto *push = new QPushButton(dialog->style()->standardIcon(picture), caption, dialog);
    push->setGeometry(left, top, 72, 24);
    return push;
}
} // namespace

QPushButton *okButton(QWidget *dialog, int left, int top)
{
    QPushButton *ok = button(dialog, QStringLiteral("&OK"), QStyle::SP_DialogOkButton, left, top);
    ok->setDefault(true);
    return ok;
}

QPushButton *cancelButton(QWidget *dialog, int left, int top)
{
    return button(dialog, QStringLiteral("&Cancel"), QStyle::SP_DialogCancelButton, left, top);
}

QFrame *bevel(QWidget *dialog, int left, int top)
{
    // Only the top edge of the 227 x 6 area carries the line.
    auto *line = new QFrame(dialog);
    line->setObjectName(QStringLiteral("Bevel1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(left, top, 227, 2);
    return line;
}

} // namespace Access
