// The toolpath window on generated programs: fitting shows every segment, a click names the
// line of the segment under it, and the question before a program that leaves the travel.

#include "CutDataFile.h"
#include "NcGeometry.h"
#include "NcPathCache.h"
#include "NcReader.h"
#include "OutputTestSupport.h"
#include "ToolpathDlg.h"
#include "ToolpathView.h"
#include "TravelQuestion.h"
#include "WidgetTestApp.h"

#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

using namespace zr40_test;

namespace {

CNcReadOptions Calculator()
{
    CNcReadOptions options;
    options.decimalMode = NcDecimalMode::CalculatorAll;
    return options;
}

// A spiral of short feed moves with rapid moves and arcs between its turns, in X, Y and Z.
std::string SpiralProgram(int lines)
{
    std::string program = "%\nG90 G21 G17\nG0 X0 Y0 Z5\nG1 Z-1 F200\n";
    for (int i = 0; i < lines; ++i) {
        const double angle = i * 0.05;
        const double radius = 5 + i * 0.02;
        if (i % 97 == 96)
            program += "G0 Z5\nG1 Z-1\n";
        if (i % 211 == 210)
            program += "G2 X" + std::to_string(radius * std::cos(angle)) + " Y" +
                       std::to_string(radius * std::sin(angle) - 2 * radius) + " R" +
                       std::to_string(radius * 1.5) + "\n";
        program += "G1 X" + std::to_string(radius * std::cos(angle)) + " Y" +
                   std::to_string(radius * std::sin(angle)) + " Z" +
                   std::to_string(-1 - i * 0.001) + "\n";
    }
    return program;
}

void OpenAndWait(CToolpathDlg& dialog, const std::string& program)
{
    dialog.OpenData("generated.nc", program, Calculator());
    dialog.resize(640, 600);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.IsReady(); }, 20000));
}

TEST(ToolpathView, FitToWindowShowsEverySegment)
{
    CToolpathDlg dialog;
    OpenAndWait(dialog, SpiralProgram(3000));
    const CNcPath& path = dialog.Model()->path;
    ASSERT_GT(path.segments.Size(), 3000u);
    EXPECT_TRUE(path.warnings.Empty());
    for (CToolpathView* view : {dialog.TopView(), dialog.SideView()}) {
        // Zoom away first, so that the fit has something to do.
        QTest::keyClick(view, Qt::Key_Plus);
        QTest::keyClick(view, Qt::Key_F);
        const QRectF area = view->rect();
        size_t outside = 0;
        for (size_t i = 0; i < path.segments.Size(); ++i) {
            if (!area.contains(view->ToScreen(path.segments[i].end)))
                ++outside;
            if (path.segments[i].IsArc())
                for (double t : {0.25, 0.5, 0.75}) {
                    const auto mm = ArcOf(path, i).PointAt(t);
                    const NcPoint point{int32_t(mm[0] * 1000), int32_t(mm[1] * 1000),
                                        int32_t(mm[2] * 1000)};
                    if (!area.contains(view->ToScreen(point)))
                        ++outside;
                }
        }
        EXPECT_EQ(outside, 0u) << view->objectName().toStdString();
        // Far in and far out the picture is still drawn from cells it can address.
        for (Qt::Key key : {Qt::Key_Plus, Qt::Key_Minus}) {
            for (int step = 0; step < 120; ++step)
                QTest::keyClick(view, key);
            QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
            view->render(&image);
        }
    }
}

TEST(ToolpathView, ClickNamesTheLineOfTheSegment)
{
    // Four segments apart from each other, on lines 2, 3, 5 and 6 (from 0).
    const std::string program = "(square)\nG0 X0 Y0\nG1 X100 Y0 F100\nG1 X100 Y100\n"
                                "(gap)\nG0 X0 Y100\nG2 X0 Y0 R50\n";
    CToolpathDlg dialog;
    OpenAndWait(dialog, program);
    CToolpathView* view = dialog.TopView();
    QSignalSpy clicks(&dialog, &CToolpathDlg::LineClicked);
    struct Case
    {
        NcPoint at; // a point on the segment
        qint64 line;
    };
    const std::vector<Case> cases = {
        {{50000, 0, 0}, 2},
        {{100000, 50000, 0}, 3},
        {{50000, 100000, 0}, 5},
        {{50000, 50000, 0}, 6},
    };
    for (const Case& c : cases) {
        QTest::mouseClick(view, Qt::LeftButton, {}, view->ToScreen(c.at).toPoint());
        ASSERT_FALSE(clicks.isEmpty());
        EXPECT_EQ(clicks.takeLast().at(0).toLongLong(), c.line);
    }
    EXPECT_EQ(dialog.findChild<QLabel*>("toolpathClicked")->text(), "Line 7");
    // Far from every segment, a click names nothing.
    QTest::mouseClick(view, Qt::LeftButton, {}, view->ToScreen(NcPoint{30000, 60000, 0}).toPoint());
    EXPECT_TRUE(clicks.isEmpty());
}

