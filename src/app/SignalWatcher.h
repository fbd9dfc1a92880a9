#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT into a Qt signal on the main thread, through
// a self-pipe: a signal handler may do nothing but write a byte.
class SignalWatcher final : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    // Takes the signals back: the database client chains a handler of its
    // own on its first attach, which would shut the engine down under us.
    void install();

Q_SIGNALS:
    void terminationRequested();

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
