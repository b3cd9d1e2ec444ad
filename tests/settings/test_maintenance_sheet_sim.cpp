// The Maintenance sheet opened from the panel's window menu against the simulator: the spindle
// times and unit choice, and the Confirm page's report, clear, motor-load test and idling.
#include "ClearSettingsDlg.h"
#include "ConfirmPage.h"
#include "SettingsSimSupport.h"
#include "SpindleTimePage.h"
#include "SystemReportDlg.h"

#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>

namespace settings_test {
namespace {

using Confirm = CConfirmPage;
using Spindle = CSpindleTimePage;
constexpr int SpindleTab = 0;
constexpr int ConfirmTab = 1;

class MaintenanceSheetTest : public SettingsSimTest
{
protected:
    void SetUp() override
    {
        StartMachine();
        OpenPanel();
        SetClock(QTime(12, 0, 0));
    }
    void TearDown() override
    {
        CConfirmPage::SetTimeSource({});
        SettingsSimTest::TearDown();
    }
    void SetClock(QTime time)
    {
        const QDateTime now(QDate(2030, 1, 2), time);
        CConfirmPage::SetTimeSource([now] { return now; });
    }
    QString Time(const CSettingSheet& sheet, int id) const
    {
        return PageControl<QLabel>(sheet, SpindleTab, id)->text();
    }
    void PresetSettingsForClear()
    {
        MachineSettings settings;
        ASSERT_TRUE(machine->GetMachineSettings(settings));
        settings.commandSet = 2;
        ASSERT_TRUE(machine->SetMachineSettings(settings));
    }
    // Runs the Maintenance sheet on its Confirm tab.
    void RunConfirm(const std::function<void(CSettingSheet&)>& inside)
    {
        RunMaintenance([&](CSettingSheet& sheet) {
            ASSERT_TRUE(sheet.SetActivePage(ConfirmTab));
            inside(sheet);
            if (sheet.isVisible())
                ClickCancel(sheet);
        });
    }
    void ClickOn(CSettingSheet& sheet, int id) { Click(PageControl(sheet, ConfirmTab, id)); }
    // Moves the machine and waits until the panel has seen it stand there.
    void MoveMachineTo(const AxisTriple& target)
    {
        ASSERT_TRUE(machine->MoveTo(-1, target));
        ASSERT_TRUE(WaitUntil([&] {
            return panel->GetStatus().position == target &&
                   !(panel->GetStatus().stateWord & StateBit::Moving);
        }));
    }
};

TEST_F(MaintenanceSheetTest, SpindleTimesAndTheUnitChoiceCommittedOnlyByOk)
{
    for (const char* preset :
         {"unit-time 1 3599", "unit-time 2 3600", "unit-time 3 90061", "unit-time 4 2147483648"})
        ASSERT_EQ(sim->Control(preset), "ok\n");
    struct Shown
    {
        int unit;
        const char* hours;
        const char* minutes;
    };
    const Shown shown[] = {
        {1, "0 ", "59 "}, {2, "1 ", "0 "}, {3, "25 ", "1 "}, {4, "596523 ", "14 "}, {5, "0 ", "0 "},
    };
    sim->ClearLog();
    RunMaintenance([&](CSettingSheet& sheet) {
        EXPECT_EQ(sheet.GetPageCount(), 2);
        for (const Shown& row : shown) {
            EXPECT_EQ(Time(sheet, Spindle::FirstHours - 1 + row.unit), row.hours) << row.unit;
            EXPECT_EQ(Time(sheet, Spindle::FirstMinutes - 1 + row.unit), row.minutes) << row.unit;
        }
        EXPECT_TRUE(PageControl<QRadioButton>(sheet, SpindleTab, Spindle::FirstRadio)->isChecked());
        Click(PageControl(sheet, SpindleTab, Spindle::FirstRadio + 2));
        ClickCancel(sheet);
    });
    // The sweep over all units, back to the unit read, then the click and the Cancel.
    std::vector<std::string> selections = Log("0x2FFE");
    ASSERT_EQ(selections.size(), 11u);
    EXPECT_EQ(selections[7], "0x2FFE 0800");
    EXPECT_EQ(selections[8], "0x2FFE 0100");
    EXPECT_EQ(selections[9], "0x2FFE 0300");
    EXPECT_EQ(selections[10], "0x2FFE 0100");

    sim->ClearLog();
    RunMaintenance([&](CSettingSheet& sheet) {
        Click(PageControl(sheet, SpindleTab, Spindle::FirstRadio + 2));
        ClickOk(sheet);
    });
    selections = Log("0x2FFE");
    ASSERT_FALSE(selections.empty());
    EXPECT_EQ(selections.back(), "0x2FFE 0301");
    EXPECT_EQ(machine->GetSpindleUnit(), 3);
}

TEST_F(MaintenanceSheetTest, ResetAsksNamingTheChosenUnitAndResetsOnlyOnOk)
{
    ASSERT_EQ(sim->Control("unit-time 2 7200"), "ok\n");
    sim->ClearLog();
    std::vector<QString> questions;
    RunMaintenance([&](CSettingSheet& sheet) {
        Click(PageControl(sheet, SpindleTab, Spindle::FirstRadio + 1));
        const auto ask = [&](int answer) {
            answerer->AnswerBox(
                answer, [&](const zr40_test::SeenBox& box) { questions.push_back(box.text); });
            Click(PageControl(sheet, SpindleTab, Spindle::Reset));
        };
        ask(2);
        EXPECT_TRUE(Log("0x2FFC").empty());
        EXPECT_EQ(Time(sheet, Spindle::FirstHours + 1), "2 ");
        ask(1);
        EXPECT_EQ(Log("0x2FFC").size(), 1u);
        EXPECT_EQ(Time(sheet, Spindle::FirstHours + 1), "0 ");
        ClickCancel(sheet);
    });
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_TRUE(questions[0].startsWith("This resets the total spindle[No2] rotation time"))
        << questions[0].toStdString();
}

TEST_F(MaintenanceSheetTest, OpensOnlyWhereTheMachineAllowsAndConfirmOnlyWhenReady)
{
    RunMaintenance([&](CSettingSheet& sheet) {
        EXPECT_EQ(sheet.GetPageCount(), 2);
        ClickCancel(sheet);
    });
    // A turning spindle in state 2: nothing opens.
    ASSERT_TRUE(machine->SetSpindleRotation(1000));
    ASSERT_TRUE(
        WaitUntil([&] { return panel->GetStatus().stateWord & StateBit::SpindleRotating; }));
    const int shown = answerer->Shown();
    panel->OnSysCommand(PanelMenu::Maintenance);
    EXPECT_EQ(answerer->Shown(), shown);
    ASSERT_TRUE(machine->SetSpindleRotation(0));

    // A paused job: the spindle page alone.
    ASSERT_EQ(sim->Control("state 3"), "ok\n");
    ASSERT_TRUE(machine->PauseCutting());
    ASSERT_TRUE(WaitUntil([&] {
        const uint32_t word = panel->GetStatus().stateWord;
        return (word & StateBit::StateMask) == MachineState::JobActive && (word & StateBit::Paused);
    }));
    RunMaintenance([&](CSettingSheet& sheet) {
        EXPECT_EQ(sheet.GetPageCount(), 1);
        ClickCancel(sheet);
    });
}

TEST_F(MaintenanceSheetTest, ReportEndsWithTheDashesAndTheTimeAndIsSavedAsItsBytes)
{
    QTemporaryDir folder;
    // The name as the save dialog gives it, with the extension it has added.
    const QString chosen = folder.filePath("report.txt");
    RunConfirm([&](CSettingSheet& sheet) {
        answerer->Then([&](QWidget* window) {
            auto* report = qobject_cast<CSystemReportDlg*>(window);
            ASSERT_NE(report, nullptr);
            answerer->AnswerFileDialog({chosen}, "Text file (*.txt)");
            Click(report->GetControl(CSystemReportDlg::SaveId));
            Click(report->GetControl(CSystemReportDlg::CloseId));
        });
        ClickOn(sheet, Confirm::Display);
    });
    QFile saved(chosen);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_TRUE(bytes.startsWith("ZR-40 settings report\r\n"));
    EXPECT_TRUE(bytes.endsWith("s\r\n-----\r\nReported at 2030-01-02 12:00:00"));
    EXPECT_FALSE(bytes.contains('\0'));
}

TEST_F(MaintenanceSheetTest, ClearAsksFirstAndCancelSendsNothing)
{
    sim->ClearLog();
    QString question;
    RunConfirm([&](CSettingSheet& sheet) {
        answerer->AnswerBox(2, [&](const zr40_test::SeenBox& box) { question = box.text; });
        ClickOn(sheet, Confirm::Clear);
    });
    EXPECT_TRUE(question.startsWith("ZR-40 settings are cleared, and ZR-40 power will be turned "
                                    "off.\r\n"))
        << question.toStdString();
    EXPECT_TRUE(Log("0x2204").empty());
    EXPECT_TRUE(Log("0x2604").empty());
}

TEST_F(MaintenanceSheetTest, ClearWaitsForTheMachineAndSwitchesItOff)
{
    // Longer than the command layer waits for completion, so the wait dialog has to wait.
    ASSERT_EQ(sim->Control("clear-ms 3600"), "ok\n");
    PresetSettingsForClear();
    sim->ClearLog();
    bool waited = false;
    answerer->OnOtherModal(
        [&](QWidget* window) { waited = qobject_cast<CClearSettingsDlg*>(window) != nullptr; });
    answerer->AnswerBox(1);
    // The machine goes away; Retry finds it again once it is switched on.
    answerer->AnswerBox(6, [&](const zr40_test::SeenBox&) { sim->Control("power-on"); });
    RunConfirm([&](CSettingSheet& sheet) { ClickOn(sheet, Confirm::Clear); });
    ASSERT_TRUE(WaitUntil([&] { return answerer->Count() == 2 && panel->IsConnected(); }, 10000));
    EXPECT_TRUE(waited);
    EXPECT_EQ(Log("0x2204"), std::vector<std::string>{"0x2204"});
    EXPECT_EQ(Log("0x2604"), std::vector<std::string>{"0x2604 00000000"});
    MachineSettings settings;
    ASSERT_TRUE(machine->GetMachineSettings(settings));
    EXPECT_EQ(settings.commandSet, 1); // the machine's own default again
}

TEST_F(MaintenanceSheetTest, IdlingEndsAfterTenMinutesAtTheXYOriginAndWithTheTab)
{
    MoveMachineTo({5000, 6000, -1000});
    sim->ClearLog();
    QString completed;
    RunConfirm([&](CSettingSheet& sheet) {
        auto* page = static_cast<CConfirmPage*>(sheet.GetPage(ConfirmTab));
        ClickOn(sheet, Confirm::IdlingStart);
        EXPECT_EQ(Log("0x2600"), std::vector<std::string>{"0x2600 00"});
        // Neither the report nor clearing act while the spindle idles.
        const int shown = answerer->Shown();
        ClickOn(sheet, Confirm::Display);
        ClickOn(sheet, Confirm::Clear);
        EXPECT_EQ(answerer->Shown(), shown);
        EXPECT_TRUE(Log("0x2000").empty());

        SetClock(QTime(12, 9, 59));
        QTest::qWait(2 * Confirm::IdleTickMs + 200);
        EXPECT_TRUE(page->IsIdling());
        answerer->AnswerBox(1, [&](const zr40_test::SeenBox& box) { completed = box.text; });
        SetClock(QTime(12, 10, 0));
        ASSERT_TRUE(WaitUntil([&] { return !completed.isEmpty(); }, 5000));
        EXPECT_FALSE(page->IsIdleTimerRunning());
        EXPECT_EQ(Log("0x03F3").size(), 1u);
        EXPECT_EQ(Log("0x3501"), std::vector<std::string>{"0x3501 00000300ffff"});

        // Idling again, then another tab: one StopOperation, and the timer ends.
        sim->ClearLog();
        ClickOn(sheet, Confirm::IdlingStart);
        ASSERT_TRUE(sheet.SetActivePage(SpindleTab));
        EXPECT_EQ(Log("0x03F3").size(), 1u);
        EXPECT_FALSE(page->IsIdleTimerRunning());
        ClickCancel(sheet);
    });
    EXPECT_EQ(completed, "The idling was completed because a specified period of time has passed.");
    EXPECT_EQ(Log("0x03F3").size(), 1u);
    const std::vector<long> position = sim->Position();
    EXPECT_EQ(position, (std::vector<long>{0, 0, -1000}));
}

// Enter on a focused button of the Confirm page presses that button, and the sheet stays open.
TEST_F(MaintenanceSheetTest, EnterOnAFocusedPageButtonPressesItAndKeepsTheSheet)
{
    sim->ClearLog();
    bool reported = false;
    RunConfirm([&](CSettingSheet& sheet) {
        const auto enterOn = [&](int id) {
            QWidget* button = PageControl(sheet, ConfirmTab, id);
            button->setFocus();
            QTest::keyClick(button, Qt::Key_Return);
        };
        answerer->Then([&](QWidget* window) {
            reported = qobject_cast<CSystemReportDlg*>(window) != nullptr;
            window->close();
        });
        enterOn(Confirm::Display);
        EXPECT_TRUE(reported);
        EXPECT_TRUE(sheet.isVisible());
        enterOn(Confirm::IdlingStart);
        EXPECT_EQ(Log("0x2600"), std::vector<std::string>{"0x2600 00"});
        EXPECT_TRUE(sheet.isVisible());
        enterOn(Confirm::IdlingStop);
        EXPECT_EQ(Log("0x03F3").size(), 1u);
        EXPECT_TRUE(sheet.isVisible());
    });
}

// A machine that stays busy after the idling limit (here: it refuses to stop idling) is given
// up on after the return's wait limit: no return is sent, and the message says so instead of
// reporting a completed idling.
TEST_F(MaintenanceSheetTest, IdlingThatCannotReturnToTheOriginSaysSo)
{
    MoveMachineTo({5000, 6000, -1000});
    QString shown;
    RunConfirm([&](CSettingSheet& sheet) {
        ClickOn(sheet, Confirm::IdlingStart);
        ASSERT_EQ(sim->Control("fail-command 0x03F3"), "ok\n");
        sim->ClearLog();
        answerer->AnswerBox(1, [&](const zr40_test::SeenBox& box) { shown = box.text; });
        SetClock(QTime(12, 10, 0));
        ASSERT_TRUE(WaitUntil([&] { return !shown.isEmpty(); }, 4 * Confirm::ReturnWaitLimitMs));
    });
    EXPECT_EQ(shown, "The idling was stopped because a specified period of time has passed.\n"
                     "The return to the origin was not made because the machine stayed busy.");
    EXPECT_TRUE(Log("0x3501").empty());
    EXPECT_EQ(sim->Position(), (std::vector<long>{5000, 6000, -1000}));
}

TEST_F(MaintenanceSheetTest, MotorLoadTestOnZTestsUpwardFromTheLowestZAndReportsFailure)
{
    MoveMachineTo({1000, 2000, -5000});
    struct Row
    {
        const char* fault;
        const char* result;
    };
    const Row rows[] = {
        {"motor-load-fail off", "The operation was succeed."},
        {"motor-load-fail on", "The operation was failed."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        ASSERT_EQ(sim->Control(row.fault), "ok\n");
        MoveMachineTo({1000, 2000, -5000});
        sim->ClearLog();
        QString result;
        RunConfirm([&](CSettingSheet& sheet) {
            ClickOn(sheet, Confirm::AxisX + 2);
            answerer->AnswerBox(1, [&](const zr40_test::SeenBox& box) { result = box.text; });
            ClickOn(sheet, Confirm::MotorLoadStart);
        });
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(Log("0x04F3"), (std::vector<std::string>{MoveToLine({1000, 2000, -60000}),
                                                           MoveToLine({1000, 2000, -58000})}));
        EXPECT_EQ(Log("0x2512"), std::vector<std::string>{"0x2512 5a00ffff" + Hex(2000)});
        EXPECT_EQ(Log("0x03F5"), (std::vector<std::string>{"0x03F5 02", "0x03F5 ff", "0x03F5 ff"}));
    }
}

} // namespace
} // namespace settings_test
