#include "Note.h"

#include "Characters.h"

namespace NoteText {

QString toStored(const QString &editorText)
{
    QString plain = fromStored(editorText);
    return plain.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

QString fromStored(const QString &storedText)
{
    QString text = storedText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

int storedLength(const QString &editorText)
{
    return Characters::count(editorText) + int(editorText.count(QLatin1Char('\n')));
}

} // namespace NoteText
