#include "CharacterLimit.h"

#include "store/Characters.h"

#include <QLineEdit>

CharacterLimit::CharacterLimit(int maxCharacters, QObject *parent)
    : QValidator(parent)
    , m_max(maxCharacters)
{
}

QValidator::State CharacterLimit::validate(QString &input, int &pos) const
{
    int excess = Characters::count(input) - m_max;
    if (excess <= 0)
        return Acceptable;
    // The caret stands at the end of what was just inserted.
    qsizetype start = qBound(qsizetype(0), qsizetype(pos), input.size());
    const qsizetype end = start;
    while (excess > 0 && start > 0) {
        start = Characters::before(input, start);
        --excess;
    }
    if (excess > 0)
        return Invalid;
    input.remove(start, end - start);
    pos = int(start);
    return Acceptable;
}

void CharacterLimit::apply(QLineEdit *edit, int maxCharacters)
{
    // Each character takes at most two units: the edit's own cut never comes first.
    edit->setMaxLength(2 * maxCharacters);
    edit->setValidator(new CharacterLimit(maxCharacters, edit));
}
