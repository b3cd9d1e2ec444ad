// The three wait dialogs against the in-process device model: each closes on its machine
// condition at a 500 ms tick, and only the skip wait lets Escape end it.

#include "CancelingDataDlg.h"
#include "ClearSettingsDlg.h"
#include "FakeMachineLink.h"
#include "ModelingMachine.h"
#include "SimulatorLink.h"
#include "StringTable.h"
#include "WaitSetupDlg.h"
#include "WidgetTestApp.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>

namespace {

class WaitDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto fake = std::make_unique<FakeMachineLink>();
        link = fake.get();
        machine =
            std::make_unique<CModelingMachine>(std::move(fake), std::make_unique<CSimulatorLink>());
        ASSERT_TRUE(machine->SelectMachine(FakeMachineLink::UniqueName("ui wait test")));
    }

    // Runs dialog; at changeAtMs the check runs and the machine changes; the result and the
    // time the dialog took come back.
    int RunUntilChanged(CMachineWaitDlg& dialog, int changeAtMs,
                        const std::function<void()>& change, qint64* elapsedMs)
    {
        QElapsedTimer clock;
        clock.start();
        const int result = zr40_test::RunModal(dialog, [&] {
            QTimer::singleShot(changeAtMs, &dialog, [&] {
                openBeforeChange = dialog.isVisible();
                change();
            });
        });
        *elapsedMs = clock.elapsed();
        return result;
    }

    FakeMachineLink* link = nullptr;
    std::unique_ptr<CModelingMachine> machine;
    bool openBeforeChange = false;
};

TEST_F(WaitDialogTest, SetupWaitStaysOpenWhileInitialisingAndClosesAtState2)
{
    for (uint32_t initialising : {0u, 1u}) {
        link->status.stateWord = initialising;
        CWaitSetupDlg dialog(machine.get());
        qint64 elapsed = 0;
        const int result = RunUntilChanged(
            dialog, 1200, [&] { link->status.stateWord = 2; }, &elapsed);
        EXPECT_TRUE(openBeforeChange) << initialising;
        EXPECT_EQ(result, 0);
        EXPECT_GE(elapsed, 1200);
        EXPECT_LT(elapsed, 2500);
        EXPECT_FALSE(dialog.IsTimerRunning());
    }
}

TEST_F(WaitDialogTest, SetupWaitTreatsAMachineThatStopsAnsweringAsDone)
{
    link->status.stateWord = 0;
    link->statusBytes = 4;
    CWaitSetupDlg dialog(machine.get());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dialog.exec(), 0);
    EXPECT_LT(clock.elapsed(), 1500);
}

TEST_F(WaitDialogTest, SetupWaitSwallowsEscapeAndEnter)
{
    link->status.stateWord = 1;
    CWaitSetupDlg dialog(machine.get());
    qint64 elapsed = 0;
    const int result = RunUntilChanged(
        dialog, 700,
        [&] {
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QTest::keyClick(&dialog, Qt::Key_Return);
            QTest::keyClick(&dialog, Qt::Key_Enter);
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(dialog.IsTimerRunning());
            link->status.stateWord = 3;
        },
        &elapsed);
    EXPECT_EQ(result, 0);
}

TEST_F(WaitDialogTest, SkipWaitClosesWhenSkippingEnds)
{
    link->status.stateWord = 3 | StateBit::SkippingData;
    CCancelingDataDlg dialog(machine.get());
    qint64 elapsed = 0;
    const int result = RunUntilChanged(
        dialog, 1100, [&] { link->status.stateWord = 3; }, &elapsed);
    EXPECT_TRUE(openBeforeChange);
    EXPECT_EQ(result, 0);
    EXPECT_GE(elapsed, 1100);
}

TEST_F(WaitDialogTest, SkipWaitKeepsWaitingWhileReadsFail)
{
    link->status.stateWord = 2;
    link->statusBytes = 7;
    CCancelingDataDlg dialog(machine.get());
    qint64 elapsed = 0;
    const int result = RunUntilChanged(
        dialog, 1200, [&] { link->statusBytes = 8; }, &elapsed);
    EXPECT_TRUE(openBeforeChange);
    EXPECT_EQ(result, 0);
}

