#pragma once

// The panel on a running simulator with the application's dialogs, for the tests of the
// settings sheets: the sheets open from the panel's Setup button and window menu exactly as in
// the program, the test acts inside them while they run, and asserts on the simulator's
// command log.

#include "ApplicationDialogs.h"
#include "ControlPanelDlg.h"
#include "JogButton.h"
#include "ModalAnswerer.h"
#include "ModelingMachine.h"
#include "PropertyPage.h"
#include "SettingSheet.h"
#include "SimulatorProcess.h"
#include "WidgetTestApp.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace settings_test {

// Payload bytes as the simulator logs them: little-endian hex, as this computer's byte order.
inline std::string Hex(uint32_t value, int bytes = 4)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < bytes; ++i, value >>= 8) {
        text += digits[(value >> 4) & 0xF];
        text += digits[value & 0xF];
    }
    return text;
}

// A logged MoveTo with speed -1 to target.
inline std::string MoveToLine(const AxisTriple& target)
{
    return "0x04F3 ffff0000" + Hex(static_cast<uint32_t>(target[0])) +
           Hex(static_cast<uint32_t>(target[1])) + Hex(static_cast<uint32_t>(target[2]));
}

using zr40_test::WaitUntil;

template <class Control = QWidget> Control* Find(const QWidget* parent, int id)
{
    return parent->findChild<Control*>(QString::number(id));
}

// A click on a button of a sheet, as the user's (press and release on the button); a handler
// that runs a modal window returns first.
inline void Click(QWidget* widget)
{
    auto* button = qobject_cast<QAbstractButton*>(widget);
    ASSERT_NE(button, nullptr);
    button->click();
}

class SettingsSimTest : public ::testing::Test
{
protected:
    // A fresh simulator (fast axes, plus options) and the command layer on it.
    void StartMachine(std::vector<std::string> options = {})
    {
        zr40_test::App();
        std::vector<std::string> all{"--speed", "200000"};
        all.insert(all.end(), options.begin(), options.end());
        sim = std::make_unique<CSimulatorProcess>(all);
        ASSERT_TRUE(sim->Start());
        machine = std::make_unique<CModelingMachine>();
        ASSERT_TRUE(machine->UseSimulator({}));
    }

    // The panel with the application's dialogs, after its first poll enabled Setup.
    void OpenPanel()
    {
        answerer = std::make_unique<zr40_test::ModalAnswerer>();
        panel = std::make_unique<CControlPanelDlg>(machine.get());
        panel->SetDialogs(&dialogs);
        panel->show();
        ASSERT_TRUE(WaitUntil([this] { return panel->GetControl(PanelId::Setup)->isEnabled(); }));
    }

    void StopMachine()
    {
        panel.reset();
        answerer.reset();
        if (machine)
            machine->CloseMachine();
        machine.reset();
        sim.reset();
    }

    void TearDown() override { StopMachine(); }

    // Opens a sheet with open(); inside runs while the sheet is shown and ends it. A sheet
    // still open afterwards fails the test and is closed.
    void RunSheet(const std::function<void()>& open,
                  const std::function<void(CSettingSheet&)>& inside)
    {
        bool shown = false;
        answerer->Then([&](QWidget* window) {
            shown = true;
            auto* sheet = qobject_cast<CSettingSheet*>(window);
            if (!sheet) {
                ADD_FAILURE() << "not a settings sheet: " << window->windowTitle().toStdString();
                window->close();
                return;
            }
            inside(*sheet);
            if (sheet->isVisible()) {
                ADD_FAILURE() << "the sheet was left open";
                sheet->done(-99);
            }
        });
        open();
        EXPECT_TRUE(shown);
    }
    void RunSetup(const std::function<void(CSettingSheet&)>& inside)
    {
        RunSheet(
            [this] {
                // The panel's image button acts on the release of a press inside its face.
                QWidget* setup = panel->GetControl(PanelId::Setup);
                QTest::mouseClick(setup, Qt::LeftButton, {}, setup->rect().center());
            },
            inside);
    }
    void RunMaintenance(const std::function<void(CSettingSheet&)>& inside)
    {
        RunSheet([this] { panel->OnSysCommand(PanelMenu::Maintenance); }, inside);
    }

    // The sheet's own buttons (a sheet opened from one of its pages has buttons of the same ids).
    static QWidget* SheetButton(CSettingSheet& sheet, int id)
    {
        auto* buttons =
            sheet.findChild<QWidget*>(QStringLiteral("buttons"), Qt::FindDirectChildrenOnly);
        return buttons ? Find(buttons, id) : nullptr;
    }
    static void ClickOk(CSettingSheet& sheet) { Click(SheetButton(sheet, CSettingSheet::OkId)); }
    static void ClickCancel(CSettingSheet& sheet)
    {
        Click(SheetButton(sheet, CSettingSheet::CancelId));
    }
    // A control of the sheet's page index.
    template <class Control = QWidget>
    static Control* PageControl(const CSettingSheet& sheet, int page, int id)
    {
        return qobject_cast<Control*>(sheet.GetPage(page)->GetControl(id));
    }
    static QString EditText(const CSettingSheet& sheet, int page, int id)
    {
        return PageControl<QLineEdit>(sheet, page, id)->text();
    }

    std::vector<std::string> Log(const std::string& code) const { return sim->LogOf(code); }

    std::unique_ptr<CSimulatorProcess> sim;
    std::unique_ptr<CModelingMachine> machine;
    CApplicationDialogs dialogs;
    std::unique_ptr<zr40_test::ModalAnswerer> answerer;
    std::unique_ptr<CControlPanelDlg> panel;
};

} // namespace settings_test
