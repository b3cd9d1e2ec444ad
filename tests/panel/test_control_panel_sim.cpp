// The panel against the running simulator: live read-outs, the state table as the machine moves
// through its states, the alarm boxes with what the machine received after them, and a pulled
// cable, a killed simulator or one that stops answering, which bring up the connection-lost box.

#include "AlarmText.h"
#include "PanelSimSupport.h"
#include "PositionFormat.h"

#include <QElapsedTimer>
#include <QTimer>

#include <ctime>

using namespace panel_test;

namespace {

// The panel opened on a fresh simulator before each test.
class ControlPanelSimTest : public PanelSimTest
{
protected:
    void SetUp() override
    {
        PanelSimTest::SetUp();
        Open();
    }
};

TEST_F(ControlPanelSimTest, ReadOutsFollowTheMachine)
{
    ASSERT_TRUE(machine->JogTo(-1, {12345, 20000, -5}));
    ASSERT_TRUE(sim->WaitUntilStopped());
    ASSERT_TRUE(WaitUntil([this] { return Text(PanelId::ValueX) == QStringLiteral("12.35"); }));
    EXPECT_EQ(Text(PanelId::ValueY), QStringLiteral("20.00"));
    EXPECT_EQ(Text(PanelId::ValueZ), QStringLiteral("-0.01"));
    panel->SetUnit(false);
    EXPECT_EQ(Text(PanelId::ValueX), QStringLiteral("0.486"));
    EXPECT_EQ(Text(PanelId::ValueZ), QStringLiteral("-0.000"));
}

TEST_F(ControlPanelSimTest, StateTableFollowsTheMachine)
{
    ASSERT_EQ(Control("state 3"), "ok\n");
    ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::CancelJob); }));
    EXPECT_TRUE(Enabled(PanelId::Pause));
    EXPECT_FALSE(Enabled(PanelId::Setup));
    EXPECT_FALSE(Enabled(PanelId::KeyXPlus));
    EXPECT_FALSE(Enabled(PanelId::SpeedAuto));

    ASSERT_EQ(Control("state 6"), "ok\n");
    ASSERT_TRUE(WaitUntil([this] { return !Enabled(PanelId::ValueX); }));
    EXPECT_FALSE(Enabled(PanelId::CancelJob));
    EXPECT_FALSE(Enabled(PanelId::KeyXPlus));

    ASSERT_EQ(Control("state 2"), "ok\n");
    ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::KeyXPlus); }));
    EXPECT_FALSE(Enabled(PanelId::Stop));

    // A long move: only Stop, the displays, the radios and the key being held stay enabled.
    CJogButton* key = panel->GetButton(PanelId::KeyXPlus);
    QTest::mousePress(key, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(machine->JogTo(-1, {150000, 0, 0}));
    ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::Stop); }));
    EXPECT_TRUE(Enabled(PanelId::KeyXPlus));
    EXPECT_FALSE(Enabled(PanelId::KeyXMinus));
    EXPECT_FALSE(Enabled(PanelId::Setup));
    EXPECT_TRUE(Enabled(PanelId::ValueX));
    EXPECT_TRUE(Enabled(PanelId::SpeedAuto));
    QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(machine->StopOperation());
    ASSERT_TRUE(
        WaitUntil([this] { return Enabled(PanelId::KeyXMinus) && !Enabled(PanelId::Stop); }));
}

TEST_F(ControlPanelSimTest, EmergencyStopBoxRepeatsUntilTheMachineLeavesTheState)
{
    answerer->Plan(1);
    answerer->Plan(1, [this](const SeenBox&) { Control("state 2"); });
    ASSERT_EQ(Control("estop 2"), "ok\n");
    ASSERT_TRUE(WaitUntil([this] { return answerer->Count() == 2 && Enabled(PanelId::KeyXPlus); }));
    Pump(500);
    EXPECT_EQ(answerer->Count(), 2);
    for (const SeenBox& box : answerer->Seen()) {
        EXPECT_EQ(box.text, FormatEmergencyStop(2));
        EXPECT_FALSE(box.pollingWhileOpen);
    }
}

