#pragma once

#include <QValidator>

class QLineEdit;

// Holds a one-line edit to a number of characters as the database counts
// them. QLineEdit's own maximum counts UTF-16 units, so an emoji would take
// two of a title's 50. What goes over is cut back where it was just typed or
// pasted, so a paste into the middle keeps its head and the text after it.
class CharacterLimit final : public QValidator
{
public:
    CharacterLimit(int maxCharacters, QObject *parent);

    State validate(QString &input, int &pos) const override;

    // Puts a limit of `maxCharacters` on `edit`.
    static void apply(QLineEdit *edit, int maxCharacters);

private:
    int m_max;
};
