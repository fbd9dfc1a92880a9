#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT into a Qt signal on the main thread, through
// a self-pipe: a signal handler may do nothing but write a byte.
class SignalWatcher final : public QObject
{
    Q_OBJECT

public:
    // Puts the program's handlers in place (again: the database client puts
    // its own there on its first attach, and one of them shuts the engine down).
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    // Blocks the three signals in the calling thread and in every thread it
    // starts afterwards, so that none reaches another handler meanwhile.
    static void holdSignals();
    // Lets the calling thread take the signals again; one that came while they
    // were held arrives now, here.
    void releaseSignals();

Q_SIGNALS:
    void terminationRequested();

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
