// The test cut against the running simulator, judged by what the machine received (its log of
// bulk-out data and commands), where it moved, and what the dialog and the panel show.

#include "ColorLabel.h"
#include "ControlPanelDlg.h"
#include "CutDataSet.h"
#include "CutDlg.h"
#include "IconListBox.h"
#include "MachineStatusDlg.h"
#include "ModalAnswerer.h"
#include "ModelingMachine.h"
#include "OutputTestSupport.h"
#include "PositionFormat.h"
#include "SimulatorLink.h"
#include "SimulatorProcess.h"
#include "TestCutDlg.h"
#include "TextViewCtrl.h"
#include "ToolpathDlg.h"
#include "ToolpathView.h"
#include "UpDownArrows.h"
#include "WidgetTestApp.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace zr40_test;

namespace {

std::string Unhex(const std::string& hex)
{
    std::string bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    return bytes;
}

// The simulator link with bulk writes that fail while a test says so, as a write to a device
// that stalls or vanishes fails; with gone, the device also stops answering the connection test
// and refuses that many reconnections.
class WriteFailingLink : public CSimulatorLink
{
public:
    bool BulkWrite(const void* data, int length) override
    {
        return !failWrites && CSimulatorLink::BulkWrite(data, length);
    }
    bool CheckConnection() override { return !gone && CSimulatorLink::CheckConnection(); }
    bool Reconnect() override
    {
        if (refusedReconnections > 0) {
            --refusedReconnections;
            return false;
        }
        return CSimulatorLink::Reconnect();
    }
    bool failWrites = false;
    bool gone = false;
    int refusedReconnections = 0;
};

class TestCutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        sim = std::make_unique<CSimulatorProcess>(
            std::vector<std::string>{"--speed", "10000", "--quit-skip-ms", "300"});
        ASSERT_TRUE(sim->Start());
        auto simulatorLink = std::make_unique<WriteFailingLink>();
        link = simulatorLink.get();
        machine = std::make_unique<CModelingMachine>(std::make_unique<CSimulatorLink>(),
                                                     std::move(simulatorLink));
        ASSERT_TRUE(machine->UseSimulator({}));
        MachineSettings settings;
        ASSERT_TRUE(machine->GetMachineSettings(settings));
        settings.commandSet = 1; // NC code
        ASSERT_TRUE(machine->SetMachineSettings(settings));
        answerer = std::make_unique<ModalAnswerer>();
        answerer->OnOtherModal([](QWidget*) {}); // the skip wait closes by itself
        panel = std::make_unique<CControlPanelDlg>(machine.get());
        panel->show();
        ASSERT_TRUE(WaitUntil([this] { return panel->GetControl(1030)->isEnabled(); }));
    }

    void TearDown() override
    {
        dialog.reset(); // before the panel, its parent
        panel.reset();
        answerer.reset();
        if (machine)
            machine->CloseMachine();
    }

    void AddFiles(const std::vector<std::pair<std::string, std::string>>& files)
    {
        for (const auto& [name, content] : files)
            ASSERT_TRUE(set.AddFile(temp.Write(name, content)).Ok());
    }

    // Runs the test cut with body inside its modal loop; the dialog is closed afterwards if
    // the body left it open. The dialog's result.
    int Run(const std::function<void()>& body)
    {
        dialog = std::make_unique<CTestCutDlg>(*panel, set);
        answerer->Then([this, body](QWidget*) {
            sim->ClearLog();
            body();
            if (dialog->isVisible())
                dialog->reject();
        });
        const int result = dialog->exec();
        return result;
    }

    void Press(int id) { dialog->Button(id)->click(); }
    // The data the machine received on the bulk-out pipe since the dialog opened, one entry
    // per write.
    std::vector<std::string> Sent() const
    {
        std::vector<std::string> sent;
        for (const std::string& line : sim->Log())
            if (line.rfind("bulk-out ", 0) == 0)
                sent.push_back(Unhex(line.substr(9)));
        return sent;
    }
    std::pair<int, int64_t> Cursor() const { return {set.GetFileIndex(), set.GetLineIndex()}; }
    int64_t Highlight() const
    {
        return dialog->findChild<CTextViewCtrl*>("1108")->GetHighlightLine();
    }
    bool ModeButtonsEnabled() const
    {
        return dialog->Button(1109)->isEnabled() && dialog->Button(1111)->isEnabled() &&
               dialog->Button(1112)->isEnabled() && !dialog->Button(1110)->isEnabled();
    }
    bool Idle() const { return !dialog->IsModeRunning() && ModeButtonsEnabled(); }
    bool Moving() const
    {
        return std::stoul(sim->Status()["state-word"], nullptr, 16) & StateBit::Moving;
    }
    int32_t SimX() const { return static_cast<int32_t>(sim->Position()[0]); }

    TempFiles temp;
    CCutDataSet set;
    std::unique_ptr<CSimulatorProcess> sim;
    std::unique_ptr<CModelingMachine> machine;
    WriteFailingLink* link = nullptr;
    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<CControlPanelDlg> panel;
    std::unique_ptr<CTestCutDlg> dialog;
};

