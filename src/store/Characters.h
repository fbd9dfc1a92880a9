#pragma once

#include <QString>
#include <QStringView>

// Texts measured as the database measures them: in characters (code points).
// QString holds a character beyond the Basic Multilingual Plane as two UTF-16
// units, which its size() counts twice.
namespace Characters {

int count(QStringView text);
// Where the character that ends at `pos` starts; a surrogate pair is one.
qsizetype before(QStringView text, qsizetype pos);
// The first `n` characters of text, never half of a pair.
QString left(const QString &text, int n);

} // namespace Characters
