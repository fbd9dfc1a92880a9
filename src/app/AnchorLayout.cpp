#include "AnchorLayout.h"

#include <QWidget>
#include <QWidgetItem>

AnchorLayout::AnchorLayout(QSize designSize, QWidget *parent)
    : QLayout(parent)
    , m_designSize(designSize)
{
    setContentsMargins(0, 0, 0, 0);
}

AnchorLayout::~AnchorLayout()
{
    for (const Entry &entry : std::as_const(m_entries))
        delete entry.item;
}

void AnchorLayout::addWidget(QWidget *widget, QRect designRect, Qt::Edges anchors)
{
    addChildWidget(widget);
    m_entries.append({new QWidgetItem(widget), designRect, anchors});
    invalidate();
}

QRect AnchorLayout::place(QRect designRect, Qt::Edges anchors, QSize hint, QSize area) const
{
    const int width = designRect.width() < 0 ? hint.width() : designRect.width();
    const int height = designRect.height() < 0 ? hint.height() : designRect.height();
    const int rightGap = m_designSize.width() - designRect.x() - width;
    const int bottomGap = m_designSize.height() - designRect.y() - height;
    QRect placed(designRect.x(), designRect.y(), width, height);
    if (anchors.testFlag(Qt::RightEdge)) {
        if (anchors.testFlag(Qt::LeftEdge))
            placed.setWidth(area.width() - designRect.x() - rightGap);
        else
            placed.moveLeft(area.width() - rightGap - width);
    }
    if (anchors.testFlag(Qt::BottomEdge)) {
        // A control's own height may differ from the design's; the top keeps
        // its distance to the bottom edge.
        const int topFromBottom = m_designSize.height() - designRect.y();
        if (anchors.testFlag(Qt::TopEdge))
            placed.setHeight(area.height() - designRect.y() - bottomGap);
        else
            placed.moveTop(area.height() - topFromBottom);
    }
    placed.setWidth(qMax(0, placed.width()));
    placed.setHeight(qMax(0, placed.height()));
    return placed;
}

void AnchorLayout::addItem(QLayoutItem *item)
{
    m_entries.append({item, QRect(QPoint(0, 0), item->sizeHint()), Qt::LeftEdge | Qt::TopEdge});
}

QLayoutItem *AnchorLayout::itemAt(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries.at(index).item : nullptr;
}

QLayoutItem *AnchorLayout::takeAt(int index)
{
    if (index < 0 || index >= m_entries.size())
        return nullptr;
    return m_entries.takeAt(index).item;
}

int AnchorLayout::count() const
{
    return int(m_entries.size());
}

QSize AnchorLayout::sizeHint() const
{
    return m_designSize;
}

QSize AnchorLayout::minimumSize() const
{
    // The window's own minimum size bounds the area.
    return QSize(0, 0);
}

void AnchorLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    for (const Entry &entry : std::as_const(m_entries)) {
        const QRect placed = place(entry.designRect, entry.anchors, entry.item->sizeHint(), rect.size());
        entry.item->setGeometry(placed.translated(rect.topLeft()));
    }
}
