// The machine's state without a window: the panel's reaction to each status word, the error
// latch, the waits and the loss and return of the machine, driven against the device model.

#include "FakeMachineLink.h"
#include "MachineCommands.h"
#include "MachineState.h"
#include "ModelingMachine.h"
#include "PanelIds.h"
#include "SimulatorLink.h"
#include "WidgetTestApp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace PanelGroup;

// Records the hooks that matter here and answers the reconnection question from a list.
struct Hooks : CMachineStateHooks
{
    std::vector<std::string> calls;
    std::vector<int> answers; // AskReconnect answers, in turn; AnswerGiveUp when exhausted
    std::function<void()> beforeAnswer;

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
};

class MachineStateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        zr40_test::App();
        auto fake = std::make_unique<FakeMachineLink>();
        link = fake.get();
        machine =
            std::make_unique<CModelingMachine>(std::move(fake), std::make_unique<CSimulatorLink>());
        ASSERT_TRUE(machine->SelectMachine(FakeMachineLink::UniqueName("machine state test")));
        link->SetReply32(Cmd::GetSpindleRotation, {1000, 2});
        link->SetReply32(Cmd::GetMoveRange, {0, 0, -60000, 200000, 150000, 0});
        link->SetReply32(Cmd::GetPosition, {100, 200, 300});
        state = std::make_unique<CMachineState>(machine.get(), hooks);
    }
    void TearDown() override
    {
        state.reset();
        QCoreApplication::processEvents();
        machine.reset();
    }
    void SetLost(bool lost)
    {
        link->present = !lost;
        link->answersDeviceId = !lost;
    }
    int CountIn(uint16_t code) const
    {
        int count = 0;
        for (const auto& t : link->log)
            count += t.code == code;
        return count;
    }

    Hooks hooks;
    FakeMachineLink* link = nullptr;
    std::unique_ptr<CModelingMachine> machine;
    std::unique_ptr<CMachineState> state;
};

// --- the state table --------------------------------------------------------------------------

TEST_F(MachineStateTest, EachStateEnablesItsGroupsAndPostsItsCommand)
{
    constexpr uint32_t Moving = StateBit::Moving;
    constexpr uint32_t Paused = StateBit::Paused;
    constexpr uint32_t Error = StateBit::CommandErrorPending;
    struct Row
    {
        uint32_t word;
        unsigned groups;
        int command;
        bool readCommandSet;
        bool findHeld;
        int pausePicture; // on a fresh state, where Pause is drawn released
    };
    const std::vector<Row> rows{
        {MachineState::Initialising0, None, PanelId::WaitSetup, false, false, -1},
        {MachineState::Initialising1, None, PanelId::WaitSetup, false, false, -1},
        {MachineState::Ready, Operation | Values | SpeedRadios, 0, true, true, -1},
        {MachineState::Ready | Moving, Values | SpeedRadios | Stop, 0, true, true, -1},
        {MachineState::Ready | Paused, Operation | Values | SpeedRadios, 0, true, true, 1},
        {MachineState::Ready | Error, Operation | Values | SpeedRadios, PanelId::CommandError, true,
         true, -1},
        // A paused machine outside a job shows no error box.
        {MachineState::Ready | Paused | Error, Operation | Values | SpeedRadios, 0, true, true, 1},
        {MachineState::JobActive, Values | Cancel | Pause, 0, true, false, -1},
        {MachineState::JobActive | Moving, Values | Cancel | Pause, 0, true, false, -1},
        {MachineState::JobActive | Paused, Values | Cancel | Pause, 0, true, false, 1},
        // A running job reports its error only once it is paused.
        {MachineState::JobActive | Error, Values | Cancel | Pause, 0, true, false, -1},
        {MachineState::JobActive | Paused | Error, Values | Cancel | Pause,
         PanelId::PausedCommandError, true, false, 1},
        {MachineState::EmergencyStop, None, PanelId::FatalError, false, false, -1},
        {MachineState::EmergencyStop | Error, None, PanelId::FatalError, false, false, -1},
        {0x0F, None, 0, false, false, -1},
        {CMachineState::NoStatusWord, None, 0, false, false, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "word 0x" << std::hex << row.word);
        CMachineState fresh(machine.get(), hooks);
        const PanelReaction reaction = fresh.ReactTo(row.word);
        EXPECT_EQ(reaction.groups, row.groups);
        EXPECT_EQ(reaction.command, row.command);
        EXPECT_EQ(reaction.readCommandSet, row.readCommandSet);
        EXPECT_EQ(reaction.findHeld, row.findHeld);
        EXPECT_EQ(reaction.pausePicture, row.pausePicture);
        EXPECT_FALSE(reaction.powerOffNotice);
    }
}

