#include "ColorLabel.h"

#include <QEvent>
#include <QPainter>

LabelTextPlacement PlaceLabelText(const QRect& client, int style)
{
    LabelTextPlacement placement{client, Qt::TextSingleLine};
    switch (style & LabelStyle::AlignMask) {
    case LabelStyle::Left:
        placement.rect.setLeft(client.left() + CColorLabel::Margin);
        placement.flags |= Qt::AlignLeft;
        break;
    case LabelStyle::Center:
        placement.flags |= Qt::AlignHCenter;
        break;
    case LabelStyle::Right:
        placement.rect.setRight(client.right() - CColorLabel::Margin);
        placement.flags |= Qt::AlignRight;
        break;
    default:
        placement.flags |= Qt::AlignLeft;
        break;
    }
    placement.flags |= (style & LabelStyle::CenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
    return placement;
}

CColorLabel::CColorLabel(QWidget* parent, const QString& caption, int style)
    : QWidget(parent), m_caption(caption), m_style(style)
{
}

void CColorLabel::SetTextColor(const QColor& colour, bool repaint)
{
    m_textColor = colour;
    if (repaint)
        update();
}

void CColorLabel::SetBackColor(const QColor& colour, bool repaint)
{
    m_backColor = colour;
    if (repaint)
        update();
}

void CColorLabel::SetBackBrush(std::optional<QBrush> brush, bool repaint)
{
    m_backBrush = std::move(brush);
    if (repaint)
        update();
}

void CColorLabel::SetText(const QString& text)
{
    if (text == m_text)
        return;
    // The seed must not come back at the next paint once a value was set.
    if (m_text.isEmpty())
        m_caption.clear();
    m_text = text;
    update();
}

void CColorLabel::SetStyle(int style)
{
    m_style = style;
    update();
}

void CColorLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        update();
}

void CColorLabel::paintEvent(QPaintEvent*)
{
    if (!m_caption.isEmpty()) {
        m_text = m_caption;
        m_caption.clear();
    }
    QPainter painter(this);
    const QRect client = rect();
    if (m_backBrush)
        painter.fillRect(client, *m_backBrush);
    else
        painter.fillRect(client, m_backColor);

    if (m_style & LabelStyle::Sunken) {
        const QPalette& colours = palette();
        painter.setPen(colours.color(QPalette::Dark));
        painter.drawLine(client.topLeft(), client.topRight());
        painter.drawLine(client.topLeft(), client.bottomLeft());
        painter.setPen(colours.color(QPalette::Light));
        painter.drawLine(client.bottomLeft(), client.bottomRight());
        painter.drawLine(client.topRight(), client.bottomRight());
    }

    const LabelTextPlacement placement = PlaceLabelText(client, m_style);
    painter.setFont(font());
    painter.setPen(isEnabled() ? m_textColor
                               : palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(placement.rect, placement.flags, m_text);
}
