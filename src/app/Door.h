#pragma once

#include <QDBusContext>
#include <QObject>

class TFormMain;

// The running program's door on the session bus, under the application id:
// what a desktop shortcut or penwickctl asks of the first copy. Each call
// answers at once and runs afterwards on the main thread, as the matching
// command does; while a dialog is open it brings up that dialog instead.
class Door final : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    explicit Door(TFormMain &form);

    // Takes the name; a second copy, which cannot, has no door.
    bool open();

public Q_SLOTS:
    Q_SCRIPTABLE void Show();
    Q_SCRIPTABLE void Toggle();
    Q_SCRIPTABLE void NewNote();
    Q_SCRIPTABLE void OpenNote(int id);

private:
    // Runs `command` once the call has been answered (a modal dialog it
    // opens would hold the answer back), unless a dialog is open.
    template<class Command> void later(Command command);

    TFormMain &m_form;
};
