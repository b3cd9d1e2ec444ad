// The panel window driven against the in-process device model: the state table row by row, the
// hidden commands and their boxes, the loss of the machine, the position read-out and the
// coordinate-system lists, and the close handling.

#include "AlarmText.h"
#include "ColorLabel.h"
#include "ControlPanelDlg.h"
#include "JogButton.h"
#include "ModelingMachine.h"
#include "PanelModelSupport.h"
#include "PanelTestSupport.h"
#include "WaitSetupDlg.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace panel_test;

namespace {

// The enabling groups of the state table, as the user sees them.
struct Enabled
{
    bool operation;
    bool values;
    bool cancel;
    bool pause;
    bool stop;
    bool speedRadios;
};

constexpr int OperationIds[] = {PanelId::Setup,       PanelId::KeyZPlus,   PanelId::KeyYUpper,
                                PanelId::KeyZMinus,   PanelId::KeyXMinus,  PanelId::KeyXPlus,
                                PanelId::KeyYLower,   PanelId::MoveZ,      PanelId::MoveXY,
                                PanelId::Cut,         PanelId::SpindleOn,  PanelId::SpindleOff,
                                PanelId::SetOriginXY, PanelId::SetOriginZ, PanelId::MoveView};
constexpr int ValueIds[] = {PanelId::CommandSetLabel, PanelId::ValueX,
                            PanelId::ValueY,          PanelId::ValueZ,
                            PanelId::SpindleValue,    PanelId::OverrideValue};

class ControlPanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ClearStoredSettings();
        machine = MakeModelMachine("panel", fake);
        ASSERT_TRUE(machine);
    }

    void TearDown() override
    {
        panel.reset();
        answerer.reset();
    }

    void SetCommandSet(int commandSet)
    {
        fake->replies[Cmd::GetMachineSettings] = {0, static_cast<uint8_t>(commandSet), 0, 0, 0, 0};
    }

    // Opens the panel as the start-up does (the first show runs its initialisation) and lets
    // the box helper watch it.
    void Open()
    {
        answerer =
            std::make_unique<BoxAnswerer>([this] { return panel && panel->State().IsPolling(); });
        panel = std::make_unique<CControlPanelDlg>(machine.get());
        panel->show();
    }

    // One status read with the machine in the given state word; the posted commands run after.
    void Poll(uint32_t word)
    {
        fake->status.stateWord = word;
        panel->PollStatus();
    }

    // The device model unplugged (nothing answers, nothing can be opened) or back again.
    void Plug(bool in)
    {
        fake->present = in;
        fake->answersDeviceId = in;
    }

    bool IsEnabled(int id) const { return panel->GetControl(id)->isEnabled(); }
    QString Text(int id) const
    {
        return static_cast<CColorLabel*>(panel->GetControl(id))->GetText();
    }

    void ExpectEnabled(const Enabled& expected, int heldButton = 0)
    {
        for (int id : OperationIds)
            EXPECT_EQ(IsEnabled(id), expected.operation || id == heldButton) << "control " << id;
        for (int id : ValueIds)
            EXPECT_EQ(IsEnabled(id), expected.values) << "value " << id;
        EXPECT_EQ(IsEnabled(PanelId::CancelJob), expected.cancel) << "Cancel";
        EXPECT_EQ(IsEnabled(PanelId::Pause), expected.pause) << "Pause";
        EXPECT_EQ(IsEnabled(PanelId::Stop), expected.stop) << "Stop";
        EXPECT_EQ(IsEnabled(PanelId::SpeedAuto), expected.speedRadios) << "Auto";
        EXPECT_EQ(IsEnabled(PanelId::SpeedManual), expected.speedRadios) << "Manual";
    }

    FakeMachineLink* fake = nullptr;
    std::unique_ptr<CModelingMachine> machine;
    std::unique_ptr<BoxAnswerer> answerer;
    std::unique_ptr<CControlPanelDlg> panel;
};

constexpr Enabled AllOff{false, false, false, false, false, false};

// --- start-up and the state table -------------------------------------------------------

