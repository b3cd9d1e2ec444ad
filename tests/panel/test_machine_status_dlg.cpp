#include "FakeMachineLink.h"
#include "MachineStatusDlg.h"
#include "ModelingMachine.h"
#include "SimulatorLink.h"
#include "WidgetTestApp.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// Records every hook call as one line, in order.
class RecordingDlg : public CMachineStatusDlg
{
public:
    explicit RecordingDlg(CModelingMachine* machine) : CMachineStatusDlg(machine, 102) {}

    std::vector<std::string> calls;
    int ticks = 0;                // poll-timer ticks seen
    int reconnectedClearedAt = 0; // the tick at which m_reconnected went back to false
    std::vector<int> answers;     // AskReconnect answers, in turn; AnswerGiveUp when exhausted
    std::function<void()> beforeAnswer;

    using CMachineStatusDlg::OnInitDialog;

    int CountOf(const std::string& prefix) const
    {
        int count = 0;
        for (const std::string& call : calls)
            count += call.rfind(prefix, 0) == 0;
        return count;
    }

protected:
    bool OnPollTick() override
    {
        const bool wasReconnected = State().IsReconnected();
        ++ticks;
        const bool read = CMachineStatusDlg::OnPollTick();
        if (wasReconnected && !State().IsReconnected())
            reconnectedClearedAt = ticks;
        return read;
    }
    int AskReconnect() override
    {
        calls.push_back("ask");
        if (beforeAnswer)
            beforeAnswer();
        if (answers.empty())
            return AnswerGiveUp;
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    void OnMachineLost() override { calls.push_back("lost"); }
    void OnMachineConnected() override { calls.push_back("connected"); }
    void OnPositionChanged(const AxisTriple& rel) override
    {
        calls.push_back("position " + std::to_string(rel[0]) + " " + std::to_string(rel[1]) + " " +
                        std::to_string(rel[2]));
    }
    void OnSpindleChanged(int32_t value) override
    {
        calls.push_back("spindle " + std::to_string(value));
    }
    void OnStatusByte28Changed(uint8_t value) override
    {
        calls.push_back("byte28 " + std::to_string(value));
    }
    void OnOverrideChanged(uint8_t percent, bool fromMachine) override
    {
        calls.push_back("override " + std::to_string(percent) + (fromMachine ? " machine" : ""));
    }
    void OnStatusByte27Changed(uint8_t value) override
    {
        calls.push_back("byte27 " + std::to_string(value));
    }
    void OnStatusChanged(uint32_t word, uint32_t changed) override
    {
        calls.push_back("status " + Hex(word) + " " + Hex(changed));
    }
    void OnStatus2Changed(uint32_t word, uint32_t changed) override
    {
        calls.push_back("status2 " + Hex(word) + " " + Hex(changed));
    }
};

class MachineStatusDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        zr40_test::App();
        auto fake = std::make_unique<FakeMachineLink>();
        link = fake.get();
        machine =
            std::make_unique<CModelingMachine>(std::move(fake), std::make_unique<CSimulatorLink>());
        ASSERT_TRUE(machine->SelectMachine(FakeMachineLink::UniqueName("status dlg test")));
        // Every query the dialog makes has an answer, so that none waits for its time limit.
        link->SetReply32(Cmd::GetSpindleRotation, {1000, 2});
        link->SetReply32(Cmd::GetMoveRange, {0, 0, -60000, 200000, 150000, 0});
        link->SetReply32(Cmd::GetPosition, {100, 200, 300});
        link->SetReply32(Cmd::GetUserOrigin, {10, 20, 30});
        link->SetReply32(Cmd::GetExofsOrigin, {1, 2, 3});
        link->status.position = {1000, 2000, 3000};
        dlg = std::make_unique<RecordingDlg>(machine.get());
    }
    void TearDown() override
    {
        dlg.reset();
        // Flush queued closes and deferred deletes before the machine goes.
        QCoreApplication::processEvents();
        machine.reset();
    }

    // Initialises the dialog and settles the cache on the model's status.
    void Start()
    {
        dlg->OnInitDialog();
        dlg->PollStatus();
        dlg->calls.clear();
        link->log.clear();
    }
    void LoseMachine()
    {
        link->present = false;
        link->answersDeviceId = false;
    }
    void RestoreMachine()
    {
        link->present = true;
        link->answersDeviceId = true;
    }
    int CountIn(uint16_t code) const
    {
        int count = 0;
        for (const auto& t : link->log)
            count += t.code == code;
        return count;
    }

    FakeMachineLink* link = nullptr;
    std::unique_ptr<CModelingMachine> machine;
    std::unique_ptr<RecordingDlg> dlg;
};

