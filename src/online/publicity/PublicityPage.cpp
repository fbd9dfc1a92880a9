#include "PublicityPage.h"

#include <QWebEngineNewWindowRequest>
#include <QWebEngineSettings>

TPublicityPage::TPublicityPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    // Every address the engine cannot show itself comes to
    // acceptNavigationRequest, also without a click, so the guard sees it.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
    // Not adopting the new window declines it; its address opens here instead.
    connect(this, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest &request) {
        if (request.requestedUrl().isValid())
            load(request.requestedUrl());
    });
}

bool TPublicityPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool)
{
    Q_EMIT navigationStarting(url);
    // The engine hands addresses it cannot show itself to the desktop, which
    // would open another program; the guard closes the window for them anyway.
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}
