// The panel's operation handlers: jog keypad, move and origin buttons, spindle, cutting speed,
// pause and quit, joystick, and the window-menu dialogs. Each is reached from its control
// (CControlPanelDlg::OnButtonCommand, the radio groups, the up-down arrows, the window menu).
// The moves to an origin pass the panel's coordinate-system number; the command layer renumbers
// the additional work systems for the wire.

#include "CancelingDataDlg.h"
#include "ControlPanelDlg.h"
#include "JogStep.h"
#include "MachineCommands.h"
#include "ModelingMachine.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>

#include <algorithm>
#include <array>

namespace {

using namespace PanelId;

// Jogs are sent at the machine's own jog speed.
constexpr int16_t DefaultSpeed = -1;
// The spindle speed the ON button asks for.
constexpr int32_t SpindleOnSpeed = 1000;
// A pending spindle overload: the keypad does not jog until it has been dealt with.
constexpr int16_t SpindleOverloadError = 153;

// The relative move of a keypad key. The middle keys move Y plus upwards when the cutter is
// moved (cursorYDir true) and the other way round when the table is moved.
AxisTriple KeyVector(int key, int32_t distance, bool cursorYDir)
{
    const int32_t upY = cursorYDir ? distance : -distance;
    switch (key) {
    case KeyXPlus:
        return {distance, 0, 0};
    case KeyXMinus:
        return {-distance, 0, 0};
    case KeyYUpper:
        return {0, upY, 0};
    case KeyYLower:
        return {0, -upY, 0};
    case KeyZPlus:
        return {0, 0, distance};
    case KeyZMinus:
        return {0, 0, -distance};
    default:
        return {0, 0, 0};
    }
}

} // namespace

// --- jog and origin -------------------------------------------------------------------------

void CControlPanelDlg::JogBy(const AxisTriple& vector)
{
    if (JogStepOf(CursorType).waitsForStop)
        TryMoveRelative(vector, DefaultSpeed);
    else
        MoveRelative(vector, DefaultSpeed);
}

bool CControlPanelDlg::TakeReleasedButton(int id)
{
    if (m_joyJogging)
        return false;
    CJogButton* button = GetButton(id);
    button->setFocus();
    return !button->IsPressed();
}

void CControlPanelDlg::OnJogKey(int id)
{
    // A repeat can still be on its way when the key was disabled or the machine left the ready
    // state since the last press; the axes move only while the keypad can be used.
    if (m_joyJogging || !GetButton(id)->isEnabled() || GetStatus().State() != MachineState::Ready)
        return;
    int16_t error = 0;
    if (!m_machine->GetCommandError(error) || error == SpindleOverloadError)
        return;
    GetButton(id)->setFocus();
    JogBy(KeyVector(id, JogStepOf(CursorType).distance, CursorYDir));
}

void CControlPanelDlg::CycleCursorType()
{
    CursorType = (CursorType + 1) % kJogStepCount;
    m_stepGroup->button(StepContinue + CursorType)->setChecked(true);
    ApplyRepeatIntervals();
}

void CControlPanelDlg::OnMoveZ()
{
    if (!TakeReleasedButton(MoveZ) ||
        (GetStatus().stateWord & (StateBit::Moving | StateBit::Paused)))
        return;
    m_machine->SetSpindleRotation(0);
    m_machine->MoveToOrigin(CoordinateSystem, AxisMask::Z, DefaultSpeed);
    WaitWhileMoving();
}

void CControlPanelDlg::OnMoveXY()
{
    if (!TakeReleasedButton(MoveXY) ||
        (GetStatus().stateWord & (StateBit::Moving | StateBit::Paused)))
        return;
    m_machine->SetSpindleRotation(0);
    // Without the travel range there is no safe height to lift to, so nothing moves. X and Y of
    // the lift are read from the machine rather than the cache, which holds placeholders after
    // a short status read: the lift must move Z only.
    AxisTriple low;
    AxisTriple high;
    AxisTriple position;
    if (!m_machine->GetMoveRange(low, high) || !m_machine->GetPosition(position))
        return;
    m_machine->MoveTo(DefaultSpeed, {position[0], position[1], high[2]});
    m_quitRequested = false;
    // Stop during the lift sets m_quitRequested from inside this wait.
    if (!WaitWhileMoving() || m_quitRequested)
        return;
    m_machine->MoveToOrigin(CoordinateSystem, AxisMask::XY, DefaultSpeed);
    WaitWhileMoving();
}

