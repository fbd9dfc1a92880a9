#include "TextEntry.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <vector>

namespace TextEntry {

void keepClean(QLineEdit *field, Clean clean)
{
    QObject::connect(field, &QLineEdit::textChanged, field, [field, clean](const QString &text) {
        const QString cleaned = clean(text);
        if (cleaned == text)
            return;
        const int caret = int(clean(text.left(field->cursorPosition())).size());
        field->setText(cleaned);
        field->setCursorPosition(caret);
    });
}

void keepClean(QPlainTextEdit *field, Clean clean)
{
    QObject::connect(field, &QPlainTextEdit::textChanged, field, [field, clean] {
        QTextDocument *document = field->document();
        // The raw text: its positions are the document's.
        const QString text = document->toRawText();
        const QString cleaned = clean(text);
        if (cleaned == text)
            return;
        // What was kept is a subsequence of the text; the rest goes.
        std::vector<int> dropped;
        for (qsizetype i = 0, j = 0; i < text.size(); ++i) {
            if (j < cleaned.size() && text.at(i) == cleaned.at(j))
                ++j;
            else
                dropped.push_back(int(i));
        }
        QTextCursor cursor(document);
        // One undo step with the insertion that brought them.
        cursor.joinPreviousEditBlock();
        for (auto it = dropped.rbegin(); it != dropped.rend(); ++it) {
            cursor.setPosition(*it);
            cursor.setPosition(*it + 1, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        cursor.endEditBlock();
    });
}

} // namespace TextEntry
