// The text view's geometry as pure functions, the view painting a highlighted line and its end
// mark, and the icon list's state pictures.

#include "IconListBox.h"
#include "TextLines.h"
#include "TextViewCtrl.h"
#include "TextViewGeometry.h"
#include "WidgetTestApp.h"

#include <QScrollBar>
#include <QTest>

#include <string>

using namespace TextViewGeometry;

namespace {

// count lines "L<n>\r\n".
class GeneratedLines : public CTextLines
{
public:
    explicit GeneratedLines(int64_t count) : m_count(count) {}
    int64_t LineCount() const override { return m_count; }
    bool Changed() const override { return changed; }
    bool changed = false;
    std::string_view LineText(int64_t index) const override
    {
        if (index < 0 || index >= m_count)
            return {};
        m_line = "L" + std::to_string(index) + "\r\n";
        return m_line;
    }

private:
    int64_t m_count;
    mutable std::string m_line;
};

TEST(TextViewGeometry, DigitColumnScrollRangeAndPositions)
{
    for (const auto& [count, digits] : {std::pair<int64_t, int>{0, 4},
                                        {10, 4},
                                        {9999, 4},
                                        {10000, 5},
                                        {12345, 5},
                                        {100'000'000, 9}})
        EXPECT_EQ(DigitCount(count), digits) << count;

    const int lineHeight = 15;
    const int twentyLines = 20 * lineHeight + 8;
    struct Row
    {
        int64_t count;
        bool pastEnd;
        int64_t maximum;
    };
    for (const Row& row : {Row{1000, false, 980}, Row{1000, true, 999}, Row{10, false, 0},
                           Row{10, true, 9}, Row{0, true, 0}}) {
        const ScrollRange range = ScrollRangeFor(row.count, twentyLines, lineHeight, row.pastEnd);
        EXPECT_EQ(range.page, 20);
        EXPECT_EQ(range.maximum, row.maximum) << row.count << " " << row.pastEnd;
    }

    EXPECT_EQ(CentredPosition(100, 20 * lineHeight, lineHeight), 90);
    EXPECT_EQ(RowY(100, 90, lineHeight), 10 * lineHeight + 4);
    EXPECT_EQ(EndMarkY(1000, 990, lineHeight), 10 * lineHeight + 6);

    for (const auto& [line, shown] :
         {std::pair<std::string_view, std::string_view>{"G0X1\r\n", "G0X1"},
          {"G1\n", "G1"},
          {"G2\r", "G2"},
          {"G3", "G3"},
          {"\n", ""}})
        EXPECT_EQ(WithoutTerminator(line), shown) << line;
}

TEST(TextView, HighlightIsCentredAndDrawnInvertedWithTheEndMarkUnderTheLastLine)
{
    CTextViewCtrl view;
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const int lineHeight = view.GetLineHeight();
    view.resize(view.width() - view.viewport()->width() + 300,
                view.height() - view.viewport()->height() + 20 * lineHeight + 8);
    QTRY_COMPARE(view.viewport()->height(), 20 * lineHeight + 8);

    GeneratedLines lines(12345);
    view.SetFile(&lines);
    EXPECT_EQ(view.GetDigits(), 5);
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 12344);
    view.SetScrollPastEnd(false);
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 12345 - 20);

    view.SetHighlightLine(100);
    EXPECT_EQ(view.GetFirstLine(), 90);
    const QImage shot = view.viewport()->grab().toImage();
    const int highlightY = 10 * lineHeight + 4 + lineHeight / 2;
    EXPECT_EQ(shot.pixelColor(shot.width() - 3, highlightY), QColor(Qt::blue));
    EXPECT_EQ(shot.pixelColor(shot.width() - 3, highlightY - lineHeight), QColor(Qt::white));

    // At the end: the last line's row, then the mark under it.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    const QImage end = view.viewport()->grab().toImage();
    const int markY = 20 * lineHeight + 6;
    EXPECT_NE(end.pixelColor(end.width() / 2, markY), QColor(Qt::white));
    EXPECT_EQ(end.pixelColor(end.width() / 2, markY + 1), QColor(Qt::white));
}

// A text changed under its holder (a file rewritten by another program) is marked in red at
// the view's top right, and only then.
TEST(TextView, ChangedTextIsMarkedAtTheTopRight)
{
    CTextViewCtrl view;
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    GeneratedLines lines(50);
    view.SetFile(&lines);
    const auto redInCorner = [&] {
        const QImage shot = view.viewport()->grab().toImage();
        int red = 0;
        for (int y = 0; y < view.GetLineHeight() + 4; ++y)
            for (int x = shot.width() - 120; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                red += c.red() > 150 && c.green() < 100 && c.blue() < 100;
            }
        return red;
    };
    for (const bool changed : {false, true, false}) {
        SCOPED_TRACE(changed);
        lines.changed = changed;
        view.viewport()->update();
        EXPECT_EQ(redInCorner() > 0, changed);
    }
}

TEST(IconListBox, ItemsOnceCurrentKeepPictureThreeAndUserInputIsIgnored)
{
    CIconListBox list;
    ASSERT_TRUE(list.SetImageList(148, 16, 16, QColor(255, 0, 255)));
    EXPECT_EQ(list.GetImages().size(), 4);
    EXPECT_EQ(list.GetTextIndent(), 18);
    for (const char* name : {"a.nc", "b.nc", "c.nc"}) {
        auto* item = new QListWidgetItem(name, &list);
        item->setData(CIconListBox::StateRole, CIconListBox::NotYet);
    }
    list.resize(200, 100);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.SetCurrent(0);
    list.SetCurrent(1);
    EXPECT_EQ(list.GetState(0), CIconListBox::Done);
    EXPECT_EQ(list.GetState(1), CIconListBox::Current);
    EXPECT_EQ(list.GetState(2), CIconListBox::NotYet);

    const QRect third = list.visualItemRect(list.item(2));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, third.center());
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(list.GetCurrent(), 1);
    EXPECT_EQ(list.GetState(2), CIconListBox::NotYet);
}

} // namespace
