#pragma once

#include <QString>
#include <QVariantList>

// penwickctl window: calls the running program's door on the session bus.
namespace Window {

// Calls `method` of the first running copy; answers why it failed, in one
// line, or nothing once the copy has taken the call.
QString call(const QString &method, const QVariantList &arguments = {});

} // namespace Window
