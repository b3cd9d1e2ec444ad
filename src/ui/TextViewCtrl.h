#pragma once

#include <QAbstractScrollArea>
#include <QFont>

#include <cstdint>

class CTextLines;

// A read-only view of a text held as lines (a cutting-data file): an optional line-number
// column, a vertical scroll bar that is always shown, one highlighted line drawn inverted, and
// a mark under the last line. It paints only the rows in view, so a text of a hundred million
// lines costs no more to show than one of ten. Clicks do nothing.
class CTextViewCtrl : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit CTextViewCtrl(QWidget* parent = nullptr);

    // Shows lines (not owned; nullptr shows nothing) and removes the highlight.
    void SetFile(const CTextLines* lines);
    const CTextLines* GetFile() const { return m_file; }
    void ShowLineNumbers(bool on);
    void SetScrollPastEnd(bool on);
    // Highlights line (-1: none) and scrolls it to the middle of the view.
    void SetHighlightLine(int64_t line);
    // Scrolls line to the middle of the view; the highlight stays where it is.
    void ScrollToLine(int64_t line);
    int64_t GetHighlightLine() const { return m_highlightLine; }

    int GetDigits() const { return m_digits; }
    int GetLineHeight() const { return m_lineHeight; }
    int64_t GetFirstLine() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void MeasureFont();
    void UpdateScrollBar();
    int TextX() const;

    QFont m_font;
    int m_charWidth = 1;
    int m_lineHeight = 1;
    int64_t m_highlightLine = -1;
    int m_digits = 4;
    bool m_showLineNumbers = true;
    bool m_scrollPastEnd = true;
    int m_columns = 0;
    const CTextLines* m_file = nullptr;
};
