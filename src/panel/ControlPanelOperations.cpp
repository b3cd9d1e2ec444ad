#include "ControlPanelOperations.h"

#include "CancelingDataDlg.h"
#include "JogButton.h"
#include "MachineCommands.h"
#include "MachineState.h"
#include "ModelingMachine.h"
#include "PanelFace.h"
#include "PanelIds.h"
#include "PanelJog.h"

namespace {

using namespace PanelId;

// Jogs are sent at the machine's own jog speed.
constexpr int16_t DefaultSpeed = -1;
// The spindle speed the ON button asks for.
constexpr int32_t SpindleOnSpeed = 1000;

} // namespace

CPanelOperations::CPanelOperations(CMachineState& state, CPanelFace& face, const CPanelJog& jog)
    : m_state(state), m_face(face), m_jog(jog)
{
}

CModelingMachine& CPanelOperations::Machine() const
{
    return *m_state.GetMachine();
}

// --- moves and origin -------------------------------------------------------------------------

bool CPanelOperations::TakeReleasedButton(int id)
{
    if (m_jog.IsJoystickJogging())
        return false;
    CJogButton* button = m_face.GetButton(id);
    button->setFocus();
    return !button->IsPressed();
}

void CPanelOperations::OnMoveZ()
{
    if (!TakeReleasedButton(MoveZ) ||
        (m_state.GetStatus().stateWord & (StateBit::Moving | StateBit::Paused)))
        return;
    Machine().SetSpindleRotation(0);
    Machine().MoveToOrigin(m_face.GetCoordinateSystem(), AxisMask::Z, DefaultSpeed);
    m_state.WaitWhileMoving();
}

void CPanelOperations::OnMoveXY()
{
    if (!TakeReleasedButton(MoveXY) ||
        (m_state.GetStatus().stateWord & (StateBit::Moving | StateBit::Paused)))
        return;
    Machine().SetSpindleRotation(0);
    // Without the travel range there is no safe height to lift to, so nothing moves. X and Y of
    // the lift are read from the machine rather than the cache, which holds placeholders after
    // a short status read: the lift must move Z only.
    AxisTriple low;
    AxisTriple high;
    AxisTriple position;
    if (!Machine().GetMoveRange(low, high) || !Machine().GetPosition(position))
        return;
    Machine().MoveTo(DefaultSpeed, {position[0], position[1], high[2]});
    m_quitRequested = false;
    // Stop during the lift sets m_quitRequested from inside this wait.
    if (!m_state.WaitWhileMoving() || m_quitRequested)
        return;
    Machine().MoveToOrigin(m_face.GetCoordinateSystem(), AxisMask::XY, DefaultSpeed);
    m_state.WaitWhileMoving();
}

void CPanelOperations::OnMoveView()
{
    if (!TakeReleasedButton(MoveView) ||
        (m_state.GetStatus().stateWord & (StateBit::Moving | StateBit::Paused)))
        return;
    Machine().MoveToViewPosition(DefaultSpeed);
}

void CPanelOperations::OnStop()
{
    if (!TakeReleasedButton(Stop) || !(m_state.GetStatus().stateWord & StateBit::Moving))
        return;
    Machine().StopOperation();
    m_state.WaitWhileMoving();
    m_quitRequested = true;
}

void CPanelOperations::OnSetOriginXY()
{
    AxisTriple origin;
    AxisTriple position;
    if (!TakeReleasedButton(SetOriginXY) ||
        !m_state.GetOrigin(m_face.GetSetOrgCoordinateSystem(), origin) ||
        !Machine().GetPosition(position))
        return;
    m_state.SetOrigin(m_face.GetSetOrgCoordinateSystem(), {position[0], position[1], origin[2]});
}

void CPanelOperations::OnSetOriginZ()
{
    AxisTriple origin;
    AxisTriple position;
    if (!TakeReleasedButton(SetOriginZ) ||
        !m_state.GetOrigin(m_face.GetSetOrgCoordinateSystem(), origin) ||
        !Machine().GetPosition(position))
        return;
    m_state.SetOrigin(m_face.GetSetOrgCoordinateSystem(), {origin[0], origin[1], position[2]});
}

// --- spindle and override ------------------------------------------------------------------

void CPanelOperations::OnSpindleOn()
{
    if (TakeReleasedButton(SpindleOn))
        Machine().SetSpindleRotation(SpindleOnSpeed);
}

void CPanelOperations::OnSpindleOff()
{
    if (TakeReleasedButton(SpindleOff))
        Machine().SetSpindleRotation(0);
}

void CPanelOperations::OnOverrideStep(int delta)
{
    // Each click starts from the machine's value of the last poll, not from the display, so
    // clicks faster than the poll all propose the same value. After a short status read there
    // is no value to start from: nothing is sent until a complete read brings it back.
    const int proposed = m_state.GetStatus().SteppedOverride(delta);
    if (proposed < 0)
        return;
    m_face.ShowOverride(static_cast<uint8_t>(proposed));
    Machine().SetCuttingSpeed(proposed);
}

// --- pause and quit -------------------------------------------------------------------------

void CPanelOperations::OnPause()
{
    CJogButton* button = m_face.GetButton(Pause);
    button->setFocus();
    // Only what the machine's paused bit calls for is sent; the picture is brought in line with
    // that bit by the state handling.
    const bool paused = m_state.GetStatus().stateWord & StateBit::Paused;
    if (button->IsPressed()) {
        if (!paused)
            Machine().PauseCutting();
    } else if (paused) {
        Machine().ResumeCutting();
    }
}

void CPanelOperations::OnCancelJob()
{
    CJogButton* button = m_face.GetButton(CancelJob);
    if (button->IsPressed())
        return;
    button->setFocus();
    if (m_state.GetStatus().State() != MachineState::JobActive)
        return;
    m_quitRequested = true;
    if (!(m_state.GetStatus().stateWord & StateBit::Paused))
        Machine().PauseCutting();
    Machine().QuitCutting();
    CCancelingDataDlg skipping(m_state.GetMachine(), m_face.Window());
    skipping.exec();
    m_state.WaitWhileStatusBit40();
    // The quit leaves the machine paused; it is resumed empty, and Pause is released at once.
    if (m_state.GetStatus().stateWord & StateBit::Paused) {
        Machine().ResumeCutting();
        m_face.DrawPause(false);
    }
}