// The controls stand at the places of template 147, whatever the layouts do with them.
TEST_F(TestCutTest, ControlsStandAtTheTemplatesPlaces)
{
    AddFiles({{"part.nc", "%\r\n"}});
    Run([this] {
        const struct
        {
            const char* name;
            QRect place;
        } controls[] = {
            {"1107", {8, 8, 444, 72}},     {"1108", {8, 86, 444, 160}},
            {"1109", {8, 256, 40, 30}},    {"1110", {50, 256, 40, 30}},
            {"1111", {92, 256, 40, 30}},   {"1112", {134, 256, 40, 30}},
            {"1113", {184, 270, 268, 24}}, {"1114", {96, 300, 48, 24}},
            {"1115", {144, 300, 18, 24}},  {"1116", {236, 302, 120, 28}},
            {"2", {372, 302, 80, 28}},     {CTestCutDlg::ToolpathName, {8, 334, 120, 26}},
        };
        EXPECT_EQ(dialog->size(), QSize(460, 368));
        for (const auto& c : controls) {
            auto* control = dialog->findChild<QWidget*>(c.name);
            ASSERT_TRUE(control) << c.name;
            EXPECT_EQ(control->geometry(), c.place) << c.name;
        }
    });
}

TEST_F(TestCutTest, StepModeSendsOneLinePerPressAndTheReadoutFollows)
{
    AddFiles({{"part.nc", "%\r\nG90 G0 X2\r\nG0 X4 Y1\r\n"}});
    Run([this] {
        // The dialog leaves the panel's read-out in view.
        QRect readout;
        for (int id : {1170, 1004, 1007, 1009})
            readout |= QRect(panel->GetControl(id)->mapToGlobal(QPoint(0, 0)),
                             panel->GetControl(id)->size());
        EXPECT_FALSE(dialog->frameGeometry().intersects(readout));

        struct Step
        {
            std::string line;
            int32_t x;
        };
        const std::vector<Step> steps{
            {"%\r\n", 0}, {"G90 G0 X2\r\n", 2000}, {"G0 X4 Y1\r\n", 4000}};
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE(steps[i].line);
            Press(1109);
            ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
            EXPECT_EQ(Sent().size(), i + 1);
            EXPECT_EQ(Sent().back(), steps[i].line);
            EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{0, int64_t(i) + 1}));
            EXPECT_EQ(Highlight(), int64_t(i) + 1);
            EXPECT_EQ(SimX(), steps[i].x);
            EXPECT_TRUE(WaitUntil([this, x = steps[i].x] {
                return static_cast<CColorLabel*>(panel->GetControl(1004))->GetText() ==
                       FormatPosition(x - panel->GetCurrentOrigin()[0], true);
            }));
        }
        EXPECT_EQ(sim->LogOf("0x3468").size(), 0u);
    });
    // Close: normal operation mode and a quit.
    const std::vector<std::string> log = sim->Log();
    const auto normal = std::find(log.begin(), log.end(), "0x03F5 ff");
    ASSERT_NE(normal, log.end());
    EXPECT_NE(std::find(normal, log.end(), "0x03F2"), log.end());
}

TEST_F(TestCutTest, ModeButtonsShowTheirPicturesWithoutTheMaskColour)
{
    AddFiles({{"part.nc", "%\r\nG0 X1\r\n"}});
    Run([this] {
        for (int id : {1109, 1110, 1111, 1112}) {
            const QImage icon = dialog->Button(id)->icon().pixmap(16, 16).toImage();
            // The corners are the mask colour: transparent; the picture itself is opaque.
            EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << id;
            EXPECT_EQ(qAlpha(icon.pixel(15, 15)), 0) << id;
            int opaque = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    opaque += qAlpha(icon.pixel(x, y)) == 255;
            EXPECT_GT(opaque, 10) << id;
        }
    });
}