TEST_F(MachineStateTest, WhatWasDoneIsNotDoneAgainUntilItChanges)
{
    using W = uint32_t;
    const W ready = MachineState::Ready;
    const W job = MachineState::JobActive;
    const W paused = StateBit::Paused;
    const W error = StateBit::CommandErrorPending;
    struct Step
    {
        const char* what;
        W word;
        int command;
        int pausePicture;
        bool reported; // IsErrorReported afterwards
        bool shown;    // IsPauseShown afterwards
    };
    // One state lives through the steps: an error box is posted once until it is answered, and
    // Pause is redrawn only when the paused bit changes.
    const std::vector<Step> steps{
        {"ready with an error", ready | error, PanelId::CommandError, -1, true, false},
        {"the same word again", ready | error, 0, -1, true, false},
        {"answered", ready, 0, -1, true, false},
        {"a job pauses", job | paused, 0, 1, true, true},
        {"still paused", job | paused, 0, -1, true, true},
        {"resumed", job, 0, 0, true, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const PanelReaction reaction = state->ReactTo(step.word);
        EXPECT_EQ(reaction.command, step.command);
        EXPECT_EQ(reaction.pausePicture, step.pausePicture);
        EXPECT_EQ(state->IsErrorReported(), step.reported);
        EXPECT_EQ(state->IsPauseShown(), step.shown);
    }
    // Once the box was dealt with, the next error is reported again.
    state->EndErrorReport();
    EXPECT_EQ(state->ReactTo(job | paused | error).command, PanelId::PausedCommandError);
    EXPECT_EQ(state->ReactTo(job | paused | error).command, 0);
}

TEST_F(MachineStateTest, AutoPowerOffNoticeComesOnceForANewCountWhenValuesShow)
{
    struct Step
    {
        const char* what;
        int count; // TakeAutoPowerOffCount before the word; -2 for no call
        uint32_t word;
        bool notice;
    };
    const std::vector<Step> steps{
        {"no count yet", -2, MachineState::Ready, false},
        {"a count while initialising waits", 1, MachineState::Initialising0, false},
        {"and comes with the values", -2, MachineState::Ready, true},
        {"once", -2, MachineState::Ready, false},
        {"the same count again", 1, MachineState::Ready, false},
        {"an unread count", -1, MachineState::Ready, false},
        {"a new count during a job", 2, MachineState::JobActive, true},
        {"a count of 0", 0, MachineState::Ready, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.count != -2)
            state->TakeAutoPowerOffCount(step.count);
        EXPECT_EQ(state->ReactTo(step.word).powerOffNotice, step.notice);
    }
}

// --- the error latch ------------------------------------------------------------------------

TEST_F(MachineStateTest, ErrorLatchIsSetByAnEventWordThatNewlyReportsAnError)
{
    struct Step
    {
        const char* what;
        uint32_t eventWord;
        bool clearBefore;
        bool latched;
    };
    const std::vector<Step> steps{
        {"no error", 0, false, false},
        {"an operation error", EventBit::OperationError, false, true},
        {"cleared while the bit stays", EventBit::OperationError, true, false},
        {"the bit goes", 0, false, false},
        {"and comes again", EventBit::OperationError | 0x1, false, true},
    };
    state->Start();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.clearBefore)
            state->ClearErrorLatch();
        link->status.eventWord = step.eventWord;
        state->PollStatus();
        EXPECT_EQ(state->GetErrorLatch(), step.latched);
    }
    // Reads that fail mark the word unknown (every bit set): that is no report of an error.
    state->ClearErrorLatch();
    link->statusBytes = 0;
    state->PollStatus();
    EXPECT_EQ(state->GetStatus().eventWord, CMachineState::NoStatusWord);
    EXPECT_FALSE(state->GetErrorLatch());
}

// --- waits ----------------------------------------------------------------------------------