TEST_F(ControlPanelTest, FaceHasItsSizeControlsAndCaptions)
{
    Open();
    EXPECT_EQ(panel->size(), QSize(680, 360));
    EXPECT_EQ(panel->GetControl(PanelId::KeyXPlus)->geometry(), QRect(288, 129, 39, 40));
    EXPECT_EQ(panel->GetControl(PanelId::ShownSystemList)->geometry(), QRect(16, 73, 175, 18));
    EXPECT_EQ(panel->findChild<QWidget*>(QStringLiteral("40115")),
              panel->GetControl(PanelId::CancelJob));
    EXPECT_EQ(panel->GetButton(PanelId::Setup)->GetText(), QStringLiteral("Setup"));
    EXPECT_EQ(panel->GetButton(PanelId::Pause)->GetText(), QStringLiteral("Pause"));
    EXPECT_EQ(static_cast<QRadioButton*>(panel->GetControl(PanelId::StepX10))->text(),
              QStringLiteral("x10"));
    EXPECT_EQ(static_cast<QLabel*>(panel->GetControl(PanelId::UnitX))->text(),
              QStringLiteral("mm"));
    EXPECT_EQ(panel->windowTitle(), CMachineStatusDlg::GetApplicationTitle());
    // Hidden commands have no control.
    EXPECT_EQ(panel->GetControl(PanelId::WaitSetup), nullptr);
    // The link's device-change notices reach this panel while it lives.
    EXPECT_TRUE(machine->GetLink().HasNotificationTarget());
    panel.reset();
    EXPECT_FALSE(machine->GetLink().HasNotificationTarget());
}

TEST_F(ControlPanelTest, ControlsAreEnabledOnlyFromTheFirstPoll)
{
    Open();
    // The initial report of the unknown status word disables everything.
    ExpectEnabled(AllOff);
    ASSERT_TRUE(WaitUntil([this] { return IsEnabled(PanelId::KeyXPlus); }));
    ExpectEnabled({true, true, false, false, false, true});
}

TEST_F(ControlPanelTest, StateTableRowByRow)
{
    Open();
    panel->StopPolling();

    Poll(0x2);
    ExpectEnabled({true, true, false, false, false, true});

    Poll(0x3);
    ExpectEnabled({false, true, true, true, false, false});
    EXPECT_FALSE(panel->GetButton(PanelId::Pause)->IsPressed());

    Poll(0x23); // paused job: Pause drawn pressed
    ExpectEnabled({false, true, true, true, false, false});
    EXPECT_TRUE(panel->GetButton(PanelId::Pause)->IsPressed());
    EXPECT_TRUE(panel->State().IsPauseShown());

    Poll(0x3); // resumed
    EXPECT_FALSE(panel->GetButton(PanelId::Pause)->IsPressed());
    EXPECT_FALSE(panel->State().IsPauseShown());

    for (uint32_t word : {0x5u, 0x6u, 0x7u}) {
        SCOPED_TRACE(word);
        Poll(0x2);
        Poll(word);
        ExpectEnabled(AllOff);
    }
    Pump(50);
    EXPECT_EQ(answerer->Count(), 0);
}

TEST_F(ControlPanelTest, MovingKeepsOnlyStopAndTheHeldKey)
{
    Open();
    panel->StopPolling();
    Poll(0x2);
    CJogButton* key = panel->GetButton(PanelId::KeyXPlus);
    QTest::mousePress(key, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(key->IsPressed());

    Poll(0x802);
    ExpectEnabled({false, true, false, false, true, true}, 1030);
    EXPECT_TRUE(key->isEnabled());

    QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(20, 20));
    Poll(0x2);
    ExpectEnabled({true, true, false, false, false, true});
}

TEST_F(ControlPanelTest, JobStateLeavesTheArrowsAsTheyWere)
{
    fake->replies[Cmd::GetCuttingSpeedMode] = {0}; // manual: arrows enabled
    Open();
    panel->StopPolling();
    EXPECT_TRUE(panel->GetControl(PanelId::OverrideArrows)->isEnabled());
    Poll(0x3);
    EXPECT_TRUE(panel->GetControl(PanelId::OverrideArrows)->isEnabled());
    EXPECT_FALSE(IsEnabled(PanelId::SpeedAuto));
    EXPECT_TRUE(static_cast<QRadioButton*>(panel->GetControl(PanelId::SpeedManual))->isChecked());
}

