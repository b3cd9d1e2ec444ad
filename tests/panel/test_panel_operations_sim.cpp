// The panel's operations against the running simulator, judged by what the machine received
// (its command log) and what the panel shows: jog steps and continuous jog, the moves to the
// origin with Stop, origin setting, spindle and cutting speed, pause and quit, and the keyboard
// jog. Two cases the simulator cannot stage (a failing range read, a short status record) run
// on the device model.

#include "PanelModelSupport.h"
#include "PanelSimSupport.h"
#include "PositionFormat.h"
#include "UpDownArrows.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <QToolButton>

#include <functional>

#include <sys/resource.h>

using namespace panel_test;

namespace {

using PanelOperationsTest = PanelSimTest;

TEST_F(PanelOperationsTest, StepKeysMoveByTheStepInTheChosenYDirection)
{
    Open();
    MoveMachineTo({5000, 4000, -1000});
    const AxisTriple start = SimPosition();

    // "x1" with the table moved: the upper middle key moves Y minus.
    panel->SetCursorYDir(false);
    Radio(PanelId::StepX1)->click();
    sim->ClearLog();
    Click(PanelId::KeyYUpper);
    ASSERT_EQ(JogTargets(), (std::vector{Offset(start, 0, -10, 0)}));
    ASSERT_TRUE(sim->WaitUntilStopped());

    // X+ once: 0.010 mm further, on the machine and on the read-out.
    Click(PanelId::KeyXPlus);
    ASSERT_TRUE(sim->WaitUntilStopped());
    EXPECT_EQ(SimPosition(), Offset(start, 10, -10, 0));
    const int32_t originX = panel->GetCurrentOrigin()[0];
    EXPECT_TRUE(WaitUntil(
        [&] { return Text(PanelId::ValueX) == FormatPosition(start[0] + 10 - originX, true); }));

    // "x100" held: each repeat while the step still runs is refused, so every step that is
    // taken starts where the last one ended.
    Radio(PanelId::StepX100)->click();
    sim->ClearLog();
    const AxisTriple before = SimPosition();
    QElapsedTimer held;
    held.start();
    Press(PanelId::KeyXPlus);
    const bool repeated = WaitUntil([this] { return JogTargets().size() >= 2; }, 10000);
    Release(PanelId::KeyXPlus);
    const qint64 heldMs = held.elapsed();
    ASSERT_TRUE(repeated);
    const std::vector<AxisTriple> steps = JogTargets();
    // A 1 mm step takes 250 ms at the simulator's 4 mm/s, and no repeat starts before the last
    // step has ended: at most one step per 250 ms held, and the first at the press.
    EXPECT_LE(static_cast<qint64>(steps.size()), 1 + heldMs / 250) << heldMs;
    for (size_t i = 0; i < steps.size(); ++i)
        EXPECT_EQ(steps[i], Offset(before, 1000 * static_cast<int32_t>(i + 1), 0, 0)) << i;
}

TEST_F(PanelOperationsTest, ContinueHeldKeepsSettingTargetsOneMillimetreAhead)
{
    Open();
    Radio(PanelId::StepContinue)->click();
    const AxisTriple start = SimPosition();
    sim->ClearLog();
    QElapsedTimer held;
    held.start();
    Press(PanelId::KeyXPlus);
    const bool repeated = WaitUntil([this] { return JogTargets().size() >= 8; }, 10000);
    Release(PanelId::KeyXPlus);
    const qint64 heldMs = held.elapsed();
    ASSERT_TRUE(repeated);
    const std::vector<AxisTriple> targets = JogTargets();
    // One target at the press, then one per 100 ms repeat at the most.
    EXPECT_LE(static_cast<qint64>(targets.size()), 2 + heldMs / 100) << heldMs;
    EXPECT_EQ(targets[0], Offset(start, 1000, 0, 0));
    // Each target is 1 mm beyond a position read on the way to the previous one.
    for (size_t i = 1; i < targets.size(); ++i) {
        const int32_t advance = targets[i][0] - targets[i - 1][0];
        EXPECT_GT(advance, 0) << i;
        EXPECT_LT(advance, 1000) << i;
        EXPECT_EQ(targets[i][1], start[1]);
        EXPECT_EQ(targets[i][2], start[2]);
    }
    // Every jog was preceded by the position read it was built on.
    const std::vector<std::string> log = sim->Log();
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].starts_with("0x04F5")) {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(log[i - 1], "0x0301");
        }
    // After the release nothing more is sent and the machine ends on the last target.
    ASSERT_TRUE(sim->WaitUntilStopped());
    EXPECT_EQ(SimPosition(), targets.back());
    EXPECT_EQ(JogTargets().size(), targets.size());
}