TEST_F(TestCutTest, RunModeSendsEveryLineOfEveryFileAndReturnsToTheStart)
{
    // The first file ends with a line break: its final empty line sends nothing and finishes
    // at once. The empty file has no line to stop at; the last line of the last file has no
    // terminator.
    AddFiles({{"a.nc", "%\nG0 X1\n"}, {"empty.nc", ""}, {"b.nc", "(b)\nG0 X3"}});
    Run([this] {
        auto* files = dialog->findChild<CIconListBox*>("1107");
        ASSERT_EQ(files->count(), 3);
        EXPECT_EQ(files->item(1)->text(), "empty.nc [null]");
        Press(1111);
        ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
        EXPECT_EQ(Sent(), (std::vector<std::string>{"%\n", "G0 X1\n", "(b)\n", "G0 X3"}));
        EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{0, 0}));
        EXPECT_EQ(files->GetCurrent(), 0);
        EXPECT_EQ(Highlight(), 0);
        EXPECT_EQ(SimX(), 3000);
        EXPECT_FALSE(dialog->Button(1111)->isChecked());
    });
}

TEST_F(TestCutTest, StopEndsEachModeInItsOwnWay)
{
    // A 2-second line between quick ones.
    AddFiles({{"slow.nc", "%\nG1 F600 X20\nG0 X0\nG0 X1\n"}});
    Run([this] {
        // Run: Stop moves the cursor past the line in progress and sends nothing more.
        Press(1111);
        ASSERT_TRUE(WaitUntil([this] { return Cursor().second == 1 && Moving(); }));
        Press(1110);
        EXPECT_TRUE(Idle());
        EXPECT_EQ(Cursor().second, 2);
        ASSERT_TRUE(sim->WaitUntilStopped());
        EXPECT_EQ(Sent().size(), 2u);

        // Step: Stop leaves the cursor on the line in progress.
        Press(1109);
        ASSERT_TRUE(WaitUntil([this] { return Moving(); }));
        Press(1110);
        EXPECT_TRUE(Idle());
        EXPECT_EQ(Cursor().second, 2);
        ASSERT_TRUE(sim->WaitUntilStopped());

        // Stream: the next line goes out while the slow one runs; Stop greys itself and the
        // mode ends once the line sent last has finished.
        set.SetCursor(0, 1);
        sim->ClearLog();
        Press(1112);
        ASSERT_TRUE(WaitUntil([this] { return Sent().size() == 2; }));
        EXPECT_TRUE(Moving());
        Press(1110);
        EXPECT_TRUE(dialog->IsModeRunning());
        EXPECT_FALSE(dialog->Button(1110)->isEnabled());
        EXPECT_FALSE(dialog->Button(1112)->isEnabled());
        ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
        EXPECT_FALSE(Moving());
        EXPECT_EQ(Sent(), (std::vector<std::string>{"G1 F600 X20\n", "G0 X0\n"}));
        EXPECT_EQ(sim->LogOf("0x3468"), (std::vector<std::string>{"0x3468 01", "0x3468 00"}));
    });
}

TEST_F(TestCutTest, SpeedArrowsStepFromTheMachinesOverrideWithinTenToTwoHundred)
{
    AddFiles({{"part.nc", "%\n"}});
    struct Row
    {
        int start;
        bool up;
        int clicks;
        std::vector<std::string> sent;
    };
    const std::vector<Row> rows{{195, true, 2, {"0x0307 c8", "0x0307 c8"}},
                                {15, false, 1, {"0x0307 0a"}}};
    Run([this, &rows] {
        auto* arrows = dialog->findChild<CUpDownArrows*>("1115");
        for (const Row& row : rows) {
            SCOPED_TRACE(row.start);
            ASSERT_TRUE(machine->SetCuttingSpeed(row.start));
            ASSERT_TRUE(WaitUntil([&] { return panel->GetStatus().override == row.start; }));
            sim->ClearLog();
            for (int i = 0; i < row.clicks; ++i)
                (row.up ? arrows->GetUpButton() : arrows->GetDownButton())->click();
            EXPECT_EQ(sim->LogOf("0x0307"), row.sent);
            EXPECT_EQ(dialog->findChild<CColorLabel*>("1114")->GetText(), row.up ? "200" : "10");
        }
    });
}

