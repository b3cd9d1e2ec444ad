#pragma once

#include <SDL.h>

// A virtual joystick with two axes and eight buttons, attached for the life of the object, in
// place of a real controller.
class VirtualJoystick
{
public:
    VirtualJoystick()
    {
        m_index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 8, 0);
        if (m_index >= 0)
            m_handle = SDL_JoystickOpen(m_index);
    }
    ~VirtualJoystick()
    {
        if (m_handle)
            SDL_JoystickClose(m_handle);
        if (m_index >= 0)
            SDL_JoystickDetachVirtual(m_index);
        SDL_JoystickUpdate();
    }
    VirtualJoystick(const VirtualJoystick&) = delete;
    VirtualJoystick& operator=(const VirtualJoystick&) = delete;

    bool IsValid() const { return m_handle != nullptr; }
    void Stick(int x, int y)
    {
        SDL_JoystickSetVirtualAxis(m_handle, 0, static_cast<Sint16>(x));
        SDL_JoystickSetVirtualAxis(m_handle, 1, static_cast<Sint16>(y));
    }
    // button is 1-based, as on the controller's labels.
    void Button(int button, bool down)
    {
        SDL_JoystickSetVirtualButton(m_handle, button - 1, down ? SDL_PRESSED : SDL_RELEASED);
    }

private:
    int m_index = -1;
    SDL_Joystick* m_handle = nullptr;
};