TEST(TravelQuestion, NamesTheAxisAndHowFarItLeaves)
{
    const NcPoint low{0, 0, -60000};
    const NcPoint high{203000, 152000, 0};
    CCutDataFile file;
    const std::string program = "(part)\nG0 X0 Y0 Z0\nG1 X200 Y10 F100\n";
    ASSERT_TRUE(file.LoadFromMemory("part.nc", program));
    const CNcPath path = ReadFileProgram(file, Calculator());
    CNcOrigins origins;
    origins.current = {8000, 0, 0};
    const CNcTravelCheck leaves = CheckTravel(MachineExtents(path, origins), low, high);
    EXPECT_FALSE(leaves.Fits());
    EXPECT_EQ(TravelQuestionText("part.nc", leaves),
              "part.nc leaves the machine's travel from the current origin:\n"
              "X by 5.00 mm above the travel\nSend it anyway?");
    EXPECT_TRUE(CheckTravel(MachineExtents(path, {}), low, high).Fits());
}

// The travel check read in slices finds the same extents as the whole program read at once,
// however small the slices, arcs, incremental moves and a program without moves included.
TEST(TravelQuestion, SlicedScanFindsTheExtentsOfTheWholeProgram)
{
    const std::vector<std::string> programs{
        SpiralProgram(900),
        "%\nG91\nG1 X5 F100\nG2 X10 Y0 R5\nG1 Y-3\nG90 G0 X1 Y1\n",
        "(comments only)\n(no move)\n",
        "%\nG0 X1\nG0 X2",
    };
    for (const std::string& program : programs) {
        SCOPED_TRACE(program.substr(0, 40));
        CCutDataFile file;
        ASSERT_TRUE(file.LoadFromMemory("part.nc", program));
        const CNcExtents whole = MachineExtents(ReadFileProgram(file, Calculator()), {});
        for (int64_t slice : {int64_t(1), int64_t(7), int64_t(100), CTravelScan::SliceBytes}) {
            SCOPED_TRACE(slice);
            CTravelScan scan(file, Calculator(), nullptr, slice);
            int steps = 0;
            while (!scan.Done() && steps++ < 100000)
                scan.Step();
            ASSERT_TRUE(scan.Done());
            EXPECT_EQ(scan.Extents().empty, whole.empty);
            if (!whole.empty) {
                EXPECT_EQ(scan.Extents().low, whole.low);
                EXPECT_EQ(scan.Extents().high, whole.high);
            }
        }
    }
}

// A cancel at the start of any stage of the build gives no model (whatever was built so far is
// freed: the sanitizer run finds a leak); without one, the model holds the whole program.
TEST(ToolpathModel, CancelInEachStageGivesNothing)
{
    const std::string program = SpiralProgram(3000);
    const CNcPath sequential = ReadNcProgram(program.data(), program.size(), Calculator());
    CCutDataFile file;
    ASSERT_TRUE(file.LoadFromMemory("/spiral.nc", program));
    for (int cancelAt = 0; cancelAt <= CToolpathModel::StageCount; ++cancelAt) {
        SCOPED_TRACE(cancelAt);
        CNcProgress progress;
        std::atomic<int> stage{0};
        std::vector<int> entered;
        auto model = CToolpathModel::Build(file, Calculator(), 1200, progress, stage,
                                           [&](CToolpathModel::Stage next) {
                                               entered.push_back(next);
                                               if (next == cancelAt)
                                                   progress.cancel = true;
                                           });
        if (cancelAt == CToolpathModel::StageCount) {
            ASSERT_TRUE(model);
            EXPECT_EQ(entered, (std::vector<int>{0, 1, 2}));
            EXPECT_EQ(model->path.segments.Size(), sequential.segments.Size());
            EXPECT_EQ(model->path.lineCount, sequential.lineCount);
            EXPECT_FALSE(model->top.Empty());
            EXPECT_FALSE(model->side.Empty());
            EXPECT_TRUE(model->runTime);
        } else {
            EXPECT_FALSE(model);
            EXPECT_EQ(entered.back(), cancelAt);
        }
    }
}

// The toolpath window offers the program it read to the travel check: another holder of the
// same unchanged image with the same options finds that very path, other options or a changed
// file find none, and the path goes with the window.
TEST(NcPathCache, TravelCheckFindsTheWindowsPathWhileTheFileIsUnchanged)
{
    TempFiles files;
    const QByteArray path = files.Write("part.nc", SpiralProgram(500));
    CCutDataFile image;
    ASSERT_TRUE(image.Load(path).Ok());
    std::weak_ptr<const CNcPath> held;
    {
        CToolpathDlg dialog;
        ASSERT_TRUE(dialog.Open(path, Calculator()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.IsReady(); }, 20000));
        const int64_t hits = NcPathCache::Hits();
        const auto found = NcPathCache::Find(image, Calculator());
        ASSERT_TRUE(found);
        EXPECT_EQ(found.get(), &dialog.Model()->path);
        EXPECT_EQ(NcPathCache::Hits(), hits + 1);
        EXPECT_FALSE(NcPathCache::Find(image, CNcReadOptions{}));
        held = found;

        // Rewritten with another length: a fresh load is another image, read anew, and the
        // old image says it changed and finds nothing either.
        files.Write("part.nc", SpiralProgram(400));
        CCutDataFile fresh;
        ASSERT_TRUE(fresh.Load(path).Ok());
        EXPECT_FALSE(NcPathCache::Find(fresh, Calculator()));
        EXPECT_TRUE(image.Changed());
        EXPECT_FALSE(NcPathCache::Find(image, Calculator()));
    }
    EXPECT_TRUE(held.expired());
}

} // namespace
