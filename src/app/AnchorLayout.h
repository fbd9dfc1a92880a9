#pragma once

#include <QLayout>
#include <QList>
#include <QRect>
#include <QSize>

// Places each widget at a fixed rectangle of a design-time area and keeps its
// distance to the edges it is anchored to when the area changes size: a
// widget anchored left and right grows with the width, one anchored only to
// the bottom moves with it. A width or height of -1 takes the widget's own
// size hint.
class AnchorLayout final : public QLayout
{
public:
    AnchorLayout(QSize designSize, QWidget *parent);
    ~AnchorLayout() override;
    Q_DISABLE_COPY_MOVE(AnchorLayout)

    void addWidget(QWidget *widget, QRect designRect, Qt::Edges anchors);
    // Where a widget of designRect lies in an area of the given size.
    QRect place(QRect designRect, Qt::Edges anchors, QSize hint, QSize area) const;

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    struct Entry {
        QLayoutItem *item;
        QRect designRect;
        Qt::Edges anchors;
    };
    QSize m_designSize;
    QList<Entry> m_entries;
};
