#pragma once

#include <QUrl>
#include <QWidget>

class QFrame;
class QPushButton;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;
class RightClickFilter;
class StatusCheck;
class TPublicityPage;

// The publicity window: the maker's page in a browser that closes the window
// as soon as an address it goes to does not answer with status 200.
class TReklama final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TReklama)

public:
    explicit TReklama(const QUrl &pageUrl, QWidget *parent = nullptr);
    ~TReklama() override;

    QWebEngineView *wbPublicityBig = nullptr;
    QFrame *Bevel1 = nullptr;
    QPushButton *bClose = nullptr;

    TPublicityPage *page() const
    {
        return m_page;
    }
    StatusCheck *statusCheck() const
    {
        return m_statusCheck;
    }

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void FormShow();
    void wbPublicityBigBeforeNavigate2(const QUrl &url);
    void wbPublicityBigDocumentComplete();
    void wbPublicityBigNavigateError();
    void bCloseClick();
    void StatusKnown(int status);

    QUrl m_pageUrl;
    QWebEngineProfile *m_profile = nullptr;
    TPublicityPage *m_page = nullptr;
    StatusCheck *m_statusCheck = nullptr;
    RightClickFilter *ApplicationEvents1 = nullptr;
    bool m_shownOnce = false;
};
