#pragma once

#include <QWidget>

class QToolButton;

// The pair of arrows beside the cutting-speed value. It holds no position of its own: each click
// reports the step it proposes, in the direction of the platform's default up-down range (whose
// maximum lies below its minimum), so the up arrow proposes -1 and the down arrow +1.
class CUpDownArrows : public QWidget
{
    Q_OBJECT

public:
    explicit CUpDownArrows(QWidget* parent = nullptr);

    QToolButton* GetUpButton() const { return m_up; }
    QToolButton* GetDownButton() const { return m_down; }

signals:
    void PositionChanging(int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_up;
    QToolButton* m_down;
};
