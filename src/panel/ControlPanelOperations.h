#pragma once

class CMachineState;
class CModelingMachine;
class CPanelFace;
class CPanelJog;

// The panel's operation buttons: move to the view position and to the origin, Stop, Set
// Origin, spindle on and off, the override arrows, Pause and Cancel. Each handler is reached
// from its control and checks what the machine's state allows before it sends anything. The
// moves to an origin pass the panel's coordinate-system number; the command layer renumbers the
// additional work systems for the wire.
class CPanelOperations
{
public:
    CPanelOperations(CMachineState& state, CPanelFace& face, const CPanelJog& jog);

    void OnMoveZ();
    void OnMoveXY();
    void OnMoveView();
    void OnStop();
    void OnSetOriginXY();
    void OnSetOriginZ();
    void OnSpindleOn();
    void OnSpindleOff();
    // One click of the override arrows: delta steps up (positive) or down.
    void OnOverrideStep(int delta);
    void OnPause();
    void OnCancelJob();

    // A release button's common guards: no joystick jog, focus, no longer held.
    bool TakeReleasedButton(int id);

private:
    CModelingMachine& Machine() const;

    CMachineState& m_state;
    CPanelFace& m_face;
    const CPanelJog& m_jog;
    // Stop or Cancel was used while a handler waited; a two-part move does not go on.
    bool m_quitRequested = false;
};
