#include "Characters.h"

namespace Characters {

int count(QStringView text)
{
    int pairs = 0;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i].isLowSurrogate() && text[i - 1].isHighSurrogate()) {
            ++pairs;
            ++i;
        }
    }
    return int(text.size()) - pairs;
}

qsizetype before(QStringView text, qsizetype pos)
{
    if (pos <= 0)
        return 0;
    if (pos >= 2 && text[pos - 1].isLowSurrogate() && text[pos - 2].isHighSurrogate())
        return pos - 2;
    return pos - 1;
}

QString left(const QString &text, int n)
{
    qsizetype end = 0;
    for (int taken = 0; taken < n && end < text.size(); ++taken)
        end += (end + 1 < text.size() && text[end].isHighSurrogate() && text[end + 1].isLowSurrogate()) ? 2 : 1;
    return text.left(end);
}

} // namespace Characters
