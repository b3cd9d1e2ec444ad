// The Setup sheet and the NC code sheet opened from the panel against the simulator: what the
// pages show of the machine, and what reaches the machine after OK or Cancel.
#include "ColorLabel.h"
#include "CorrectionSettingPage.h"
#include "CutterCompensationPage.h"
#include "ModelingMachineSettingPage.h"
#include "NCCodeSettingPage.h"
#include "SettingsSimSupport.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>

namespace settings_test {
namespace {

using Modeling = CModelingMachineSettingPage;

// The writes a Setup sheet can send after OK.
const std::vector<std::string> SetupWrites = {"0x3107", "0x347B", "0x347C", "0x347D",
                                              "0x347E", "0x347F", "0x3480", "0x3481",
                                              "0x3482", "0x0312", "0x05F1"};

class SetupSheetTest : public SettingsSimTest
{
protected:
    int Writes() const
    {
        int count = 0;
        for (const std::string& code : SetupWrites)
            count += static_cast<int>(Log(code).size());
        return count;
    }
    void PresetSettings(const MachineSettings& settings)
    {
        ASSERT_TRUE(machine->SetMachineSettings(settings));
    }
    bool Checked(const CSettingSheet& sheet, int page, int id) const
    {
        return PageControl<QRadioButton>(sheet, page, id)->isChecked();
    }
    QString PanelText(int id) const
    {
        return static_cast<CColorLabel*>(panel->GetControl(id))->GetText();
    }
    QString PanelUnit() const
    {
        return static_cast<QLabel*>(panel->GetControl(PanelId::UnitX))->text();
    }
    // Inside the Setup sheet: opens the NC code sheet, where inside runs and ends it.
    void RunNcSheet(CSettingSheet& setup, const std::function<void(CSettingSheet&)>& inside)
    {
        RunSheet([&] { Click(PageControl(setup, 0, Modeling::NcCodeSetting)); }, inside);
    }
};

TEST_F(SetupSheetTest, PowerOptionFollowsTheFirmwareVersion)
{
    struct Row
    {
        const char* firmware;
        bool enabled;
        QStringList items;
    };
    const Row rows[] = {
        {"V110 ZR-40", false, {"---"}},
        {"V111 ZR-40", true, {"0.5", "1", "2", "3", "4", "5", "6", "12", "24"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.firmware);
        StartMachine({"--firmware", row.firmware});
        OpenPanel();
        RunSetup([&](CSettingSheet& sheet) {
            auto* combo = PageControl<QComboBox>(sheet, 0, Modeling::PowerOffCombo);
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i);
            EXPECT_EQ(items, row.items);
            EXPECT_EQ(combo->currentIndex(), 0);
            for (int id : {Modeling::PowerOffCombo, Modeling::PowerOffLabel, Modeling::HoursLabel})
                EXPECT_EQ(PageControl(sheet, 0, id)->isEnabled(), row.enabled) << id;
            ClickOk(sheet);
        });
        EXPECT_TRUE(Log("0x0312").empty());
        StopMachine();
    }
}

TEST_F(SetupSheetTest, WaitTimeSelectsItsChoiceAndOnlyAnUnlistedOneIsWritten)
{
    StartMachine();
    OpenPanel();
    struct Row
    {
        int32_t seconds;
        const char* shown;
        std::vector<std::string> written;
    };
    const Row rows[] = {
        {0, "0.5", {}},
        {43200, "12", {}},
        {36000, "0.5", {"0x0312 " + Hex(1800)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.seconds);
        ASSERT_TRUE(machine->SetAutoPowerOffTime(row.seconds));
        sim->ClearLog();
        RunSetup([&](CSettingSheet& sheet) {
            EXPECT_EQ(PageControl<QComboBox>(sheet, 0, Modeling::PowerOffCombo)->currentText(),
                      row.shown);
            ClickOk(sheet);
        });
        EXPECT_EQ(Log("0x0312"), row.written);
    }
}

// The wait time reaches the machine only when the user chose one: not after a failed read,
// which selects nothing (so that "0.5" can still be chosen), not with an OK that changed only
// the unit, and not when the user picks the item that is already selected.
TEST_F(SetupSheetTest, WaitTimeIsWrittenOnlyWhenTheUserChoseOne)
{
    StartMachine();
    OpenPanel();
    struct Row
    {
        bool readFails;
        int shown;  // item selected when the sheet opens
        int chosen; // item chosen from the list, -1 for none
        std::vector<std::string> written;
    };
    const Row rows[] = {
        {true, -1, -1, {}},
        {true, -1, 0, {"0x0312 " + Hex(1800)}},
        {false, 7, 7, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chosen);
        ASSERT_TRUE(machine->SetAutoPowerOffTime(43200));
        ASSERT_EQ(sim->Control(row.readFails ? "fail-command 0x0311" : "fail-command 0"), "ok\n");
        sim->ClearLog();
        RunSetup([&](CSettingSheet& sheet) {
            auto* combo = PageControl<QComboBox>(sheet, 0, Modeling::PowerOffCombo);
            EXPECT_EQ(combo->currentIndex(), row.shown);
            Click(PageControl(sheet, 0, Modeling::Millimetres + 1));
            if (row.chosen >= 0) {
                // Open the list and press Enter on the item.
                combo->showPopup();
                combo->view()->setCurrentIndex(combo->model()->index(row.chosen, 0));
                QTest::keyClick(combo->view(), Qt::Key_Return);
            }
            ClickOk(sheet);
        });
        EXPECT_EQ(Log("0x0312"), row.written);
    }
}

TEST_F(SetupSheetTest, CommandSetChangeAloneWritesTheBlockOnceWithItsOtherBytes)
{
    StartMachine();
    PresetSettings({0x5A, 2, 0, 0, 0, 0xA5});
    OpenPanel();
    sim->ClearLog();
    RunSetup([&](CSettingSheet& sheet) {
        QWidget* ncCode = PageControl(sheet, 0, Modeling::NcCodeSetting);
        EXPECT_TRUE(Checked(sheet, 0, Modeling::CommandSetZml + 2));
        EXPECT_TRUE(ncCode->isEnabled());
        // ZML-1 alone has no NC code settings.
        const std::pair<int, bool> clicks[] = {{0, false}, {1, true}, {2, true}, {0, false}};
        for (const auto& [choice, enabled] : clicks) {
            Click(PageControl(sheet, 0, Modeling::CommandSetZml + choice));
            EXPECT_EQ(ncCode->isEnabled(), enabled) << choice;
        }
        ClickOk(sheet);
    });
    EXPECT_EQ(Log("0x3107"), std::vector<std::string>{"0x3107 5a00000000a5"});
    EXPECT_EQ(Writes(), 1);
    EXPECT_EQ(Log("0x3006"), std::vector<std::string>{"0x3006 00000000"});
    EXPECT_EQ(PanelText(PanelId::CommandSetLabel), "ZML-1");
}

// Bytes of the settings block that no radio button can show (a command set of 3 or 255, NC
// bytes beyond their choices): no button is checked, OK without a choice writes nothing, and a
// button chosen changes its byte alone.
TEST_F(SetupSheetTest, ABlockByteNoRadioShowsIsWrittenBackOnlyWhenChosen)
{
    StartMachine();
    OpenPanel();
    using Nc = CNCCodeSettingPage;
    struct Row
    {
        const char* block; // bytes 0 to 5 as the simulator takes and logs them
        bool ncSheet;      // the radio is on the NC code page
        int radio;         // clicked; 0 for none
        const char* written;
    };
    const Row rows[] = {
        {"5a03000000a5", false, 0, nullptr},
        {"5aff000000a5", false, 0, nullptr},
        {"5aff000000a5", false, Modeling::CommandSetZml + 1, "5a01000000a5"},
        {"0001040207ff", true, 0, nullptr},
        {"0001040207ff", true, Nc::OffsetTypeA + 1, "0001040107ff"},
        {"0002ff09ff00", true, Nc::BlockSkipEnabled, "0002ff090000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.block) + " " + std::to_string(row.radio));
        ASSERT_EQ(sim->Control(std::string("settings ") + row.block), "ok\n");
        sim->ClearLog();
        RunSetup([&](CSettingSheet& setup) {
            if (!row.ncSheet) {
                for (int id = Modeling::CommandSetZml; id < Modeling::CommandSetZml + 3; ++id)
                    EXPECT_FALSE(Checked(setup, 0, id)) << id;
                if (row.radio)
                    Click(PageControl(setup, 0, row.radio));
            } else {
                RunNcSheet(setup, [&](CSettingSheet& nc) {
                    for (int id :
                         {Nc::OffsetTypeA, Nc::ConventionalMethod + 3, Nc::BlockSkipEnabled + 1})
                        EXPECT_FALSE(Checked(nc, 0, id)) << id;
                    if (row.radio)
                        Click(PageControl(nc, 0, row.radio));
                    ClickOk(nc);
                });
            }
            ClickOk(setup);
        });
        EXPECT_EQ(Log("0x3107"),
                  row.written ? std::vector<std::string>{std::string("0x3107 ") + row.written}
                              : std::vector<std::string>{});
    }
}

TEST_F(SetupSheetTest, CancelSendsOnlyTheSpindleStop)
{
    StartMachine();
    OpenPanel();
    ASSERT_TRUE(machine->SetToolOffset(1, 123));
    sim->ClearLog();
    RunSetup([&](CSettingSheet& sheet) {
        Click(PageControl(sheet, 0, Modeling::Millimetres + 1));
        Click(PageControl(sheet, 0, Modeling::MoveTable));
        Click(PageControl(sheet, 0, Modeling::CommandSetZml));
        ASSERT_TRUE(sheet.SetActivePage(1));
        PageControl<QLineEdit>(sheet, 1, CCorrectionSettingPage::Edits[0])->setText("100.1");
        ClickCancel(sheet);
    });
    EXPECT_EQ(Writes(), 0);
    EXPECT_EQ(Log("0x3006"), std::vector<std::string>{"0x3006 00000000"});
    EXPECT_EQ(PanelUnit(), "mm");
    EXPECT_TRUE(panel->CursorYDir);
}

TEST_F(SetupSheetTest, NcSheetShowsTheBlockAndTheOffsetsInTheUnitJustChosen)
{
    StartMachine();
    PresetSettings({0, 1, 3, 1, 0, 0});
    OpenPanel();
    struct Row
    {
        bool inch;
        QString shown1, shown2;
        int32_t back1, back2;
    };
    const Row rows[] = {
        {false, "1", "0.12", 1000, 120},
        {true, "0.0394", "0.0048", 1001, 122},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.inch);
        ASSERT_TRUE(machine->SetToolOffset(1, 1000));
        ASSERT_TRUE(machine->SetToolOffset(2, 123));
        sim->ClearLog();
        RunSetup([&](CSettingSheet& setup) {
            Click(PageControl(setup, 0, Modeling::Millimetres + (row.inch ? 1 : 0)));
            RunNcSheet(setup, [&](CSettingSheet& nc) {
                EXPECT_TRUE(Checked(nc, 0, CNCCodeSettingPage::ConventionalMethod + 3));
                EXPECT_TRUE(Checked(nc, 0, CNCCodeSettingPage::OffsetTypeA + 1));
                EXPECT_TRUE(Checked(nc, 0, CNCCodeSettingPage::BlockSkipEnabled));
                ASSERT_TRUE(nc.SetActivePage(1));
                EXPECT_EQ(EditText(nc, 1, CCutterCompensationPage::FirstEdit), row.shown1);
                EXPECT_EQ(EditText(nc, 1, CCutterCompensationPage::FirstEdit + 1), row.shown2);
                EXPECT_EQ(
                    PageControl<QLabel>(nc, 1, CCutterCompensationPage::UnitLabels[7])->text(),
                    row.inch ? "inch" : "mm");
                ClickOk(nc);
            });
            ClickOk(setup);
        });
        // The block came back unchanged; the offsets changed by being shown, all eight are sent.
        EXPECT_TRUE(Log("0x3107").empty());
        EXPECT_EQ(Log("0x347B"), std::vector<std::string>{"0x347B " + Hex(row.back1)});
        EXPECT_EQ(Log("0x347C"), std::vector<std::string>{"0x347C " + Hex(row.back2)});
        EXPECT_EQ(Log("0x3482"), std::vector<std::string>{"0x3482 " + Hex(0)});
        EXPECT_EQ(PanelUnit(), row.inch ? "inch" : "mm");
    }
}

// Every kind of number field of the sheets (the tool offsets in either unit, the distance
// correction) with text that is no number, no finite number, or a number one step outside the
// range: OK shows why, the sheet stays open on the field's page with the focus in the field, and
// nothing reaches the machine.
TEST_F(SetupSheetTest, BadTextInANumberFieldKeepsTheUserThereAndSendsNothing)
{
    StartMachine();
    PresetSettings({0, 2, 0, 0, 0, 0});
    OpenPanel();
    enum Field
    {
        OffsetMm,
        OffsetInch,
        Correction
    };
    struct Row
    {
        Field field;
        QString typed;
        QString message; // empty: accepted
    };
    const QString number = "Please enter a number.";
    const QString mmRange = "Please enter a number between 0 and 10.";
    const QString inchRange = "Please enter a number between 0 and 0.3937.";
    const QString correctionRange = "Please enter a number between 99.5 and 100.5.";
    const QString digits(10'000, '9');
    const Row rows[] = {
        {OffsetMm, "", number},
        {OffsetMm, "ten", number},
        {OffsetMm, "nan", number},
        {OffsetMm, "inf", number},
        {OffsetMm, digits, number},
        {OffsetMm, "1e308", mmRange},
        {OffsetMm, "10.01", mmRange},
        {OffsetMm, "-0.01", mmRange},
        {OffsetMm, "10", ""},
        {OffsetMm, "-0", ""},
        {OffsetInch, "0.3938", inchRange},
        {OffsetInch, "1e308", inchRange},
        {OffsetInch, "0.3937", ""},
        {Correction, "", number},
        {Correction, "abc", number},
        {Correction, "nan", number},
        {Correction, digits, number},
        {Correction, "1e308", correctionRange},
        {Correction, "-0", correctionRange},
        {Correction, "100.501", correctionRange},
        {Correction, "99.499", correctionRange},
    };
    sim->ClearLog();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed.left(20).toStdString());
        QString seen;
        const auto typeAndConfirm = [&](CSettingSheet& sheet, int page, QLineEdit* edit) {
            ASSERT_TRUE(sheet.SetActivePage(page));
            edit->setText(row.typed);
            if (!row.message.isEmpty())
                answerer->AnswerBox(1, [&](const zr40_test::SeenBox& box) { seen = box.text; });
            ClickOk(sheet);
            if (row.message.isEmpty())
                return;
            EXPECT_TRUE(sheet.isVisible());
            EXPECT_EQ(sheet.GetActiveIndex(), page);
            EXPECT_EQ(sheet.focusWidget(), edit);
            ClickCancel(sheet);
        };
        RunSetup([&](CSettingSheet& setup) {
            if (row.field == Correction) {
                typeAndConfirm(setup, 1,
                               PageControl<QLineEdit>(setup, 1, CCorrectionSettingPage::Edits[1]));
                if (!row.message.isEmpty())
                    return;
            } else {
                Click(PageControl(setup, 0, Modeling::Millimetres + (row.field == OffsetInch)));
                RunNcSheet(setup, [&](CSettingSheet& nc) {
                    typeAndConfirm(
                        nc, 1,
                        PageControl<QLineEdit>(nc, 1, CCutterCompensationPage::FirstEdit + 3));
                });
            }
            ClickCancel(setup);
        });
        EXPECT_EQ(seen, row.message);
    }
    // Every sheet was cancelled: the machine saw no write.
    EXPECT_EQ(Writes(), 0);
}

TEST_F(SetupSheetTest, CorrectionIsShownOneStepBelowAndWrittenOnlyAfterAnEdit)
{
    StartMachine();
    // 100.0006 % shows 100.001; 100.6 % lies outside what the page accepts and shows neutral.
    ASSERT_TRUE(machine->SetDistanceCorrection({6, 0, 6000}));
    OpenPanel();
    const auto edit = [](CSettingSheet& sheet, int axis) {
        return PageControl<QLineEdit>(sheet, 1, CCorrectionSettingPage::Edits[axis]);
    };
    sim->ClearLog();
    std::vector<QString> seen;
    RunSetup([&](CSettingSheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(1));
        EXPECT_EQ(edit(sheet, 0)->text(), "100.001");
        EXPECT_EQ(edit(sheet, 1)->text(), "100.000");
        EXPECT_EQ(edit(sheet, 2)->text(), "100.000");
        // Refused on OK and on leaving the tab; the page and the field keep the user.
        for (const char* typed : {"99.4999", "100.5001", "abc"}) {
            edit(sheet, 1)->setText(typed);
            answerer->AnswerBox(1,
                                [&](const zr40_test::SeenBox& box) { seen.push_back(box.text); });
            ClickOk(sheet);
            EXPECT_TRUE(sheet.isVisible()) << typed;
            answerer->AnswerBox(1);
            EXPECT_FALSE(sheet.SetActivePage(0)) << typed;
            EXPECT_EQ(sheet.focusWidget(), edit(sheet, 1)) << typed;
        }
        edit(sheet, 1)->setText("99.5");
        ClickOk(sheet);
    });
    const QString range = "Please enter a number between 99.5 and 100.5.";
    EXPECT_EQ(seen, (std::vector<QString>{range, range, "Please enter a number."}));
    // Y alone was edited; all three axes are written, once, with the nominal values after them,
    // Z as the machine has it although the page could only show it as neutral.
    const std::string nominal = Hex(1000000) + Hex(1000000) + Hex(1000000);
    EXPECT_EQ(Log("0x05F1"), std::vector<std::string>{"0x05F1 " + Hex(1000006) + Hex(995000) +
                                                      Hex(1006000) + nominal});