using Calls = std::vector<std::string>;

// --- initialisation and polling ---------------------------------------------------------------

TEST_F(MachineStatusDlgTest, InitReportsUnknownWordsThenConnectsAndPolls)
{
    dlg->OnInitDialog();
    EXPECT_EQ(dlg->calls, (Calls{"status ffffffff 0", "status2 ffffffff 0", "connected"}));
    EXPECT_TRUE(dlg->IsConnected());
    EXPECT_TRUE(dlg->State().IsPolling());
    EXPECT_EQ(dlg->State().GetSpindleRotationWords(), (std::array<int32_t, 2>{1000, 2}));
    EXPECT_EQ(dlg->GetRangeLow(), (AxisTriple{0, 0, -60000}));
    EXPECT_EQ(dlg->GetRangeHigh(), (AxisTriple{200000, 150000, 0}));
    // No coordinate system chosen yet: the origin is 0, 0, 0 and nothing asked the machine.
    EXPECT_EQ(dlg->GetCurrentOrigin(), (AxisTriple{0, 0, 0}));
    EXPECT_EQ(CountIn(Cmd::GetUserOrigin), 0);

    // The first poll reports the machine coordinates as they are.
    dlg->calls.clear();
    dlg->PollStatus();
    EXPECT_EQ(dlg->CountOf("position 1000 2000 3000"), 1);
}

TEST_F(MachineStatusDlgTest, InitWithoutMachineStaysDisconnectedAndStillPolls)
{
    LoseMachine();
    dlg->OnInitDialog();
    EXPECT_FALSE(dlg->IsConnected());
    EXPECT_TRUE(dlg->State().IsPolling());
    EXPECT_EQ(dlg->CountOf("connected"), 0);
    dlg->calls.clear();
    dlg->PollStatus();
    EXPECT_TRUE(dlg->calls.empty());
    EXPECT_EQ(dlg->GetStatus().stateWord, 0xFFFFFFFFu);
}

TEST_F(MachineStatusDlgTest, FullReadReportsOnlyChangedFieldsInOrder)
{
    Start();
    dlg->PollStatus();
    EXPECT_TRUE(dlg->calls.empty()) << "nothing changed";

    link->status.position = {1000, 2001, 3000};
    link->status.spindleSpeed = 12000;
    link->status.override = 150;
    link->status.byte27 = 7;
    link->status.byte28 = 8;
    link->status.stateWord = MachineState::Ready | StateBit::SpindleRotating;
    link->status.eventWord = EventBit::OperationError;
    dlg->PollStatus();
    EXPECT_EQ(dlg->calls, (Calls{"position 1000 2001 3000", "spindle 12000", "override 150 machine",
                                 "byte27 7", "byte28 8", "status 10002 10000", "status2 10 10"}));
}

TEST_F(MachineStatusDlgTest, FailedReadThenFullReadCallsEveryHookOnce)
{
    Start();
    link->statusBytes = 4;
    dlg->PollStatus();
    EXPECT_TRUE(dlg->calls.empty()) << "no status calls no hook";
    EXPECT_EQ(dlg->GetStatus().stateWord, 0xFFFFFFFFu);
    EXPECT_EQ(dlg->GetStatus().eventWord, 0xFFFFFFFFu);
    EXPECT_TRUE(CMachineState::IsForceNotifyPending());

    // The same machine status as before the gap: everything is reported again, once.
    link->statusBytes = 32;
    dlg->PollStatus();
    EXPECT_EQ(dlg->calls,
              (Calls{"position 1000 2000 3000", "spindle 0", "override 100 machine", "byte27 0",
                     "byte28 0", "status 2 fffffffd", "status2 0 ffffffff"}));
    EXPECT_FALSE(CMachineState::IsForceNotifyPending());
    dlg->calls.clear();
    dlg->PollStatus();
    EXPECT_TRUE(dlg->calls.empty());
}

