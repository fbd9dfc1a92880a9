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