TEST_F(ControlPanelSimTest, CommandErrorsReachTheMachineAfterTheBox)
{
    sim->ClearLog();
    ASSERT_EQ(Control("command-error 153"), "ok\n");
    ASSERT_TRUE(
        WaitUntil([this] { return answerer->Count() == 1 && !panel->State().IsErrorReported(); }));
    EXPECT_TRUE(answerer->Seen()[0].text.endsWith(QStringLiteral("(Error : 011)")));
    EXPECT_EQ(sim->LogOf("0x2103").size(), 1u);

    ASSERT_EQ(Control("state 3"), "ok\n");
    ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::CancelJob); }));
    sim->ClearLog();
    answerer->Plan(2); // Continue
    ASSERT_EQ(Control("command-error 151 paused"), "ok\n");
    ASSERT_TRUE(
        WaitUntil([this] { return answerer->Count() == 2 && !panel->State().IsErrorReported(); }));
    const SeenBox& paused = answerer->Seen()[1];
    EXPECT_EQ(paused.text, FormatCommandError(151, CommandErrorKind::Paused));
    EXPECT_TRUE(paused.text.endsWith(QStringLiteral("(Error : 009)")));
    EXPECT_TRUE(paused.pollingWhileOpen);
    EXPECT_EQ(sim->LogOf("0x2103").size(), 1u);
    EXPECT_EQ(sim->LogOf("0x03F1").size(), 1u);
    EXPECT_TRUE(sim->LogOf("0x03F2").empty());
}

TEST_F(ControlPanelSimTest, PulledCableBringsUpTheConnectionLostBox)
{
    QString duringBox;
    answerer->Plan(6, [&](const SeenBox&) {
        duringBox = Text(PanelId::ValueX);
        Control("replug");
    });
    ASSERT_EQ(Control("unplug"), "ok\n");
    ASSERT_TRUE(WaitUntil([this] { return answerer->Count() == 1; }));
    EXPECT_EQ(answerer->Seen()[0].text, FormatConnectionError(ConnectionErrorKind::NoResponse, {}));
    EXPECT_EQ(duringBox, QStringLiteral("---.--"));
    ASSERT_TRUE(WaitUntil([this] {
        return panel->IsConnected() && Text(PanelId::ValueX) != QStringLiteral("---.--");
    }));
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(Enabled(PanelId::KeyXPlus));
}

// A simulator killed and replaced by a new one: the panel reports the machine lost rather than
// go on with what it knew of the old one, and after Retry follows the new one.
TEST_F(ControlPanelSimTest, AKilledSimulatorIsLostEvenWhenANewOneIsRunning)
{
    ASSERT_TRUE(machine->JogTo(-1, {7220, 3610, 0}));
    ASSERT_TRUE(sim->WaitUntilStopped());
    ASSERT_TRUE(WaitUntil([this] { return Text(1004) == QStringLiteral("7.22"); }));
    QString duringBox;
    answerer->Plan(6, [&](const SeenBox&) {
        duringBox = Text(1004);
        // The new machine is moved by another program before the user answers.
        CModelingMachine other;
        ASSERT_TRUE(other.UseSimulator({}));
        ASSERT_TRUE(other.JogTo(-1, {5000, 5000, 0}));
        ASSERT_TRUE(sim->WaitUntilStopped());
    });
    sim->Kill();
    ASSERT_TRUE(sim->Start());
    ASSERT_TRUE(WaitUntil([this] { return answerer->Count() == 1; }, 3000));
    EXPECT_EQ(duringBox, QStringLiteral("---.--"));
    ASSERT_TRUE(WaitUntil([this] { return panel->IsConnected() && Text(1004) == "5.00"; }));
    EXPECT_EQ(Text(1007), QStringLiteral("5.00"));
}

// Retry while the machine does not answer: the panel asks again instead of spinning through
// reconnections, its window stays responsive and it leaves the processor alone.
TEST_F(ControlPanelSimTest, RetryOnAMachineThatDoesNotAnswerAsksAgain)
{
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(20);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    answerer->Plan(6, [&](const SeenBox&) { Control("replug"); });
    answerer->Plan(6, [&](const SeenBox&) { Control("resume-answering"); });
    ASSERT_EQ(Control("stop-answering"), "ok\n");
    timespec cpuStart{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    QElapsedTimer wall;
    wall.start();
    sinceTick.start();
    ticker.start();
    ASSERT_EQ(Control("unplug"), "ok\n");
    ASSERT_TRUE(WaitUntil([this] { return answerer->Count() == 2; }));
    ASSERT_TRUE(WaitUntil([this] { return panel->IsConnected() && Enabled(1030); }));
    ticker.stop();
    timespec cpuEnd{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    const double cpuMs =
        (cpuEnd.tv_sec - cpuStart.tv_sec) * 1e3 + (cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6;
    EXPECT_LT(longestGap, 1000);
    EXPECT_LT(cpuMs, 0.5 * static_cast<double>(wall.elapsed()));
}

} // namespace