TEST_F(MachineStatusDlgTest, ShortReadReportsOnlyTheWords)
{
    Start();
    link->statusBytes = 16;
    link->status.stateWord = MachineState::JobActive;
    link->status.position = {5, 6, 7};
    dlg->PollStatus();
    EXPECT_EQ(dlg->calls, (Calls{"status 3 1"}));
    EXPECT_EQ(dlg->GetStatus().position, (AxisTriple{-1, -1, -1}));
    EXPECT_EQ(dlg->GetStatus().override, 255);
    EXPECT_EQ(dlg->GetStatus().spindleSpeed, 255);

    // The next complete read reports the position because it differs from -1 ...
    dlg->calls.clear();
    link->statusBytes = 32;
    dlg->PollStatus();
    EXPECT_EQ(dlg->CountOf("position 5 6 7"), 1);

    // ... and does not when the machine really is at -1, -1, -1.
    link->statusBytes = 16;
    dlg->PollStatus();
    dlg->calls.clear();
    link->statusBytes = 32;
    link->status.position = {-1, -1, -1};
    dlg->PollStatus();
    EXPECT_EQ(dlg->CountOf("position"), 0);
}

TEST_F(MachineStatusDlgTest, StartPollingReportsUnknownWordOnlyWhenStopped)
{
    Start();
    dlg->StopPolling();
    EXPECT_FALSE(dlg->State().IsPolling());
    dlg->StartPolling();
    EXPECT_TRUE(dlg->State().IsPolling());
    EXPECT_EQ(dlg->calls, (Calls{"status ffffffff 0"}));
    // The next poll reports the real word as a change, as the alarm handling relies on.
    dlg->PollStatus();
    EXPECT_EQ(dlg->CountOf("status 2 fffffffd"), 1);

    dlg->calls.clear();
    dlg->StartPolling();
    EXPECT_TRUE(dlg->calls.empty()) << "already polling";
}

TEST_F(MachineStatusDlgTest, PollTimerKeepsTheCacheCurrent)
{
    Start();
    link->status.spindleSpeed = 5000;
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg->GetStatus().spindleSpeed == 5000; }, 1000));
    EXPECT_EQ(dlg->CountOf("spindle 5000"), 1);
}

// --- coordinate systems -----------------------------------------------------------------------

TEST_F(MachineStatusDlgTest, EveryCoordinateSystemNumberReadsItsOrigin)
{
    Start();
    link->SetReply32(0x3203, {54, 0, 0});  // G54
    link->SetReply32(0x3208, {59, 0, 0});  // G59
    link->SetReply32(0x3209, {1, 0, 0});   // P1
    link->SetReply32(0x3334, {300, 0, 0}); // P300
    struct Case
    {
        int number;
        uint16_t code;
        int32_t x;
    };
    for (const Case& c :
         {Case{1, Cmd::GetUserOrigin, 10}, Case{2, Cmd::GetExofsOrigin, 1}, Case{3, 0x3203, 54},
          Case{8, 0x3208, 59}, Case{10, 0x3209, 1}, Case{309, 0x3334, 300}}) {
        link->log.clear();
        AxisTriple origin{-5, -5, -5};
        EXPECT_TRUE(dlg->GetOrigin(c.number, origin)) << c.number;
        EXPECT_EQ(origin[0], c.x) << c.number;
        EXPECT_EQ(CountIn(c.code), 1) << c.number;
    }
    // Machine coordinates need no question; 9 and 310 map to n = 60 and p = 301, which the
    // command layer refuses, and other numbers have no origin: nothing goes out for any of them.
    link->log.clear();
    for (int number : {0, 9, 310, -1, 311, 1000}) {
        AxisTriple origin{-5, -5, -5};
        EXPECT_EQ(dlg->GetOrigin(number, origin), number == 0) << number;
        EXPECT_EQ(origin, (AxisTriple{0, 0, 0})) << number;
    }
    EXPECT_TRUE(link->log.empty());
}

