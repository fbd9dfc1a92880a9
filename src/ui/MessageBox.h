#pragma once

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

// Test hook: while recording, boxes are not shown; their texts are kept.
void setRecording(bool recording);
QStringList takeRecorded();

} // namespace MessageBox
