#include "PanelJog.h"

#include "JogButton.h"
#include "JogStep.h"
#include "MachineState.h"
#include "ModelingMachine.h"
#include "PanelFace.h"
#include "PanelIds.h"

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>

namespace {

using namespace PanelId;

// Jogs are sent at the machine's own jog speed.
constexpr int16_t DefaultSpeed = -1;
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

CPanelJog::CPanelJog(CMachineState& state, CPanelFace& face) : m_state(state), m_face(face) {}

CPanelJog::~CPanelJog()
{
    // The panel's keys are gone by now: only the filter is taken away.
    if (m_keyboardJog && qApp)
        qApp->removeEventFilter(this);
}

// --- keypad ---------------------------------------------------------------------------------

void CPanelJog::JogBy(const AxisTriple& vector)
{
    if (JogStepOf(m_face.GetCursorType()).waitsForStop)
        m_state.TryMoveRelative(vector, DefaultSpeed);
    else
        m_state.MoveRelative(vector, DefaultSpeed);
}

void CPanelJog::OnJogKey(int id)
{
    // A repeat can still be on its way when the key was disabled or the machine left the ready
    // state since the last press; the axes move only while the keypad can be used.
    CJogButton* key = m_face.GetButton(id);
    if (m_joyJogging || !key->isEnabled() || m_state.GetStatus().State() != MachineState::Ready)
        return;
    int16_t error = 0;
    if (!m_state.GetMachine()->GetCommandError(error) || error == SpindleOverloadError)
        return;
    key->setFocus();
    JogBy(KeyVector(id, JogStepOf(m_face.GetCursorType()).distance, m_face.IsCursorYDir()));
}

bool CPanelJog::IsKeypadKeyHeld() const
{
    return std::any_of(KeypadKeys.begin(), KeypadKeys.end(),
                       [this](int id) { return m_face.GetButton(id)->IsPressed(); });
}

// --- keyboard -------------------------------------------------------------------------------

int CPanelJog::KeypadKeyOf(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Left:
        return KeyXMinus;
    case Qt::Key_Right:
        return KeyXPlus;
    case Qt::Key_Up:
        return KeyYUpper;
    case Qt::Key_Down:
        return KeyYLower;
    case Qt::Key_PageUp:
        return KeyZPlus;
    case Qt::Key_PageDown:
        return KeyZMinus;
    default:
        return 0;
    }
}

void CPanelJog::SetKeyboardJog(bool on)
{
    if (on == m_keyboardJog || !qApp)
        return;
    m_keyboardJog = on;
    if (on) {
        qApp->installEventFilter(this);
        return;
    }
    qApp->removeEventFilter(this);
    // A key held at the switch-off would never see its release arrive here.
    for (int id : KeypadKeys)
        if (CJogButton* key = m_face.GetButton(id); key && key->hasFocus())
            key->KeyUp(false);
}

bool CPanelJog::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    const int id = KeypadKeyOf(keyEvent->key());
    constexpr Qt::KeyboardModifiers Chords =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (id == 0 || (keyEvent->modifiers() & Chords))
        return false;
    // Only keys typed into the panel window itself while it is the active one: its message
    // boxes, dialogs and menus keep their own arrow keys.
    auto* target = qobject_cast<QWidget*>(watched);
    CJogButton* key = m_face.GetButton(id);
    QWidget* panel = key->window();
    if (!target || target->window() != panel || QApplication::activeWindow() != panel)
        return false;
    if (type == QEvent::KeyPress) {
        // The key holds the focus as a Space-held key does, so that losing it ends the jog.
        if (!keyEvent->isAutoRepeat() && key->isEnabled())
            key->setFocus(Qt::ShortcutFocusReason);
        key->KeyDown(keyEvent->isAutoRepeat());
    } else {
        key->KeyUp(keyEvent->isAutoRepeat());
    }
    return true;
}

// --- joystick -------------------------------------------------------------------------------

void CPanelJog::CaptureJoystick()
{
    connect(&m_joystick, &CJoystickDevice::StickMoved, this, &CPanelJog::OnJoyMove,
            Qt::UniqueConnection);
    connect(&m_joystick, &CJoystickDevice::ButtonDown, this, &CPanelJog::OnJoyButtonDown,
            Qt::UniqueConnection);
    connect(&m_joystick, &CJoystickDevice::ButtonUp, this, &CPanelJog::OnJoyButtonUp,
            Qt::UniqueConnection);
    connect(&m_joyTimer, &QTimer::timeout, this, &CPanelJog::OnJoyTick, Qt::UniqueConnection);
    connect(&m_joystick, &CJoystickDevice::Removed, this, &CPanelJog::OnJoyRemoved,
            Qt::UniqueConnection);
    // A joystick plugged in later (or again) is taken up without restarting the panel.
    connect(&m_joystick, &CJoystickDevice::Added, this, &CPanelJog::CaptureJoystick,
            Qt::UniqueConnection);
    if (!m_joystick.GetDevCaps(0, m_joyCaps) || !m_joystick.Capture(0, m_joyCaps.periodMin)) {
        m_joystick.WatchForDevice();
        return;
    }
    m_joyId = 0;
    if (!m_joyTimer.isActive())
        m_joyTimer.start(JoyTickMs);
}

void CPanelJog::ReleaseJoystick()
{
    // Also ends the watch for a joystick to be plugged in.
    m_joystick.Release();
    m_joyId = -1;
    m_joyTimer.stop();
}

void CPanelJog::OnJoyRemoved()
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

bool CPanelJog::JoystickMayStart() const
{
    // A jog in progress can always be continued and ended; a new one needs a ready machine with
    // still axes and no keypad key held.
    if (m_joyJogging)
        return true;
    const MachineStatus& status = m_state.GetStatus();
    return status.State() == MachineState::Ready && !(status.stateWord & StateBit::Moving) &&
           !IsKeypadKeyHeld();
}

void CPanelJog::OnJoyMove(int x, int y)
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

void CPanelJog::OnJoyButtonDown(quint32 state)
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

void CPanelJog::OnJoyButtonUp(quint32)
{
    if (m_joyDirection == kJoyCentred) {
        m_joyZ = kJoyZNone;
        m_joyJogging = false;
    }
}

void CPanelJog::OnJoyTick()
{
    // The joystick serves the panel only while it (or one of its dialogs) is the active window;
    // with another program in front its readings are ignored.
    if (!QApplication::activeWindow())
        return;
    // Read first: a joystick found unplugged ends the jog (OnJoyRemoved) before it is continued.
    JoystickPos pos;
    const bool read = m_joystick.GetPos(pos);
    if (m_joyJogging)
        JogBy(JoyVector(m_joyDirection, m_joyZ, JogStepOf(m_face.GetCursorType()).distance,
                        m_face.IsCursorYDir()));
    if (!read)
        return;
    if (!(pos.buttons & kJoyStepButton)) {
        m_joyStepLatch = false;
        return;
    }
    if (m_joyStepLatch)
        return;
    m_joyStepLatch = true;
    const MachineStatus& status = m_state.GetStatus();
    const bool idleAndStill =
        status.State() == MachineState::Ready && !(status.stateWord & StateBit::Moving);
    if (m_joyJogging || idleAndStill)
        m_face.CycleCursorType();
}
