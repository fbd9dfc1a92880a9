#include "MessageBox.h"

#include "DialogLook.h"

#include <QMessageBox>
#include <QPushButton>

namespace {
bool recordingOn = false;
QStringList recorded;
QList<int> answers;
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

int choose(QWidget *parent, const QString &text, const QStringList &buttons)
{
    if (recordingOn) {
        recorded << text;
        return answers.isEmpty() ? -1 : answers.takeFirst();
    }
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, text, QMessageBox::NoButton, parent);
    QList<QAbstractButton *> pressable;
    for (const QString &caption : buttons)
        pressable << box.addButton(caption, QMessageBox::AcceptRole);
    // Esc and the close button keep the dialog that asked as it was.
    if (!pressable.isEmpty()) {
        box.setEscapeButton(pressable.constLast());
        box.setDefaultButton(qobject_cast<QPushButton *>(pressable.constLast()));
    }
    DialogLook::execModal(box);
    return int(pressable.indexOf(box.clickedButton()));
}

void setRecording(bool recording)
{
    recordingOn = recording;
    recorded.clear();
    answers.clear();
}

void setNextAnswers(const QList<int> &list)
{
    answers = list;
}

QStringList takeRecorded()
{
    QStringList texts;
    texts.swap(recorded);
    return texts;
}

} // namespace MessageBox