TEST_F(MachineStatusDlgTest, EveryCoordinateSystemNumberWritesItsOrigin)
{
    Start();
    const AxisTriple origin{7, 8, 9};
    struct Case
    {
        int number;
        uint16_t code;
    };
    for (const Case& c : {Case{1, Cmd::SetUserOrigin}, Case{2, Cmd::SetExofsOrigin},
                          Case{3, 0x3336}, Case{8, 0x333B}, Case{10, 0x333C}, Case{309, 0x3467}}) {
        link->log.clear();
        EXPECT_TRUE(dlg->SetOrigin(c.number, origin)) << c.number;
        EXPECT_EQ(CountIn(c.code), 1) << c.number;
    }
    link->log.clear();
    for (int number : {0, 9, 310, -1, 311})
        EXPECT_FALSE(dlg->SetOrigin(number, origin)) << number;
    EXPECT_TRUE(link->log.empty());
    EXPECT_TRUE(dlg->calls.empty()) << "none of them is the current system";
}

TEST_F(MachineStatusDlgTest, SelectingASystemRedrawsRelativeToItsOrigin)
{
    Start();
    ASSERT_TRUE(dlg->SelectCoordinateSystem(1));
    EXPECT_EQ(dlg->calls, (Calls{"position 990 1980 2970"}));
    EXPECT_EQ(dlg->State().GetCoordSystem(), 1);

    // Selecting it again asks nothing and tells nothing.
    dlg->calls.clear();
    link->log.clear();
    EXPECT_TRUE(dlg->SelectCoordinateSystem(1));
    EXPECT_TRUE(dlg->calls.empty());
    EXPECT_TRUE(link->log.empty());

    // An origin that cannot be read keeps the previous system and its origin.
    EXPECT_FALSE(dlg->SelectCoordinateSystem(9));
    EXPECT_EQ(dlg->State().GetCoordSystem(), 1);
    EXPECT_EQ(dlg->GetCurrentOrigin(), (AxisTriple{10, 20, 30}));
    EXPECT_TRUE(dlg->calls.empty());

    ASSERT_TRUE(dlg->SelectCoordinateSystem(0));
    EXPECT_EQ(dlg->calls, (Calls{"position 1000 2000 3000"}));
}

TEST_F(MachineStatusDlgTest, OriginIsFollowedOnEveryPoll)
{
    Start();
    ASSERT_TRUE(dlg->SelectCoordinateSystem(1));
    dlg->calls.clear();
    link->log.clear();
    dlg->PollStatus();
    dlg->PollStatus();
    EXPECT_EQ(CountIn(Cmd::GetUserOrigin), 2) << "read again on each complete poll";
    EXPECT_TRUE(dlg->calls.empty()) << "unchanged origin tells nothing";

    // Changed from outside, e.g. by a program running on the machine.
    link->SetReply32(Cmd::GetUserOrigin, {0, 0, 0});
    dlg->PollStatus();
    EXPECT_EQ(dlg->calls, (Calls{"position 1000 2000 3000"}));
    EXPECT_EQ(dlg->GetCurrentOrigin(), (AxisTriple{0, 0, 0}));

    // A short read does not read the origin.
    link->log.clear();
    link->statusBytes = 16;
    dlg->PollStatus();
    EXPECT_EQ(CountIn(Cmd::GetUserOrigin), 0);
}

TEST_F(MachineStatusDlgTest, SetOriginOfTheCurrentSystemRedrawsAtOnce)
{
    Start();
    ASSERT_TRUE(dlg->SelectCoordinateSystem(1));
    dlg->calls.clear();
    ASSERT_TRUE(dlg->SetOrigin(1, {1000, 1000, 1000}));
    EXPECT_EQ(dlg->calls, (Calls{"position 0 1000 2000"}));
    EXPECT_EQ(dlg->GetCurrentOrigin(), (AxisTriple{1000, 1000, 1000}));

    // Another system's origin leaves the display alone.
    dlg->calls.clear();
    ASSERT_TRUE(dlg->SetOrigin(2, {5, 5, 5}));
    EXPECT_TRUE(dlg->calls.empty());

    // An origin the machine did not take is not shown as if it had.
    link->commandErrorBits = CommandStatus::Error;
    EXPECT_FALSE(dlg->SetOrigin(1, {0, 0, 0}));
    EXPECT_EQ(dlg->GetCurrentOrigin(), (AxisTriple{1000, 1000, 1000}));
    EXPECT_TRUE(dlg->calls.empty());
}