TEST_F(TestCutTest, CommandErrorDuringARunFollowsTheAnswerInThePanel)
{
    AddFiles({{"slow.nc", "%\nG1 F600 X20\nG0 X0\n"}});
    struct Row
    {
        int answer; // 1 Abort, 2 Continue
        std::vector<std::string> sent;
    };
    const std::vector<Row> rows{{1, {"%\n", "G1 F600 X20\n"}},
                                {2, {"%\n", "G1 F600 X20\n", "G0 X0\n"}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answer);
        // The user reads the box for a while: the dialog sees the error meanwhile.
        answerer->AnswerBox(row.answer, [this](const SeenBox&) {
            EXPECT_TRUE(WaitUntil([this] { return !dialog->IsModeRunning(); }, 8000));
        });
        Run([this, &row] {
            Press(1111);
            ASSERT_TRUE(WaitUntil([this] { return Cursor().second == 1 && Moving(); }));
            sim->Control("command-error 150 paused");
            // The panel asks; the dialog ends the mode and afterwards quits or continues.
            ASSERT_TRUE(WaitUntil([this] { return answerer->Count() > 0; }));
            if (row.answer == 1) {
                ASSERT_TRUE(
                    WaitUntil([this] { return !sim->LogOf("0x03F2").empty() && Idle(); }, 8000));
                EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{0, 0}));
            } else {
                ASSERT_TRUE(WaitUntil([this] { return Sent().size() == 3 && Idle(); }, 15000));
                EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{0, 0}));
                EXPECT_EQ(SimX(), 0);
            }
            EXPECT_EQ(Sent(), row.sent);
        });
        EXPECT_TRUE(answerer->AllUsed());
        dialog.reset();
        sim->Control("state 2");
    }
}

TEST_F(TestCutTest, OpeningAndClosingFollowTheMachine)
{
    AddFiles({{"part.nc", "%\n"}});
    // Status bit 0x1000 closes the dialog as Close does.
    EXPECT_EQ(Run([this] {
                  sim->Control("status-bits 0x1000");
                  EXPECT_TRUE(WaitUntil([this] { return !dialog->isVisible(); }));
              }),
              CTestCutDlg::CloseId);
    EXPECT_FALSE(sim->LogOf("0x03F2").empty());
    sim->Control("status-bits 0");
    dialog.reset();

    // A job being cut: the message, and the dialog ends at once.
    sim->Control("state 3");
    ASSERT_TRUE(WaitUntil([this] { return panel->GetStatus().State() == 3; }));
    QString seen;
    answerer->Then([&seen](QWidget* box) {
        seen = static_cast<QMessageBox*>(box)->text();
        box->close();
    });
    dialog = std::make_unique<CTestCutDlg>(*panel, set);
    EXPECT_EQ(dialog->exec(), 0);
    EXPECT_EQ(seen, "Cutting is in progress.\nIt cannot perform.");
    sim->Control("state 2");
}

TEST_F(TestCutTest, CoordinateViewChosenInTheDialogChangesThePanelReadout)
{
    AddFiles({{"part.nc", "%\n"}});
    ASSERT_TRUE(machine->SetWorkOrigin(55, {1000, 0, 0}));
    Run([this] {
        auto* list = dialog->findChild<QComboBox*>("1113");
        const int g55 = list->findText("G55");
        ASSERT_GE(g55, 0);
        list->setCurrentIndex(g55);
        emit list->activated(g55);
        EXPECT_EQ(panel->CoordinateSystem, 4);
        EXPECT_EQ(static_cast<QComboBox*>(panel->GetControl(1170))->currentText(), "G55");
        const QString expected = FormatPosition(SimX() - 1000, true);
        EXPECT_TRUE(WaitUntil([&] {
            return static_cast<CColorLabel*>(panel->GetControl(1004))->GetText() == expected;
        }));
    });
}

