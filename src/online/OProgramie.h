#pragma once

#include <QDialog>

class QAction;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class LinkLabel;

// The about dialog: a legend of the note list's pictures in which the running
// alarm blinks, a few lines about the program, and a link to its web site.
// "OK", Esc and Enter close it wherever the focus is.
class TFormOProgramie final : public QDialog
{
    Q_OBJECT

public:
    explicit TFormOProgramie(const QString &productSiteUrl, QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFormOProgramie)

    // Opens a new dialog modally over `opener`; it is gone when this returns.
    static void Execute(const QString &productSiteUrl, QWidget *opener);
    // What the dialog shows of the web site's address: its host.
    static QString siteHost(const QString &productSiteUrl);

    void Timer1Timer();
    void Label1Click();
    void OKClick();
    void ZamknijExecute();

    QWidget *Shape1 = nullptr;
    QWidget *ShapeRamkaNaLogo = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *I1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *I2 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *I3 = nullptr;
    QLabel *I33 = nullptr;
    QLabel *Label5 = nullptr;
    QPlainTextEdit *MemoInfo = nullptr;
    LinkLabel *Label1 = nullptr;
    QWidget *Bevel1 = nullptr;
    QPushButton *OK = nullptr;
    QAction *Zamknij = nullptr;
    QTimer *Timer1 = nullptr;

private:
    QString m_productSiteUrl;
};