TEST_F(MachineStatusDlgTest, NotifyPositionRepeatsTheRelativePosition)
{
    Start();
    ASSERT_TRUE(dlg->SelectCoordinateSystem(2));
    dlg->calls.clear();
    dlg->NotifyPosition();
    EXPECT_EQ(dlg->calls, (Calls{"position 999 1998 2997"}));
}

// --- motion -----------------------------------------------------------------------------------

AxisTriple JogTarget(const FakeMachineLink::Transfer& t, int16_t& parameter)
{
    EXPECT_EQ(t.data.size(), 16u);
    AxisTriple target{};
    if (t.data.size() != 16)
        return target;
    std::memcpy(&parameter, t.data.data(), 2);
    std::memcpy(target.data(), t.data.data() + 4, 12);
    return target;
}

TEST_F(MachineStatusDlgTest, TryMoveRelativeIsRefusedWhileMoving)
{
    Start();
    link->status.stateWord = MachineState::Ready | StateBit::Moving;
    EXPECT_FALSE(dlg->TryMoveRelative({10, 0, 0}, -1));
    EXPECT_EQ(link->CountOut(Cmd::JogTo), 0);
    EXPECT_EQ(link->CountOut(Cmd::GetPosition), 0);

    // Without status it is refused too: the unknown word has every bit set.
    link->statusBytes = 0;
    EXPECT_FALSE(dlg->TryMoveRelative({10, 0, 0}, -1));
    EXPECT_EQ(link->CountOut(Cmd::JogTo), 0);

    link->statusBytes = 32;
    link->status.stateWord = MachineState::Ready;
    ASSERT_TRUE(dlg->TryMoveRelative({10, 0, -5}, -1));
    ASSERT_EQ(link->CountOut(Cmd::JogTo), 1);
    int16_t parameter = 0;
    EXPECT_EQ(JogTarget(link->CommandsSent().back(), parameter), (AxisTriple{110, 200, 295}));
    EXPECT_EQ(parameter, -1);
}

TEST_F(MachineStatusDlgTest, MoveRelativeGoesEvenWhileMoving)
{
    Start();
    link->status.stateWord = MachineState::Ready | StateBit::Moving;
    dlg->PollStatus();
    ASSERT_TRUE(dlg->MoveRelative({0, -1000, 0}, -1));
    int16_t parameter = 0;
    EXPECT_EQ(JogTarget(link->CommandsSent().back(), parameter), (AxisTriple{100, -800, 300}));
}

TEST_F(MachineStatusDlgTest, MoveRelativeNeedsThePosition)
{
    Start();
    link->replies.erase(Cmd::GetPosition);
    link->commandErrorBits = CommandStatus::Error; // the query fails at once
    EXPECT_FALSE(dlg->MoveRelative({1, 1, 1}, -1));
    EXPECT_EQ(link->CountOut(Cmd::JogTo), 0);
}

TEST_F(MachineStatusDlgTest, JogTargetStopsAtTheEndOfTheRange)
{
    Start();
    constexpr int32_t max = std::numeric_limits<int32_t>::max();
    constexpr int32_t min = std::numeric_limits<int32_t>::min();
    link->SetReply32(Cmd::GetPosition, {max - 5, min + 5, 0});
    ASSERT_TRUE(dlg->MoveRelative({10, -10, 0}, -1));
    int16_t parameter = 0;
    EXPECT_EQ(JogTarget(link->CommandsSent().back(), parameter), (AxisTriple{max, min, 0}));
}

// --- wait loops ---------------------------------------------------------------------------------

TEST_F(MachineStatusDlgTest, WaitWhileMovingEndsWhenTheAxesStop)
{
    Start();
    link->status.stateWord = MachineState::Ready | StateBit::Moving;
    bool clickHandled = false;
    // Events go on while waiting: a queued click and, later, the end of the motion.
    QTimer::singleShot(0, [&] { clickHandled = true; });
    QTimer::singleShot(300, [&] { link->status.stateWord = MachineState::Ready; });
    EXPECT_TRUE(dlg->WaitWhileMoving());
    EXPECT_TRUE(clickHandled);
    EXPECT_EQ(dlg->GetStatus().stateWord, uint32_t(MachineState::Ready));
}

