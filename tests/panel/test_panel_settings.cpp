// The panel's five persisted settings: defaults, the round trip through the per-user store, the
// rules for odd stored values, and one store per profile.

#include "ControlPanelDlg.h"
#include "FakeMachineLink.h"
#include "ModelingMachine.h"
#include "PanelTestSupport.h"
#include "SimulatorLink.h"

#include <gtest/gtest.h>

#include <memory>

using namespace panel_test;

namespace {

class PanelSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        QCoreApplication::setApplicationName(Profile);
        ClearStoredSettings();
        machine = std::make_unique<CModelingMachine>(std::make_unique<FakeMachineLink>(),
                                                     std::make_unique<CSimulatorLink>());
        ASSERT_TRUE(machine->SelectMachine(FakeMachineLink::UniqueName("settings")));
    }
    void TearDown() override { QCoreApplication::setApplicationName(Profile); }

    // A panel constructed as the start-up does; the constructor loads the settings.
    std::unique_ptr<CControlPanelDlg> NewPanel()
    {
        return std::make_unique<CControlPanelDlg>(machine.get());
    }

    static void Store(const char* name, const QVariant& value)
    {
        QSettings settings = StoredSettings();
        settings.setValue(QStringLiteral("Settings/") + QString::fromLatin1(name), value);
        settings.sync();
    }
    static QVariant Stored(const char* name)
    {
        QSettings settings = StoredSettings();
        return settings.value(QStringLiteral("Settings/") + QString::fromLatin1(name));
    }

    std::unique_ptr<CModelingMachine> machine;
};

TEST_F(PanelSettingsTest, FirstRunGivesTheDefaults)
{
    auto panel = NewPanel();
    EXPECT_TRUE(panel->Metric);
    EXPECT_EQ(panel->CursorType, 0);
    EXPECT_EQ(panel->CoordinateSystem, 1);
    EXPECT_EQ(panel->SetOrgCoordinateSystem, 1);
    EXPECT_TRUE(panel->CursorYDir);
    EXPECT_FALSE(panel->KeyboardJog);
    EXPECT_FALSE(panel->Jog().IsKeyboardJogOn());
}

TEST_F(PanelSettingsTest, SavedValuesComeBackInTheNextRun)
{
    {
        auto panel = NewPanel();
        panel->Metric = false;
        panel->CursorType = 2;
        panel->CoordinateSystem = 5;
        panel->SetOrgCoordinateSystem = 8;
        panel->CursorYDir = false;
        panel->SaveSettings();
    }
    EXPECT_EQ(Stored("Metric").toInt(), 0);
    EXPECT_EQ(Stored("CursorType").toInt(), 2);
    EXPECT_EQ(Stored("CoordinateSystem").toInt(), 5);
    EXPECT_EQ(Stored("SetOrgCoordinateSystem").toInt(), 8);
    EXPECT_EQ(Stored("CursorYDir").toInt(), 0);

    auto panel = NewPanel();
    EXPECT_FALSE(panel->Metric);
    EXPECT_EQ(panel->CursorType, 2);
    EXPECT_EQ(panel->CoordinateSystem, 5);
    EXPECT_EQ(panel->SetOrgCoordinateSystem, 8);
    EXPECT_FALSE(panel->CursorYDir);
}

TEST_F(PanelSettingsTest, KeyboardJogIsKeptBesideTheFiveSettings)
{
    {
        auto panel = NewPanel();
        panel->OnSysCommand(PanelMenu::KeyboardJog);
        panel->SaveSettings();
    }
    EXPECT_EQ(StoredSettings().value(QStringLiteral("Options/KeyboardJog")).toInt(), 1);
    EXPECT_FALSE(StoredSettings().contains(QStringLiteral("Settings/KeyboardJog")));
    auto panel = NewPanel();
    EXPECT_TRUE(panel->KeyboardJog);
    EXPECT_TRUE(panel->Jog().IsKeyboardJogOn());
}

TEST_F(PanelSettingsTest, AnyNonZeroBooleanIsTrueAndIsWrittenBackAsOne)
{
    Store("Metric", 5);
    Store("CursorYDir", -1);
    auto panel = NewPanel();
    EXPECT_TRUE(panel->Metric);
    EXPECT_TRUE(panel->CursorYDir);
    panel->SaveSettings();
    EXPECT_EQ(Stored("Metric").toString(), QStringLiteral("1"));
    EXPECT_EQ(Stored("CursorYDir").toString(), QStringLiteral("1"));
}

TEST_F(PanelSettingsTest, CursorTypeOutsideTheStepTableIsBroughtIntoRange)
{
    Store("CursorType", 7);
    EXPECT_EQ(NewPanel()->CursorType, 3);
    Store("CursorType", -2);
    EXPECT_EQ(NewPanel()->CursorType, 0);
    Store("CursorType", 3);
    EXPECT_EQ(NewPanel()->CursorType, 3);
}

TEST_F(PanelSettingsTest, MissingOrUnreadableValuesKeepTheDefaults)
{
    Store("Metric", 0);
    Store("CoordinateSystem", QStringLiteral("G55"));
    Store("CursorType", QString());
    auto panel = NewPanel();
    EXPECT_FALSE(panel->Metric);
    EXPECT_EQ(panel->CoordinateSystem, 1);
    EXPECT_EQ(panel->CursorType, 0);
    EXPECT_EQ(panel->SetOrgCoordinateSystem, 1);
    EXPECT_TRUE(panel->CursorYDir);
}

TEST_F(PanelSettingsTest, EveryProfileKeepsItsOwnSettings)
{
    QCoreApplication::setApplicationName(QStringLiteral("Miltaro Controller for ZR-40 A"));
    ClearStoredSettings();
    {
        auto panel = NewPanel();
        panel->Metric = false;
        panel->SaveSettings();
    }
    QCoreApplication::setApplicationName(QStringLiteral("Miltaro Controller for ZR-40 B"));
    ClearStoredSettings();
    EXPECT_TRUE(NewPanel()->Metric);
    QCoreApplication::setApplicationName(QStringLiteral("Miltaro Controller for ZR-40 A"));
    EXPECT_FALSE(NewPanel()->Metric);
}

TEST_F(PanelSettingsTest, TheStoreIsTheUsersIniFileUnderTheOrganisation)
{
    NewPanel()->SaveSettings();
    const QString expected = ConfigDir().path() + QStringLiteral("/Quenby Corporation/") + Profile +
                             QStringLiteral(".ini");
    EXPECT_EQ(StoredSettings().fileName(), expected);
    EXPECT_TRUE(QFile::exists(expected));
    QSettings settings = StoredSettings();
    settings.beginGroup(QStringLiteral("Settings"));
    EXPECT_EQ(settings.childKeys().size(), 5);
}

} // namespace
