// The joystick service driven by SDL virtual joysticks (no real device is needed), and the pure
// joystick arithmetic the panel's joystick jog is built on.

#include "JoystickDevice.h"
#include "JoystickMath.h"

#include "VirtualJoystick.h"
#include "WidgetTestApp.h"

#include <SDL.h>

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr JoystickCaps kSdlCaps{-32768, 32767, -32768, 32767, 2, 8, 10, 1000};

// ---- pure arithmetic -----------------------------------------------------------------------

TEST(JoystickMath, DirectionOnlyAtTheExactExtremes)
{
    const int lo = kSdlCaps.xMin;
    const int hi = kSdlCaps.xMax;
    // {x, y, code}: every cell of the direction table.
    const int cells[][3] = {{lo, lo, 0}, {0, lo, 1},  {hi, lo, 2}, {lo, 0, 3}, {0, 0, -1},
                            {hi, 0, 4},  {lo, hi, 5}, {0, hi, 6},  {hi, hi, 7}};
    for (const auto& cell : cells)
        EXPECT_EQ(JoyDirection(cell[0], cell[1], kSdlCaps), cell[2]) << cell[0] << "," << cell[1];

    // A count short of either extreme is between: centred on that axis.
    EXPECT_EQ(JoyDirection(hi - 1, hi - 1, kSdlCaps), kJoyCentred);
    EXPECT_EQ(JoyDirection(lo + 1, lo + 1, kSdlCaps), kJoyCentred);
    EXPECT_EQ(JoyDirection(hi - 1, lo, kSdlCaps), 1);

    // The extremes come from the capabilities, not from SDL's range.
    const JoystickCaps windowsLike{0, 65535, 0, 65535, 2, 4, 10, 1000};
    EXPECT_EQ(JoyDirection(65535, 0, windowsLike), 2);
    EXPECT_EQ(JoyDirection(32767, 32767, windowsLike), kJoyCentred);
}

TEST(JoystickMath, VectorFollowsTheYDirectionSetting)
{
    // Up-right, cutter moves: +X +Y; table moves: +X -Y.
    EXPECT_EQ(JoyVector(2, kJoyZNone, 100, true), (AxisTriple{100, 100, 0}));
    EXPECT_EQ(JoyVector(2, kJoyZNone, 100, false), (AxisTriple{100, -100, 0}));
    // Down-left.
    EXPECT_EQ(JoyVector(5, kJoyZNone, 10, true), (AxisTriple{-10, -10, 0}));
    EXPECT_EQ(JoyVector(5, kJoyZNone, 10, false), (AxisTriple{-10, 10, 0}));
    // Pure axes.
    EXPECT_EQ(JoyVector(3, kJoyZNone, 1000, true), (AxisTriple{-1000, 0, 0}));
    EXPECT_EQ(JoyVector(6, kJoyZNone, 1000, true), (AxisTriple{0, -1000, 0}));
    // Z does not depend on the Y setting.
    EXPECT_EQ(JoyVector(kJoyCentred, kJoyZUp, 100, false), (AxisTriple{0, 0, 100}));
    EXPECT_EQ(JoyVector(kJoyCentred, kJoyZDown, 100, true), (AxisTriple{0, 0, -100}));
    EXPECT_EQ(JoyVector(kJoyCentred, kJoyZNone, 100, true), (AxisTriple{0, 0, 0}));
}

TEST(JoystickMath, ZOnlyForButtonTwoOrThreeAlone)
{
    EXPECT_EQ(JoyButtonState(JoyButtonBit(2), JoyButtonBit(2)), 0x202u);
    EXPECT_EQ(kJoyStepButton, 0x10u);
    EXPECT_EQ(JoyZFromButtonDown(0x202), kJoyZUp);
    EXPECT_EQ(JoyZFromButtonDown(0x404), kJoyZDown);
    EXPECT_EQ(JoyZFromButtonDown(0x808), kJoyZNone); // button 4
    EXPECT_EQ(JoyZFromButtonDown(0x406), kJoyZNone); // button 3 while 2 is held
    EXPECT_EQ(JoyZFromButtonDown(0x606), kJoyZNone); // both at once
    EXPECT_EQ(JoyZFromButtonDown(0x203), kJoyZNone); // button 2 while 1 is held
}

// ---- the device on SDL virtual joysticks ---------------------------------------------------

// Every event of a device, in order, as text: "move 32767,-32768", "down 0x202", "up 0x200".
class EventLog
{
public:
    explicit EventLog(CJoystickDevice& device)
    {
        QObject::connect(&device, &CJoystickDevice::StickMoved, [this](int x, int y) {
            m_events.push_back("move " + std::to_string(x) + "," + std::to_string(y));
        });
        QObject::connect(&device, &CJoystickDevice::ButtonDown,
                         [this](quint32 state) { m_events.push_back("down " + Hex(state)); });
        QObject::connect(&device, &CJoystickDevice::ButtonUp,
                         [this](quint32 state) { m_events.push_back("up " + Hex(state)); });
    }

