#include "TextViewCtrl.h"

#include "StringIds.h"
#include "StringTable.h"
#include "TextLines.h"
#include "TextViewGeometry.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

using namespace TextViewGeometry;

namespace {

// The scroll bar counts in int; a text of more lines than that scrolls over its first ones.
int ClampToInt(int64_t value)
{
    return int(std::clamp<int64_t>(value, 0, INT_MAX));
}

} // namespace

CTextViewCtrl::CTextViewCtrl(QWidget* parent)
    : QAbstractScrollArea(parent), m_font(QStringLiteral("MS UI Gothic"), 9)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    viewport()->setAutoFillBackground(true);
    QPalette colours = viewport()->palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    viewport()->setPalette(colours);
    MeasureFont();
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
    UpdateScrollBar();
}

void CTextViewCtrl::MeasureFont()
{
    const QFontMetrics metrics(m_font);
    m_charWidth = std::max(1, metrics.averageCharWidth());
    m_lineHeight = std::max(1, metrics.height());
}

void CTextViewCtrl::SetFile(const CTextLines* lines)
{
    if (lines)
        m_digits = DigitCount(lines->LineCount());
    m_highlightLine = -1;
    m_file = lines;
    UpdateScrollBar();
    viewport()->update();
}

void CTextViewCtrl::ShowLineNumbers(bool on)
{
    if (on == m_showLineNumbers)
        return;
    m_showLineNumbers = on;
    viewport()->update();
}

void CTextViewCtrl::SetScrollPastEnd(bool on)
{
    if (on == m_scrollPastEnd)
        return;
    m_scrollPastEnd = on;
    UpdateScrollBar();
    viewport()->update();
}

void CTextViewCtrl::SetHighlightLine(int64_t line)
{
    m_highlightLine = line;
    ScrollToLine(line);
    viewport()->update();
}

void CTextViewCtrl::ScrollToLine(int64_t line)
{
    if (line >= 0)
        verticalScrollBar()->setValue(
            ClampToInt(CentredPosition(line, viewport()->height(), m_lineHeight)));
}

int64_t CTextViewCtrl::GetFirstLine() const
{
    return verticalScrollBar()->value();
}

void CTextViewCtrl::UpdateScrollBar()
{
    const int64_t count = m_file ? m_file->LineCount() : 0;
    const ScrollRange range =
        ScrollRangeFor(count, viewport()->height(), m_lineHeight, m_scrollPastEnd);
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, ClampToInt(range.maximum));
    bar->setPageStep(std::max(1, ClampToInt(range.page)));
    bar->setSingleStep(1);
    m_columns = viewport()->width() / m_charWidth;
}

void CTextViewCtrl::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
}

void CTextViewCtrl::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void CTextViewCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

int CTextViewCtrl::TextX() const
{
    return m_showLineNumbers ? Margin + m_digits * m_charWidth + 2 + 5 : Margin;
}

void CTextViewCtrl::paintEvent(QPaintEvent*)
{
    const int64_t count = m_file ? m_file->LineCount() : 0;
    if (count == 0)
        return;
    QPainter painter(viewport());
    painter.setFont(m_font);
    const int width = viewport()->width();
    const int height = viewport()->height();
    const int64_t first = GetFirstLine();
    const int64_t rows = std::min(VisibleRows(height, m_lineHeight), count - first);
    const QColor grey = palette().color(QPalette::Disabled, QPalette::WindowText);
    const int ascent = QFontMetrics(m_font).ascent();

    if (m_showLineNumbers) {
        const int numberRight = Margin + m_digits * m_charWidth;
        painter.setPen(grey);
        for (int64_t row = 0; row < rows; ++row)
            painter.drawText(
                QRect(Margin, int(Margin + row * m_lineHeight), numberRight - Margin, m_lineHeight),
                Qt::AlignRight | Qt::AlignTop,
                QString::number(first + row + 1).rightJustified(m_digits));
        painter.drawLine(numberRight + 2, 0, numberRight + 2, height);
    }

    const int textX = TextX();
    painter.setPen(Qt::black);
    for (int64_t row = 0; row < rows; ++row) {
        // Decoding stops well past the column limit, so a very long line costs no more.
        std::string_view text = WithoutTerminator(m_file->LineText(first + row));
        text = text.substr(0, size_t(m_columns) * 4);
        const QString shown = QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
        painter.drawText(textX, int(Margin + row * m_lineHeight) + ascent, shown.left(m_columns));
    }

    if (m_highlightLine >= 0) {
        const int64_t y = RowY(m_highlightLine, first, m_lineHeight);
        if (y >= 0 && y < height) {
            // Blue OR the inverted screen: white turns blue, black text turns white.
            painter.setCompositionMode(QPainter::RasterOp_SourceOrNotDestination);
            painter.fillRect(
                QRect(QPoint(textX - 1, int(y) - 1), QPoint(width, int(y) + m_lineHeight + 1)),
                Qt::blue);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
    }

    const int64_t endY = EndMarkY(count, first, m_lineHeight);
    if (endY > 0 && endY < height) {
        painter.setPen(grey);
        painter.drawLine(0, int(endY), width, int(endY));
    }

    // A text changed under its holder is marked in red at the top right, over the text.
    if (m_file->Changed()) {
        const QString notice = LoadString(Str::ChangedSuffix).trimmed();
        const int noticeWidth = QFontMetrics(m_font).horizontalAdvance(notice) + 2 * Margin;
        const QRect box(width - noticeWidth, 0, noticeWidth, m_lineHeight + Margin);
        painter.fillRect(box, Qt::white);
        painter.setPen(Qt::red);
        painter.drawText(box, Qt::AlignCenter, notice);
    }
}