TEST_F(ControlPanelTest, InitialisingMachineShowsTheSetupWait)
{
    fake->status.stateWord = 0x0;
    Open();
    QString waitClass;
    bool disabledDuringWait = false;
    QString positionDuringWait;
    answerer->OnOtherModal([&](QWidget* modal) {
        waitClass = QString::fromLatin1(modal->metaObject()->className());
        disabledDuringWait = !IsEnabled(PanelId::KeyXPlus) && !IsEnabled(PanelId::ValueX);
        // The position shows no value while the machine initialises.
        positionDuringWait = Text(PanelId::ValueX);
        fake->status.stateWord = 0x2; // the wait closes at its next tick
    });
    ASSERT_TRUE(WaitUntil([this] { return IsEnabled(PanelId::KeyXPlus); }));
    EXPECT_EQ(waitClass, QStringLiteral("CWaitSetupDlg"));
    EXPECT_TRUE(disabledDuringWait);
    EXPECT_EQ(positionDuringWait, QStringLiteral("---.--"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // The tool has not moved, yet the ready machine's position is shown, not the placeholder.
    EXPECT_EQ(Text(PanelId::ValueX), QStringLiteral("0.00"));
}

// --- alarms -------------------------------------------------------------------------------

TEST_F(ControlPanelTest, EmergencyStopBoxComesBackWhileTheMachineStaysStopped)
{
    fake->replies[Cmd::GetFatalError] = fake->Encode16({0, 2, 0, 0, 0});
    Open();
    answerer->Plan(1);
    answerer->Plan(1, [this](const SeenBox&) { fake->status.stateWord = 0x5; });
    fake->status.stateWord = 0x4;

    ASSERT_TRUE(WaitUntil([this] { return answerer->Count() == 2; }));
    Pump(600);
    EXPECT_EQ(answerer->Count(), 2);
    for (const SeenBox& box : answerer->Seen()) {
        EXPECT_EQ(box.text, FormatEmergencyStop(2));
        EXPECT_TRUE(box.text.endsWith(QStringLiteral("(Error : 004)")));
        EXPECT_EQ(box.captions, QStringList{QStringLiteral("OK")});
        EXPECT_FALSE(box.pollingWhileOpen);
    }
    ExpectEnabled(AllOff);
    EXPECT_TRUE(panel->State().IsPolling());
}

TEST_F(ControlPanelTest, CommandErrorIsPostedOnce)
{
    fake->replies[Cmd::GetCommandError] = fake->Encode16({153});
    Open();
    panel->StopPolling();
    Poll(0x42);
    EXPECT_TRUE(panel->State().IsErrorReported());
    // The word changes again before the box had a chance to open: no second report.
    Poll(0x842);
    Poll(0x42);
    ASSERT_TRUE(
        WaitUntil([this] { return answerer->Count() == 1 && !panel->State().IsErrorReported(); }));
    Pump(100);
    ASSERT_EQ(answerer->Count(), 1);
    const SeenBox& box = answerer->Seen()[0];
    EXPECT_EQ(box.text, FormatCommandError(153, CommandErrorKind::NotPaused));
    EXPECT_TRUE(box.text.endsWith(QStringLiteral("(Error : 011)")));
    EXPECT_EQ(box.captions, QStringList{QStringLiteral("OK")});
    EXPECT_FALSE(box.pollingWhileOpen);
    EXPECT_EQ(fake->CountOut(Cmd::ClearCommandError), 1);
    EXPECT_TRUE(panel->State().IsPolling());
}

TEST_F(ControlPanelTest, PausedCommandErrorContinueResumes)
{
    fake->replies[Cmd::GetCommandError] = fake->Encode16({151});
    Open();
    answerer->Plan(2);
    fake->status.stateWord = 0x63;
    ASSERT_TRUE(
        WaitUntil([this] { return answerer->Count() == 1 && !panel->State().IsErrorReported(); }));
    const SeenBox& box = answerer->Seen()[0];
    EXPECT_EQ(box.text, FormatCommandError(151, CommandErrorKind::Paused));
    EXPECT_TRUE(box.text.contains(QStringLiteral("Command Error (NC Code)")));
    EXPECT_TRUE(box.text.endsWith(QStringLiteral("(Error : 009)")));
    EXPECT_EQ(box.captions, (QStringList{QStringLiteral("Abort"), QStringLiteral("Continue")}));
    EXPECT_TRUE(box.pollingWhileOpen);
    EXPECT_EQ(panel->GetLastErrorAnswer(), 2);
    EXPECT_EQ(fake->CountOut(Cmd::ClearCommandError), 1);
    EXPECT_EQ(fake->CountOut(Cmd::ResumeCutting), 1);
    EXPECT_EQ(fake->CountOut(Cmd::QuitCutting), 0);
}

TEST_F(ControlPanelTest, PausedCommandErrorAbortQuitsAndWaitsForTheSkip)
{
    fake->replies[Cmd::GetCommandError] = fake->Encode16({151});
    Open();
    answerer->Plan(1, [this](const SeenBox&) {
        // The machine takes the error away and skips data after the quit.
        fake->status.stateWord = 0x223;
    });
    QString skipClass;
    int quitsBeforeSkip = -1;
    answerer->OnOtherModal([&](QWidget* modal) {
        skipClass = QString::fromLatin1(modal->metaObject()->className());
        quitsBeforeSkip = fake->CountOut(Cmd::QuitCutting);
        fake->status.stateWord = 0x2; // skipping done
    });
    fake->status.stateWord = 0x63;
    ASSERT_TRUE(
        WaitUntil([this] { return answerer->Count() == 1 && !panel->State().IsErrorReported(); }));
    EXPECT_EQ(skipClass, QStringLiteral("CCancelingDataDlg"));
    EXPECT_EQ(quitsBeforeSkip, 1);
    EXPECT_EQ(fake->CountOut(Cmd::ResumeCutting), 0);
    EXPECT_EQ(panel->GetLastErrorAnswer(), 1);
}

TEST_F(ControlPanelTest, AutoPowerOffNoticeWaitsForAnOperableState)
{
    fake->replies[Cmd::GetAutoPowerOffFlag] = {1};
    Open();
    panel->StopPolling();
    EXPECT_TRUE(panel->State().IsPowerOffPending());
    Poll(0x5);
    Poll(0x4 | 0x10000); // emergency stop (its error cannot be read here): no notice
    fake->status.stateWord = 0x5;
    Pump(100);
    EXPECT_TRUE(panel->State().IsPowerOffPending());
    const int before = answerer->Count();
    Poll(0x2);
    ASSERT_TRUE(WaitUntil([&] { return answerer->Count() == before + 1; }));
    EXPECT_EQ(answerer->Seen().back().text,
              QStringLiteral("The auto power off function worked, last time."));
    EXPECT_FALSE(panel->State().IsPowerOffPending());
    Poll(0x3);
    Poll(0x2);
    Pump(100);
    EXPECT_EQ(answerer->Count(), before + 1);
}

// --- losing the machine ---------------------------------------------------------------------

TEST_F(ControlPanelTest, LostMachineShowsPlaceholdersAndRetryReconnects)
{
    fake->status.position = {12345, 0, 0};
    Open();
    ASSERT_TRUE(WaitUntil([this] { return Text(PanelId::ValueX) == QStringLiteral("12.35"); }));
    QString duringBox;
    answerer->Plan(6, [&](const SeenBox&) {
        duringBox = Text(PanelId::ValueX) + QLatin1Char('|') + Text(PanelId::SpindleValue) +
                    QLatin1Char('|') + Text(PanelId::OverrideValue);
        Plug(true);
    });
    Plug(false);
    panel->OnDeviceChange(DeviceNodesChanged);

    ASSERT_EQ(answerer->Count(), 1);
    const SeenBox& box = answerer->Seen()[0];
    EXPECT_EQ(box.text, FormatConnectionError(ConnectionErrorKind::NoResponse, {}));
    EXPECT_TRUE(box.text.contains(QStringLiteral("\r\n")));
    EXPECT_EQ(box.captions, (QStringList{QStringLiteral("Retry"), QStringLiteral("End")}));
    EXPECT_EQ(duringBox, QStringLiteral("---.--|----|---"));
    EXPECT_TRUE(panel->IsConnected());
    ASSERT_TRUE(WaitUntil([this] { return Text(PanelId::ValueX) == QStringLiteral("12.35"); }));
    EXPECT_TRUE(panel->isVisible());
}

TEST_F(ControlPanelTest, EndAfterALostMachineClosesThePanelAndSavesTheSettings)
{
    Open();
    panel->CursorType = 3;
    answerer->Plan(7);
    Plug(false);
    panel->OnDeviceChange(DeviceNodesChanged);
    ASSERT_TRUE(WaitUntil([this] { return !panel->isVisible(); }));
    EXPECT_EQ(StoredSettings().value(QStringLiteral("Settings/CursorType")).toInt(), 3);
}

// --- position display and coordinate systems ---------------------------------------------

TEST_F(ControlPanelTest, PositionReadOutInBothUnits)
{
    fake->status.position = {12345, -5, 0};
    Open();
    panel->StopPolling();
    Poll(0x2);
    EXPECT_EQ(Text(PanelId::ValueX), QStringLiteral("12.35"));
    EXPECT_EQ(Text(PanelId::ValueY), QStringLiteral("-0.01"));
    EXPECT_EQ(Text(PanelId::ValueZ), QStringLiteral("0.00"));
    // The new unit shows at once, without waiting for a poll.
    panel->SetUnit(false);
    EXPECT_EQ(Text(PanelId::ValueX), QStringLiteral("0.486"));
    EXPECT_EQ(Text(PanelId::ValueY), QStringLiteral("-0.000"));
    EXPECT_EQ(Text(PanelId::ValueZ), QStringLiteral("0.000"));
    EXPECT_EQ(static_cast<QLabel*>(panel->GetControl(PanelId::UnitY))->text(),
              QStringLiteral("inch"));
    EXPECT_FALSE(panel->Metric);
}

TEST_F(ControlPanelTest, ShownPositionIsRelativeToTheChosenSystem)
{
    fake->status.position = {10000, 20000, -3000};
    fake->SetReply32(Cmd::GetUserOrigin, {1000, 2000, -1000});
    fake->SetReply32(Cmd::GetWorkOriginBase + 1, {5000, 5000, 0}); // G55
    SetCommandSet(2);
    Open();
    panel->StopPolling();
    Poll(0x2);
    EXPECT_EQ(Text(PanelId::ValueX), QStringLiteral("9.00"));
    EXPECT_EQ(Text(PanelId::ValueZ), QStringLiteral("-2.00"));
    auto* list = static_cast<QComboBox*>(panel->GetControl(PanelId::ShownSystemList));
    ASSERT_EQ(list->count(), 9);
    const int g55 = list->findText(QStringLiteral("G55"));
    panel->SelectShownSystem(g55);
    EXPECT_EQ(panel->CoordinateSystem, 4);
    EXPECT_EQ(panel->State().GetCoordSystem(), 4);
    EXPECT_EQ(Text(PanelId::ValueX), QStringLiteral("5.00"));
    EXPECT_EQ(Text(PanelId::ValueY), QStringLiteral("15.00"));

    QComboBox copy;
    copy.addItem(QStringLiteral("stale"));
    panel->CopyCoordinateList(&copy);
    ASSERT_EQ(copy.count(), list->count());
    for (int i = 0; i < copy.count(); ++i) {
        EXPECT_EQ(copy.itemText(i), list->itemText(i));
        EXPECT_EQ(copy.itemData(i), list->itemData(i));
    }
    EXPECT_EQ(copy.currentIndex(), g55);
}

TEST_F(ControlPanelTest, ListsFollowTheCommandSetAndFallBack)
{
    struct Case
    {
        int commandSet; // -1: the settings cannot be read
        int shown;
        int origin;
        const char* text;
    };
    for (const Case& c : {Case{-1, 2, 1, "ZML-1/NC Code"}, Case{0, 2, 1, "ZML-1"},
                          Case{1, 8, 7, "NC Code"}, Case{2, 9, 8, "ZML-1/NC Code"}}) {
        SCOPED_TRACE(c.commandSet);
        if (c.commandSet < 0)
            fake->replies.erase(Cmd::GetMachineSettings);
        else
            SetCommandSet(c.commandSet);
        panel.reset();
        Open();
        panel->StopPolling();
        Poll(0x2);
        EXPECT_EQ(panel->GetCommandSet(), c.commandSet);
        EXPECT_EQ(static_cast<QComboBox*>(panel->GetControl(PanelId::ShownSystemList))->count(),
                  c.shown);
        EXPECT_EQ(static_cast<QComboBox*>(panel->GetControl(PanelId::OriginSystemList))->count(),
                  c.origin);
        EXPECT_EQ(Text(PanelId::CommandSetLabel), QString::fromLatin1(c.text));
    }
}

TEST_F(ControlPanelTest, StoredUserSystemFallsBackOnAnNcOnlyMachine)
{
    SetCommandSet(1);
    Open();
    panel->StopPolling();
    Poll(0x2);
    auto* shown = static_cast<QComboBox*>(panel->GetControl(PanelId::ShownSystemList));
    auto* origin = static_cast<QComboBox*>(panel->GetControl(PanelId::OriginSystemList));
    EXPECT_EQ(shown->currentText(), QStringLiteral("Machine Coordinate System"));
    EXPECT_EQ(panel->CoordinateSystem, 0);
    EXPECT_EQ(origin->currentText(), QStringLiteral("G54"));
    EXPECT_EQ(panel->SetOrgCoordinateSystem, 3);
    // The fallback is what the close writes.
    panel->close();
    EXPECT_EQ(StoredSettings().value(QStringLiteral("Settings/CoordinateSystem")).toInt(), 0);
    EXPECT_EQ(StoredSettings().value(QStringLiteral("Settings/SetOrgCoordinateSystem")).toInt(), 3);
}

// Values in the store that no control can show come up as a choice the controls offer, and that
// choice is what the close writes back.
TEST_F(ControlPanelTest, GarbageInTheStoreComesUpAsAChoiceTheControlsOffer)
{
    struct Row
    {
        const char* key;
        QVariant stored;
        int savedBack;
    };
    for (const Row& row :
         {Row{"Metric", 5, 1}, Row{"CursorType", 99, 3}, Row{"CursorType", -1, 0},
          Row{"CursorType", QStringLiteral("99999999999"), 3}, Row{"CoordinateSystem", -7, 0},
          Row{"CoordinateSystem", 10'000'000, 0}, Row{"CoordinateSystem", QStringLiteral("G55"), 1},
          Row{"SetOrgCoordinateSystem", -7, 1}, Row{"SetOrgCoordinateSystem", 309, 1},
          Row{"SetOrgCoordinateSystem", 8, 8}}) {
        SCOPED_TRACE(std::string(row.key) + "=" + row.stored.toString().toStdString());
        panel.reset();
        ClearStoredSettings();
        {
            QSettings store = StoredSettings();
            store.setValue(QStringLiteral("Settings/") + row.key, row.stored);
        }
        SetCommandSet(2);
        Open();
        panel->StopPolling();
        Poll(0x2);
        auto* shown = static_cast<QComboBox*>(panel->GetControl(1170));
        auto* origin = static_cast<QComboBox*>(panel->GetControl(1171));
        EXPECT_GE(shown->currentIndex(), 0);
        EXPECT_GE(origin->currentIndex(), 0);
        EXPECT_EQ(shown->currentData().toInt(), panel->CoordinateSystem);
        EXPECT_EQ(origin->currentData().toInt(), panel->SetOrgCoordinateSystem);
        panel->close();
        EXPECT_EQ(StoredSettings().value(QStringLiteral("Settings/") + row.key).toInt(),
                  row.savedBack);
    }
}

// --- closing --------------------------------------------------------------------------------

// Escape ends the panel's run at once with the settings saved, also while a handler waits for
// a machine that keeps reporting the axes moving; the motion waited for is stopped.
TEST_F(ControlPanelTest, EscapeEndsThePanelWithTheSettingsSaved)
{
    constexpr uint32_t ReadyMoving = MachineState::Ready | StateBit::Moving;
    struct Row
    {
        const char* name;
        uint32_t stateWord; // before the button is clicked
        int button;         // 0: nothing is waiting
        uint16_t startsMotion;
        bool stops;
    };
    const Row rows[] = {
        {"nothing waiting", MachineState::Ready, 0, 0, false},
        {"Move Z", MachineState::Ready, 1038, Cmd::MoveToOrigin, true},
        {"Move X/Y", MachineState::Ready, 1039, Cmd::MoveTo, true},
        {"Stop", ReadyMoving, 1174, 0, true},
        {"Cancel", MachineState::JobActive | StateBit::CommandErrorPending, 40115, 0, true},
    };
    fake->SetReply32(Cmd::GetPosition, {0, 0, 0});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearStoredSettings();
        fake->status.stateWord = row.stateWord;
        fake->onCommand = [this, &row](uint16_t code, const std::vector<uint8_t>&) {
            if (row.startsMotion != 0 && code == row.startsMotion)
                fake->status.stateWord = ReadyMoving; // and it never stops by itself
        };
        answerer = std::make_unique<BoxAnswerer>();
        CControlPanelDlg run(machine.get());

        // The user's part, inside the panel's run: choose "x10", then start the wait.
        QTimer::singleShot(0, &run, [&] {
            static_cast<QRadioButton*>(run.GetControl(PanelId::StepX10))->click();
            if (row.button == 0)
                return;
            CJogButton* button = run.GetButton(row.button);
            ASSERT_TRUE(WaitUntil([button] { return button->isEnabled(); }));
            QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        });
        bool escaped = false;
        int stopsBefore = 0;
        QElapsedTimer sinceEscape;
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (!escaped && run.CursorType == 2 && (row.button == 0 || run.IsWaiting())) {
                escaped = true;
                stopsBefore = fake->CountOut(Cmd::StopOperation);
                QTest::keyClick(&run, Qt::Key_Return);
                EXPECT_TRUE(run.isVisible());
                sinceEscape.start();
                QTest::keyClick(&run, Qt::Key_Escape);
            } else if (escaped && sinceEscape.elapsed() > 3000) {
                // Still running: let the machine stop so that the failing run ends.
                fake->status.stateWord = MachineState::Ready;
                run.PollStatus();
            }
        });
        user.start(10);
        run.exec();
        user.stop();

        ASSERT_TRUE(escaped);
        EXPECT_LT(sinceEscape.elapsed(), 2000);
        EXPECT_FALSE(run.isVisible());
        EXPECT_EQ(StoredSettings().value(QStringLiteral("Settings/CursorType")).toInt(), 2);
        EXPECT_EQ(fake->CountOut(Cmd::StopOperation) > stopsBefore, row.stops);
    }
    fake->onCommand = {};
}