TEST_F(MachineStateTest, WaitsEndWithTheirBitOrFalseWhenTheyMayNotGoOn)
{
    struct Row
    {
        const char* what;
        bool onBit40;
        bool callbackAnswer; // what the callback says once it has ended the motion
        bool endWaitsFirst;
        bool loseMachine; // the machine is not connected when the wait begins its rounds
        bool expected;
        int stops; // StopOperation commands sent
    };
    const std::vector<Row> rows{
        {"moving ends", false, false, false, false, true, 0},
        {"moving, the callback asks to stop", false, true, false, false, true, 1},
        {"bit 0x40 ends", true, false, false, false, true, 0},
        {"bit 0x40, the callback gives up", true, true, false, false, false, 0},
        {"waits ended", false, false, true, false, false, 0},
        {"machine not connected", false, false, false, true, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const uint32_t bit = row.onBit40 ? StateBit::CommandErrorPending : StateBit::Moving;
        link->status.stateWord = MachineState::Ready | bit;
        CMachineState wait(machine.get(), hooks);
        wait.Start();
        if (row.endWaitsFirst)
            wait.EndWaits();
        if (row.loseMachine) {
            SetLost(true);
            wait.OnDeviceChange(DeviceNodesChanged);
            SetLost(false);
        }
        link->log.clear();
        bool insideWait = false;
        const bool result = [&] {
            const auto callback = [&] {
                insideWait = wait.IsWaiting();
                link->status.stateWord = MachineState::Ready;
                return row.callbackAnswer;
            };
            return row.onBit40 ? wait.WaitWhileStatusBit40(callback)
                               : wait.WaitWhileMoving(callback);
        }();
        EXPECT_EQ(result, row.expected);
        EXPECT_EQ(CountIn(Cmd::StopOperation), row.stops);
        EXPECT_FALSE(wait.IsWaiting());
        if (!row.endWaitsFirst && !row.loseMachine) {
            EXPECT_TRUE(insideWait);
        }
        hooks.calls.clear();
    }
}

// --- loss and return of the machine ---------------------------------------------------------

TEST_F(MachineStateTest, ALostMachineIsAskedForUntilItReturnsOrTheUserGivesUp)
{
    using Calls = std::vector<std::string>;
    struct Row
    {
        const char* what;
        std::vector<int> answers;
        int returnsAtAsk; // the machine is back before this ask (1-based), 0 never
        Calls calls;
        bool connected;
        bool reconnected;
        bool quitting;
    };
    const int retry = CMachineStateHooks::AnswerRetry;
    const std::vector<Row> rows{
        {"given up at once", {}, 0, {"lost", "ask"}, false, false, true},
        {"back at the first retry", {retry}, 1, {"lost", "ask", "connected"}, true, true, false},
        {"back after two retries",
         {retry, retry},
         2,
         {"lost", "ask", "ask", "connected"},
         true,
         true,
         false},
        {"retried, then given up", {retry}, 0, {"lost", "ask", "ask"}, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetLost(false);
        CMachineState lost(machine.get(), hooks);
        lost.Start();
        hooks.calls.clear();
        hooks.answers = row.answers;
        int asks = 0;
        hooks.beforeAnswer = [&] {
            if (++asks == row.returnsAtAsk)
                SetLost(false);
        };
        SetLost(true);
        lost.OnDeviceChange(DeviceNodesChanged);
        EXPECT_EQ(hooks.calls, row.calls);
        EXPECT_EQ(lost.IsConnected(), row.connected);
        EXPECT_EQ(lost.IsReconnected(), row.reconnected);
        EXPECT_EQ(lost.IsQuitting(), row.quitting);
        // A lost machine's later notices ask nothing more; only a connected one is checked.
        hooks.calls.clear();
        lost.OnDeviceChange(DeviceNodesChanged);
        if (!row.connected) {
            EXPECT_TRUE(hooks.calls.empty());
        }
        hooks.beforeAnswer = {};
    }
    // Another event than a change of the device nodes is no loss.
    SetLost(false);
    CMachineState other(machine.get(), hooks);
    other.Start();
    hooks.calls.clear();
    SetLost(true);
    other.OnDeviceChange(DeviceNodesChanged + 1);
    EXPECT_TRUE(hooks.calls.empty());
    EXPECT_TRUE(other.IsConnected());
}

} // namespace
