#pragma once

#include <QBrush>
#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

#include <optional>

// Static-control styles of a colour label: the alignment in the low two bits, and flags.
namespace LabelStyle {
constexpr int Left = 0;
constexpr int Center = 1;
constexpr int Right = 2;
constexpr int AlignMask = 3;
constexpr int CenterImage = 0x200; // centre the line vertically
constexpr int Sunken = 0x1000;     // 3-D frame along the edges
} // namespace LabelStyle

// Where a label's text goes within its client rectangle, and with which alignment flags.
struct LabelTextPlacement
{
    QRect rect;
    int flags = 0;
};
LabelTextPlacement PlaceLabelText(const QRect& client, int style);

// A static text that paints itself with its own text and background colours: the panel's value
// read-outs. The caption it is created with is only a seed that the first paint takes over.
class CColorLabel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Margin = 4;

    explicit CColorLabel(QWidget* parent = nullptr, const QString& caption = {},
                         int style = LabelStyle::Left);

    void SetTextColor(const QColor& colour, bool repaint);
    void SetBackColor(const QColor& colour, bool repaint);
    // No brush: the background colour fills the label.
    void SetBackBrush(std::optional<QBrush> brush, bool repaint);
    void SetText(const QString& text);
    const QString& GetText() const { return m_text; }

    // The window's own caption, which the first paint moves into the text.
    void SetCaption(const QString& caption) { m_caption = caption; }
    const QString& GetCaption() const { return m_caption; }
    void SetStyle(int style);
    int GetStyle() const { return m_style; }

    QColor GetTextColor() const { return m_textColor; }
    QColor GetBackColor() const { return m_backColor; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QColor m_textColor{0, 0, 0};
    QColor m_backColor{255, 255, 255};
    std::optional<QBrush> m_backBrush;
    QString m_text;
    QString m_caption;
    int m_style;
};
