#pragma once

#include "FakeMachineLink.h"
#include "ModelingMachine.h"
#include "SimulatorLink.h"

#include <memory>
#include <string>

namespace panel_test {

// A command layer on the in-process device model, selected and answering the reads the panel
// makes when it connects: settings with command set ZML-1, automatic speed mode, no auto
// power-off, the user origin at 0, the spindle rotation and the travel range. fake is the
// model, for the test to change.
inline std::unique_ptr<CModelingMachine> MakeModelMachine(const std::string& name,
                                                          FakeMachineLink*& fake)
{
    auto link = std::make_unique<FakeMachineLink>();
    fake = link.get();
    auto machine =
        std::make_unique<CModelingMachine>(std::move(link), std::make_unique<CSimulatorLink>());
    if (!machine->SelectMachine(FakeMachineLink::UniqueName(name)))
        return nullptr;
    fake->replies[Cmd::GetMachineSettings] = {0, 0, 0, 0, 0, 0};
    fake->replies[Cmd::GetCuttingSpeedMode] = {1};
    fake->replies[Cmd::GetAutoPowerOffFlag] = {0};
    fake->SetReply32(Cmd::GetUserOrigin, {0, 0, 0});
    fake->SetReply32(Cmd::GetMoveRange, {0, 0, -40000, 200000, 150000, 0});
    fake->SetReply32(Cmd::GetSpindleRotation, {0, 0});
    return machine;
}

} // namespace panel_test
