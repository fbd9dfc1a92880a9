#include "RightClickFilter.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QWidget>

RightClickFilter::RightClickFilter(QWidget *browser, QObject *parent)
    : QObject(parent)
    , m_browser(browser)
{
    qApp->installEventFilter(this);
}

bool RightClickFilter::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::RightButton && insideBrowser(watched))
            return true;
        break;
    case QEvent::ContextMenu:
        // The menu request that the window makes from the same press.
        if (static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Mouse && insideBrowser(watched))
            return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool RightClickFilter::insideBrowser(QObject *watched) const
{
    if (!m_browser || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    return widget == m_browser || m_browser->isAncestorOf(widget);
}
