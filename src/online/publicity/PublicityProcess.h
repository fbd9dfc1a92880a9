#pragma once

#include <QObject>
#include <QString>

class QProcess;

// The tray program's handle on the publicity window, which runs in a process
// of its own so that the tray program never loads the web engine. The window
// ends with its owner: when this object goes or end() is called, and also when
// the owning process dies without an orderly end.
class PublicityProcess final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PublicityProcess)

public:
    // programPath: the window's executable; by default defaultProgramPath().
    explicit PublicityProcess(QObject *parent = nullptr, const QString &programPath = QString());
    ~PublicityProcess() override;

    // The page address on the maker's web service.
    static QString pageUrl(const QString &serviceBaseUrl);
    // penwick-publicity where the running program finds it; empty when absent.
    static QString defaultProgramPath();
    // The same for a program in programFolder: beside it, else in
    // installedFolder() relative to it.
    static QString programFor(const QString &programFolder);
    // The libexec folder of an installed program, relative to its own folder.
    static QString installedFolder();

    // Opens the window on the page. Once per run: later calls do nothing and
    // answer false, whether or not the window is still open.
    bool start(const QString &url);
    // Closes the window's process: asked first, then forced.
    void end();

    bool running() const;
    qint64 processId() const;

Q_SIGNALS:
    void ended();

private:
    QString m_program;
    QProcess *m_process = nullptr;
    bool m_started = false;
};
