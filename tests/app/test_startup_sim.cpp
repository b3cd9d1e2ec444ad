// Start-up against the running simulator: --simulator and the hidden key reach the live
// machine, the real panel opens under the application title and saves its settings in that
// profile.

#include "AppTestSupport.h"
#include "ControlPanelApp.h"
#include "ControlPanelDlg.h"
#include "PanelMessageBox.h"
#include "SimulatorLink.h"
#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTest>

namespace {

// A machine with no installed printers and the real simulator link.
std::unique_ptr<CModelingMachine> SimulatorOnlyMachine()
{
    return std::make_unique<CModelingMachine>(std::make_unique<InstalledMachinesLink>(),
                                              std::make_unique<CSimulatorLink>());
}

class StartupOnSimulatorTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(simulator.Start()); }

    CSimulatorProcess simulator;
    ModalAnswerer answers;
};

TEST_F(StartupOnSimulatorTest, SimulatorOptionRunsThePanelOnTheLiveMachine)
{
    StartupOptions options;
    options.simulatorFirst = true;
    QString panelTitle;
    QString settingsFile;
    bool firmwareRead = false;
    CControlPanelApp app(
        SimulatorOnlyMachine,
        [&](CModelingMachine& machine) {
            firmwareRead = machine.GetFirmwareVersion().has_value();
            settingsFile =
                QSettings(QSettings::IniFormat, QSettings::UserScope,
                          QCoreApplication::organizationName(), QCoreApplication::applicationName())
                    .fileName();
            QFile::remove(settingsFile);
            CControlPanelDlg panel(&machine);
            panel.exec();
        },
        options);
    // The panel is the one window of the run: it is closed as soon as it is up.
    answers.Then([&](QWidget* modal) {
        ASSERT_NE(qobject_cast<CControlPanelDlg*>(modal), nullptr);
        panelTitle = modal->windowTitle();
        modal->close();
    });
    EXPECT_EQ(app.InitInstance(), 0);
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_TRUE(firmwareRead);
    EXPECT_EQ(panelTitle, QStringLiteral("Quenby Miltaro Controller for ZR-40"));
    // The panel saved its settings on close, in the profile the start-up named.
    QSettings saved(settingsFile, QSettings::IniFormat);
    EXPECT_TRUE(saved.contains(QStringLiteral("Settings/Metric")));
    EXPECT_TRUE(app.GetPanelMutex().IsHeld());
}

TEST_F(StartupOnSimulatorTest, HiddenKeyReachesTheSimulatorAndNotWhenItIsGone)
{
    auto machine = SimulatorOnlyMachine();
    CControlPanelApp app(nullptr, nullptr);
    app.SetNames();
    auto hiddenKey = [](QWidget* modal) {
        ASSERT_NE(qobject_cast<CPanelMessageBox*>(modal), nullptr);
        QTest::keyClick(modal, Qt::Key_J,
                        Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    };
    answers.Then(hiddenKey);
    ASSERT_TRUE(app.AcquireMachine(*machine));
    EXPECT_TRUE(machine->IsSimulatorCurrent());
    EXPECT_TRUE(machine->GetFirmwareVersion().has_value());
    machine->CloseMachine();

    // Without a simulator the hidden key is a "Retry": the box comes back.
    simulator.Stop();
    answers.Then(hiddenKey);
    answers.Then([](QWidget* modal) {
        modal->findChild<QPushButton*>(QString::number(CPanelMessageBox::ButtonIds[1]))->click();
    });
    EXPECT_FALSE(app.AcquireMachine(*machine));
    EXPECT_EQ(answers.Shown(), 3);
    EXPECT_FALSE(machine->IsSimulatorCurrent());
}

} // namespace
