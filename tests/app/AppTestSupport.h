#pragma once

#include "FakeMachineLink.h"
#include "ModalAnswerer.h"
#include "ModelingMachine.h"
#include "WidgetTestApp.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

// An installed machine as the test lays it out.
enum class MachinePower
{
    Off,    // installed, but cannot be opened
    Silent, // opens, but does not answer the identification request
    On      // opens and answers
};

// The USB link of a test machine set: lists the given printers and answers per printer name.
class InstalledMachinesLink : public FakeMachineLink
{
public:
    std::vector<PrinterEntry> printers;
    std::map<std::string, MachinePower> power;
    bool listingFails = false;
    std::vector<std::string> opened; // every name an open was tried for
    std::string deniedDevice;        // a device node the search could not open for lack of rights

    std::string GetAccessDeniedDevice() const override { return deniedDevice; }

    void Install(const std::string& name, MachinePower state,
                 const std::string& driver = CModelingMachine::ModelName)
    {
        printers.push_back({name, driver, "usb://Quenby/ZR-40?serial=" + name});
        power[name] = state;
    }

    int OpenDevice(const std::string& name, const std::string& path) override
    {
        opened.push_back(name);
        return PowerOf(name) == MachinePower::Off ? -1 : FakeMachineLink::OpenDevice(name, path);
    }
    bool QueryDeviceId(int handle, char* buffer, int length) override
    {
        return PowerOf(m_name) == MachinePower::On &&
               FakeMachineLink::QueryDeviceId(handle, buffer, length);
    }

protected:
    bool ListPrinters(std::vector<PrinterEntry>& out) override
    {
        if (listingFails)
            return false;
        out = printers;
        return true;
    }

private:
    MachinePower PowerOf(const std::string& name) const
    {
        const auto it = power.find(name);
        return it == power.end() ? MachinePower::Off : it->second;
    }
};

// A machine object over a test USB link and a fake simulator (absent unless told otherwise).
struct TestMachine
{
    InstalledMachinesLink* usb;
    FakeMachineLink* simulator;
    std::unique_ptr<CModelingMachine> machine;

    TestMachine()
    {
        auto usbLink = std::make_unique<InstalledMachinesLink>();
        auto simulatorLink = std::make_unique<FakeMachineLink>();
        usb = usbLink.get();
        simulator = simulatorLink.get();
        simulator->present = false;
        machine = std::make_unique<CModelingMachine>(std::move(usbLink), std::move(simulatorLink));
    }
};

// The app tests answer every window in turn with the next planned action (Then); anything
// unplanned fails the test and is closed, so that a wrong turn fails instead of hanging.
using zr40_test::ModalAnswerer;
