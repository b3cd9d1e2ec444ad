// Pages on the in-process device model, for machines that fail to answer: what the user sees
// and what is never sent.
#include "CorrectionSettingPage.h"
#include "FakeMachineLink.h"
#include "ModelingMachine.h"
#include "SettingSheet.h"
#include "SimulatorLink.h"
#include "SpindleTimePage.h"
#include "WidgetTestApp.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

class FailingMachineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto link = std::make_unique<FakeMachineLink>();
        fake = link.get();
        machine =
            std::make_unique<CModelingMachine>(std::move(link), std::make_unique<CSimulatorLink>());
        ASSERT_TRUE(machine->SelectMachine(FakeMachineLink::UniqueName("settings pages")));
        // Every command is refused at once: each read fails without waiting for a reply.
        fake->commandErrorBits = CommandStatus::Error;
    }
    int Sent(uint16_t code) const
    {
        int count = 0;
        for (const FakeMachineLink::Transfer& transfer : fake->log)
            count += transfer.out && transfer.code == code ? 1 : 0;
        return count;
    }

    FakeMachineLink* fake = nullptr;
    std::unique_ptr<CModelingMachine> machine;
};

TEST_F(FailingMachineTest, SpindlePageWithoutAFittedUnitChecksNoneAndSelectsNoneAfterwards)
{
    CSettingSheet sheet(109);
    CSpindleTimePage page;
    sheet.AddPage(&page);
    page.SetMachine(machine.get());
    zr40_test::RunModal(sheet, [&] {
        for (int unit = 1; unit <= CSpindleTimePage::Units; ++unit) {
            auto* radio = qobject_cast<QAbstractButton*>(
                page.GetControl(CSpindleTimePage::FirstRadio - 1 + unit));
            EXPECT_FALSE(radio->isChecked()) << unit;
            EXPECT_EQ(static_cast<QLabel*>(page.GetControl(CSpindleTimePage::FirstHours - 1 + unit))
                          ->text(),
                      "0 ");
        }
        sheet.reject();
    });
    const int sweep = Sent(Cmd::SelectSpindleUnit);
    EXPECT_EQ(sweep, CSpindleTimePage::Units);
    page.Cancel();
    page.Commit();
    EXPECT_EQ(Sent(Cmd::SelectSpindleUnit), sweep);
}

TEST_F(FailingMachineTest, CorrectionPageShowsNeutralWhenTheReadFails)
{
    CSettingSheet sheet(21094);
    CCorrectionSettingPage page;
    sheet.AddPage(&page);
    page.SetMachine(machine.get());
    page.LoadFromMachine();
    zr40_test::RunModal(sheet, [&] {
        for (int id : CCorrectionSettingPage::Edits)
            EXPECT_EQ(static_cast<QLineEdit*>(page.GetControl(id))->text(), "100.000") << id;
        sheet.accept();
    });
    page.SaveToMachine();
    EXPECT_EQ(Sent(Cmd::SetDistanceCorrection), 0);
}

} // namespace