TEST_F(ControlPanelTest, AboutItemShowsTheFirmwareOrItsPlaceholder)
{
    Open();
    // Records what the panel asks the application to open.
    struct AboutOnly : CPanelDialogs
    {
        CControlPanelDlg* expectedPanel = nullptr;
        QString shown;
        void RunSetupSheet(CPanelAccess&) override {}
        void RunMaintenanceSheet(CPanelAccess&) override {}
        void RunCutDialog(CPanelAccess&) override {}
        void RunAboutBox(CPanelAccess& owner, const QString& firmware) override
        {
            EXPECT_EQ(&owner, expectedPanel);
            shown = firmware;
        }
    } dialogs;
    dialogs.expectedPanel = panel.get();
    const QString& shown = dialogs.shown;
    panel->SetDialogs(&dialogs);
    fake->replies[Cmd::GetFirmwareVersion] = {'V', '1', '2', '0', 0};
    panel->OnSysCommand(0x10);
    EXPECT_EQ(shown, QStringLiteral("V120"));
    fake->replies.erase(Cmd::GetFirmwareVersion);
    fake->acceptAfterReads = 0;
    fake->commandErrorBits = CommandStatus::Error; // the query fails at once
    panel->OnSysCommand(0x1F);                     // matched with the low four bits cleared
    EXPECT_EQ(shown, QStringLiteral("----:----"));
}

