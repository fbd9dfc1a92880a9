#pragma once

#include <QWidget>

class QLabel;
class QTimer;
class LinkLabel;

// The notice of a new version: a small rounded pale-yellow card without a
// frame that fades in at the bottom-right corner of the free desktop and
// offers the product's web site. It destroys itself when it closes.
class TfUpdate final : public QWidget
{
    Q_OBJECT

public:
    explicit TfUpdate(const QString &productSiteUrl, QWidget *owner = nullptr);
    Q_DISABLE_COPY_MOVE(TfUpdate)

    // Where a notice of `size` goes: 5 pixels from the bottom-right corner of
    // the free area, which need not start at 0,0.
    static QPoint placeIn(const QRect &freeArea, const QSize &size);

    // The opacity on the 0..255 scale of the fade-in.
    int alpha() const
    {
        return m_alpha;
    }

    void Timer1Timer();
    void lbGetNewVersionClick();
    void Label2Click();

    QWidget *Shape1 = nullptr;
    QLabel *Label1 = nullptr;
    LinkLabel *lbGetNewVersion = nullptr;
    LinkLabel *Label2 = nullptr;
    QTimer *Timer1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setAlpha(int alpha);

    QString m_productSiteUrl;
    int m_alpha = 0;
};
