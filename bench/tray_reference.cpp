// The floor for the start-up benchmark: the least a Qt program can do to put
// an icon in the tray. bench/startup.sh starts it between the program's own
// starts, so a slow or busy machine shows in both figures alike.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QPixmap picture(22, 22);
    picture.fill(Qt::yellow);
    const QIcon icon(picture);
    QSystemTrayIcon tray(icon);
    tray.show();
    return QApplication::exec();
}
