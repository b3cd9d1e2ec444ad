// The cut surface in the toolpath window: the shaded relief in the top view follows the depth,
// the solid view turns with a drag, and a click on a dangerous move highlights its line.

#include "ReliefView.h"
#include "ToolpathDlg.h"
#include "ToolpathView.h"
#include "WaitUntil.h"
#include "WidgetTestApp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <string>
#include <vector>

using namespace zr40_test;

namespace {

// Two slots along X under a stock top at 0: 2 mm deep at Y 0, 1 mm deep at Y 20, untouched
// stock between them. Line 6 (from 0) plunges into the stock at rapid speed.
const std::string kSlots = "G21 G90 G17\n"
                           "G0 X0 Y0 Z5\n"
                           "G1 Z-2 F100\n"
                           "G1 X40\n"
                           "G0 Z5\n"
                           "G0 X0 Y20\n"
                           "G0 Z-1\n"
                           "G1 X40\n"
                           "G0 Z5\n";

template <typename T> T* Child(const CToolpathDlg& dialog, const char* name)
{
    T* child = dialog.findChild<T*>(name);
    EXPECT_TRUE(child) << name;
    return child;
}

// Opens the program and shows its surface under a 3 mm flat end mill from a stock top at 0;
// the moves are then checked for cuts deeper than maxDepth (0: any depth) and rapid moves
// through the stock.
void OpenWithRelief(CToolpathDlg& dialog, double maxDepth, double cell = 0)
{
    CNcReadOptions options;
    options.decimalMode = NcDecimalMode::CalculatorAll;
    Child<QComboBox>(dialog, "reliefTool")->setCurrentIndex(int(NcTool::Flat));
    Child<QDoubleSpinBox>(dialog, "reliefDiameter")->setValue(3);
    Child<QCheckBox>(dialog, "reliefStockTopGiven")->setChecked(true);
    Child<QDoubleSpinBox>(dialog, "reliefStockTop")->setValue(0);
    Child<QDoubleSpinBox>(dialog, "reliefMaxDepth")->setValue(maxDepth);
    Child<QDoubleSpinBox>(dialog, "reliefCell")->setValue(cell);
    dialog.OpenData("slots.nc", kSlots, options);
    dialog.resize(700, 760);
    dialog.show();
    Child<QCheckBox>(dialog, "reliefShow")->setChecked(true);
    ASSERT_TRUE(WaitUntil([&] { return dialog.Relief() != nullptr; }, 30000));
}

int Grey(const QImage& image, QPointF at)
{
    return qGray(image.pixel(at.toPoint()));
}

// Deeper is darker in the top view: the 2 mm slot below the 1 mm slot below the stock top.
TEST(ToolpathRelief, TopViewIsDarkerWhereTheCutIsDeeper)
{
    CToolpathDlg dialog;
    OpenWithRelief(dialog, 0);
    CToolpathView* top = dialog.TopView();
    ASSERT_TRUE(top->ShowsRelief());
    EXPECT_NEAR(dialog.Relief()->stockTop, 0, 1e-9);
    const QImage image = top->grab().toImage();
    struct Case
    {
        NcPoint at;
        const char* what;
    };
    const std::vector<Case> fromDeepToHigh = {
        {{20000, 0, 0}, "2 mm slot"},
        {{20000, 20000, 0}, "1 mm slot"},
        {{20000, 10000, 0}, "stock top"},
    };
    for (size_t i = 1; i < fromDeepToHigh.size(); ++i)
        EXPECT_LT(Grey(image, top->ToScreen(fromDeepToHigh[i - 1].at)),
                  Grey(image, top->ToScreen(fromDeepToHigh[i].at)))
            << fromDeepToHigh[i - 1].what << " against " << fromDeepToHigh[i].what;

    // Unchecked, the view shows the path again.
    Child<QCheckBox>(dialog, "reliefShow")->setChecked(false);
    EXPECT_FALSE(top->ShowsRelief());
    EXPECT_EQ(dialog.Relief(), nullptr);
}

// The choices for the surface come back in the next window.
TEST(ToolpathRelief, ChoicesAreRemembered)
{
    struct Box
    {
        const char* name;
        double value;
    };
    const std::vector<Box> boxes = {{"reliefDiameter", 2.5},
                                    {"reliefStockTop", -1.25},
                                    {"reliefCell", 0.1},
                                    {"reliefMaxDepth", 0.75}};
    {
        CToolpathDlg dialog;
        for (const Box& box : boxes)
            Child<QDoubleSpinBox>(dialog, box.name)->setValue(box.value);
        Child<QComboBox>(dialog, "reliefTool")->setCurrentIndex(int(NcTool::Ball));
        Child<QCheckBox>(dialog, "reliefStockTopGiven")->setChecked(false);
        Child<QCheckBox>(dialog, "reliefStockTopGiven")->setChecked(true);
    }
    CToolpathDlg again;
    for (const Box& box : boxes)
        EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(again, box.name)->value(), box.value) << box.name;
    EXPECT_EQ(Child<QComboBox>(again, "reliefTool")->currentIndex(), int(NcTool::Ball));
    EXPECT_TRUE(Child<QCheckBox>(again, "reliefStockTopGiven")->isChecked());
}

