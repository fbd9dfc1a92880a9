#pragma once

#include <QDialog>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TDM;

// Sets, changes or removes the access password that the next start asks
// for. The running program is not affected.
class TFormHaslo final : public QDialog
{
    Q_OBJECT

public:
    explicit TFormHaslo(TDM &dm, QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFormHaslo)

    void LoadPassword();
    bool ValidatePassword();
    void SavePassword();

    void OKClick();
    void AnulujClick();
    void ZatwierdzExecute();
    void ZamknijExecute();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Haslo = nullptr;
    QLineEdit *Powtorka = nullptr;
    QFrame *Bevel1 = nullptr;
    QPushButton *OK = nullptr;
    QPushButton *Anuluj = nullptr;
    QAction *Zatwierdz = nullptr;
    QAction *Zamknij = nullptr;

private:
    void FormCreate();

    TDM &m_dm;
};