void CControlPanelDlg::OnMoveView()
{
    if (!TakeReleasedButton(MoveView) ||
        (GetStatus().stateWord & (StateBit::Moving | StateBit::Paused)))
        return;
    m_machine->MoveToViewPosition(DefaultSpeed);
}

void CControlPanelDlg::OnStop()
{
    if (!TakeReleasedButton(Stop) || !(GetStatus().stateWord & StateBit::Moving))
        return;
    m_machine->StopOperation();
    WaitWhileMoving();
    m_quitRequested = true;
}

void CControlPanelDlg::OnSetOriginXY()
{
    AxisTriple origin;
    AxisTriple position;
    if (!TakeReleasedButton(SetOriginXY) || !GetOrigin(SetOrgCoordinateSystem, origin) ||
        !m_machine->GetPosition(position))
        return;
    SetOrigin(SetOrgCoordinateSystem, {position[0], position[1], origin[2]});
}

void CControlPanelDlg::OnSetOriginZ()
{
    AxisTriple origin;
    AxisTriple position;
    if (!TakeReleasedButton(SetOriginZ) || !GetOrigin(SetOrgCoordinateSystem, origin) ||
        !m_machine->GetPosition(position))
        return;
    SetOrigin(SetOrgCoordinateSystem, {origin[0], origin[1], position[2]});
}

// --- spindle and cutting speed --------------------------------------------------------------

void CControlPanelDlg::OnSpindleOn()
{
    if (TakeReleasedButton(SpindleOn))
        m_machine->SetSpindleRotation(SpindleOnSpeed);
}

void CControlPanelDlg::OnSpindleOff()
{
    if (TakeReleasedButton(SpindleOff))
        m_machine->SetSpindleRotation(0);
}

void CControlPanelDlg::OnSpeedAuto()
{
    m_speedMode = 1;
    m_machine->SetCuttingSpeedMode(1);
    CheckSpeedModeRadio();
}

void CControlPanelDlg::OnSpeedManual()
{
    m_speedMode = 0;
    m_machine->SetCuttingSpeedMode(0);
    CheckSpeedModeRadio();
}

void CControlPanelDlg::OnOverrideStep(int delta)
{
    // Each click starts from the machine's value of the last poll, not from the display, so
    // clicks faster than the poll all propose the same value. After a short status read there
    // is no value to start from: nothing is sent until a complete read brings it back.
    const int proposed = GetStatus().SteppedOverride(delta);
    if (proposed < 0)
        return;
    OnOverrideChanged(static_cast<uint8_t>(proposed), false);
    m_machine->SetCuttingSpeed(proposed);
}

// --- pause and quit -------------------------------------------------------------------------

void CControlPanelDlg::OnPause()
{
    CJogButton* button = GetButton(Pause);
    button->setFocus();
    // Only what the machine's paused bit calls for is sent; the picture is brought in line with
    // that bit by the state handling.
    const bool paused = GetStatus().stateWord & StateBit::Paused;
    if (button->IsPressed()) {
        if (!paused)
            m_machine->PauseCutting();
    } else if (paused) {
        m_machine->ResumeCutting();
    }
}

void CControlPanelDlg::OnCancelJob()
{
    CJogButton* button = GetButton(CancelJob);
    if (button->IsPressed())
        return;
    button->setFocus();
    if (GetStatus().State() != MachineState::JobActive)
        return;
    m_quitRequested = true;
    if (!(GetStatus().stateWord & StateBit::Paused))
        m_machine->PauseCutting();
    m_machine->QuitCutting();
    CCancelingDataDlg skipping(m_machine, this);
    skipping.exec();
    WaitWhileStatusBit40();
    // The quit leaves the machine paused; it is resumed empty, and Pause is released at once.
    if (GetStatus().stateWord & StateBit::Paused) {
        m_machine->ResumeCutting();
        DrawPause(false);
    }
}

// --- joystick -------------------------------------------------------------------------------

