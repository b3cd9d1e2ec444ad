#pragma once

#include "JoystickDevice.h"
#include "JoystickMath.h"
#include "MachineStatus.h"

#include <QObject>
#include <QTimer>

class CMachineState;
class CPanelFace;

// The panel's jog: the six keypad keys and the joystick. A key press (and each repeat while it
// is held) or a joystick tick moves the axes by one step of the selected jog step, so the axes
// move only while the user holds a key or the stick. The joystick is read every JoyTickMs while
// one is captured; one plugged in later is taken up, and one pulled out ends its jog.
//
// With keyboard jog on, the arrow keys (X and Y) and Page Up / Page Down (Z) stand for the
// keypad keys while the panel window is active: they press and release the keypad buttons, so
// every rule of a keypad key (step, Y direction, enabling, the ends of a held key) applies.
class CPanelJog : public QObject
{
    Q_OBJECT

public:
    static constexpr int JoyTickMs = 150;

    CPanelJog(CMachineState& state, CPanelFace& face);
    ~CPanelJog() override;

    // A keypad key's press or repeat: one step, while the keypad may be used.
    void OnJogKey(int id);
    bool IsKeypadKeyHeld() const;

    // Keyboard jog, off until switched on.
    void SetKeyboardJog(bool on);
    bool IsKeyboardJogOn() const { return m_keyboardJog; }
    // The keypad key a keyboard key stands for, or 0 for none.
    static int KeypadKeyOf(int qtKey);

    // Takes up the first joystick, or watches for one to be plugged in.
    void CaptureJoystick();
    // Ends the joystick's use and the watch for one.
    void ReleaseJoystick();

    bool IsJoystickJogging() const { return m_joyJogging; }
    bool IsJoystickCaptured() const { return m_joyId != -1; }
    bool IsJoystickTimerRunning() const { return m_joyTimer.isActive(); }

protected:
    // Keyboard jog: sees the keys of every widget of the application before they do.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void JogBy(const AxisTriple& vector);
    bool JoystickMayStart() const;
    void OnJoyMove(int x, int y);
    void OnJoyButtonDown(quint32 state);
    void OnJoyButtonUp(quint32 state);
    void OnJoyTick();
    void OnJoyRemoved();

    CMachineState& m_state;
    CPanelFace& m_face;
    CJoystickDevice m_joystick;
    int m_joyId = -1;  // 0 once the first joystick was captured
    QTimer m_joyTimer; // the jog tick, running only with a captured joystick
    JoystickCaps m_joyCaps;
    int m_joyDirection = kJoyCentred;
    int m_joyZ = kJoyZNone;
    bool m_joyJogging = false;
    bool m_joyStepLatch = false; // the step button was seen down (each press steps once)
    bool m_keyboardJog = false;
};