// Cells too fine for the memory the map may take: the map is coarser and the window says why.
TEST(ToolpathRelief, CoarserMapIsExplained)
{
    CToolpathDlg dialog;
    OpenWithRelief(dialog, 0, 0.002);
    EXPECT_GT(dialog.Relief()->cell, 0.002);
    EXPECT_TRUE(Child<QLabel>(dialog, "reliefInfo")->text().contains("does not fit"));
}

// The solid view draws the surface, a drag turns it on the coarse grid, the release draws the
// fine grid again.
TEST(ToolpathRelief, OrbitViewTurnsWithADrag)
{
    CToolpathDlg dialog;
    OpenWithRelief(dialog, 0, 0.05);
    CReliefView* orbit = dialog.OrbitView();
    Child<QTabWidget>(dialog, "toolpathTabs")->setCurrentWidget(orbit);
    auto surfacePixels = [&] {
        const QImage& image = orbit->Image();
        const QRgb background = image.isNull() ? 0 : image.pixel(0, 0);
        int count = 0;
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4)
                count += image.pixel(x, y) != background;
        return count;
    };
    ASSERT_TRUE(WaitUntil([&] { return surfacePixels() > 100; }));
    EXPECT_FALSE(orbit->IsCoarse());
    const QImage before = orbit->Image();

    const QPoint centre = orbit->rect().center();
    QTest::mousePress(orbit, Qt::LeftButton, {}, centre);
    QMouseEvent move(QEvent::MouseMove, QPointF(centre + QPoint(80, 30)),
                     orbit->mapToGlobal(QPointF(centre + QPoint(80, 30))), Qt::NoButton,
                     Qt::LeftButton, {});
    QCoreApplication::sendEvent(orbit, &move);
    EXPECT_TRUE(WaitUntil([&] { return orbit->IsCoarse(); }));
    QTest::mouseRelease(orbit, Qt::LeftButton, {}, centre + QPoint(80, 30));
    ASSERT_TRUE(WaitUntil([&] { return !orbit->IsCoarse(); }));
    EXPECT_GT(surfacePixels(), 100);
    EXPECT_NE(orbit->Image(), before);
}

// Clicks each row of the list of dangerous moves, which names `lines` after its count row.
void ClickEachListedMove(CToolpathDlg& dialog, QListWidget* list,
                         const std::vector<uint32_t>& lines)
{
    QSignalSpy clicks(&dialog, &CToolpathDlg::LineClicked);
    ASSERT_EQ(list->count(), int(lines.size()) + 1);
    EXPECT_TRUE(list->item(0)->text().startsWith(QString("%1 ").arg(lines.size())));
    for (size_t row = 0; row < lines.size(); ++row) {
        SCOPED_TRACE(lines[row]);
        QListWidgetItem* item = list->item(int(row) + 1);
        EXPECT_TRUE(item->text().startsWith(QString("Line %1:").arg(lines[row] + 1)));
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item).center());
        ASSERT_FALSE(clicks.isEmpty());
        EXPECT_EQ(clicks.takeLast().at(0).toLongLong(), qint64(lines[row]));
        EXPECT_EQ(dialog.TopView()->GetHighlightedLine(), lines[row]);
        EXPECT_EQ(dialog.SideView()->GetHighlightedLine(), lines[row]);
    }
    // The count above the list names no line.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    EXPECT_TRUE(clicks.isEmpty());
}

// The moves are listed once the surface is shown: the rapid move into the stock always, cuts
// deeper than the depth given too. Each listed move, clicked, is the highlighted line of the
// views and is told to the preview.
TEST(ToolpathRelief, ClickOnDangerousMoveHighlightsItsLine)
{
    struct Case
    {
        double maxDepth;
        std::vector<uint32_t> lines;
    };
    // The plunge and the slot 2 mm deep go below 1.5 mm; line 6 is a rapid into the stock.
    for (const Case& c : {Case{1.5, {2, 3, 6}}, Case{0, {6}}}) {
        SCOPED_TRACE(c.maxDepth);
        CToolpathDlg dialog;
        OpenWithRelief(dialog, c.maxDepth, 0.05);
        auto* list = Child<QListWidget>(dialog, "toolpathDangers");
        ASSERT_TRUE(WaitUntil([&] { return list->isVisible(); }, 30000));
        ClickEachListedMove(dialog, list, c.lines);
    }
}

} // namespace
