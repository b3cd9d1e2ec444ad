#pragma once

#include "MachineStatus.h"

#include <functional>

class CMachineState;
class CModelingMachine;
class QComboBox;
class QWidget;

// What the dialogs above the panel (the Setup and Maintenance sheets, the Cut dialog, the test
// cut, the travel check) use of it, and nothing more: the live machine's state, the waits, the
// error latch, the display settings the Setup sheet edits, the coordinate list, and the window
// they are opened over. The panel implements it; the dialogs never see the panel's class.
class CPanelAccess
{
public:
    using WaitCallback = std::function<bool()>; // as CMachineState::WaitCallback

    virtual ~CPanelAccess() = default;

    // The panel's window: the parent of the dialogs opened over it and what they are placed by.
    virtual QWidget* Window() = 0;
    // One of the panel's controls by its PanelId, nullptr for an unknown id.
    virtual QWidget* GetControl(int id) const = 0;

    // --- the live machine ----------------------------------------------------------------
    virtual CModelingMachine* GetMachine() const = 0;
    virtual const MachineStatus& GetStatus() const = 0;
    // The status cache and its poll, for a window that follows each read (StatusRead).
    virtual const CMachineState& GetMachineState() const = 0;
    // The nested wait while the axes move (see CMachineState::WaitWhileMoving).
    virtual bool WaitWhileMoving(const WaitCallback& callback = {}) = 0;
    // Origin of a coordinate system in machine coordinates; false when it cannot be read.
    virtual bool GetOrigin(int number, AxisTriple& origin) = 0;
    virtual const AxisTriple& GetCurrentOrigin() const = 0;
    virtual const AxisTriple& GetRangeLow() const = 0;
    virtual const AxisTriple& GetRangeHigh() const = 0;
    // A device-change notice, handled as the panel handles the link's own.
    virtual void OnDeviceChange(unsigned event) = 0;
    // The operation-error latch and the answer to the last paused command-error box.
    virtual bool GetErrorLatch() const = 0;
    virtual void ClearErrorLatch() = 0;
    virtual int GetLastErrorAnswer() const = 0;

    // --- display settings and the coordinate list --------------------------------------------
    virtual bool IsMetric() const = 0;
    virtual bool IsCursorYDir() const = 0;
    // Switches the display unit; the values are redrawn at once.
    virtual void SetUnit(bool metric) = 0;
    virtual void SetCursorYDir(bool cursorYDir) = 0;
    // Takes a command set read from the machine; anything but 0, 1 or 2 is ignored.
    virtual void SetCommandSet(int commandSet) = 0;
    // The command-set text and both coordinate-system lists, rebuilt for the command set.
    virtual void RefreshCommandSet() = 0;
    // Fills target with the entries (text and number) and the selection of the shown list.
    virtual void CopyCoordinateList(QComboBox* target) const = 0;
    // Selects entry index of the shown list as if the user had chosen it.
    virtual void SelectShownSystem(int index) = 0;
};
