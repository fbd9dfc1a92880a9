#pragma once

#include <QString>

class QFrame;
class QLineEdit;
class QPushButton;
class QWidget;
class TDM;
struct StoredPassword;

// Run once the connection has opened and before anything of the program is
// seen: when an access password is stored, asks for it with the login dialog.
// Sets dm.AccessGranted and answers it. No row, an empty value or a failed
// read grant access without asking.
bool CheckAccessPassword(TDM &dm);
// The same with the password read already (ReadAccessPassword), so that a
// start can read it on the thread that attached.
bool CheckAccessPassword(TDM &dm, const StoredPassword &stored);

// What the two password dialogs share.
namespace Access {

// The settings key of the access password.
inline QString passwordKey()
{
    return QStringLiteral("HasloDostepu");
}
constexpr int MaxPasswordLength = 20;

// A one-line edit at its place that takes up to 20 characters and shows each as "*".
QLineEdit *passwordField(QWidget *dialog, int left, int top);
// The "&OK" and "&Cancel" buttons with their pictures at their places.
QPushButton *okButton(QWidget *dialog, int left, int top);
QPushButton *cancelButton(QWidget *dialog, int left, int top);
// The separator line above the buttons.
QFrame *bevel(QWidget *dialog, int left, int top);

} // namespace Access