    const std::vector<std::string>& Events() const { return m_events; }
    // Waits until at least `count` events arrived.
    bool WaitFor(size_t count)
    {
        return QTest::qWaitFor([&] { return m_events.size() >= count; }, 2000);
    }
    void Clear() { m_events.clear(); }

private:
    static std::string Hex(quint32 value) { return QString::asprintf("0x%x", value).toStdString(); }
    std::vector<std::string> m_events;
};

using Events = std::vector<std::string>;

// Several polls' worth of time, to see that nothing more arrives.
void LetSeveralPollsPass()
{
    QTest::qWait(80);
}

class JoystickDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        zr40_test::App();
        ASSERT_TRUE(CJoystickDevice::InitService());
        SDL_JoystickUpdate();
        if (SDL_NumJoysticks() != 0)
            GTEST_SKIP() << "a real joystick is attached; these tests need the first one virtual";
    }
};

TEST_F(JoystickDeviceTest, ServiceLeavesTheProcessSignalsAlone)
{
    // SDL's event subsystem would otherwise catch SIGINT and SIGTERM for events nobody reads.
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction action = {};
        ASSERT_EQ(sigaction(signal, nullptr, &action), 0);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << "signal " << signal;
    }
}

TEST_F(JoystickDeviceTest, NoJoystickMeansNoCapsAndNoPolling)
{
    CJoystickDevice device;
    EventLog log(device);
    JoystickCaps caps;
    EXPECT_FALSE(device.GetDevCaps(0, caps));
    EXPECT_FALSE(device.Capture(0, caps.periodMin));
    EXPECT_FALSE(device.IsCaptured());
    EXPECT_FALSE(device.IsPolling());
    JoystickPos pos;
    EXPECT_FALSE(device.GetPos(pos));
    LetSeveralPollsPass();
    EXPECT_TRUE(log.Events().empty());
}

TEST_F(JoystickDeviceTest, CapsReportTheAxisRangeAndTheFirstJoystickOnly)
{
    VirtualJoystick stick;
    ASSERT_TRUE(stick.IsValid()) << SDL_GetError();
    CJoystickDevice device;
    JoystickCaps caps;
    ASSERT_TRUE(device.GetDevCaps(0, caps));
    EXPECT_EQ(caps.xMin, -32768);
    EXPECT_EQ(caps.xMax, 32767);
    EXPECT_EQ(caps.yMin, -32768);
    EXPECT_EQ(caps.yMax, 32767);
    EXPECT_EQ(caps.numButtons, 8);
    EXPECT_GT(caps.periodMin, 0);
    EXPECT_LE(caps.periodMin, 20);
    EXPECT_FALSE(device.GetDevCaps(1, caps));
    EXPECT_FALSE(device.Capture(1, caps.periodMin));
    // Caps alone neither capture nor poll.
    EXPECT_FALSE(device.IsPolling());
}

TEST_F(JoystickDeviceTest, StickEventsOnlyOnChangeWithExactExtremes)
{
    VirtualJoystick stick;
    ASSERT_TRUE(stick.IsValid()) << SDL_GetError();
    CJoystickDevice device;
    EventLog log(device);
    JoystickCaps caps;
    ASSERT_TRUE(device.GetDevCaps(0, caps));
    ASSERT_TRUE(device.Capture(0, caps.periodMin));
    EXPECT_TRUE(device.IsPolling());
    EXPECT_EQ(device.GetPollPeriod(), caps.periodMin);
    EXPECT_FALSE(device.Capture(0, caps.periodMin)) << "a second capture is refused";

    LetSeveralPollsPass();
    EXPECT_TRUE(log.Events().empty()) << "a resting stick sends nothing";

    stick.Stick(32767, -32768); // fully up-right
    ASSERT_TRUE(log.WaitFor(1));
    LetSeveralPollsPass();
    EXPECT_EQ(log.Events(), (Events{"move 32767,-32768"}));
    EXPECT_EQ(JoyDirection(32767, -32768, caps), 2);
    JoystickPos pos;
    ASSERT_TRUE(device.GetPos(pos));
    EXPECT_EQ(pos.x, caps.xMax);
    EXPECT_EQ(pos.y, caps.yMin);

    log.Clear();
    stick.Stick(32766, 32766); // a count short of the maximum on both axes
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(log.Events(), (Events{"move 32766,32766"}));
    EXPECT_EQ(JoyDirection(32766, 32766, caps), kJoyCentred);

    log.Clear();
    stick.Stick(-32768, 32767); // fully down-left
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(log.Events(), (Events{"move -32768,32767"}));
    EXPECT_EQ(JoyDirection(-32768, 32767, caps), 5);
}

