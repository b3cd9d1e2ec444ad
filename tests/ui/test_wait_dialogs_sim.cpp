// The wait dialogs against the running simulator: the setup wait follows the machine out of
// initialisation, the skip wait follows the data skipping after a quit, and the clear-settings
// wait follows the execution of ClearSettings.

#include "CancelingDataDlg.h"
#include "ClearSettingsDlg.h"
#include "ModelingMachine.h"
#include "SimulatorProcess.h"
#include "WaitSetupDlg.h"
#include "WidgetTestApp.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

class WaitDialogSimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::vector<std::string> options = ExtraOptions();
        options.insert(options.begin(), {"--quit-skip-ms", "1500"});
        m_sim = std::make_unique<CSimulatorProcess>(options);
        ASSERT_TRUE(m_sim->Start());
        m_machine = std::make_unique<CModelingMachine>();
        ASSERT_TRUE(m_machine->UseSimulator({}));
    }
    virtual std::vector<std::string> ExtraOptions() const { return {}; }

    uint32_t StateWord()
    {
        MachineStatus status;
        m_machine->ReadMachineStatus(status);
        return status.stateWord;
    }

    std::unique_ptr<CSimulatorProcess> m_sim;
    std::unique_ptr<CModelingMachine> m_machine;
};

// Forcing state 0 starts an initialisation of the --init-ms time: state 0 for its first half,
// state 1 for the second.
class SetupWaitSimTest : public WaitDialogSimTest
{
protected:
    std::vector<std::string> ExtraOptions() const override { return {"--init-ms", "2400"}; }
};

TEST_F(SetupWaitSimTest, StaysOpenThroughStates0And1AndClosesAtReady)
{
    ASSERT_EQ(m_sim->Control("state 0"), "ok\n");
    CWaitSetupDlg dialog(m_machine.get());
    std::vector<std::pair<int, bool>> seen; // machine state, dialog open
    QElapsedTimer clock;
    clock.start();
    const int result = zr40_test::RunModal(dialog, [&] {
        for (int at : {700, 1600})
            QTimer::singleShot(at, &dialog,
                               [&] { seen.emplace_back(m_sim->State(), dialog.isVisible()); });
        QTimer::singleShot(1700, &dialog, [&] { m_sim->Control("state 2"); });
    });
    EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{0, true}, {1, true}}));
    EXPECT_EQ(result, 0);
    EXPECT_GE(clock.elapsed(), 1700);
    EXPECT_LT(clock.elapsed(), 2400) << "closed by the state change, not by the end of the init";
}

TEST_F(WaitDialogSimTest, SkipWaitClosesWhenTheSkippingBitClears)
{
    ASSERT_EQ(m_sim->Control("state 3"), "ok\n");
    ASSERT_TRUE(m_machine->QuitCutting());
    ASSERT_TRUE(StateWord() & StateBit::SkippingData);
    CCancelingDataDlg dialog(m_machine.get());
    bool openWhileSkipping = false;
    QElapsedTimer clock;
    clock.start();
    const int result = zr40_test::RunModal(dialog, [&] {
        QTimer::singleShot(700, &dialog, [&] { openWhileSkipping = dialog.isVisible(); });
    });
    EXPECT_TRUE(openWhileSkipping);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(StateWord() & StateBit::SkippingData);
    EXPECT_LT(clock.elapsed(), 2500);
}

TEST_F(WaitDialogSimTest, EscapeEndsTheSkipWait)
{
    ASSERT_EQ(m_sim->Control("state 3"), "ok\n");
    ASSERT_TRUE(m_machine->QuitCutting());
    CCancelingDataDlg skip(m_machine.get());
    EXPECT_EQ(zr40_test::RunModal(skip, [&] { QTest::keyClick(&skip, Qt::Key_Escape); }), 2);
    EXPECT_TRUE(StateWord() & StateBit::SkippingData) << "cancelled before the machine ended";
}

TEST_F(SetupWaitSimTest, EscapeDoesNotEndIt)
{
    ASSERT_EQ(m_sim->Control("state 0"), "ok\n");
    CWaitSetupDlg setup(m_machine.get());
    bool stillOpen = false;
    const int result = zr40_test::RunModal(setup, [&] {
        QTest::keyClick(&setup, Qt::Key_Escape);
        stillOpen = setup.isVisible();
        m_sim->Control("state 2");
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, 0);
}

TEST_F(WaitDialogSimTest, ClearSettingsWaitFollowsTheExecution)
{
    // Only the acceptance is waited for here, so the machine is still executing when the
    // dialog opens.
    ASSERT_TRUE(m_machine->SendCommand(Cmd::ClearSettings, nullptr, 0));
    ASSERT_TRUE(m_machine->GetCommandStatus().word1 & CommandStatus::Executing);
    CClearSettingsDlg dialog(m_machine.get());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(zr40_test::RunModal(dialog, [] {}), 0);
    EXPECT_FALSE(m_machine->GetCommandStatus().word1 & CommandStatus::Executing);
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(SetupWaitSimTest, EndsWhenTheMachineIsUnplugged)
{
    ASSERT_EQ(m_sim->Control("state 0"), "ok\n");
    CWaitSetupDlg dialog(m_machine.get());
    QElapsedTimer clock;
    clock.start();
    const int result = zr40_test::RunModal(
        dialog, [&] { QTimer::singleShot(700, &dialog, [&] { m_sim->Control("unplug"); }); });
    EXPECT_EQ(result, 0);
    EXPECT_GE(clock.elapsed(), 700);
    EXPECT_LT(clock.elapsed(), 1400) << "closed by the failed read, not by the end of the init";
}

} // namespace