TEST_F(ControlPanelTest, JobItemShowsTheJobWindowOnlyWhileAJobRuns)
{
    Open();
    struct JobWindowOnly : CPanelDialogs
    {
        bool there = false;
        int shown = 0;
        void RunSetupSheet(CPanelAccess&) override {}
        void RunMaintenanceSheet(CPanelAccess&) override {}
        void RunCutDialog(CPanelAccess&) override {}
        void RunAboutBox(CPanelAccess&, const QString&) override {}
        bool HasJobWindow() const override { return there; }
        void ShowJobWindow() override { ++shown; }
    } dialogs;
    panel->SetDialogs(&dialogs);
    struct Row
    {
        uint32_t stateWord;
        bool windowThere;
        bool shows;
    };
    const std::vector<Row> rows = {
        {0x3, true, true},   // a job runs
        {0x23, true, true},  // paused
        {0x2, true, false},  // ready: the job has ended
        {0x3, false, false}, // no job window
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stateWord);
        dialogs.there = row.windowThere;
        dialogs.shown = 0;
        Poll(row.stateWord);
        panel->OnSysCommand(0x50);
        EXPECT_EQ(dialogs.shown, row.shows ? 1 : 0);
    }
    Poll(0x2);
    panel->SetDialogs(nullptr);
}

} // namespace
