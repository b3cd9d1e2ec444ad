// The status dialog base against the running simulator: a jog seen through the poll, refused
// while it runs, and a wait that gives up when the cable is pulled.
#include "MachineStatusDlg.h"
#include "ModelingMachine.h"
#include "SimulatorProcess.h"
#include "WidgetTestApp.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class LivePanel : public CMachineStatusDlg
{
public:
    using CMachineStatusDlg::CMachineStatusDlg;
    using CMachineStatusDlg::OnInitDialog;

    AxisTriple lastPosition{-1, -1, -1};
    int lost = 0;
    int asked = 0;

protected:
    void OnPositionChanged(const AxisTriple& relative) override { lastPosition = relative; }
    void OnMachineLost() override { ++lost; }
    int AskReconnect() override
    {
        ++asked;
        return AnswerGiveUp;
    }
};

TEST(MachineStatusDlgSimulator, JogIsFollowedAndAPulledCableEndsTheWait)
{
    zr40_test::App();
    CSimulatorProcess simulator({"--speed", "20000"});
    ASSERT_TRUE(simulator.Start());
    CModelingMachine machine;
    LivePanel* target = nullptr;
    ASSERT_TRUE(machine.UseSimulator([&target](unsigned event) {
        if (target)
            target->OnDeviceChange(event);
    }));
    LivePanel panel(&machine, 102);
    target = &panel;
    panel.OnInitDialog();
    ASSERT_TRUE(panel.IsConnected());
    ASSERT_TRUE(simulator.WaitForState(MachineState::Ready));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return panel.GetStatus().State() == MachineState::Ready; }, 3000));
    const AxisTriple start = panel.GetStatus().position;

    // A short jog runs to its end; the poll reports where the axes stopped.
    simulator.ClearLog();
    ASSERT_TRUE(panel.TryMoveRelative({1000, 0, 0}, -1));
    EXPECT_EQ(simulator.LogOf("0x04F5").size(), 1u);
    EXPECT_TRUE(panel.WaitWhileMoving());
    const AxisTriple stopped{start[0] + 1000, start[1], start[2]};
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.lastPosition == stopped; }, 3000));

    // A long one is still running when the next step comes: that step is refused.
    ASSERT_TRUE(panel.TryMoveRelative({40000, 0, 0}, -1));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return panel.GetStatus().stateWord & StateBit::Moving; }, 2000));
    EXPECT_FALSE(panel.TryMoveRelative({10, 0, 0}, -1));
    EXPECT_EQ(simulator.LogOf("0x04F5").size(), 2u);

    // The cable is pulled while the panel waits for the motion: the notice comes through the
    // link, the machine is found gone, and the wait gives up.
    QTimer::singleShot(100, [&] { simulator.Control("unplug"); });
    EXPECT_FALSE(panel.WaitWhileMoving());
    EXPECT_EQ(panel.lost, 1);
    EXPECT_EQ(panel.asked, 1);
    EXPECT_TRUE(panel.State().IsQuitting());
    EXPECT_FALSE(panel.IsConnected());

    target = nullptr;
    machine.CloseMachine();
}

} // namespace
