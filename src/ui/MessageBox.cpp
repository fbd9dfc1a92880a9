#include "MessageBox.h"

#include "DialogLook.h"

#include <QMessageBox>

namespace {
bool recordingOn = false;
QStringList recorded;
} // namespace

namespace MessageBox {

void information(QWidget *parent, const QString &text)
{
    if (recordingOn) {
        recorded << text;
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, text, QMessageBox::Ok, parent);
    DialogLook::execModal(box);
}

void setRecording(bool recording)
{
    recordingOn = recording;
    recorded.clear();
}

QStringList takeRecorded()
{
    QStringList texts;
    texts.swap(recorded);
    return texts;
}

} // namespace MessageBox
