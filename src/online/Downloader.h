#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Fetches one small file over HTTP into the program's private download folder
// without holding up the event loop. The file is written whole after a 2xx
// answer whose body arrived complete, or not at all.
class Downloader final : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 MaximumSize = 64 * 1024;
    static constexpr int DefaultTimeoutMs = 30000;

    explicit Downloader(QObject *parent = nullptr, int timeoutMs = DefaultTimeoutMs);
    ~Downloader() override;
    Q_DISABLE_COPY_MOVE(Downloader)

    // Replaces a fetch still running. `fileName` is a plain name in the folder.
    void start(const QUrl &url, const QString &fileName);
    // Drops a running fetch without a finished() signal.
    void cancel();
    bool isRunning() const;

    // The private folder, made on first use: under $XDG_RUNTIME_DIR, else under
    // the temporary folder. Empty when it cannot be made ours.
    static QString folder();
    // The path of `fileName` there; empty when there is no safe folder.
    static QString filePath(const QString &fileName);
    // Deletes the file (a link itself, never what it points to), ignoring errors.
    static void remove(const QString &fileName);

Q_SIGNALS:
    void finished(bool ok);

private:
    void readBody();
    void replyFinished();
    void end(bool ok);
    bool writeFile() const;

    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
    QTimer *m_deadline = nullptr;
    QString m_fileName;
    QByteArray m_body;
    bool m_refused = false;
    bool m_running = false;
};
