#pragma once

#include "store/Note.h"

#include <QDialog>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimeEdit;
class TDM;
class NoteListHost;
namespace Firebird {
class Error;
}

// The note editor: creates a note or shows and changes an existing one,
// with its one-time alarm. The opener sets NoteId and StatusFormatki, loads
// an existing note and runs it modally.
class TFormNotatka final : public QDialog
{
    Q_OBJECT

public:
    TFormNotatka(TDM &dm, NoteListHost &main, QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFormNotatka)

    bool LoadNote(int id);
    QString DefaultTitle();
    void UpdateCharactersLeft();

    void OKClick();
    void AnulujClick();
    void ZamknijExecute();
    void cAlarmClick();
    void cbAlarmChange();
    bool ValidateAlarm();

    int NoteId = -1;
    bool AlarmChanged = false;

    QLabel *LabelTytul = nullptr;
    QLineEdit *Tytul = nullptr;
    QLabel *pAlarm = nullptr;
    QCheckBox *cAlarm = nullptr;
    QDateEdit *dtDate = nullptr;
    QTimeEdit *dtTime = nullptr;
    QLabel *LabelTresc = nullptr;
    QPlainTextEdit *Tresc = nullptr;
    QPushButton *OK = nullptr;
    QPushButton *Anuluj = nullptr;
    QComboBox *cbAlarm = nullptr;
    QLabel *LBIloscZnakow = nullptr;
    QLabel *StatusFormatki = nullptr;
    QAction *Zamknij = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWidgets();
    void FormCreate();
    void FormShow();
    void FormClose(QCloseEvent *event);
    void TrescChange();
    void keepBodyWithinLimit();
    void SaveNewNote();
    int InsertNote(const QString &title, const QString &body);
    void SaveNoteChanges();
    bool UpdateNoteText(int id, const QString &title, const QString &body);
    // After the note was changed or deleted elsewhere: the typed text and
    // alarm become a note of their own.
    void SaveAsNewNote();
    // False when a write failed; the user has been told.
    bool ApplyAlarmOnSave(int id);
    // The body exactly as typed, with plain line breaks.
    QString bodyText() const;
    void saveFailed(const QString &message, const Firebird::Error &error);

    TDM &m_dm;
    NoteListHost &m_main;
    // The note as LoadNote read it: a save stores over exactly this.
    Note m_loaded;
    // Where the body's last change happened, so an over-long insertion is
    // cut back where it was made.
    int m_changeFrom = 0;
    int m_changeAdded = 0;
    bool m_filling = false;
    bool m_trimming = false;
};
