#pragma once

#include <QDialog>

class QAction;
class QLabel;
class QPushButton;
class QWidget;
class TDM;
class NoteListHost;

// Asks before a note goes. On Yes it deletes the note DeleteNoteId, picks the
// neighbour to select and refills the main list in full.
class TFormUsuwanie final : public QDialog
{
    Q_OBJECT

public:
    TFormUsuwanie(TDM &dm, NoteListHost &main, QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFormUsuwanie)

    void TAKClick();
    void NIEClick();
    void ZamknijExecute();
    void ZatwierdzExecute();

    int DeleteNoteId = -1;

    QWidget *Shape1 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *TAK = nullptr;
    QPushButton *NIE = nullptr;
    QAction *Zamknij = nullptr;
    QAction *Zatwierdz = nullptr;

private:
    void DeleteNote(int id);

    TDM &m_dm;
    NoteListHost &m_main;
};