TEST_F(MachineStatusDlgTest, WaitReturnsFalseWhenTheMachineIsLost)
{
    Start();
    link->status.stateWord = MachineState::Ready | StateBit::Moving;
    QTimer::singleShot(100, [&] {
        dlg->calls.clear();
        LoseMachine();
        dlg->OnDeviceChange(DeviceNodesChanged);
    });
    EXPECT_FALSE(dlg->WaitWhileMoving());
    EXPECT_EQ(dlg->calls, (Calls{"lost", "ask"}));
    EXPECT_TRUE(dlg->State().IsQuitting());
}

TEST_F(MachineStatusDlgTest, WaitReturnsFalseAfterTheMachineCameBack)
{
    Start();
    link->status.stateWord = MachineState::Ready | StateBit::Moving;
    dlg->answers = {CMachineStatusDlg::AnswerRetry};
    dlg->beforeAnswer = [&] { RestoreMachine(); };
    QTimer::singleShot(100, [&] {
        LoseMachine();
        dlg->OnDeviceChange(DeviceNodesChanged);
    });
    EXPECT_FALSE(dlg->WaitWhileMoving());
    EXPECT_TRUE(dlg->State().IsReconnected());
    EXPECT_TRUE(dlg->IsConnected());
    EXPECT_FALSE(dlg->State().IsQuitting());
}

TEST_F(MachineStatusDlgTest, WaitCallbacks)
{
    Start();
    // WaitWhileMoving: a true answer stops the motion and the wait goes on until it has ended.
    link->status.stateWord = MachineState::Ready | StateBit::Moving;
    link->onCommand = [&](uint16_t code, const std::vector<uint8_t>&) {
        if (code == Cmd::StopOperation)
            link->status.stateWord = MachineState::Ready;
    };
    int asked = 0;
    EXPECT_TRUE(dlg->WaitWhileMoving([&] { return ++asked == 2; }));
    EXPECT_EQ(link->CountOut(Cmd::StopOperation), 1);
    EXPECT_GE(asked, 2);

    // WaitWhileStatusBit40: a true answer ends the wait with false and sends nothing.
    link->log.clear();
    link->status.stateWord = MachineState::Ready | StateBit::CommandErrorPending;
    EXPECT_FALSE(dlg->WaitWhileStatusBit40([] { return true; }));
    EXPECT_TRUE(link->CommandsSent().empty());

    // Nothing to wait for: true at once, the callback not even asked.
    link->status.stateWord = MachineState::Ready;
    EXPECT_TRUE(dlg->WaitWhileStatusBit40([] {
        ADD_FAILURE() << "asked without a wait";
        return true;
    }));
}

TEST_F(MachineStatusDlgTest, SpinWaitDispatchesNothing)
{
    bool dispatched = false;
    QTimer::singleShot(0, [&] { dispatched = true; });
    const auto start = std::chrono::steady_clock::now();
    CMachineStatusDlg::SpinWait(30);
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_FALSE(dispatched);
    QCoreApplication::processEvents();
    EXPECT_TRUE(dispatched);
    CMachineStatusDlg::SpinWait(-5); // a negative time returns at once
}

// --- device changes and reconnection --------------------------------------------------------

TEST_F(MachineStatusDlgTest, DeviceChangeWhileTheMachineAnswersChangesNothing)
{
    Start();
    dlg->OnDeviceChange(DeviceNodesChanged);
    LoseMachine();
    dlg->OnDeviceChange(3); // not "device nodes changed"
    EXPECT_TRUE(dlg->calls.empty());
    EXPECT_TRUE(dlg->IsConnected());
}

TEST_F(MachineStatusDlgTest, DeviceChangeWhileNotConnectedIsIgnored)
{
    LoseMachine();
    dlg->OnInitDialog();
    dlg->calls.clear();
    dlg->OnDeviceChange(DeviceNodesChanged);
    EXPECT_TRUE(dlg->calls.empty()) << "losing is detected only while connected";
}