TEST_F(PanelOperationsTest, MoveXYLiftsFirstAndStopEndsItBeforeXAndYMove)
{
    Open();
    MoveMachineTo({2000, 3000, -4000});
    const int32_t top = panel->GetRangeHigh()[2];

    sim->ClearLog();
    QTimer::singleShot(200, panel.get(), [this] { Click(PanelId::Stop); });
    Click(PanelId::MoveXY);
    ASSERT_EQ(sim->LogOf("0x04F3").size(), 1u);
    EXPECT_EQ(LoggedTarget(sim->LogOf("0x04F3")[0]), (AxisTriple{2000, 3000, top}));
    EXPECT_EQ(sim->LogOf("0x03F3").size(), 1u);
    EXPECT_TRUE(sim->LogOf("0x3501").empty());
    const AxisTriple stopped = SimPosition();
    EXPECT_EQ(stopped[0], 2000);
    EXPECT_EQ(stopped[1], 3000);
    EXPECT_GT(stopped[2], -4000);
    EXPECT_LT(stopped[2], top);

    // Without Stop the lift ends at the top and X and Y go to the shown system's origin.
    ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::MoveXY); }));
    sim->ClearLog();
    Click(PanelId::MoveXY);
    EXPECT_EQ(sim->LogOf("0x3501"), std::vector<std::string>{"0x3501 01000300ffff"});
    const AxisTriple origin = panel->GetCurrentOrigin();
    EXPECT_EQ(SimPosition(), (AxisTriple{origin[0], origin[1], top}));
}

TEST_F(PanelOperationsTest, SetOriginWritesTheChosenSystemAndTheShownOneFollowsAtOnce)
{
    Open();
    ASSERT_EQ(panel->CoordinateSystem, 1);
    MoveMachineTo({7000, 8000, -3000});
    ASSERT_TRUE(WaitUntil([this] { return Text(PanelId::ValueZ) == QStringLiteral("-3.00"); }));

    auto* originList = static_cast<QComboBox*>(panel->GetControl(PanelId::OriginSystemList));
    const auto choose = [originList](int number) {
        const int index = originList->findData(number);
        ASSERT_GE(index, 0) << number;
        originList->setCurrentIndex(index);
        emit originList->activated(index);
    };

    // G55 while the user system is shown: the machine's G55 changes, the display does not.
    choose(4);
    AxisTriple g55;
    ASSERT_TRUE(machine->GetWorkOrigin(55, g55));
    Click(PanelId::SetOriginZ);
    AxisTriple written;
    ASSERT_TRUE(machine->GetWorkOrigin(55, written));
    EXPECT_EQ(written, (AxisTriple{g55[0], g55[1], -3000}));
    Pump(500);
    EXPECT_EQ(Text(PanelId::ValueZ), QStringLiteral("-3.00"));

    // The shown system itself: the read-out follows before the next poll.
    choose(1);
    panel->StopPolling();
    Click(PanelId::SetOriginXY);
    EXPECT_EQ(Text(PanelId::ValueX), QStringLiteral("0.00"));
    EXPECT_EQ(Text(PanelId::ValueY), QStringLiteral("0.00"));
    EXPECT_EQ(Text(PanelId::ValueZ), QStringLiteral("-3.00"));
    Click(PanelId::SetOriginZ);
    EXPECT_EQ(Text(PanelId::ValueZ), QStringLiteral("0.00"));
    AxisTriple user;
    ASSERT_TRUE(machine->GetUserOrigin(user));
    EXPECT_EQ(user, (AxisTriple{7000, 8000, -3000}));
}

