#pragma once

#include <cstdint>

class CJogButton;
class QWidget;

// What the panel's jog and operation handlers need of the window they serve: its buttons, the
// pictures they change, and the settings they read. The panel implements it; the handlers never
// see the window's class.
class CPanelFace
{
public:
    virtual ~CPanelFace() = default;

    // The window: the parent of the boxes the handlers open.
    virtual QWidget* Window() = 0;
    // One of the face's buttons by its PanelId; every id a handler asks for has one.
    virtual CJogButton* GetButton(int id) const = 0;
    // Draws Pause pressed or released without sending anything.
    virtual void DrawPause(bool pressed) = 0;
    // Shows an override the user proposes, before the machine reports it.
    virtual void ShowOverride(uint8_t percent) = 0;
    // The next jog step (wrapping from "x1" to "Continue"), as the joystick's step button asks.
    virtual void CycleCursorType() = 0;

    // The persisted settings the handlers read.
    virtual int GetCursorType() const = 0;
    virtual bool IsCursorYDir() const = 0;
    virtual int GetCoordinateSystem() const = 0;
    virtual int GetSetOrgCoordinateSystem() const = 0;
};
