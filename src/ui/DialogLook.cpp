#include "DialogLook.h"

#include <QAction>
#include <QDialog>
#include <QKeySequence>
#include <QLabel>

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

// The pictures live in this static library; its resources must be registered
// before the first is read.
static void initResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace DialogLook {

void loadFonts()
{
    static bool loaded = false;
    if (loaded)
        return;
    loaded = true;
    // The regular face only: the bold one beside it (tahomabd.ttf) is bold in
    // its bitmaps alone, and Qt draws its outlines, which are as thin as the
    // regular face's. Without it Qt makes the bold from the regular outlines.
    const QString face = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (QFile::exists(face))
        QFontDatabase::addApplicationFont(face);
}

void apply(QWidget *dialog)
{
    loadFonts();
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    dialog->setFont(font);
    QPalette palette = dialog->palette();
    palette.setColor(QPalette::Window, Cream);
    dialog->setPalette(palette);
    dialog->setAutoFillBackground(true);
}

void fixSize(QWidget *dialog, QSize size)
{
    dialog->setFixedSize(size);
}

void centre(QWidget *dialog)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    dialog->move(area.x() + (area.width() - dialog->width()) / 2, area.y() + (area.height() - dialog->height()) / 2);
}

QLabel *boldLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

QPixmap picture(const QString &resource)
{
    static const bool registered = [] {
        initResources();
        return true;
    }();
    Q_UNUSED(registered)
    return QPixmap(resource, "PNG");
}

QIcon pictureIcon(const QString &resource)
{
    return QIcon(picture(resource));
}

QAction *keyAction(QWidget *window, const QList<QKeySequence> &keys)
{
    auto *action = new QAction(window);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    window->addAction(action);
    return action;
}

int execModal(QDialog &dialog)
{
    const QPointer<QWidget> opener = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    dialog.setWindowModality(opener ? Qt::WindowModal : Qt::ApplicationModal);
    dialog.setWindowIcon(programIcon());
    if (!opener)
        return dialog.exec();
    keepOffTaskbar(&dialog);
    dialog.createWinId();
    QWindow *window = dialog.windowHandle();
    // The focus moves to the opener while the dialog is still mapped (Qt
    // tells of the change before it unmaps the window): once it is gone, the
    // window manager gives the focus to a window of its choice, another
    // program's too, and Qt would not ask for it back, the hidden dialog still
    // being its focus window. Only a dialog that has the focus gives it back,
    // and not to a window hidden meanwhile (the tray icon's click).
    QObject::connect(window, &QWindow::visibleChanged, &dialog, [window, opener](bool visible) {
        if (!visible && opener && opener->isVisible() && !opener->isMinimized()
            && QGuiApplication::focusWindow() == window)
            opener->windowHandle()->requestActivate();
    });
    return dialog.exec();
}

} // namespace DialogLook