TEST_F(PanelOperationsTest, SpindleAndCuttingSpeed)
{
    Open();
    sim->ClearLog();
    Click(PanelId::SpindleOn);
    Click(PanelId::SpindleOff);
    EXPECT_EQ(sim->LogOf("0x3006"),
              (std::vector<std::string>{"0x3006 e8030000", "0x3006 00000000"}));

    auto* arrows = static_cast<CUpDownArrows*>(panel->GetControl(PanelId::OverrideArrows));
    const auto up = [arrows] { QTest::mouseClick(arrows->GetUpButton(), Qt::LeftButton); };
    const auto down = [arrows] { QTest::mouseClick(arrows->GetDownButton(), Qt::LeftButton); };
    Radio(PanelId::SpeedManual)->click();
    EXPECT_TRUE(arrows->isEnabled());
    EXPECT_EQ(sim->LogOf("0x0FFE"), std::vector<std::string>{"0x0FFE 00"});

    // At the top the up arrow sends the top again.
    ASSERT_TRUE(machine->SetCuttingSpeed(200));
    ASSERT_TRUE(WaitUntil([this] { return panel->GetStatus().override == 200; }));
    sim->ClearLog();
    up();
    EXPECT_EQ(sim->LogOf("0x0307"), std::vector<std::string>{"0x0307 c8"});
    EXPECT_EQ(Text(PanelId::OverrideValue), QStringLiteral("200"));

    // Two clicks before the next poll both start from the polled 100.
    ASSERT_TRUE(machine->SetCuttingSpeed(100));
    ASSERT_TRUE(WaitUntil([this] { return panel->GetStatus().override == 100; }));
    sim->ClearLog();
    down();
    down();
    EXPECT_EQ(sim->LogOf("0x0307"), (std::vector<std::string>{"0x0307 5a", "0x0307 5a"}));
    EXPECT_EQ(Text(PanelId::OverrideValue), QStringLiteral("90"));

    Radio(PanelId::SpeedAuto)->click();
    EXPECT_FALSE(arrows->isEnabled());
    EXPECT_EQ(sim->LogOf("0x0FFE"), std::vector<std::string>{"0x0FFE 01"});
}

TEST_F(PanelOperationsTest, PauseSendsOnlyWhatTheMachineCallsForAndCancelQuits)
{
    Open();
    ASSERT_EQ(sim->Control("state 3"), "ok\n");
    ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::Pause); }));

    sim->ClearLog();
    Click(PanelId::Pause);
    EXPECT_EQ(sim->LogOf("0x03F0").size(), 1u);
    ASSERT_TRUE(WaitUntil([this] { return panel->State().IsPauseShown(); }));
    EXPECT_TRUE(Button(PanelId::Pause)->IsPressed());

    // Released and pressed again before the next poll: the machine still reads as paused, so
    // the release resumes and the press sends nothing.
    panel->StopPolling();
    sim->ClearLog();
    Click(PanelId::Pause);
    Click(PanelId::Pause);
    EXPECT_EQ(sim->LogOf("0x03F1").size(), 1u);
    EXPECT_TRUE(sim->LogOf("0x03F0").empty());
    panel->StartPolling();
    ASSERT_TRUE(WaitUntil([this] { return !panel->State().IsPauseShown(); }));

    // Cancel on a paused job: quit, skip, resume, and Pause released before any poll.
    Click(PanelId::Pause);
    ASSERT_TRUE(WaitUntil([this] { return panel->State().IsPauseShown(); }));
    panel->StopPolling();
    sim->ClearLog();
    Click(PanelId::CancelJob);
    EXPECT_FALSE(Button(PanelId::Pause)->IsPressed());
    EXPECT_TRUE(sim->LogOf("0x03F0").empty());
    EXPECT_EQ(sim->LogOf("0x03F2").size(), 1u);
    EXPECT_EQ(sim->LogOf("0x03F1").size(), 1u);
    MachineStatus status;
    ASSERT_GE(machine->ReadMachineStatus(status), MachineStatus::WordsSize);
    EXPECT_FALSE(status.stateWord & StateBit::Paused);
}

