#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

// The program's one kind of message: a plain box with an OK button, titled
// with the application's title. Tests switch it to recording instead of
// showing, so a modal box never blocks them.
namespace MessageBox {

// Not Qt's application display name, which would be appended to the title
// of every other window.
inline const QString ApplicationTitle = QStringLiteral("Penwick");

void information(QWidget *parent, const QString &text);
// A box with a choice of `buttons`: the index of the one pressed. Esc and the
// close button press the last one, which should leave things as they are.
int choose(QWidget *parent, const QString &text, const QStringList &buttons);

// Test hook: while recording, boxes are not shown; their texts are kept.
void setRecording(bool recording);
QStringList takeRecorded();
// While recording: what the next boxes with a choice answer, in turn; -1 once
// they run out.
void setNextAnswers(const QList<int> &answers);

} // namespace MessageBox
