#pragma once

#include "CommandLine.h"
#include "PanelMessageBoxLayout.h"
#include "PanelMutex.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CModelingMachine;
class CPanelMessageBox;

// The application object: fixes the program's names, finds and reserves the machine the
// panel is to serve, runs the panel as the one modal window, and ends when it closes.
//
// The machine object and the panel come through two callables, so that a test can start up on
// machines built over fake links and look at the outcome without opening the real panel.
class CControlPanelApp
{
public:
    static constexpr const char* SettingsRootKey = "Quenby Corporation";
    // The hidden key of the no-machine box: Ctrl+Alt+Shift+J switches to the simulator.
    static constexpr int SimulatorHotKey = 74;
    // The no-machine box: OK and Cancel captioned Retry and End.
    static constexpr uint32_t NoMachineBoxStyle = BoxStyle::ExclamationOkCancel;
    static constexpr int RetryResult = BoxResult::Ok;
    static constexpr int EndResult = BoxResult::Cancel;

    using MachineFactory = std::function<std::unique_ptr<CModelingMachine>()>;
    using PanelRunner = std::function<void(CModelingMachine& machine)>;

    CControlPanelApp(MachineFactory createMachine, PanelRunner runPanel,
                     StartupOptions options = {});
    CControlPanelApp(const CControlPanelApp&) = delete;
    CControlPanelApp& operator=(const CControlPanelApp&) = delete;

    // The whole start-up: names, machine, panel, end. 0 when a panel ran, 1 when no machine
    // could be had (the user ended, or the reservation was lost to another program).
    int InitInstance();

    // Finds, opens and reserves a machine; false when the user ended or the reservation failed
    // (the link is closed then).
    bool AcquireMachine(CModelingMachine& machine);

    // The application title, which is also the settings profile name.
    const QString& GetTitle() const { return m_title; }
    const QString& GetHelpPath() const { return m_helpPath; }
    // The panel mutex this process holds (after a successful AcquireMachine).
    const CPanelMutex& GetPanelMutex() const { return m_panelMutex; }

    // Makes title the application title and the settings profile name in one step, so that
    // the two can never differ.
    void SetTitle(const QString& title);

    // The names fixed before any machine is looked at: settings root key, the model title,
    // the help path.
    void SetNames();

private:
    std::vector<std::string> FindCandidates(CModelingMachine& machine);
    std::string ChooseMachine(const std::vector<std::string>& candidates);
    void PrepareNoMachineBox(CPanelMessageBox& box) const;

    MachineFactory m_createMachine;
    PanelRunner m_runPanel;
    StartupOptions m_options;
    QString m_title;
    QString m_helpPath;
    // Held from the reservation until the process ends; never given up while a panel runs.
    CPanelMutex m_panelMutex;
};