void CControlPanelDlg::CaptureJoystick()
{
    connect(&m_joystick, &CJoystickDevice::StickMoved, this, &CControlPanelDlg::OnJoyMove,
            Qt::UniqueConnection);
    connect(&m_joystick, &CJoystickDevice::ButtonDown, this, &CControlPanelDlg::OnJoyButtonDown,
            Qt::UniqueConnection);
    connect(&m_joystick, &CJoystickDevice::ButtonUp, this, &CControlPanelDlg::OnJoyButtonUp,
            Qt::UniqueConnection);
    connect(&m_joyTimer, &QTimer::timeout, this, &CControlPanelDlg::OnJoyTick,
            Qt::UniqueConnection);
    connect(&m_joystick, &CJoystickDevice::Removed, this, &CControlPanelDlg::OnJoyRemoved,
            Qt::UniqueConnection);
    // A joystick plugged in later (or again) is taken up without restarting the panel.
    connect(&m_joystick, &CJoystickDevice::Added, this, &CControlPanelDlg::CaptureJoystick,
            Qt::UniqueConnection);
    if (!m_joystick.GetDevCaps(0, m_joyCaps) || !m_joystick.Capture(0, m_joyCaps.periodMin)) {
        m_joystick.WatchForDevice();
        return;
    }
    m_joyId = 0;
    if (!m_joyTimer.isActive())
        m_joyTimer.start(JoyTickMs);
}

void CControlPanelDlg::ReleaseJoystick()
{
    // Also ends the watch for a joystick to be plugged in.
    m_joystick.Release();
    m_joyId = -1;
    m_joyTimer.stop();
}

void CControlPanelDlg::OnJoyRemoved()
{
    // A joystick pulled out while pushed sends no centred stick and no released button: it
    // counts as centred with nothing pressed, which ends its jog as a release would.
    m_joyDirection = kJoyCentred;
    m_joyZ = kJoyZNone;
    m_joyJogging = false;
    m_joyStepLatch = false;
    m_joyId = -1;
    m_joyTimer.stop();
}

bool CControlPanelDlg::IsKeypadKeyHeld() const
{
    return std::any_of(KeypadKeys.begin(), KeypadKeys.end(),
                       [this](int id) { return GetButton(id)->IsPressed(); });
}

bool CControlPanelDlg::JoystickMayStart() const
{
    // A jog in progress can always be continued and ended; a new one needs a ready machine with
    // still axes and no keypad key held.
    if (m_joyJogging)
        return true;
    return GetStatus().State() == MachineState::Ready &&
           !(GetStatus().stateWord & StateBit::Moving) && !IsKeypadKeyHeld();
}

void CControlPanelDlg::OnJoyMove(int x, int y)
{
    // A Z jog has priority over the stick.
    if (!JoystickMayStart() || m_joyZ != kJoyZNone)
        return;
    m_joyDirection = JoyDirection(x, y, m_joyCaps);
    if (m_joyDirection == kJoyCentred) {
        m_joyJogging = false;
    } else if (!m_joyJogging) {
        m_joyJogging = true;
        OnJoyTick();
    }
}

void CControlPanelDlg::OnJoyButtonDown(quint32 state)
{
    // The stick has priority over the Z buttons.
    if (!JoystickMayStart() || m_joyDirection != kJoyCentred)
        return;
    m_joyZ = JoyZFromButtonDown(state);
    if (m_joyZ == kJoyZNone) {
        m_joyJogging = false;
    } else if (!m_joyJogging) {
        m_joyJogging = true;
        OnJoyTick();
    }
}

void CControlPanelDlg::OnJoyButtonUp(quint32)
{
    if (m_joyDirection == kJoyCentred) {
        m_joyZ = kJoyZNone;
        m_joyJogging = false;
    }
}

void CControlPanelDlg::OnJoyTick()
{
    // The joystick serves the panel only while it (or one of its dialogs) is the active window;
    // with another program in front its readings are ignored.
    if (!QApplication::activeWindow())
        return;
    // Read first: a joystick found unplugged ends the jog (OnJoyRemoved) before it is continued.
    JoystickPos pos;
    const bool read = m_joystick.GetPos(pos);
    if (m_joyJogging)
        JogBy(JoyVector(m_joyDirection, m_joyZ, JogStepOf(CursorType).distance, CursorYDir));
    if (!read)
        return;
    if (!(pos.buttons & kJoyStepButton)) {
        m_joyStepLatch = false;
        return;
    }
    if (m_joyStepLatch)
        return;
    m_joyStepLatch = true;
    const bool idleAndStill =
        GetStatus().State() == MachineState::Ready && !(GetStatus().stateWord & StateBit::Moving);
    if (m_joyJogging || idleAndStill)
        CycleCursorType();
}
