#pragma once

#include "FakeMachineLink.h"
#include "ModelingMachine.h"
#include "SimulatorLink.h"

#include <gtest/gtest.h>

#include <algorithm>

// A command layer whose current link is a device model that is already selected and open.
class MachineTest : public ::testing::Test
{
protected:
    void Connect(bool bigEndian = false)
    {
        auto fake = std::make_unique<FakeMachineLink>();
        fake->bigEndian = bigEndian;
        link = fake.get();
        machine =
            std::make_unique<CModelingMachine>(std::move(fake), std::make_unique<CSimulatorLink>());
        ASSERT_TRUE(machine->SelectMachine(FakeMachineLink::UniqueName("machine test")));
        link->log.clear();
    }
    void SetUp() override { Connect(); }

    const FakeMachineLink::Transfer& LastCommand() const
    {
        for (auto it = link->log.rbegin(); it != link->log.rend(); ++it)
            if (it->out)
                return *it;
        static const FakeMachineLink::Transfer none{true, 0, {}};
        return none;
    }

    // Transaction-status reads so far.
    int StatusReads() const
    {
        return static_cast<int>(
            std::count_if(link->log.begin(), link->log.end(),
                          [](const auto& t) { return !t.out && t.code == Cmd::GetCommandStatus; }));
    }

    FakeMachineLink* link = nullptr;
    std::unique_ptr<CModelingMachine> machine;
};
