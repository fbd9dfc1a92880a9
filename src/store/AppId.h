#pragma once

#include <QString>

// The program's application id (its AppStream id): the first running copy
// answers under it on the session bus, where penwickctl and desktop
// shortcuts reach it.
namespace AppId {

inline QString busName()
{
    return QStringLiteral(PENWICK_APP_ID);
}

inline QString objectPath()
{
    return QLatin1Char('/') + busName().replace(QLatin1Char('.'), QLatin1Char('/'));
}

// The error a call about a note that is not there answers with.
inline QString noSuchNoteError()
{
    return busName() + QStringLiteral(".Error.NoSuchNote");
}

} // namespace AppId