// A jog key held with the Space bar in "Continue" stops jogging as soon as its release can no
// longer arrive: a message box takes the focus, or the machine leaves the ready state and the
// keypad is disabled.
TEST_F(PanelOperationsTest, HeldSpaceStopsJoggingWhenTheKeyCanNoLongerBeReleased)
{
    struct Row
    {
        const char* name;
        std::function<void()> event; // returns once the panel has taken it in
    };
    const Row rows[] = {
        {"a message box opens",
         [this] {
             // The box stays open for the second in which no jog may follow.
             answerer->Plan(1, [this](const SeenBox&) {
                 sim->ClearLog();
                 Pump(1000);
             });
             CPanelMessageBox box(QStringLiteral("Notice"), 0x30, panel.get());
             box.exec();
         }},
        {"the machine starts a job",
         [this] {
             ASSERT_EQ(Control("state 3"), "ok\n");
             ASSERT_TRUE(WaitUntil([this] { return !Enabled(PanelId::KeyXPlus); }));
             sim->ClearLog();
             Pump(1000);
         }},
    };
    Open();
    Radio(PanelId::StepContinue)->click();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CJogButton* key = Button(PanelId::KeyXPlus);
        ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::KeyXPlus); }));
        sim->ClearLog();
        key->setFocus();
        QTest::keyPress(key, Qt::Key_Space);
        ASSERT_TRUE(WaitUntil([this] { return JogTargets().size() >= 3; }));
        row.event();
        EXPECT_FALSE(key->IsPressed());
        EXPECT_TRUE(JogTargets().empty());
        QTest::keyRelease(key, Qt::Key_Space);
        ASSERT_TRUE(sim->WaitUntilStopped());
    }
}

// "x100" repeats as often as the timer allows, but no faster than its floor: holding it for a
// second neither floods the link nor keeps a core busy.
TEST_F(PanelOperationsTest, HeldX100KeepsTheLinkAndTheProcessorFree)
{
    Open();
    Radio(PanelId::StepX100)->click();
    const auto cpuMs = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
        return ms(usage.ru_utime) + ms(usage.ru_stime);
    };
    sim->ClearLog();
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = cpuMs();
    Press(PanelId::KeyXPlus);
    Pump(1000);
    Release(PanelId::KeyXPlus);
    const double cpu = cpuMs() - cpuBefore;
    const auto wallMs = static_cast<double>(wall.elapsed());
    EXPECT_LT(sim->Log().size(), 250u);
    EXPECT_LT(cpu, wallMs / 2) << cpu << " ms of processor time in " << wallMs << " ms";
    ASSERT_TRUE(sim->WaitUntilStopped());
}

// Escape while Move X/Y waits for the lift: the run ends at once, the lift is stopped, X and Y
// never move, and the settings are saved.
TEST_F(PanelOperationsTest, EscapeDuringMoveXYEndsThePanelAndStopsTheLift)
{
    ASSERT_TRUE(machine->JogTo(-1, {2000, 3000, -8000}));
    ASSERT_TRUE(sim->WaitUntilStopped());
    answerer = std::make_unique<BoxAnswerer>();
    panel = std::make_unique<CControlPanelDlg>(machine.get());

    // The user's part, inside the panel's run: choose "x10" and start Move X/Y.
    QTimer::singleShot(0, panel.get(), [this] {
        ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::MoveXY); }));
        Radio(PanelId::StepX10)->click();
        sim->ClearLog();
        Click(PanelId::MoveXY);
    });
    bool escaped = false;
    QElapsedTimer sinceEscape;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (!escaped && panel->IsWaiting() && sim->LogOf("0x04F3").size() == 1) {
            escaped = true;
            sinceEscape.start();
            QTest::keyClick(panel.get(), Qt::Key_Escape);
        } else if (escaped && sinceEscape.elapsed() > 3000) {
            // Still running: stop the machine so that the failing run ends.
            machine->StopOperation();
            panel->PollStatus();
        }
    });
    user.start(10);
    panel->exec();
    user.stop();

    ASSERT_TRUE(escaped);
    EXPECT_LT(sinceEscape.elapsed(), 2000);
    EXPECT_EQ(StoredSettings().value(QStringLiteral("Settings/CursorType")).toInt(), 2);
    EXPECT_EQ(sim->LogOf("0x03F3").size(), 1u);
    ASSERT_TRUE(sim->WaitUntilStopped());
    EXPECT_TRUE(sim->LogOf("0x3501").empty());
    const AxisTriple stopped = SimPosition();
    EXPECT_EQ(stopped[0], 2000);
    EXPECT_EQ(stopped[1], 3000);
    EXPECT_LT(stopped[2], panel->GetRangeHigh()[2]);
}

