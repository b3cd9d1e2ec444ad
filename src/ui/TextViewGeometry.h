#pragma once

#include <cstdint>
#include <string_view>

// The geometry of the text view, as pure functions of the line count, the view's size and the
// font's line height, so that it is tested without a widget. Rows start 4 pixels below the top.
namespace TextViewGeometry {

constexpr int Margin = 4;
constexpr int MinDigits = 4;

// Width of the line-number column in digits: the number of powers of ten up to the line count,
// at least four.
constexpr int DigitCount(int64_t lineCount)
{
    int digits = 0;
    for (int64_t power = 1; power <= lineCount; power *= 10) {
        ++digits;
        if (power > INT64_MAX / 10)
            break;
    }
    return digits < MinDigits ? MinDigits : digits;
}

struct ScrollRange
{
    int64_t maximum; // the largest scroll position (the top line)
    int64_t page;    // lines in one page
};

// Without scrolling past the end the range ends when the last page is full; with it the last
// line can be scrolled to the top.
constexpr ScrollRange ScrollRangeFor(int64_t lineCount, int clientHeight, int lineHeight,
                                     bool scrollPastEnd)
{
    const int64_t page = lineHeight > 0 ? (clientHeight - 2 * Margin) / lineHeight : 0;
    const int64_t last = scrollPastEnd ? lineCount + page - 2 : lineCount - 1;
    const int64_t maximum = last - (page > 0 ? page : 1) + 1;
    return {maximum > 0 ? maximum : 0, page > 0 ? page : 0};
}

// The scroll position that puts line in the middle of the view.
constexpr int64_t CentredPosition(int64_t line, int clientHeight, int lineHeight)
{
    return line - (lineHeight > 0 ? clientHeight / lineHeight : 0) / 2;
}

// The top of the highlight's row, for a view scrolled to first.
constexpr int64_t RowY(int64_t line, int64_t first, int lineHeight)
{
    return (line - first) * lineHeight + Margin;
}

// The row of the end mark under the last line; drawn only strictly inside the view.
constexpr int64_t EndMarkY(int64_t lineCount, int64_t first, int lineHeight)
{
    return (lineCount - first) * lineHeight + Margin + 2;
}

// Rows that fit, from the top margin down to the bottom of the view (a partial last row too).
constexpr int64_t VisibleRows(int clientHeight, int lineHeight)
{
    if (lineHeight <= 0 || clientHeight <= Margin)
        return 0;
    return (clientHeight - Margin + lineHeight - 1) / lineHeight;
}

// A line's text without its terminator: one character when it ends with a line break, two when
// the one before is a line break too.
constexpr std::string_view WithoutTerminator(std::string_view line)
{
    const auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
    if (!line.empty() && isBreak(line.back())) {
        line.remove_suffix(1);
        if (!line.empty() && isBreak(line.back()))
            line.remove_suffix(1);
    }
    return line;
}

} // namespace TextViewGeometry