TEST_F(TestCutTest, TestButtonOfTheCutDialogRunsTheTestCutWhileTheCutDialogIsHidden)
{
    UseEmptyStore("test-cut-test");
    StoreList({temp.Write("part.nc", "%\nG0 X1\n")});
    CCutDlg cut(*machine, panel.get());
    cut.SetTestAllowed(true);
    bool cutHidden = false;
    QString shownFile;
    answerer->Then([&](QWidget*) {
        cut.findChild<QListWidget*>("1094")->setCurrentRow(0);
        cut.findChild<QAbstractButton*>("1101")->click();
        EXPECT_TRUE(cut.isVisible());
        cut.reject();
    });
    answerer->Then([&](QWidget* testCut) {
        cutHidden = !cut.isVisible();
        shownFile = testCut->findChild<CIconListBox*>("1107")->item(0)->text();
        testCut->close();
    });
    cut.exec();
    EXPECT_TRUE(cutHidden);
    EXPECT_EQ(shownFile, "part.nc");
    EXPECT_TRUE(answerer->AllUsed());
}

TEST_F(TestCutTest, ToolpathFollowsTheCursorLineAndTheTool)
{
    AddFiles({{"part.nc", "%\nG90 G0 X2.\nG0 X4. Y1.\n"}});
    Run([this] {
        dialog->findChild<QPushButton*>(CTestCutDlg::ToolpathName)->click();
        CToolpathDlg* window = dialog->GetToolpathWindow();
        ASSERT_TRUE(window);
        ASSERT_TRUE(WaitUntil([window] { return window->IsReady(); }));
        EXPECT_EQ(window->Model()->path.segments.Size(), 2u);
        CToolpathView* top = window->TopView();
        for (int64_t line : {1, 2}) {
            Press(1109);
            ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
            EXPECT_EQ(top->GetHighlightedLine(), std::optional<uint32_t>(uint32_t(line)));
        }
        EXPECT_TRUE(window->findChild<QLabel*>("toolpathSummary")
                        ->text()
                        .contains("Remaining from line 3: "));
        // The marker stands where the read-out says the tool is.
        EXPECT_TRUE(WaitUntil([this, top] {
            return top->GetToolPosition() &&
                   (*top->GetToolPosition())[0] == SimX() - panel->GetCurrentOrigin()[0];
        }));
        window->close();
    });
}

TEST_F(TestCutTest, ProgramLeavingTheTravelClosesTheTestCutOnNo)
{
    // The simulated travel is X 0..203 mm; from the machine's zero this program reaches 208.
    AddFiles({{"wide.nc", "%\nG90 G0 X208. Y1.\n"}});
    answerer->AnswerBox(7);
    dialog = std::make_unique<CTestCutDlg>(*panel, set);
    EXPECT_EQ(dialog->exec(), 0);
    ASSERT_EQ(answerer->Count(), 1);
    EXPECT_EQ(answerer->Seen()[0].text,
              "wide.nc leaves the machine's travel from the current origin:\n"
              "X by 5.00 mm above the travel\nSend it anyway?");
    EXPECT_TRUE(Sent().empty());
}

// Whatever stops a mode, the next start goes on with the line after the last one the machine
// took in: on incremental code a line sent twice would move the axis twice.
TEST_F(TestCutTest, EveryLineGoesOutOnceAcrossStopAndStart)
{
    // Three 1-second moves of 10 mm each, relative.
    AddFiles({{"g91.nc", "%\nG91\nG1 F600 X10\nG1 F600 X10\nG1 F600 X10\n"}});
    const std::vector<std::string> program{"%\n", "G91\n", "G1 F600 X10\n", "G1 F600 X10\n",
                                           "G1 F600 X10\n"};
    struct Row
    {
        const char* name;
        std::function<void()> startAndStop; // leaves the mode stopped while a move runs
    };
    const std::vector<Row> rows{
        {"step",
         [this] {
             for (int i = 0; i < 2; ++i) {
                 Press(1109);
                 ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
             }
             Press(1109);
             ASSERT_TRUE(WaitUntil([this] { return Moving(); }));
             Press(1110);
         }},
        {"run",
         [this] {
             Press(1111);
             ASSERT_TRUE(WaitUntil([this] { return Sent().size() == 3 && Moving(); }));
             Press(1110);
         }},
        {"stream",
         [this] {
             // The next lines go out while the first move runs.
             Press(1112);
             ASSERT_TRUE(WaitUntil([this] { return Sent().size() >= 4 && Moving(); }));
             Press(1110);
             ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Run([&] {
            const int32_t startX = SimX();
            row.startAndStop();
            EXPECT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
            // The line in progress has finished before the run goes on.
            ASSERT_TRUE(WaitUntil([this] { return !Moving() && dialog->IsLineFinished(); }, 8000));
            Press(1111);
            ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
            ASSERT_TRUE(sim->WaitUntilStopped());
            EXPECT_EQ(Sent(), program);
            EXPECT_EQ(SimX(), startX + 30000);
        });
        dialog.reset();
    }
}

// A command error reported after a step has finished and moved the cursor on: the line under
// the cursor has not been sent, so the error moves nothing and the next press sends it.
TEST_F(TestCutTest, CommandErrorAfterAFinishedStepSkipsNoLine)
{
    AddFiles({{"part.nc", "%\nG0 X1\nG0 X2\n"}});
    // Continue, once the test cut has seen the error.
    answerer->AnswerBox(2, [this](const SeenBox&) {
        EXPECT_TRUE(WaitUntil([this] { return dialog->IsCommandErrorSeen(); }));
    });
    Run([this] {
        Press(1109);
        ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
        ASSERT_EQ(Cursor(), (std::pair<int, int64_t>{0, 1}));
        sim->Control("command-error 150 paused");
        ASSERT_TRUE(WaitUntil([this] { return answerer->Count() > 0; }));
        // The panel resumes the machine, then the test cut's continue sequence does.
        ASSERT_TRUE(WaitUntil(
            [this] { return sim->LogOf("0x03F1").size() >= 2 && !dialog->IsCommandErrorSeen(); },
            8000));
        EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{0, 1}));
        Press(1109);
        ASSERT_TRUE(WaitUntil([this] { return Idle() && Sent().size() == 2; }, 8000));
        EXPECT_EQ(Sent(), (std::vector<std::string>{"%\n", "G0 X1\n"}));
    });
    sim->Control("state 2");
}