// A keyboard key sent as the window system delivers it: to the focused control of the panel.
void SendKey(QWidget* panel, QEvent::Type type, int key, bool autoRepeat = false)
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : panel;
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(target, &event);
}

void TapKey(QWidget* panel, int key)
{
    SendKey(panel, QEvent::KeyPress, key);
    SendKey(panel, QEvent::KeyRelease, key);
}

// The arrow and page keys stand for the keypad keys, with the selected step and Y direction,
// and only once "Keyboard jog" is switched on.
TEST_F(PanelOperationsTest, KeyboardJogStepsAsTheKeypadKeys)
{
    struct Row
    {
        int key;
        AxisTriple offset; // x1 with the table moved
    };
    const Row rows[] = {
        {Qt::Key_Right, {10, 0, 0}}, {Qt::Key_Left, {-10, 0, 0}},  {Qt::Key_Up, {0, -10, 0}},
        {Qt::Key_Down, {0, 10, 0}},  {Qt::Key_PageUp, {0, 0, 10}}, {Qt::Key_PageDown, {0, 0, -10}},
    };
    Open();
    MoveMachineTo({5000, 4000, -1000});
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
    panel->SetCursorYDir(false);
    Radio(PanelId::StepX1)->click();

    EXPECT_FALSE(panel->KeyboardJog);
    sim->ClearLog();
    TapKey(panel.get(), Qt::Key_Right);
    Pump(300);
    EXPECT_TRUE(JogTargets().empty());

    panel->OnSysCommand(PanelMenu::KeyboardJog);
    ASSERT_TRUE(panel->KeyboardJog);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        const AxisTriple start = SimPosition();
        sim->ClearLog();
        TapKey(panel.get(), row.key);
        ASSERT_EQ(JogTargets(),
                  (std::vector{Offset(start, row.offset[0], row.offset[1], row.offset[2])}));
        ASSERT_TRUE(sim->WaitUntilStopped());
    }
}

// An arrow key held in "Continue" keeps jogging through the keyboard's auto-repeat pairs and
// stops with every end of a held keypad key.
TEST_F(PanelOperationsTest, HeldArrowKeyEndsItsJogAsAHeldKeypadKey)
{
    struct Row
    {
        const char* name;
        std::function<void()> event; // returns once the panel has taken it in
    };
    const Row rows[] = {
        {"the key is released",
         [this] { SendKey(panel.get(), QEvent::KeyRelease, Qt::Key_Right); }},
        {"the focus moves to another control",
         [this] { Radio(PanelId::StepX1)->setFocus(Qt::TabFocusReason); }},
        {"a message box opens",
         [this] {
             answerer->Plan(1, [](const SeenBox&) { Pump(300); });
             CPanelMessageBox box(QStringLiteral("Notice"), 0x30, panel.get());
             box.exec();
         }},
        {"the machine starts a job",
         [this] {
             ASSERT_EQ(Control("state 3"), "ok\n");
             ASSERT_TRUE(WaitUntil([this] { return !Enabled(PanelId::KeyXPlus); }));
         }},
    };
    Open();
    panel->SetKeyboardJog(true);
    Radio(PanelId::StepContinue)->click();
    CJogButton* key = Button(PanelId::KeyXPlus);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::KeyXPlus); }));
        panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
        sim->ClearLog();
        SendKey(panel.get(), QEvent::KeyPress, Qt::Key_Right);
        ASSERT_TRUE(WaitUntil([this] { return JogTargets().size() >= 3; }));
        for (int i = 0; i < 3; ++i) {
            SendKey(panel.get(), QEvent::KeyRelease, Qt::Key_Right, true);
            SendKey(panel.get(), QEvent::KeyPress, Qt::Key_Right, true);
        }
        const size_t held = JogTargets().size();
        ASSERT_TRUE(WaitUntil([&] { return JogTargets().size() >= held + 2; }));
        ASSERT_TRUE(key->IsPressed());

        row.event();
        EXPECT_FALSE(key->IsPressed());
        sim->ClearLog();
        Pump(1000);
        EXPECT_TRUE(JogTargets().empty());
        SendKey(panel.get(), QEvent::KeyRelease, Qt::Key_Right);
        ASSERT_TRUE(sim->WaitUntilStopped());
    }
}