TEST_F(MachineStatusDlgTest, ReconnectAsksUntilTheMachineIsBack)
{
    Start();
    ASSERT_TRUE(dlg->SelectCoordinateSystem(1));
    dlg->calls.clear();
    int asked = 0;
    dlg->answers = {6, 2, 6};
    dlg->beforeAnswer = [&] {
        if (++asked == 3)
            RestoreMachine();
    };
    LoseMachine();
    dlg->OnDeviceChange(DeviceNodesChanged);
    EXPECT_EQ(dlg->calls, (Calls{"lost", "ask", "ask", "ask", "connected"}));
    EXPECT_TRUE(dlg->IsConnected());
    EXPECT_TRUE(dlg->State().IsReconnected());
    EXPECT_EQ(dlg->GetCurrentOrigin(), (AxisTriple{10, 20, 30}));
}

TEST_F(MachineStatusDlgTest, GivingUpClosesThePanelWithinOneTick)
{
    dlg->setModal(true);
    dlg->show();
    ASSERT_TRUE(dlg->IsConnected());
    int closedAt = 0;
    QObject::connect(dlg.get(), &QDialog::finished, [&] { closedAt = dlg->ticks; });
    dlg->calls.clear();
    LoseMachine();
    dlg->OnDeviceChange(DeviceNodesChanged);
    EXPECT_EQ(dlg->calls, (Calls{"lost", "ask"}));
    EXPECT_TRUE(dlg->State().IsQuitting());
    RestoreMachine(); // coming back does not matter any more
    dlg->ticks = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg->isVisible(); }, 2000));
    EXPECT_EQ(closedAt, 1);
    EXPECT_EQ(dlg->CountOf("ask"), 1);
}

TEST_F(MachineStatusDlgTest, ReconnectionClosesTheOpenWindowsOnePerTick)
{
    dlg->setModal(true);
    dlg->show();
    auto* first = new QDialog(dlg.get());
    first->setModal(true);
    first->show();
    auto* second = new QDialog(first);
    second->setModal(true);
    second->show();
    ASSERT_EQ(QApplication::activeModalWidget(), second);
    int firstClosedAt = 0;
    int secondClosedAt = 0;
    QObject::connect(first, &QDialog::finished, [&] { firstClosedAt = dlg->ticks; });
    QObject::connect(second, &QDialog::finished, [&] { secondClosedAt = dlg->ticks; });

    dlg->answers = {CMachineStatusDlg::AnswerRetry};
    dlg->beforeAnswer = [&] { RestoreMachine(); };
    LoseMachine();
    dlg->OnDeviceChange(DeviceNodesChanged);
    ASSERT_TRUE(dlg->State().IsReconnected());
    dlg->ticks = 0;

    // The topmost goes first, the one below it at the next tick; once the panel is on top again
    // the flag clears and the panel stays open.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg->State().IsReconnected(); }, 2000));
    EXPECT_EQ(secondClosedAt, 1);
    EXPECT_EQ(firstClosedAt, 2);
    EXPECT_EQ(dlg->reconnectedClearedAt, 3);
    QTest::qWait(CMachineStatusDlg::PollIntervalMs * 2);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(dlg->State().IsQuitting());
}

// --- title ------------------------------------------------------------------------------------

TEST(MachineStatusDlgTitle, FormatsTheApplicationNameAndText)
{
    EXPECT_EQ(FormatDialogTitle("Control Panel", ""), "Control Panel");
    EXPECT_EQ(FormatDialogTitle("Control Panel", "Simulator"), "Control Panel [Simulator]");
    EXPECT_EQ(FormatDialogTitle("Control Panel", "%1 50%"), "Control Panel [%1 50%]");
}

TEST_F(MachineStatusDlgTest, TitleStartsWithTheApplicationTitle)
{
    CMachineStatusDlg::SetApplicationTitle("Control Panel");
    dlg->OnInitDialog();
    EXPECT_EQ(dlg->windowTitle(), "Control Panel");
    dlg->SetTitle("ZR-40");
    EXPECT_EQ(dlg->windowTitle(), "Control Panel [ZR-40]");
    CMachineStatusDlg::SetApplicationTitle(QString());
    dlg->SetTitle(QString());
    EXPECT_EQ(dlg->windowTitle(), QCoreApplication::applicationName());
}

// --- device-change notices on the event loop ---------------------------------------------------

// A device model whose notices arrive on a pipe, one byte per event, as a link's do.
class NoticeLink : public FakeMachineLink
{
public:
    NoticeLink() { NewPipe(); }
    ~NoticeLink() override { ClosePipe(); }