// A write the link could not make leaves the line unsent: the mode ends at once with the
// buttons back, and the next start sends that same line.
TEST_F(TestCutTest, FailedWriteEndsTheModeAndKeepsTheLineUnsent)
{
    AddFiles({{"part.nc", "%\nG0 X1\n"}});
    for (int id : {1109, 1111, 1112}) {
        SCOPED_TRACE(id);
        Run([this, id] {
            set.SetCursor(0, 1);
            link->failWrites = true;
            Press(id);
            EXPECT_TRUE(Idle());
            EXPECT_TRUE(Sent().empty());
            EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{0, 1}));
            link->failWrites = false;
            Press(1109);
            ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
            EXPECT_EQ(Sent(), (std::vector<std::string>{"G0 X1\n"}));
        });
        dialog.reset();
    }
}

// A file rewritten by another program during the test cut may mix old and new lines: nothing
// more of it goes to the machine, and its entry in the list says so.
TEST_F(TestCutTest, FileChangedDuringTheTestCutSendsNothingMoreAndIsMarked)
{
    AddFiles({{"part.nc", "%\nG0 X1\nG0 X2\n"}});
    Run([this] {
        Press(1109);
        ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
        ASSERT_EQ(Sent(), (std::vector<std::string>{"%\n"}));
        temp.Write("part.nc", "%\nG0 X9\nG0 X8\n");
        Press(1109);
        EXPECT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
        EXPECT_EQ(Sent(), (std::vector<std::string>{"%\n"}));
        auto* list = dialog->findChild<QListWidget*>("1107");
        ASSERT_TRUE(list);
        EXPECT_EQ(list->item(0)->text(), "part.nc [changed]");
    });
}

// A write that failed because the device has gone is a lost machine: the panel asks whether to
// reconnect, and after Retry the windows that were open close.
TEST_F(TestCutTest, FailedWriteToAVanishedDeviceIsHandledAsALostMachine)
{
    AddFiles({{"part.nc", "%\nG0 X1\n"}});
    answerer->AnswerBox(CMachineStatusDlg::AnswerRetry, [this](const SeenBox&) {
        link->failWrites = false;
        link->gone = false;
    });
    Run([this] {
        link->failWrites = true;
        link->gone = true;
        link->refusedReconnections = 1;
        Press(1109);
        EXPECT_TRUE(Idle());
        ASSERT_TRUE(WaitUntil([this] { return answerer->Count() > 0; }));
        EXPECT_TRUE(WaitUntil([this] { return !dialog->isVisible(); }));
    });
    ASSERT_EQ(answerer->Count(), 1);
    EXPECT_EQ(answerer->Seen()[0].captions, (QStringList{"Retry", "End"}));
    EXPECT_TRUE(Sent().empty());
}

