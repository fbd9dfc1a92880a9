#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The program's one kind of message: a plain box with an OK button, titled
// with the application's name. Tests switch it to recording instead of
// showing, so a modal box never blocks them.
namespace MessageBox {

void information(QWidget *parent, const QString &text);

// Test hook: while recording, boxes are not shown; their texts are kept.
void setRecording(bool recording);
QStringList takeRecorded();

} // namespace MessageBox
