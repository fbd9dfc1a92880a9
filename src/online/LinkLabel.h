#pragma once

#include <QLabel>

// A label that acts on a left click, for the links and the close box.
class LinkLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(LinkLabel)

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};

// Puts a label where the window's design has it. The design's sizes fit the
// text in its intended face; a wider substitute face widens the label rather
// than cut the text.
void placeLabel(QLabel *label, const QRect &designed);
