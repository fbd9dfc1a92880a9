#pragma once

#include <QDialog>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TDM;

// The start-up login: asks for the access password until it is typed right
// or the dialog is left. Sets the data module's AccessGranted.
class TFormLogowanie final : public QDialog
{
    Q_OBJECT

public:
    explicit TFormLogowanie(TDM &dm, QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFormLogowanie)

    bool IsPasswordCorrect(const QString &typed);

    void OKClick();
    void AnulujClick();
    void ZatwierdzExecute();
    void ZamknijExecute();

    QLabel *Label1 = nullptr;
    QLineEdit *Haslo = nullptr;
    QFrame *Bevel1 = nullptr;
    QPushButton *OK = nullptr;
    QPushButton *Anuluj = nullptr;
    QAction *Zatwierdz = nullptr;
    QAction *Zamknij = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();

    TDM &m_dm;
};
