#include "UpDownArrows.h"

#include <QToolButton>

CUpDownArrows::CUpDownArrows(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this))
{
    m_up->setObjectName(QStringLiteral("up"));
    m_down->setObjectName(QStringLiteral("down"));
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_up, &QToolButton::clicked, this, [this] { emit PositionChanging(-1); });
    connect(m_down, &QToolButton::clicked, this, [this] { emit PositionChanging(1); });
}

void CUpDownArrows::resizeEvent(QResizeEvent*)
{
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}
