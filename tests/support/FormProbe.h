#pragma once

#include "app/FormMain.h"
#include "app/NoteListModel.h"

#include <QVector>

// A main window under test: built at once, no background threads, and the
// end of the program is recorded nowhere instead of ending the test.
inline FormMainOptions quietFormOptions()
{
    FormMainOptions options;
    options.buildWindow = true;
    options.startThreads = false;
    options.quit = [] {};
    // Tests never call home.
    options.online.ServiceBaseUrl.clear();
    return options;
}

// The state pictures of the list's rows, top to bottom.
inline QVector<int> listPictures(const TFormMain &form)
{
    QVector<int> pictures;
    for (int i = 0; i < form.ListModel->count(); ++i)
        pictures << form.ListModel->row(i).picture;
    return pictures;
}
