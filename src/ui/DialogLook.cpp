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
#include <QScreen>
#include <QWidget>

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
    for (const char *face : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        if (QFile::exists(QLatin1String(face)))
            QFontDatabase::addApplicationFont(QLatin1String(face));
    }
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
    dialog.setWindowModality(dialog.parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    return dialog.exec();
}

} // namespace DialogLook