// Status reads that come back short carry no override: neither the panel's arrows nor the
// test cut's step from the placeholder there, so "down" never raises the speed.
TEST_F(TestCutTest, SpeedArrowsSendNothingAfterAShortStatusRead)
{
    AddFiles({{"part.nc", "%\n"}});
    Run([this] {
        ASSERT_TRUE(machine->SetCuttingSpeed(100));
        ASSERT_TRUE(WaitUntil([this] { return panel->GetStatus().override == 100; }));
        EXPECT_EQ(sim->Control("short-status 7").rfind("error", 0), 0u);
        ASSERT_EQ(sim->Control("short-status 16"), "ok\n");
        ASSERT_TRUE(WaitUntil([this] { return panel->GetStatus().override == 255; }));
        sim->ClearLog();
        for (auto* arrows : {dialog->findChild<CUpDownArrows*>("1115"),
                             panel->findChild<CUpDownArrows*>("1014")}) {
            ASSERT_TRUE(arrows);
            arrows->GetDownButton()->click();
            arrows->GetUpButton()->click();
        }
        EXPECT_TRUE(sim->LogOf("0x0307").empty());
        ASSERT_EQ(sim->Control("short-status 0"), "ok\n");
        ASSERT_TRUE(WaitUntil([this] { return panel->GetStatus().override == 100; }));
        dialog->findChild<CUpDownArrows*>("1115")->GetDownButton()->click();
        EXPECT_EQ(sim->LogOf("0x0307"), (std::vector<std::string>{"0x0307 5a"}));
    });
}

// The cursor never rests in an empty file: not at opening, not after a run wrapped, not after
// Quit Cutting; the first start sends the first line there is.
TEST_F(TestCutTest, CursorNeverRestsInAnEmptyFile)
{
    AddFiles({{"empty.nc", ""}, {"part.nc", "%\nG0 X1"}});
    Run([this] {
        EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{1, 0}));
        Press(1111);
        ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
        EXPECT_EQ(Sent(), (std::vector<std::string>{"%\n", "G0 X1"}));
        EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{1, 0}));
        Press(1109);
        ASSERT_TRUE(WaitUntil([this] { return Idle() && Sent().size() == 3; }, 8000));
        EXPECT_EQ(Sent().back(), "%\n");
    });
}

// Quit Cutting while a job runs pauses it and asks, its buttons captioned "Quit Cutting" and
// "Continue": the first quits and returns the cursor to the start, the second resumes and starts
// the run mode again from the cursor.
TEST_F(TestCutTest, QuitCuttingAsksAndQuitsOrContinues)
{
    AddFiles({{"slow.nc", "%\nG1 F600 X20\nG0 X0\n"}});
    struct Row
    {
        int answer;
        std::pair<int, int64_t> cursor;
        std::vector<std::string> sent;
    };
    const std::vector<Row> rows{{1, {0, 0}, {"%\n", "G1 F600 X20\n"}},
                                {2, {0, 0}, {"%\n", "G1 F600 X20\n", "G0 X0\n"}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answer);
        SeenBox seen;
        answerer->AnswerBox(row.answer, [&seen](const SeenBox& box) { seen = box; });
        Run([this, &row] {
            Press(1111);
            ASSERT_TRUE(WaitUntil([this] { return Cursor().second == 1 && Moving(); }));
            ASSERT_TRUE(WaitUntil([this] { return panel->GetStatus().State() == 3; }));
            dialog->Button(1116)->click();
            EXPECT_FALSE(sim->LogOf("0x03F0").empty());
            ASSERT_TRUE(
                WaitUntil([this] { return !sim->LogOf("0x03F1").empty() && Idle(); }, 15000));
            if (row.answer == 2) {
                ASSERT_TRUE(WaitUntil([this] { return Sent().size() == 3 && Idle(); }, 15000));
            }
            EXPECT_EQ(!sim->LogOf("0x03F2").empty(), row.answer == 1);
            EXPECT_EQ(Cursor(), row.cursor);
            EXPECT_EQ(Sent(), row.sent);
        });
        EXPECT_EQ(seen.captions, (QStringList{"Quit Cutting", "Continue"}));
        EXPECT_TRUE(seen.text.startsWith("The modeling machine is now paused."));
        dialog.reset();
        ASSERT_TRUE(sim->WaitUntilStopped());
        sim->Control("state 2");
        ASSERT_TRUE(WaitUntil([this] { return panel->GetStatus().State() == 2; }));
    }
}