    // 100.0005 is stored as 1,000,005 and shown as 100.000 the next time; 100.5 is accepted.
    sim->ClearLog();
    RunSetup([&](CSettingSheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(1));
        edit(sheet, 0)->setText("100.0005");
        edit(sheet, 2)->setText("100.5");
        ASSERT_TRUE(sheet.SetActivePage(0));
        ClickOk(sheet);
    });
    EXPECT_EQ(Log("0x05F1"), std::vector<std::string>{"0x05F1 " + Hex(1000005) + Hex(995000) +
                                                      Hex(1005000) + nominal});
    sim->ClearLog();
    RunSetup([&](CSettingSheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(1));
        EXPECT_EQ(edit(sheet, 0)->text(), "100.000");
        ClickCancel(sheet);
    });
    // Opening the tab and OK without an edit writes nothing either.
    RunSetup([&](CSettingSheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(1));
        ClickOk(sheet);
    });
    EXPECT_TRUE(Log("0x05F1").empty());
}

// An axis the user did not edit goes to the machine as the machine has it: one shown as
// neutral because it lies outside the page's range, or because the read failed, in which case
// the machine is read again before the write, and nothing is written when that fails too. A
// field the user typed into counts as edited, even with the text it showed.
TEST_F(SetupSheetTest, CorrectionWritesTheEditedAxesAndKeepsTheMachinesOthers)
{
    StartMachine();
    // 1,000,004 shows as 100.000; 99.3 % and 100.6 % lie outside the page's range.
    ASSERT_EQ(sim->Control("correction 4 -7000 6000"), "ok\n");
    OpenPanel();
    const auto edit = [](CSettingSheet& sheet, int axis) {
        return PageControl<QLineEdit>(sheet, 1, CCorrectionSettingPage::Edits[axis]);
    };
    const std::string nominal = Hex(1000000) + Hex(1000000) + Hex(1000000);
    sim->ClearLog();
    RunSetup([&](CSettingSheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(1));
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_EQ(edit(sheet, axis)->text(), "100.000") << axis;
        edit(sheet, 0)->setFocus();
        edit(sheet, 0)->selectAll();
        QTest::keyClicks(edit(sheet, 0), "100.000");
        ClickOk(sheet);
    });
    EXPECT_EQ(Log("0x05F1"), std::vector<std::string>{"0x05F1 " + Hex(1000000) + Hex(993000) +
                                                      Hex(1006000) + nominal});

    ASSERT_EQ(sim->Control("fail-command 0x05F0"), "ok\n");
    for (bool readAgainWorks : {false, true}) {
        SCOPED_TRACE(readAgainWorks);
        sim->ClearLog();
        RunSetup([&](CSettingSheet& sheet) {
            ASSERT_TRUE(sheet.SetActivePage(1));
            edit(sheet, 1)->setText("99.5");
            if (readAgainWorks) {
                ASSERT_EQ(sim->Control("fail-command 0"), "ok\n");
            }
            ClickOk(sheet);
        });
        EXPECT_EQ(Log("0x05F1"),
                  readAgainWorks ? std::vector<std::string>{"0x05F1 " + Hex(1000000) + Hex(995000) +
                                                            Hex(1006000) + nominal}
                                 : std::vector<std::string>{});
    }
}

} // namespace
} // namespace settings_test