// ---- on the device model -------------------------------------------------------------------

class PanelOperationsModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ClearStoredSettings();
        machine = MakeModelMachine("operations", fake);
        ASSERT_TRUE(machine);
        fake->SetReply32(Cmd::GetPosition, {12000, 34000, -5000});
        fake->status.position = {12000, 34000, -5000};
    }

    void OpenAndClickMoveXY()
    {
        panel = std::make_unique<CControlPanelDlg>(machine.get());
        panel->show();
        ASSERT_TRUE(WaitUntil([this] { return panel->GetControl(PanelId::MoveXY)->isEnabled(); }));
        fake->log.clear();
        CJogButton* button = panel->GetButton(PanelId::MoveXY);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    FakeMachineLink* fake = nullptr;
    std::unique_ptr<CModelingMachine> machine;
    std::unique_ptr<CControlPanelDlg> panel;
};

TEST_F(PanelOperationsModelTest, MoveXYWithoutTheTravelRangeMovesNothing)
{
    // The machine refuses the range read (the error bit of the transaction status).
    fake->onCommand = [this](uint16_t code, const std::vector<uint8_t>&) {
        fake->commandErrorBits = code == Cmd::GetMoveRange ? CommandStatus::Error : 0;
    };
    OpenAndClickMoveXY();
    EXPECT_EQ(fake->CountOut(Cmd::MoveTo), 0);
    EXPECT_EQ(fake->CountOut(Cmd::MoveToOrigin), 0);
}

TEST_F(PanelOperationsModelTest, LiftAfterAShortStatusReadKeepsXAndY)
{
    // A short status record leaves placeholders in the cached position; the lift must still
    // move Z alone.
    fake->SetReply32(Cmd::GetMoveRange, {0, 0, -40000, 200000, 150000, 0});
    fake->statusBytes = 16;
    OpenAndClickMoveXY();
    ASSERT_EQ(fake->CountOut(Cmd::MoveTo), 1);
    for (const FakeMachineLink::Transfer& sent : fake->CommandsSent())
        if (sent.code == Cmd::MoveTo) {
            AxisTriple target;
            std::memcpy(target.data(), sent.data.data() + 4, sizeof target);
            EXPECT_EQ(target, (AxisTriple{12000, 34000, 0}));
        }
}

// After a short status read the cached override is a placeholder: the arrows send nothing
// until a complete read brings the machine's value back, and then step from it.
TEST_F(PanelOperationsModelTest, OverrideArrowsStepOnlyFromAReportedOverride)
{
    fake->replies[Cmd::GetCuttingSpeedMode] = {0}; // manual: the arrows can be used
    panel = std::make_unique<CControlPanelDlg>(machine.get());
    panel->show();
    auto* arrows = static_cast<CUpDownArrows*>(panel->GetControl(PanelId::OverrideArrows));
    ASSERT_TRUE(
        WaitUntil([&] { return arrows->isEnabled() && panel->GetStatus().override == 100; }));
    panel->StopPolling();
    const auto click = [](QToolButton* arrow) { QTest::mouseClick(arrow, Qt::LeftButton); };

    fake->statusBytes = 16;
    panel->PollStatus();
    fake->log.clear();
    click(arrows->GetDownButton());
    click(arrows->GetUpButton());
    EXPECT_EQ(fake->CountOut(Cmd::SetCuttingSpeed), 0);

    fake->statusBytes = MachineStatus::Size;
    panel->PollStatus();
    click(arrows->GetDownButton());
    ASSERT_EQ(fake->CountOut(Cmd::SetCuttingSpeed), 1);
    for (const FakeMachineLink::Transfer& sent : fake->CommandsSent()) {
        if (sent.code == Cmd::SetCuttingSpeed) {
            EXPECT_EQ(sent.data, std::vector<uint8_t>{90});
        }
    }
}

} // namespace
