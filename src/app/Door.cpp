#include "Door.h"

#include "FormMain.h"
#include "store/AppId.h"
#include "store/DataModule.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTimer>

Door::Door(TFormMain &form)
    : QObject(&form)
    , m_form(form)
{
}

bool Door::open()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // The object first: a call that comes as soon as the name is ours finds it.
    if (!bus.registerObject(AppId::objectPath(), AppId::busName(), this, QDBusConnection::ExportScriptableSlots))
        return false;
    if (bus.registerService(AppId::busName()))
        return true;
    bus.unregisterObject(AppId::objectPath());
    return false;
}

template<class Command> void Door::later(Command command)
{
    QTimer::singleShot(0, this, [this, command] {
        // A second editor over an open one would pause the checker twice and
        // resume it while the first is still open.
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            m_form.ShowMainWindow();
            dialog->activateWindow();
            return;
        }
        command();
    });
}

void Door::Show()
{
    later([this] {
        // Asked for from the keyboard: the window takes the focus, as after a tray click.
        if (m_form.ShowMainWindow())
            m_form.activateWindow();
    });
}

void Door::Toggle()
{
    later([this] { m_form.TrayIconClick(); });
}

void Door::NewNote()
{
    later([this] { m_form.NewNote(); });
}

void Door::OpenNote(int id)
{
    try {
        if (!m_form.DM.readNote(id)) {
            if (calledFromDBus())
                sendErrorReply(AppId::noSuchNoteError(), QStringLiteral("there is no note %1").arg(id));
            return;
        }
    } catch (const Firebird::Error &error) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::Failed, error.message());
        return;
    }
    later([this, id] { m_form.showAlarmNote(id); });
}
