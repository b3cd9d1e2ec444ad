#pragma once

// The panel on a running simulator, for the tests of its operations: a fixture that opens the
// panel on a fresh simulator (command set "both", so that every coordinate system is offered),
// clicks that go through the real buttons, and readers of the simulator's command log.

#include "ColorLabel.h"
#include "ControlPanelDlg.h"
#include "JogButton.h"
#include "ModelingMachine.h"
#include "PanelTestSupport.h"
#include "SimulatorProcess.h"

#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace panel_test {

// 32-bit values of a logged command's payload ("0xCODE hex"), starting skip bytes in. The
// simulator runs in this computer's byte order, little-endian here.
inline std::vector<int32_t> LoggedWords(const std::string& line, size_t skip = 0)
{
    std::vector<int32_t> words;
    const size_t space = line.find(' ');
    if (space == std::string::npos)
        return words;
    const std::string hex = line.substr(space + 1);
    for (size_t at = 2 * skip; at + 8 <= hex.size(); at += 8) {
        uint32_t value = 0;
        for (int byte = 3; byte >= 0; --byte)
            value = (value << 8) |
                    static_cast<uint32_t>(std::stoul(hex.substr(at + 2 * byte, 2), nullptr, 16));
        words.push_back(static_cast<int32_t>(value));
    }
    return words;
}

// The target of a logged JogTo or MoveTo (a 16-bit speed and two bytes before the axes).
inline AxisTriple LoggedTarget(const std::string& line)
{
    const std::vector<int32_t> words = LoggedWords(line, 4);
    return words.size() == 3 ? AxisTriple{words[0], words[1], words[2]} : AxisTriple{-1, -1, -1};
}

inline AxisTriple Offset(const AxisTriple& base, int32_t x, int32_t y, int32_t z)
{
    return {base[0] + x, base[1] + y, base[2] + z};
}

class PanelSimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ClearStoredSettings();
        sim = std::make_unique<CSimulatorProcess>(
            std::vector<std::string>{"--speed", "4000", "--quit-skip-ms", "300"});
        ASSERT_TRUE(sim->Start());
        machine = std::make_unique<CModelingMachine>();
        ASSERT_TRUE(machine->UseSimulator({}));
        MachineSettings settings;
        ASSERT_TRUE(machine->GetMachineSettings(settings));
        settings.commandSet = 2;
        ASSERT_TRUE(machine->SetMachineSettings(settings));
    }

    void TearDown() override
    {
        panel.reset();
        answerer.reset();
        if (machine)
            machine->CloseMachine();
    }

    // Opens the panel as the start-up does and waits until the first poll enabled the keypad.
    void Open()
    {
        answerer =
            std::make_unique<BoxAnswerer>([this] { return panel && panel->State().IsPolling(); });
        panel = std::make_unique<CControlPanelDlg>(machine.get());
        panel->show();
        ASSERT_TRUE(WaitUntil([this] { return Enabled(PanelId::KeyXPlus); }));
    }

    std::string Control(const std::string& command) { return sim->Control(command); }
    bool Enabled(int id) const { return panel->GetControl(id)->isEnabled(); }
    QString Text(int id) const
    {
        return static_cast<CColorLabel*>(panel->GetControl(id))->GetText();
    }
    CJogButton* Button(int id) const { return panel->GetButton(id); }
    QRadioButton* Radio(int id) const { return static_cast<QRadioButton*>(panel->GetControl(id)); }

    // A click in the middle of an image button; handlers that wait return before this does.
    void Click(int id) const
    {
        CJogButton* button = Button(id);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
    void Press(int id) const
    {
        QTest::mousePress(Button(id), Qt::LeftButton, {}, Button(id)->rect().center());
    }
    void Release(int id) const
    {
        QTest::mouseRelease(Button(id), Qt::LeftButton, {}, Button(id)->rect().center());
    }

    AxisTriple SimPosition() const
    {
        const std::vector<long> p = sim->Position();
        return p.size() == 3 ? AxisTriple{static_cast<int32_t>(p[0]), static_cast<int32_t>(p[1]),
                                          static_cast<int32_t>(p[2])}
                             : AxisTriple{-1, -1, -1};
    }
    std::vector<AxisTriple> JogTargets() const
    {
        std::vector<AxisTriple> targets;
        for (const std::string& line : sim->LogOf("0x04F5"))
            targets.push_back(LoggedTarget(line));
        return targets;
    }
    // Moves the machine and waits until the panel has seen it stand still there.
    void MoveMachineTo(const AxisTriple& target)
    {
        ASSERT_TRUE(machine->JogTo(-1, target));
        ASSERT_TRUE(sim->WaitUntilStopped());
        ASSERT_TRUE(WaitUntil(
            [&] { return panel->GetStatus().position == target && Enabled(PanelId::KeyXPlus); }));
    }

    std::unique_ptr<CSimulatorProcess> sim;
    std::unique_ptr<CModelingMachine> machine;
    std::unique_ptr<BoxAnswerer> answerer;
    std::unique_ptr<CControlPanelDlg> panel;
};

} // namespace panel_test
