#pragma once

#include <QColor>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QSize>

class QAction;
class QDialog;
class QKeySequence;
class QLabel;
class QString;
class QWidget;

// The look the program's small dialogs share, so they all match the main
// window whatever the desktop's theme and text size.
namespace DialogLook {

inline const QColor Cream {255, 251, 240};

// Makes the free Tahoma that Debian ships outside fontconfig's folders known
// to the program; the first call does the work. The dates are measured in
// Tahoma, and the wide fallback would cut them.
void loadFonts();
// Cream background and an 11-pixel Tahoma font that the desktop does not scale.
void apply(QWidget *dialog);
// A window the user cannot resize.
void fixSize(QWidget *dialog, QSize size);
// Puts the dialog, at its present size, in the middle of the primary screen's
// work area. Call once its size is settled.
void centre(QWidget *dialog);
// A caption label in the bold face of the window's font.
QLabel *boldLabel(const QString &text, QWidget *parent);
// One of the program's PNG pictures from its resources. The format is named,
// so no image plugin is loaded to guess it.
QPixmap picture(const QString &resource);
QIcon pictureIcon(const QString &resource);
// The note picture, the program's own (tray and windows), made without
// decoding a file.
QIcon programIcon();
// An action whose keys work anywhere in the window, whichever control has the focus.
QAction *keyAction(QWidget *window, const QList<QKeySequence> &keys);
// Asks the desktop to show no taskbar entry for a window. Only a native window
// that is not mapped yet takes it: Qt keeps it when it maps the window.
void keepOffTaskbar(QWidget *window);
// How every dialog and message box of the program is run: modally to the
// window it came from (its parent's window) only, so the tray icon's window
// and menu keep answering; with the program's icon and no taskbar entry; and
// the keyboard focus goes back to that window when it closes, rather than to
// whatever the window manager picks. A dialog without a parent (before any
// window of the program exists) is modal to the program and keeps its taskbar
// entry, the only way back to it.
int execModal(QDialog &dialog);

} // namespace DialogLook
