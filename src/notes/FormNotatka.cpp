#include "FormNotatka.h"

#include <QLabel>

TFormNotatka::TFormNotatka(TDM &dm, TFormMain &main, QWidget *parent)
    : QDialog(parent)
    , StatusFormatki(new QLabel(this))
    , m_dm(dm)
    , m_main(main)
{
}

bool TFormNotatka::LoadNote(int id)
{
    NoteId = id;
    return true;
}
