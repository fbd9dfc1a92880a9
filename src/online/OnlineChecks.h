#pragma once

#include "Downloader.h"

#include <QObject>
#include <QPointer>
#include <QString>

class PublicityProcess;
class QTimer;
class QWidget;
class TfUpdate;

// What the online checks need to know; tests shorten the waits.
struct OnlineOptions {
    // From the creation of the checks to their one run.
    int delayMs = 180000;
    int timeoutMs = Downloader::DefaultTimeoutMs;
    // Scheme and host of the maker's web service; empty switches the checks off.
    QString ServiceBaseUrl = builtServiceBaseUrl();
    QString ProductSiteUrl = builtProductSiteUrl();
    // The publicity window's program; empty: penwick-publicity where the
    // running program finds it. Missing, the publicity check asks nothing.
    QString publicityProgram;

    static QString builtServiceBaseUrl();
    static QString builtProductSiteUrl();
    // The defaults, with PENWICK_ONLINE_DELAY_MS (a number of milliseconds) and
    // PENWICK_SERVICE_BASE_URL (even when empty) taken from the environment.
    static OnlineOptions fromEnvironment();
};

// The once-per-run online checks of the main window: a one-shot timer, then
// the update check, which may show the notice, then the publicity check. Every
// failure is silent and nothing is tried twice in a run.
class OnlineChecks final : public QObject
{
    Q_OBJECT

public:
    // The notice is owned by `owner`; the timer starts counting now.
    explicit OnlineChecks(QWidget *owner, const OnlineOptions &options = OnlineOptions());
    ~OnlineChecks() override;
    Q_DISABLE_COPY_MOVE(OnlineChecks)

    static QString ownVersion();
    static const QString VersionFile;
    static const QString PublicityFile;
    // The first line of a text: up to the first line feed, without a carriage
    // return right before it; spaces stay.
    static QString firstLine(const QByteArray &text);

    void tUpdateAndPublicityTimer();
    void CheckNewVersion();
    // Runs once the update check has ended, whatever it found: a flag file
    // on the service opens the publicity window, whatever the file holds.
    // Without the window's program it ends at once and downloads nothing.
    void CheckPublicity();
    // For the orderly end: stops what still runs and deletes both downloaded
    // files, ignoring errors.
    void RemoveDownloadedFiles();
    // Closes the publicity window's process, if one was started.
    void EndPublicity();
    void ShowAbout();

    const OnlineOptions &options() const
    {
        return m_options;
    }

    QTimer *tUpdateAndPublicity = nullptr;
    QPointer<TfUpdate> fUpdate;
    // The publicity window's process, once the flag was found.
    PublicityProcess *Reklama = nullptr;

Q_SIGNALS:
    // The publicity check has ended: the last step of the run.
    void publicityChecked();

private:
    void versionDownloaded(bool ok);
    void flagDownloaded(bool ok);
    void showNotice();

    OnlineOptions m_options;
    QString m_publicityProgram;
    QWidget *m_owner;
    Downloader *m_download;
    Downloader *m_flagDownload;
    bool m_ticked = false;
    bool m_noticeShown = false;
    bool m_ended = false;
};
