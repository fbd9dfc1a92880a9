#pragma once

#include <QString>

class QLineEdit;
class QPlainTextEdit;

// Keeps out of a field what `clean` takes out of its text, the moment it
// enters (typed, pasted, dropped), with the caret where it was: the field
// always shows the text that will be stored.
namespace TextEntry {

using Clean = QString (*)(const QString &);

void keepClean(QLineEdit *field, Clean clean);
void keepClean(QPlainTextEdit *field, Clean clean);

} // namespace TextEntry
