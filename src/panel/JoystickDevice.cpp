#include "JoystickDevice.h"

#include <SDL.h>

#include <QPointer>

#include <algorithm>

namespace {

// Polling periods a capture accepts. 10 ms is short enough that a tap of a button is not lost
// between two polls and costs next to nothing (one SDL_JoystickUpdate).
constexpr int kPeriodMin = 10;
constexpr int kPeriodMax = 1000;

// Buttons reported through the button events; higher ones only through GetPos.
constexpr uint32_t kEventButtons = 0x0F;
constexpr int kMaxButtons = 32;

bool StartSubsystem()
{
    // The panel reads the stick while one of its dialogs is active, which SDL cannot see
    // without a video subsystem, so readings must not depend on SDL's idea of focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // Initialising the joystick subsystem brings up SDL's event subsystem, which would
    // otherwise install SIGINT/SIGTERM handlers that turn the signals into SDL_QUIT events
    // nobody reads: the program could no longer be interrupted or terminated politely.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0)
        return false;
    // Readings are polled; SDL's joystick events would only pile up in a queue nobody drains.
    SDL_JoystickEventState(SDL_IGNORE);
    return true;
}

bool Read(SDL_Joystick* joystick, JoystickPos& pos)
{
    // With events ignored SDL does not refresh its joystick state by itself; this also
    // notices devices plugged in or removed.
    SDL_JoystickUpdate();
    if (!joystick || !SDL_JoystickGetAttached(joystick))
        return false;
    const int axes = SDL_JoystickNumAxes(joystick);
    // A missing axis reads as the middle of the range, which counts as centred.
    pos.x = axes > 0 ? SDL_JoystickGetAxis(joystick, 0) : 0;
    pos.y = axes > 1 ? SDL_JoystickGetAxis(joystick, 1) : 0;
    pos.buttons = 0;
    const int buttons = std::min(SDL_JoystickNumButtons(joystick), kMaxButtons);
    for (int i = 0; i < buttons; ++i) {
        if (SDL_JoystickGetButton(joystick, i))
            pos.buttons |= uint32_t{1} << i;
    }
    return true;
}

} // namespace

CJoystickDevice::CJoystickDevice(QObject* parent) : QObject(parent)
{
    connect(&m_pollTimer, &QTimer::timeout, this, &CJoystickDevice::Poll);
    connect(&m_watchTimer, &QTimer::timeout, this, &CJoystickDevice::CheckForDevice);
}

CJoystickDevice::~CJoystickDevice()
{
    Release();
}

bool CJoystickDevice::InitService()
{
    // SDL's subsystem is process-wide; it is kept until the process ends rather than shut
    // down with each capture, since every start re-enumerates the input devices.
    static const bool started = StartSubsystem();
    return started;
}

bool CJoystickDevice::GetDevCaps(int id, JoystickCaps& caps)
{
    if (id != 0 || !InitService())
        return false;
    SDL_JoystickUpdate();
    if (SDL_NumJoysticks() <= 0)
        return false;
    // SDL reference-counts open joysticks, so this does not disturb a capture of the same one.
    SDL_Joystick* joystick = SDL_JoystickOpen(0);
    if (!joystick)
        return false;
    caps = JoystickCaps{};
    caps.xMin = SDL_JOYSTICK_AXIS_MIN;
    caps.xMax = SDL_JOYSTICK_AXIS_MAX;
    caps.yMin = SDL_JOYSTICK_AXIS_MIN;
    caps.yMax = SDL_JOYSTICK_AXIS_MAX;
    caps.numAxes = std::max(SDL_JoystickNumAxes(joystick), 0);
    caps.numButtons = std::clamp(SDL_JoystickNumButtons(joystick), 0, kMaxButtons);
    caps.periodMin = kPeriodMin;
    caps.periodMax = kPeriodMax;
    SDL_JoystickClose(joystick);
    return true;
}

bool CJoystickDevice::Capture(int id, int periodMs)
{
    if (id != 0 || IsCaptured() || !InitService())
        return false;
    SDL_JoystickUpdate();
    if (SDL_NumJoysticks() <= 0)
        return false;
    m_joystick = SDL_JoystickOpen(0);
    if (!m_joystick)
        return false;
    m_last = JoystickPos{};
    Read(m_joystick, m_last);
    m_watchTimer.stop();
    m_pollTimer.start(std::clamp(periodMs, kPeriodMin, kPeriodMax));
    return true;
}

bool CJoystickDevice::GetPos(JoystickPos& pos)
{
    return IsCaptured() && ReadOrDrop(pos);
}

bool CJoystickDevice::ReadOrDrop(JoystickPos& pos)
{
    if (Read(m_joystick, pos))
        return true;
    // An unplugged joystick sends no last reading: its owner learns of the removal instead,
    // and ends whatever the stick or a button was holding.
    CloseJoystick();
    WatchForDevice();
    emit Removed();
    return false;
}

void CJoystickDevice::WatchForDevice()
{
    if (!IsCaptured() && !m_watchTimer.isActive() && InitService())
        m_watchTimer.start(WatchPeriodMs);
}

void CJoystickDevice::CheckForDevice()
{
    if (IsCaptured()) {
        m_watchTimer.stop();
        return;
    }
    // SDL_JoystickUpdate also looks for devices plugged in since the last call.
    SDL_JoystickUpdate();
    if (SDL_NumJoysticks() > 0)
        emit Added();
}

void CJoystickDevice::CloseJoystick()
{
    m_pollTimer.stop();
    if (m_joystick) {
        SDL_JoystickClose(m_joystick);
        m_joystick = nullptr;
    }
}

void CJoystickDevice::Release()
{
    m_watchTimer.stop();
    CloseJoystick();
}

void CJoystickDevice::Poll()
{
    JoystickPos now;
    if (!IsCaptured() || !ReadOrDrop(now))
        return;
    const JoystickPos before = m_last;
    // Recorded before anything is emitted: a handler may run a nested event loop in which the
    // next poll must compare with this reading, not report the same change again.
    m_last = now;

    const uint32_t downBefore = before.buttons & kEventButtons;
    const uint32_t downNow = now.buttons & kEventButtons;
    const uint32_t released = downBefore & ~downNow;
    const uint32_t pressed = downNow & ~downBefore;

    // A handler may release the capture or destroy this object; stop emitting then.
    QPointer<CJoystickDevice> self(this);
    const auto stillCaptured = [&self] { return self && self->IsCaptured(); };

    if (now.x != before.x || now.y != before.y)
        emit StickMoved(now.x, now.y);
    if (released && stillCaptured())
        emit ButtonUp(JoyButtonState(downNow, released));
    if (pressed && stillCaptured())
        emit ButtonDown(JoyButtonState(downNow, pressed));
}
