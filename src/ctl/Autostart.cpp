#include "Autostart.h"

#include "store/DataLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace Autostart {

QString entryPath()
{
    const QString xdg = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    const QString config = !xdg.isEmpty() && QDir::isAbsolutePath(xdg) ? QDir::cleanPath(xdg)
                                                                       : QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/penwick.desktop");
}

QString execValue(const QString &program)
{
    // The desktop entry rules: an argument with a reserved character is
    // quoted, with \ " ` $ escaped inside; % is doubled; and the value as a
    // whole is a string, whose own escape is the backslash.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString argument = QString(program).replace(QLatin1Char('%'), QLatin1String("%%"));
    if (std::any_of(argument.cbegin(), argument.cend(), [](QChar c) { return reserved.contains(c); })) {
        QString quoted;
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return argument.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}

QString switchOn(const QString &executableDir)
{
    const QString program = executableDir + QStringLiteral("/penwick");
    if (!QFileInfo(program).isExecutable())
        return QStringLiteral("there is no program %1 beside penwickctl").arg(program);
    if (program.contains(QLatin1Char('\n')) || program.contains(QLatin1Char('\r')))
        return QStringLiteral("a desktop entry cannot name %1").arg(program);
    const QString source = DataLocation::sharedFile(executableDir, QStringLiteral("applications/penwick.desktop"));
    QFile desktop(source);
    if (source.isEmpty() || !desktop.open(QIODevice::ReadOnly))
        return QStringLiteral("the program's desktop file, share/applications/penwick.desktop, is not beside it");
    QByteArray entry;
    bool inMain = false;
    const QByteArray exec = "Exec=" + execValue(program).toUtf8();
    for (const QByteArray &line : desktop.readAll().split('\n')) {
        if (line.startsWith('['))
            inMain = line.trimmed() == "[Desktop Entry]";
        // The desktop file names the program as installed; this entry names
        // the program beside this command, wherever that is.
        if (inMain && (line.startsWith("Exec=") || line.startsWith("TryExec=")))
            continue;
        entry += line + '\n';
        if (line.trimmed() == "[Desktop Entry]")
            entry += exec + "\nX-GNOME-Autostart-enabled=true\n";
    }
    const QString path = entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("cannot make the folder %1").arg(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry.trimmed() + '\n') < 0 || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return {};
}

QString switchOff()
{
    QFile entry(entryPath());
    if (!entry.exists() || entry.remove())
        return {};
    return QStringLiteral("cannot remove %1: %2").arg(entry.fileName(), entry.errorString());
}

} // namespace Autostart