TEST_F(WaitDialogTest, EscapeEndsOnlyTheSkipWait)
{
    link->status.stateWord = 3 | StateBit::SkippingData;
    CCancelingDataDlg dialog(machine.get());
    bool openAfterEnter = false;
    const int result = zr40_test::RunModal(dialog, [&] {
        QTest::keyClick(&dialog, Qt::Key_Return);
        openAfterEnter = dialog.isVisible();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_TRUE(openAfterEnter);
    EXPECT_EQ(result, 2);
    EXPECT_FALSE(dialog.IsTimerRunning());
}

TEST_F(WaitDialogTest, ClearSettingsWaitClosesWhenTheMachineStopsExecuting)
{
    link->commandErrorBits = CommandStatus::Executing;
    CClearSettingsDlg dialog(machine.get());
    qint64 elapsed = 0;
    const int result = RunUntilChanged(
        dialog, 1200,
        [&] {
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QTest::keyClick(&dialog, Qt::Key_Return);
            EXPECT_TRUE(dialog.isVisible());
            link->commandErrorBits = 0;
        },
        &elapsed);
    EXPECT_TRUE(openBeforeChange);
    EXPECT_EQ(result, 0);
    EXPECT_GE(elapsed, 1200);
}

TEST_F(WaitDialogTest, ClearSettingsWaitKeepsWaitingWhileTheStatusCannotBeRead)
{
    link->failCommandStatus = true;
    CClearSettingsDlg dialog(machine.get());
    qint64 elapsed = 0;
    const int result = RunUntilChanged(
        dialog, 1200, [&] { link->failCommandStatus = false; }, &elapsed);
    EXPECT_TRUE(openBeforeChange);
    EXPECT_EQ(result, 0);
}

TEST_F(WaitDialogTest, TitleAndMessageComeFromTheTable)
{
    link->status.stateWord = 0;
    CWaitSetupDlg dialog(machine.get());
    zr40_test::RunModal(dialog, [&] {
        EXPECT_EQ(dialog.windowTitle(), QApplication::applicationDisplayName());
        auto* message = dialog.findChild<QLabel*>(QString::number(CMachineWaitDlg::MessageId));
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->text(), LoadString(CWaitSetupDlg::MessageString));
        dialog.done(0);
    });
}

TEST_F(WaitDialogTest, SetupAndSkipWaitsResizeToTheirMessageButClearSettingsDoesNot)
{
    link->status.stateWord = 3 | StateBit::SkippingData;
    const QSize frame = CMachineWaitDlg::TemplateSize();
    const QSize area = CMachineWaitDlg::TemplateMessageRect().size();
    auto expected = [&](int stringId, const QFont& font) {
        return CMachineWaitDlg::SizeForMessage(frame, area,
                                               QFontMetrics(font).size(0, LoadString(stringId)));
    };
    CWaitSetupDlg setup(machine.get());
    zr40_test::RunModal(setup, [&] {
        EXPECT_EQ(setup.size(), expected(CWaitSetupDlg::MessageString, setup.font()));
        setup.done(0);
    });
    CCancelingDataDlg skip(machine.get());
    zr40_test::RunModal(skip, [&] {
        EXPECT_EQ(skip.size(), expected(CCancelingDataDlg::MessageString, skip.font()));
        skip.done(0);
    });
    link->commandErrorBits = CommandStatus::Executing;
    CClearSettingsDlg clear(machine.get());
    zr40_test::RunModal(clear, [&] {
        EXPECT_EQ(clear.size(), frame);
        clear.done(0);
    });
}

TEST(WaitDialogSize, ATwoLineMessageAddsOneLineHeight)
{
    const QFontMetrics metrics(QApplication::font());
    const QSize frame = CMachineWaitDlg::TemplateSize();
    const QSize area = CMachineWaitDlg::TemplateMessageRect().size();
    const QSize one = CMachineWaitDlg::SizeForMessage(frame, area, metrics.size(0, "Clearing..."));
    const QSize two =
        CMachineWaitDlg::SizeForMessage(frame, area, metrics.size(0, "Clearing...\nPlease wait"));
    EXPECT_EQ(two.height() - one.height(), metrics.lineSpacing());
    EXPECT_EQ(CMachineWaitDlg::SizeForMessage(QSize(240, 64), QSize(200, 16), QSize(260, 32)),
              QSize(300, 80));
    EXPECT_EQ(CMachineWaitDlg::SizeForMessage(QSize(240, 64), QSize(200, 16), QSize(150, 16)),
              QSize(190, 64));
}

} // namespace
