#pragma once

#include "FakeMachineLink.h"
#include "ModelingMachine.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

// One QApplication for the test program, with the lock files and the settings store in private
// folders, so that a panel running on this computer and the tests never meet.
class AppTestEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char lockTemplate[] = "/tmp/zr40-app-locks-XXXXXX";
        char configTemplate[] = "/tmp/zr40-app-config-XXXXXX";
        m_lockDir = mkdtemp(lockTemplate);
        m_configDir = mkdtemp(configTemplate);
        setenv("ZR40_LOCK_DIR", m_lockDir.c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_configDir.c_str(), 1);
        static int argc = 1;
        static char name[] = "app_test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override
    {
        m_app.reset();
        const std::string command = "rm -rf '" + m_lockDir + "' '" + m_configDir + "'";
        [[maybe_unused]] const int rc = std::system(command.c_str());
    }

private:
    std::unique_ptr<QApplication> m_app;
    std::string m_lockDir;
    std::string m_configDir;
};

inline ::testing::Environment* const appTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppTestEnvironment);

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

// Answers the modal windows of a test, one action per window, in the order they open. A window
// for which no action is left is recorded and ended, so that a wrong turn fails instead of
// hanging.
class ModalAnswers
{
public:
    using Action = std::function<void(QWidget* modal)>;

    ModalAnswers()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start();
    }

    void Then(Action action) { m_actions.push_back(std::move(action)); }
    int Shown() const { return m_shown; }
    int Unexpected() const { return m_unexpected; }
    bool AllUsed() const { return m_actions.empty(); }

private:
    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        ++m_shown;
        if (m_actions.empty()) {
            ++m_unexpected;
            ADD_FAILURE() << "unexpected window: " << modal->metaObject()->className() << " "
                          << modal->windowTitle().toStdString();
            modal->close();
            if (modal->isVisible())
                QMetaObject::invokeMethod(modal, "reject");
            return;
        }
        Action action = std::move(m_actions.front());
        m_actions.pop_front();
        action(modal);
    }

    QTimer m_timer;
    std::deque<Action> m_actions;
    int m_shown = 0;
    int m_unexpected = 0;
};
