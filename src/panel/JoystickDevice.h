#pragma once

#include "JoystickMath.h"

#include <QObject>
#include <QTimer>

#include <cstdint>

typedef struct _SDL_Joystick SDL_Joystick;

// One reading of the joystick: stick position in the range of JoystickCaps and the buttons
// held (button n = bit n-1, JoyButtonBit).
struct JoystickPos
{
    int x = 0;
    int y = 0;
    uint32_t buttons = 0;
};

// The panel's joystick service on SDL2's joystick subsystem: device capabilities, a capture of
// the first joystick that turns its readings into stick and button events, and direct readings.
//
// Contract for the panel:
// - GetDevCaps(0, caps) fails when no joystick is present. Otherwise caps holds the X and Y
//   minimum and maximum readings (SDL's axis range, -32768 .. 32767): full left reads exactly
//   xMin, full right exactly xMax, full up yMin, full down yMax; a count short of an extreme is
//   between. caps.periodMin is the polling period to pass to Capture.
// - Capture(0, period) opens the first joystick and polls it every `period` ms (clamped to
//   periodMin..periodMax) on the UI thread's event loop. It fails when there is no joystick or
//   a capture is already held; then nothing polls. The reading at capture time is the baseline:
//   a stick or button already held produces no event until it changes.
// - Each poll compares the reading with the previous one and emits, only for what changed:
//     StickMoved(x, y)   when x or y changed (the stick-moved handler),
//     ButtonUp(state)    when one of buttons 1..4 was released,
//     ButtonDown(state)  when one of buttons 1..4 was pressed,
//   in that order. state is JoyButtonState(buttons 1..4 now down, the buttons of this event
//   that changed): button 2 alone going down gives 0x202, button 3 alone 0x404, button 2
//   released while nothing else is held 0x200. When one poll sees a release and a press, the
//   release comes first and each event's change bits hold only its own buttons. Like the
//   platform's button messages, the events cover buttons 1..4 only; button 5 (the step button)
//   is seen through GetPos on the panel's own 150 ms tick.
//   Signals are emitted directly from the poll; a handler may call Release() or GetPos().
// - GetPos(pos) reads the captured joystick now; it fails without a capture or when the
//   joystick was unplugged.
// - A captured joystick found unplugged (by a poll or by GetPos) is closed, and Removed() is
//   emitted once; no stick or button event reports the readings it had. The device then
//   watches for a joystick, as WatchForDevice does.
// - WatchForDevice() checks every WatchPeriodMs, while nothing is captured, whether a joystick
//   is present, and emits Added() each time one is (the owner captures it). A capture ends the
//   watch.
// - Release() stops the polling and the watch and closes the joystick; the destructor does the
//   same.
class CJoystickDevice : public QObject
{
    Q_OBJECT

public:
    static constexpr int WatchPeriodMs = 500;

    explicit CJoystickDevice(QObject* parent = nullptr);
    ~CJoystickDevice() override;

    CJoystickDevice(const CJoystickDevice&) = delete;
    CJoystickDevice& operator=(const CJoystickDevice&) = delete;

    // Initialises SDL's joystick subsystem the first time it is called in the process (without
    // the video subsystem and without SDL's signal handlers); false when SDL refused. Every
    // other operation calls it; tests call it before attaching virtual joysticks.
    static bool InitService();

    bool GetDevCaps(int id, JoystickCaps& caps);
    bool Capture(int id, int periodMs);
    bool GetPos(JoystickPos& pos);
    void WatchForDevice();
    void Release();

    bool IsCaptured() const { return m_joystick != nullptr; }
    bool IsPolling() const { return m_pollTimer.isActive(); }
    bool IsWatching() const { return m_watchTimer.isActive(); }
    // The period the capture polls with, ms; 0 without a capture.
    int GetPollPeriod() const { return IsPolling() ? m_pollTimer.interval() : 0; }

signals:
    void StickMoved(int x, int y);
    void ButtonDown(quint32 state);
    void ButtonUp(quint32 state);
    void Removed();
    void Added();

private:
    void Poll();
    // Reads the captured joystick; a failed read means it was unplugged.
    bool ReadOrDrop(JoystickPos& pos);
    void CloseJoystick();
    void CheckForDevice();

    SDL_Joystick* m_joystick = nullptr;
    QTimer m_pollTimer;
    QTimer m_watchTimer;
    JoystickPos m_last;
};
