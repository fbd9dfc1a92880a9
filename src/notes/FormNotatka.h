#pragma once

#include <QDialog>

class QLabel;
class TDM;
class TFormMain;

// Placeholder until the editor lands.
class TFormNotatka final : public QDialog
{
    Q_OBJECT

public:
    TFormNotatka(TDM &dm, TFormMain &main, QWidget *parent = nullptr);

    bool LoadNote(int id);

    int NoteId = -1;
    QLabel *StatusFormatki = nullptr;

private:
    TDM &m_dm;
    TFormMain &m_main;
};
