// The panel's joystick jog against the running simulator, with an SDL virtual joystick in place
// of a real one: stick jogs in steps, readings short of the extremes, the Z buttons while the
// stick is pushed, the step button, the foreground rule, and a panel without any joystick.

#include "JoystickDevice.h"
#include "PanelSimSupport.h"

#include "VirtualJoystick.h"

#include <QElapsedTimer>

#include <SDL.h>

using namespace panel_test;

namespace {

constexpr int Left = -32768;
constexpr int Right = 32767;
constexpr int Up = -32768;

class PanelJoystickTest : public PanelSimTest
{
protected:
    void SetUp() override
    {
        PanelSimTest::SetUp();
        ASSERT_TRUE(CJoystickDevice::InitService());
        SDL_JoystickUpdate();
        if (SDL_NumJoysticks() != 0)
            GTEST_SKIP() << "a real joystick is attached; these tests need the first one virtual";
    }

    // Opens the panel with a virtual joystick attached and makes it the active window.
    void OpenWithJoystick()
    {
        stick = std::make_unique<VirtualJoystick>();
        ASSERT_TRUE(stick->IsValid()) << SDL_GetError();
        Open();
        panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
        ASSERT_TRUE(panel->Jog().IsJoystickTimerRunning());
    }

    void TearDown() override
    {
        PanelSimTest::TearDown();
        stick.reset();
    }

    std::unique_ptr<VirtualJoystick> stick;
};

TEST_F(PanelJoystickTest, StickJogsInStepsAndTheZButtonWaitsForTheStick)
{
    OpenWithJoystick();
    Radio(PanelId::StepX10)->click(); // "x10"
    const AxisTriple start = SimPosition();
    sim->ClearLog();

    // Fully up-right: one step at once and one per tick, each from where the last one ended;
    // button 2 pressed meanwhile does not add Z.
    QElapsedTimer held;
    held.start();
    stick->Stick(Right, Up);
    ASSERT_TRUE(WaitUntil([this] { return JogTargets().size() >= 2; }, 10000));
    EXPECT_TRUE(panel->Jog().IsJoystickJogging());
    stick->Button(2, true);
    ASSERT_TRUE(WaitUntil([this] { return JogTargets().size() >= 5; }, 10000));
    stick->Stick(0, 0);
    const qint64 heldMs = held.elapsed();
    ASSERT_TRUE(WaitUntil([this] { return !panel->Jog().IsJoystickJogging(); }));
    stick->Button(2, false);
    ASSERT_TRUE(sim->WaitUntilStopped());
    EXPECT_FALSE(panel->Jog().IsJoystickJogging());
    const std::vector<AxisTriple> steps = JogTargets();
    // One step at once and at most one per 150 ms tick while the stick was held (one more tick
    // may fall between the release and its reading).
    EXPECT_LE(static_cast<qint64>(steps.size()), 2 + heldMs / 150) << heldMs;
    for (size_t i = 0; i < steps.size(); ++i) {
        const auto n = static_cast<int32_t>(i + 1);
        EXPECT_EQ(steps[i], Offset(start, 100 * n, 100 * n, 0)) << i;
    }

    // A count short of the extreme reads as centred.
    sim->ClearLog();
    stick->Stick(Right - 1, 0);
    Pump(500);
    EXPECT_TRUE(JogTargets().empty());

    // With another program in front the joystick does nothing.
    stick->Stick(0, 0);
    Pump(100);
    QApplication::setActiveWindow(nullptr);
    ASSERT_TRUE(WaitUntil([] { return QApplication::activeWindow() == nullptr; }));
    stick->Stick(Left, 0);
    Pump(500);
    EXPECT_TRUE(JogTargets().empty());
    stick->Stick(0, 0);
    Pump(100);

    panel->close();
    EXPECT_FALSE(panel->Jog().IsJoystickCaptured());
    EXPECT_FALSE(panel->Jog().IsJoystickTimerRunning());
}

// A joystick pulled out while pushed ends its jog as a release would (its last reading never
// comes back to the centre); one plugged in afterwards is taken up and jogs again.
TEST_F(PanelJoystickTest, UnpluggedJoystickEndsItsJogAndANewOneIsTakenUp)
{
    OpenWithJoystick();
    ASSERT_EQ(panel->CursorType, 0); // "Continue": every tick sets a target 1 mm ahead
    sim->ClearLog();
    stick->Stick(Right, 0);
    ASSERT_TRUE(WaitUntil([this] { return JogTargets().size() >= 2; }));

    stick.reset();
    sim->ClearLog();
    Pump(1000);
    EXPECT_LE(JogTargets().size(), 1u) << "one tick may already have been on its way";
    EXPECT_FALSE(panel->Jog().IsJoystickJogging());
    EXPECT_FALSE(panel->Jog().IsJoystickCaptured());
    ASSERT_TRUE(sim->WaitUntilStopped());

    stick = std::make_unique<VirtualJoystick>();
    ASSERT_TRUE(stick->IsValid()) << SDL_GetError();
    ASSERT_TRUE(WaitUntil([this] { return panel->Jog().IsJoystickCaptured(); }));
    sim->ClearLog();
    stick->Stick(Left, 0);
    ASSERT_TRUE(WaitUntil([this] { return !JogTargets().empty(); }));
    stick->Stick(0, 0);
    ASSERT_TRUE(WaitUntil([this] { return !panel->Jog().IsJoystickJogging(); }));
    ASSERT_TRUE(sim->WaitUntilStopped());
}

TEST_F(PanelJoystickTest, StepButtonCyclesOncePerPressAndTheStepIsSaved)
{
    OpenWithJoystick();
    ASSERT_EQ(panel->CursorType, 0);
    const auto press = [this](int holdMs) {
        stick->Button(5, true);
        Pump(holdMs);
        stick->Button(5, false);
        Pump(300);
    };
    press(300);
    EXPECT_EQ(panel->CursorType, 1);
    EXPECT_TRUE(Radio(PanelId::StepX100)->isChecked());
    press(300);
    press(300);
    EXPECT_TRUE(Radio(PanelId::StepX1)->isChecked());
    press(300);
    EXPECT_EQ(panel->CursorType, 0);
    EXPECT_TRUE(Radio(PanelId::StepContinue)->isChecked());

    press(900); // held across several ticks
    EXPECT_EQ(panel->CursorType, 1);
    panel->close();
    EXPECT_EQ(StoredSettings().value("Settings/CursorType").toInt(), 1);
}

TEST_F(PanelJoystickTest, WithoutJoystickThereIsNoJoystickTimer)
{
    Open();
    EXPECT_FALSE(panel->Jog().IsJoystickCaptured());
    EXPECT_FALSE(panel->Jog().IsJoystickTimerRunning());
}

} // namespace
