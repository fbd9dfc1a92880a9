#include "FormUsuwanie.h"

TFormUsuwanie::TFormUsuwanie(TDM &dm, TFormMain &main, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_main(main)
{
}