// The cursor placed at a line chosen in the toolpath window, the way the Cut dialog starts a job
// from a line: once the user has confirmed the lead-in, its lines go out one by one before the
// chosen line, so the run ends where the whole program ends (the program runs incremental from
// line 4 on). A line inside a canned cycle is refused with the reason; the cursor stays where it
// was and nothing is sent.
TEST_F(TestCutTest, CursorPlacedAtAChosenLineSendsTheLeadInFirst)
{
    struct Row
    {
        const char* name;
        std::vector<std::string> program;
        int64_t line; // chosen, as an index
        const char* shown;
        bool placed;
    };
    const std::vector<Row> rows{
        {"incremental",
         {"%\n", "G21 G90 G0 X5. Y5. Z0.\n", "G1 Z-2. F2000.\n", "G91\n", "G1 X3. Y2.\n",
          "G1 X-1. Y4.\n", "G90 G0 Z-0.5\n"},
         5,
         "line 6:\nG1 X-1. Y4.\n",
         true},
        {"canned cycle",
         {"%\n", "G0 X0. Y0. Z-1.\n", "G81 X1. Y1. Z-3. R-2. F100.\n", "X2. Y2.\n", "G80\n", "%\n"},
         3,
         "The job cannot start at line 4: it lies in the canned cycle begun on line 3.",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        set = CCutDataSet();
        std::string program;
        for (const std::string& line : row.program)
            program += line;
        AddFiles({{std::string(row.name) + ".nc", program}});
        SeenBox seen;
        answerer->AnswerBox(1, [&seen](const SeenBox& box) { seen = box; });
        Run([&] {
            std::vector<long> wholeEnd;
            if (row.placed) {
                Press(1111);
                ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
                ASSERT_TRUE(sim->WaitUntilStopped());
                wholeEnd = sim->Position();
            }
            // The cursor one line on, where a refusal must leave it.
            Press(1109);
            ASSERT_TRUE(WaitUntil([this] { return Idle() && Cursor().second == 1; }, 8000));
            sim->ClearLog();

            dialog->findChild<QPushButton*>(CTestCutDlg::ToolpathName)->click();
            CToolpathDlg* window = dialog->GetToolpathWindow();
            ASSERT_TRUE(window);
            ASSERT_TRUE(WaitUntil([window] { return window->IsReady(); }));
            emit window->TopView()->LineClicked(qint64(row.line));
            auto* start = window->findChild<QPushButton*>("toolpathStartFromLine");
            ASSERT_TRUE(start);
            const auto boxes = answerer->Count();
            start->click();
            ASSERT_EQ(answerer->Count(), boxes + 1);
            EXPECT_TRUE(seen.text.contains(row.shown)) << seen.text.toStdString();
            if (!row.placed) {
                EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{0, 1}));
                EXPECT_EQ(dialog->PendingLeadInLines(), 0u);
                Press(1109);
                ASSERT_TRUE(WaitUntil([this] { return Idle() && Cursor().second == 2; }, 8000));
                EXPECT_EQ(Sent(), std::vector<std::string>{row.program[1]});
                window->close();
                return;
            }
            EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{0, row.line}));
            EXPECT_EQ(Highlight(), row.line);
            // The lead-in as the box showed it, then the program from the chosen line on.
            const QString text = seen.text;
            const qsizetype from = text.indexOf(":\n\n") + 3;
            const QString leadIn = text.mid(from, text.indexOf("\nand joins") - from);
            std::vector<std::string> expected;
            for (const QString& line : leadIn.split('\n', Qt::SkipEmptyParts))
                expected.push_back(line.toStdString() + "\n");
            EXPECT_EQ(dialog->PendingLeadInLines(), expected.size());
            EXPECT_EQ(expected.front(), "%\n");
            expected.insert(expected.end(), row.program.begin() + row.line, row.program.end());
            Press(1111);
            ASSERT_TRUE(WaitUntil([this] { return Idle(); }, 8000));
            ASSERT_TRUE(sim->WaitUntilStopped());
            EXPECT_EQ(Sent(), expected);
            EXPECT_EQ(sim->Position(), wholeEnd);
            EXPECT_EQ(Cursor(), (std::pair<int, int64_t>{0, 0}));
            window->close();
        });
        EXPECT_TRUE(answerer->AllUsed());
        dialog.reset();
    }
}

} // namespace
