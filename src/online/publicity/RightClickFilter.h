#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// Application-wide: right-button presses and double-clicks aimed at the
// browser, or at anything inside it, are dropped before they are delivered,
// so the page never sees them and shows no context menu. Everything else,
// including the release of the right button, passes.
class RightClickFilter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RightClickFilter)

public:
    // Installs itself on the application until it is destroyed.
    RightClickFilter(QWidget *browser, QObject *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool insideBrowser(QObject *watched) const;

    QPointer<QWidget> m_browser;
};
