#pragma once

#include <QWebEnginePage>

// The publicity browser's page: reports every navigation before it starts
// (the page's own, each link followed and each frame's document) and keeps
// links that ask for a new window inside this one.
class TPublicityPage final : public QWebEnginePage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TPublicityPage)

public:
    explicit TPublicityPage(QWebEngineProfile *profile, QObject *parent = nullptr);

Q_SIGNALS:
    void navigationStarting(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
};