TEST_F(JoystickDeviceTest, ButtonEventsCarryTheStateWithChangeBits)
{
    VirtualJoystick stick;
    ASSERT_TRUE(stick.IsValid()) << SDL_GetError();
    CJoystickDevice device;
    EventLog log(device);
    ASSERT_TRUE(device.Capture(0, 10));

    stick.Button(2, true);
    ASSERT_TRUE(log.WaitFor(1));
    LetSeveralPollsPass();
    EXPECT_EQ(log.Events(), (Events{"down 0x202"})) << "held, it is reported once";
    EXPECT_EQ(JoyZFromButtonDown(0x202), kJoyZUp);

    stick.Button(3, true); // while 2 is held
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(log.Events().back(), "down 0x406");

    log.Clear();
    // One poll sees 2 and 3 released and 4 pressed: the release comes first.
    stick.Button(2, false);
    stick.Button(3, false);
    stick.Button(4, true);
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(log.Events(), (Events{"up 0x608", "down 0x808"}));

    log.Clear();
    stick.Button(4, false);
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(log.Events(), (Events{"up 0x800"}));
}

TEST_F(JoystickDeviceTest, StepButtonIsReadNotSent)
{
    VirtualJoystick stick;
    ASSERT_TRUE(stick.IsValid()) << SDL_GetError();
    CJoystickDevice device;
    EventLog log(device);
    ASSERT_TRUE(device.Capture(0, 10));

    stick.Button(5, true);
    JoystickPos pos;
    ASSERT_TRUE(device.GetPos(pos));
    EXPECT_EQ(pos.buttons, kJoyStepButton);
    LetSeveralPollsPass();
    EXPECT_TRUE(log.Events().empty());

    // Button 2 going down while 5 is held still reads as button 2 alone.
    stick.Button(2, true);
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(log.Events(), (Events{"down 0x202"}));
    ASSERT_TRUE(device.GetPos(pos));
    EXPECT_EQ(pos.buttons, kJoyStepButton | JoyButtonBit(2));
}

TEST_F(JoystickDeviceTest, HeldAtCaptureIsTheBaselineAndReleaseStopsPolling)
{
    VirtualJoystick stick;
    ASSERT_TRUE(stick.IsValid()) << SDL_GetError();
    stick.Stick(32767, 0);
    stick.Button(2, true);
    CJoystickDevice device;
    EventLog log(device);
    ASSERT_TRUE(device.Capture(0, 10));
    LetSeveralPollsPass();
    EXPECT_TRUE(log.Events().empty());

    device.Release();
    EXPECT_FALSE(device.IsCaptured());
    EXPECT_FALSE(device.IsPolling());
    JoystickPos pos;
    EXPECT_FALSE(device.GetPos(pos));
    stick.Stick(0, 0);
    stick.Button(2, false);
    LetSeveralPollsPass();
    EXPECT_TRUE(log.Events().empty());

    // A released capture can be taken again.
    EXPECT_TRUE(device.Capture(0, 10));
}

TEST_F(JoystickDeviceTest, HandlerMayReleaseTheCaptureMidPoll)
{
    VirtualJoystick stick;
    ASSERT_TRUE(stick.IsValid()) << SDL_GetError();
    CJoystickDevice device;
    EventLog log(device);
    QObject::connect(&device, &CJoystickDevice::StickMoved, &device, &CJoystickDevice::Release);
    ASSERT_TRUE(device.Capture(0, 10));

    stick.Stick(-32768, 0);
    stick.Button(3, true);
    ASSERT_TRUE(log.WaitFor(1));
    LetSeveralPollsPass();
    EXPECT_EQ(log.Events(), (Events{"move -32768,0"}));
    EXPECT_FALSE(device.IsPolling());
}

// An unplugged joystick is reported once as removed, never through stick or button events;
// the device then watches for one to be plugged in.
TEST_F(JoystickDeviceTest, UnpluggedJoystickIsReportedOnceAndANewOneAnnounced)
{
    auto stick = std::make_unique<VirtualJoystick>();
    ASSERT_TRUE(stick->IsValid()) << SDL_GetError();
    CJoystickDevice device;
    EventLog log(device);
    int removed = 0;
    int added = 0;
    QObject::connect(&device, &CJoystickDevice::Removed, [&] { ++removed; });
    QObject::connect(&device, &CJoystickDevice::Added, [&] { ++added; });
    ASSERT_TRUE(device.Capture(0, 10));
    stick->Stick(-32768, 0);
    ASSERT_TRUE(log.WaitFor(1));
    log.Clear();
    stick.reset();
    JoystickPos pos;
    EXPECT_FALSE(device.GetPos(pos));
    LetSeveralPollsPass();
    EXPECT_TRUE(log.Events().empty());
    EXPECT_EQ(removed, 1);
    EXPECT_FALSE(device.IsCaptured());
    EXPECT_TRUE(device.IsWatching());
    JoystickCaps caps;
    EXPECT_FALSE(device.GetDevCaps(0, caps));

    stick = std::make_unique<VirtualJoystick>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return added > 0; }, 3000));
    ASSERT_TRUE(device.Capture(0, 10));
    EXPECT_FALSE(device.IsWatching());
    device.Release();
    EXPECT_FALSE(device.IsWatching());
    EXPECT_EQ(removed, 1);
}

} // namespace
