#include "ControlPanelApp.h"

#include "AlarmText.h"
#include "FileErrorMessage.h"
#include "MachineSelectDlg.h"
#include "ModelingMachine.h"
#include "PanelMessageBox.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TextFormat.h"

#include <QCoreApplication>

CControlPanelApp::CControlPanelApp(MachineFactory createMachine, PanelRunner runPanel,
                                   StartupOptions options)
    : m_createMachine(std::move(createMachine)), m_runPanel(std::move(runPanel)), m_options(options)
{
}

void CControlPanelApp::SetTitle(const QString& title)
{
    m_title = title;
    QCoreApplication::setApplicationName(title);
}

void CControlPanelApp::SetNames()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(SettingsRootKey));
    SetTitle(FormatTemplate(LoadString(Str::SingleMachineTitle), {LoadString(Str::ModelName)}));
    // The help file stands next to the executable; nothing opens it.
    m_helpPath = QCoreApplication::applicationFilePath();
    const qsizetype slash = m_helpPath.lastIndexOf(u'/');
    if (slash >= 0)
        m_helpPath = m_helpPath.left(slash + 1) + LoadString(Str::HelpFileName);
}

int CControlPanelApp::InitInstance()
{
    SetNames();
    std::unique_ptr<CModelingMachine> machine = m_createMachine();
    if (!machine || !AcquireMachine(*machine))
        return 1;
    // The installed count decides, not the candidate count: with several machines installed
    // each machine's panel gets a title, and so a settings profile, of its own.
    if (machine->EnumerateMachines() > 1)
        SetTitle(FormatTemplate(LoadString(Str::MultiMachineTitle),
                                {QString::fromStdString(machine->GetLink().GetName())}));
    m_runPanel(*machine);
    // Destroying the machine closes its link; the panel mutex stays held until the end.
    machine.reset();
    return 0;
}

void CControlPanelApp::PrepareNoMachineBox(CPanelMessageBox& box) const
{
    box.SetCaption(RetryResult, LoadString(Str::Retry));
    box.SetCaption(EndResult, LoadString(Str::End));
    box.SetHotKey(SimulatorHotKey, true, true, true);
}

std::vector<std::string> CControlPanelApp::FindCandidates(CModelingMachine& machine)
{
    std::vector<std::string> candidates;
    const int count = machine.EnumerateMachines();
    for (int i = 0; i < count; ++i) {
        const std::optional<std::string> name = machine.GetUsbLink().GetMachineName(i);
        if (!name || !machine.SelectMachine(*name))
            continue;
        // A machine whose panel mutex exists is served by another panel and never offered. The
        // mutex is named after the machine, not the queue: two queues may lead to one machine.
        if (machine.GetLink().CheckConnection() &&
            CPanelMutex::IsFree(machine.GetLink().GetMachineKey()))
            candidates.push_back(*name);
        machine.CloseMachine();
    }
    return candidates;
}

std::string CControlPanelApp::ChooseMachine(const std::vector<std::string>& candidates)
{
    if (candidates.empty())
        return {};
    if (candidates.size() == 1)
        return candidates.front();
    QStringList names;
    for (const std::string& name : candidates)
        names.append(QString::fromStdString(name));
    CMachineSelectDlg dialog(names);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    // The candidate's own bytes, not a conversion back from the list's text.
    const QString selected = dialog.GetSelectedName();
    for (const std::string& name : candidates)
        if (QString::fromStdString(name) == selected)
            return name;
    return {};
}

bool CControlPanelApp::AcquireMachine(CModelingMachine& machine)
{
    CPanelMessageBox box(FormatConnectionError(ConnectionErrorKind::NoMachine, QString()),
                         NoMachineBoxStyle);
    PrepareNoMachineBox(box);

    std::string chosen;
    bool simulatorFirst = m_options.simulatorFirst;
    for (;;) {
        if (simulatorFirst) {
            simulatorFirst = false;
            if (machine.UseSimulator({}))
                break;
        }
        chosen = ChooseMachine(FindCandidates(machine));
        if (!chosen.empty() && machine.SelectMachine(chosen)) {
            if (machine.GetLink().CheckConnection())
                break;
            machine.CloseMachine();
        }
        // A device this user may not open is told apart from no machine at all: the remedy is
        // the udev rule, not the cable.
        const std::string denied = machine.GetUsbLink().GetAccessDeniedDevice();
        int answer = 0;
        if (denied.empty()) {
            answer = box.exec();
        } else {
            CPanelMessageBox deniedBox(FormatTemplate(LoadString(Str::MachineAccessDenied),
                                                      {QString::fromStdString(denied)}),
                                       NoMachineBoxStyle);
            PrepareNoMachineBox(deniedBox);
            answer = deniedBox.exec();
        }
        if (answer == EndResult)
            return false;
        if (answer == SimulatorHotKey) {
            // The simulator does not serve the machine that just failed to open, so that
            // machine's panel mutex must not be taken for it.
            chosen.clear();
            if (machine.UseSimulator({}))
                break;
        }
    }

    const std::string key = chosen.empty() ? chosen : machine.GetLink().GetMachineKey();
    const CPanelMutex::CreateResult reserved = m_panelMutex.Create(key);
    if (reserved == CPanelMutex::CreateResult::Created)
        return true;
    machine.CloseMachine();
    // Another panel that took the machine first serves it; a lock that cannot be made at all
    // (a folder in the place of its file, a lock folder that cannot be written) is the user's to
    // mend, so the user is told which file it is.
    if (reserved == CPanelMutex::CreateResult::Failed)
        ShowFileError(nullptr, m_panelMutex.GetError(),
                      QString::fromStdString(CPanelMutex::LockPath(key)));
    return false;
}