    void NewPipe()
    {
        ClosePipe();
        if (pipe2(m_fds, O_NONBLOCK | O_CLOEXEC) != 0)
            m_fds[0] = m_fds[1] = -1;
    }
    void Post(unsigned char event) const { EXPECT_EQ(write(m_fds[1], &event, 1), 1); }
    int WriteFd() const { return m_fds[1]; }

    int GetNotificationFd() const override { return m_fds[0]; }
    void ProcessNotifications() override
    {
        ++processed;
        unsigned char events[16];
        const ssize_t count = read(m_fds[0], events, sizeof events);
        for (ssize_t i = 0; i < count; ++i)
            NotifyTarget(events[i]);
    }

    int processed = 0;

private:
    void ClosePipe()
    {
        for (int& fd : m_fds)
            if (fd >= 0)
                close(fd);
        m_fds[0] = m_fds[1] = -1;
    }
    int m_fds[2] = {-1, -1};
};

class DeviceChangeWatcherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        zr40_test::App();
        link.SetNotificationTarget([this](unsigned event) {
            received.push_back(event);
            if (onNotice)
                onNotice(event);
        });
    }

    NoticeLink link;
    std::vector<unsigned> received;
    std::function<void(unsigned)> onNotice;
};

TEST_F(DeviceChangeWatcherTest, NoticesReachTheTargetFromTheEventLoop)
{
    CDeviceChangeWatcher watcher;
    watcher.Watch(&link);
    EXPECT_EQ(watcher.GetWatchedFd(), link.GetNotificationFd());
    link.Post(7);
    EXPECT_TRUE(received.empty()) << "nothing happens outside the event loop";
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 1; }, 1000));
    EXPECT_EQ(received[0], 7u);
}

TEST_F(DeviceChangeWatcherTest, FollowsANewDescriptorAndStops)
{
    CDeviceChangeWatcher watcher;
    watcher.Watch(&link);
    link.NewPipe();
    watcher.Watch(&link);
    EXPECT_EQ(watcher.GetWatchedFd(), link.GetNotificationFd());
    link.Post(7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 1; }, 1000));

    watcher.Watch(nullptr);
    EXPECT_EQ(watcher.GetWatchedFd(), -1);
    link.Post(7);
    QTest::qWait(50);
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(DeviceChangeWatcherTest, ANoticeHandledInANestedLoopIsNotReentered)
{
    CDeviceChangeWatcher watcher;
    watcher.Watch(&link);
    int depth = 0;
    int deepest = 0;
    onNotice = [&](unsigned) {
        deepest = std::max(deepest, ++depth);
        if (received.size() == 1) {
            // As a reconnection question would: more notices come while its loop runs.
            link.Post(7);
            QTest::qWait(50);
        }
        --depth;
    };
    link.Post(7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 1000));
    EXPECT_EQ(deepest, 1);
}

TEST_F(DeviceChangeWatcherTest, PanelLearnsOfTheLostMachineThroughTheLinksNotices)
{
    auto owned = std::make_unique<NoticeLink>();
    NoticeLink* usb = owned.get();
    CModelingMachine machine(std::move(owned), std::make_unique<CSimulatorLink>());
    ASSERT_TRUE(machine.SelectMachine(FakeMachineLink::UniqueName("notice test")));
    usb->SetReply32(Cmd::GetSpindleRotation, {0, 0});
    usb->SetReply32(Cmd::GetMoveRange, {0, 0, 0, 0, 0, 0});
    RecordingDlg dlg(&machine);
    usb->SetNotificationTarget([&dlg](unsigned event) { dlg.OnDeviceChange(event); });
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.State().GetDeviceChangeWatcher().GetWatchedFd(), usb->GetNotificationFd());

    // The link reopened with a new descriptor: the next tick follows it.
    usb->NewPipe();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return dlg.State().GetDeviceChangeWatcher().GetWatchedFd() == usb->GetNotificationFd();
        },
        1000));

    dlg.calls.clear();
    usb->present = false;
    usb->answersDeviceId = false;
    usb->Post(static_cast<unsigned char>(DeviceNodesChanged));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.State().IsQuitting(); }, 1000));
    EXPECT_EQ(dlg.calls, (Calls{"lost", "ask"}));
}

} // namespace
