#pragma once

#include <QDialog>

class TDM;
class TFormMain;

// Placeholder until the delete dialog lands.
class TFormUsuwanie final : public QDialog
{
    Q_OBJECT

public:
    TFormUsuwanie(TDM &dm, TFormMain &main, QWidget *parent = nullptr);

    int DeleteNoteId = -1;

private:
    TDM &m_dm;
    TFormMain &m_main;
};
