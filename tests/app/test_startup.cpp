// Start-up on fake machine sets: which machine is taken, which windows open on the way, the
// title and settings profile, and the panel mutex that keeps a second panel off a machine.

#include "AppTestSupport.h"
#include "ControlPanelApp.h"
#include "FileErrorMessage.h"
#include "MachineSelectDlg.h"
#include "PanelMessageBox.h"
#include "PanelMutex.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const QString NoMachineText = QStringLiteral(
    "No modeling machine was found.\nIf the power is off, then switch it on.\nIf the cable is "
    "unconnected, then connect it.\n(Error : 002)");

std::string Name(const std::string& base)
{
    return FakeMachineLink::UniqueName(base);
}

// --- answers for the two windows of the start-up
// --------------------------------------------------

CPanelMessageBox* AsNoMachineBox(QWidget* modal)
{
    auto* box = qobject_cast<CPanelMessageBox*>(modal);
    EXPECT_NE(box, nullptr) << "expected the no-machine box";
    if (box) {
        const auto* text = box->findChild<QLabel*>(QString::number(CPanelMessageBox::TextId));
        EXPECT_EQ(text ? text->text() : QString(), NoMachineText);
    }
    return box;
}

void ClickBoxButton(QWidget* modal, int index)
{
    if (CPanelMessageBox* box = AsNoMachineBox(modal)) {
        auto* button =
            box->findChild<QPushButton*>(QString::number(CPanelMessageBox::ButtonIds[index]));
        ASSERT_NE(button, nullptr);
        button->click();
    } else {
        modal->close();
    }
}

ModalAnswerer::WindowAction Retry(std::function<void()> before = {})
{
    return [before](QWidget* modal) {
        if (before)
            before();
        ClickBoxButton(modal, 0);
    };
}

ModalAnswerer::WindowAction End()
{
    return [](QWidget* modal) { ClickBoxButton(modal, 1); };
}

ModalAnswerer::WindowAction HiddenKey(Qt::KeyboardModifiers modifiers = Qt::ControlModifier |
                                                                        Qt::AltModifier |
                                                                        Qt::ShiftModifier)
{
    return [modifiers](QWidget* modal) {
        if (!AsNoMachineBox(modal)) {
            modal->close();
            return;
        }
        QTest::keyClick(modal, Qt::Key_J, modifiers);
        // A combination that is not the hidden key leaves the box open: end it.
        if (modal->isVisible())
            ClickBoxButton(modal, 1);
    };
}

// Checks the selection dialog's list, picks entry index (or cancels when index is -1).
ModalAnswerer::WindowAction Select(QStringList expected, int index,
                                   std::function<void()> before = {})
{
    return [expected, index, before](QWidget* modal) {
        auto* dialog = qobject_cast<CMachineSelectDlg*>(modal);
        if (!dialog) {
            ADD_FAILURE() << "expected the selection dialog";
            modal->close();
            return;
        }
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Printer Select"));
        auto* list =
            dialog->findChild<QComboBox*>(QString::number(CMachineSelectDlg::MachineListId));
        ASSERT_NE(list, nullptr);
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items.append(list->itemText(i));
        EXPECT_EQ(items, expected);
        EXPECT_EQ(list->currentIndex(), 0);
        if (before)
            before();
        if (index >= 0)
            list->setCurrentIndex(index);
        const int button = index >= 0 ? CMachineSelectDlg::OkId : CMachineSelectDlg::CancelId;
        dialog->findChild<QPushButton*>(QString::number(button))->click();
    };
}

// Another process that holds the panel mutex of one machine, as a second panel would, until it
// is killed.
class MutexHolderProcess
{
public:
    ~MutexHolderProcess() { Kill(); }

    // True once the child reports that it holds the mutex.
    bool Start(const std::string& machineName)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const char* argv[] = {PANEL_MUTEX_HOLDER, machineName.c_str(), nullptr};
        const int rc = posix_spawn(&m_pid, PANEL_MUTEX_HOLDER, &actions, nullptr,
                                   const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            m_pid = -1;
            close(fds[0]);
            return false;
        }
        char reply = 0;
        ssize_t n;
        do
            n = read(fds[0], &reply, 1);
        while (n < 0 && errno == EINTR);
        close(fds[0]);
        return n == 1 && reply == 'H';
    }

    // Kills the holder and waits until it has gone, so that its lock is gone too.
    void Kill()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGKILL);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// --- the whole start-up, with the panel replaced by a probe
// -----------------------------------------

struct PanelProbe
{
    int runs = 0;
    QString title;
    QString settingsFile;
    std::string linkName;
    bool simulator = false;
    bool mutexTaken = false;
    std::vector<std::string> opened; // the names the USB link tried to open until then
};

class StartupTest : public ::testing::Test
{
protected:
    // Runs the start-up on the test machine; the probe records what the panel would have seen.
    // The start-up destroys the machine and its links at the end: afterwards only the probe
    // tells what happened.
    int RunStartup(StartupOptions options = {})
    {
        auto machine = std::move(test.machine);
        app = std::make_unique<CControlPanelApp>(
            [&machine] { return std::move(machine); },
            [this](CModelingMachine& m) {
                ++probe.runs;
                probe.title = QCoreApplication::applicationName();
                probe.settingsFile = QSettings(QSettings::IniFormat, QSettings::UserScope,
                                               QCoreApplication::organizationName(),
                                               QCoreApplication::applicationName())
                                         .fileName();
                probe.linkName = m.GetLink().GetName();
                probe.simulator = m.IsSimulatorCurrent();
                probe.mutexTaken = app->GetPanelMutex().IsHeld();
                probe.opened = test.usb->opened;
            },
            options);
        return app->InitInstance();
    }

    // AcquireMachine alone, on a machine that stays with the test.
    bool Acquire(StartupOptions options = {})
    {
        app = std::make_unique<CControlPanelApp>(nullptr, nullptr, options);
        app->SetNames();
        return app->AcquireMachine(*test.machine);
    }

    TestMachine test;
    ModalAnswerer answers;
    PanelProbe probe;
    std::unique_ptr<CControlPanelApp> app;
};

TEST_F(StartupTest, NoMachineShowsTheBoxAndEndEndsWithoutPanel)
{
    answers.Then(End());
    EXPECT_EQ(RunStartup(), 1);
    EXPECT_EQ(probe.runs, 0);
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_FALSE(app->GetPanelMutex().IsHeld());
}

TEST_F(StartupTest, NoMachineBoxHasRetryAndEndAndTheHiddenKey)
{
    answers.Then([](QWidget* modal) {
        CPanelMessageBox* box = AsNoMachineBox(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Quenby Miltaro Controller for ZR-40"));
        EXPECT_EQ(box->findChild<QPushButton*>("40001")->text(), QStringLiteral("Retry"));
        EXPECT_EQ(box->findChild<QPushButton*>("40002")->text(), QStringLiteral("End"));
        EXPECT_FALSE(box->findChild<QPushButton*>("40003")->isVisible());
        EXPECT_EQ(box->GetHotKey(), 0x11121000u | 74u);
        // Escape is "End".
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_FALSE(Acquire());
    EXPECT_EQ(answers.Shown(), 1);
}

// A device the search could not open for lack of rights is not "no machine": the box names the
// device node and the udev rule to install, and keeps Retry and End.
TEST_F(StartupTest, DeviceWithoutAccessNamesTheNodeAndTheRule)
{
    test.usb->deniedDevice = "/dev/bus/usb/001/007";
    answers.Then([](QWidget* modal) {
        auto* box = qobject_cast<CPanelMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        const auto* text = box->findChild<QLabel*>(QString::number(CPanelMessageBox::TextId));
        ASSERT_NE(text, nullptr);
        EXPECT_TRUE(text->text().contains("/dev/bus/usb/001/007")) << text->text().toStdString();
        EXPECT_TRUE(text->text().contains("70-zr40.rules")) << text->text().toStdString();
        EXPECT_EQ(box->findChild<QPushButton*>("40001")->text(), QStringLiteral("Retry"));
        box->findChild<QPushButton*>("40002")->click();
    });
    EXPECT_FALSE(Acquire());
    EXPECT_EQ(answers.Shown(), 1);
}

TEST_F(StartupTest, FailedPrinterListingIsNoMachine)
{
    test.usb->Install(Name("Alpha"), MachinePower::On);
    test.usb->listingFails = true;
    answers.Then(End());
    EXPECT_FALSE(Acquire());
    EXPECT_TRUE(test.usb->opened.empty());
}

TEST_F(StartupTest, RetrySearchesAgainFromScratch)
{
    const std::string alpha = Name("Alpha");
    answers.Then(Retry([&] { test.usb->Install(alpha, MachinePower::On); }));
    EXPECT_TRUE(Acquire());
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_EQ(test.machine->GetLink().GetName(), alpha);
    EXPECT_FALSE(test.machine->IsSimulatorCurrent());
}

TEST_F(StartupTest, OneMachineOpensWithoutAnyWindowAndTheModelTitle)
{
    const std::string alpha = Name("Alpha");
    test.usb->Install(alpha, MachinePower::On);
    EXPECT_EQ(RunStartup(), 0);
    EXPECT_EQ(answers.Shown(), 0);
    EXPECT_EQ(probe.runs, 1);
    EXPECT_EQ(probe.linkName, alpha);
    EXPECT_EQ(probe.title, QStringLiteral("Quenby Miltaro Controller for ZR-40"));
    EXPECT_TRUE(probe.settingsFile.endsWith(
        QStringLiteral("/Quenby Corporation/Quenby Miltaro Controller for ZR-40.ini")))
        << probe.settingsFile.toStdString();
    EXPECT_TRUE(probe.mutexTaken);
    EXPECT_EQ(app->GetPanelMutex().GetMachineName(), alpha);
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Quenby Corporation"));
}

TEST_F(StartupTest, TwoAnsweringMachinesAreChosenFromASortedList)
{
    const std::string beta = Name("beta");
    const std::string alpha = Name("Alpha");
    test.usb->Install(beta, MachinePower::On);
    test.usb->Install(alpha, MachinePower::On);
    answers.Then(Select({Q(alpha), Q(beta)}, 1));
    EXPECT_EQ(RunStartup(), 0);
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_EQ(probe.linkName, beta);
    const QString title = QStringLiteral("Miltaro Controller for ") + Q(beta);
    EXPECT_EQ(probe.title, title);
    // Each machine's panel keeps its settings in a profile of its own.
    EXPECT_TRUE(probe.settingsFile.endsWith(QStringLiteral("/Quenby Corporation/") + title +
                                            QStringLiteral(".ini")))
        << probe.settingsFile.toStdString();
    EXPECT_EQ(app->GetPanelMutex().GetMachineName(), beta);
}

TEST_F(StartupTest, TheInstalledCountDecidesTheTitleNotTheCandidates)
{
    const std::string alpha = Name("Alpha");
    test.usb->Install(Name("Beta"), MachinePower::Off);
    test.usb->Install(alpha, MachinePower::On);
    EXPECT_EQ(RunStartup(), 0);
    EXPECT_EQ(answers.Shown(), 0);
    EXPECT_EQ(probe.linkName, alpha);
    EXPECT_EQ(probe.title, QStringLiteral("Miltaro Controller for ") + Q(alpha));
}

TEST_F(StartupTest, MachinesThatOpenButDoNotAnswerAreNoCandidates)
{
    const std::string alpha = Name("Alpha");
    test.usb->Install(alpha, MachinePower::Silent);
    answers.Then(Retry([&] { test.usb->power[alpha] = MachinePower::On; }));
    EXPECT_TRUE(Acquire());
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_EQ(test.machine->GetLink().GetName(), alpha);
}

TEST_F(StartupTest, CancelInTheSelectionLeadsToTheNoMachineBox)
{
    test.usb->Install(Name("Alpha"), MachinePower::On);
    test.usb->Install(Name("Beta"), MachinePower::On);
    answers.Then(Select({Q(Name("Alpha")), Q(Name("Beta"))}, -1));
    answers.Then(End());
    EXPECT_EQ(RunStartup(), 1);
    EXPECT_EQ(answers.Shown(), 2);
    EXPECT_EQ(probe.runs, 0);
}

TEST_F(StartupTest, HiddenKeyWithoutSimulatorBehavesLikeRetry)
{
    const std::string alpha = Name("Alpha");
    answers.Then(HiddenKey());
    answers.Then(Retry([&] { test.usb->Install(alpha, MachinePower::On); }));
    EXPECT_TRUE(Acquire());
    EXPECT_EQ(answers.Shown(), 2);
    EXPECT_FALSE(test.machine->IsSimulatorCurrent());
    EXPECT_EQ(test.machine->GetLink().GetName(), alpha);
}

TEST_F(StartupTest, HiddenKeyNeedsAllThreeModifiers)
{
    test.simulator->present = true;
    answers.Then(HiddenKey(Qt::ControlModifier | Qt::ShiftModifier)); // ends with "End"
    EXPECT_FALSE(Acquire());
    EXPECT_FALSE(test.machine->IsSimulatorCurrent());
}

TEST_F(StartupTest, HiddenKeySwitchesToTheSimulator)
{
    test.simulator->present = true;
    answers.Then(HiddenKey());
    EXPECT_EQ(RunStartup(), 0);
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_TRUE(probe.simulator);
    EXPECT_EQ(probe.linkName, CModelingMachine::ModelName);
    EXPECT_EQ(probe.title, QStringLiteral("Quenby Miltaro Controller for ZR-40"));
    // Taken without a candidate: the reservation is made for the empty name.
    EXPECT_TRUE(probe.mutexTaken);
    EXPECT_EQ(app->GetPanelMutex().GetMachineName(), "");
}

TEST_F(StartupTest, HiddenKeyAfterAFailedOpenDoesNotReserveThatMachine)
{
    const std::string alpha = Name("Alpha");
    const std::string beta = Name("Beta");
    test.usb->Install(alpha, MachinePower::On);
    test.usb->Install(beta, MachinePower::On);
    test.simulator->present = true;
    // Alpha is switched off between the search and the open.
    answers.Then(
        Select({Q(alpha), Q(beta)}, 0, [&] { test.usb->power[alpha] = MachinePower::Silent; }));
    answers.Then(HiddenKey());
    EXPECT_TRUE(Acquire());
    EXPECT_TRUE(test.machine->IsSimulatorCurrent());
    EXPECT_EQ(app->GetPanelMutex().GetMachineName(), "");
    EXPECT_TRUE(CPanelMutex::IsFree(alpha));
}

TEST_F(StartupTest, SimulatorOptionTriesTheSimulatorFirst)
{
    test.usb->Install(Name("Alpha"), MachinePower::On);
    test.simulator->present = true;
    StartupOptions options;
    options.simulatorFirst = true;
    EXPECT_EQ(RunStartup(options), 0);
    EXPECT_EQ(answers.Shown(), 0);
    EXPECT_TRUE(probe.simulator);
    EXPECT_TRUE(probe.opened.empty()) << "no installed machine was to be touched";
}

TEST_F(StartupTest, SimulatorOptionWithoutSimulatorSearchesAsUsual)
{
    const std::string alpha = Name("Alpha");
    test.usb->Install(alpha, MachinePower::On);
    StartupOptions options;
    options.simulatorFirst = true;
    EXPECT_EQ(RunStartup(options), 0);
    EXPECT_EQ(answers.Shown(), 0);
    EXPECT_FALSE(probe.simulator);
    EXPECT_EQ(probe.linkName, alpha);
}

TEST_F(StartupTest, HelpPathIsTheHelpFileNextToTheExecutable)
{
    app = std::make_unique<CControlPanelApp>(nullptr, nullptr);
    app->SetNames();
    EXPECT_EQ(app->GetHelpPath(),
              QCoreApplication::applicationDirPath() + QStringLiteral("/kv412.chm"));
}

// --- a second panel
// ---------------------------------------------------------------------------------

TEST_F(StartupTest, AMachineServedByAnotherProcessIsNoCandidateUntilThatProcessDies)
{
    const std::string alpha = Name("Alpha");
    test.usb->Install(alpha, MachinePower::On);
    MutexHolderProcess firstPanel;
    ASSERT_TRUE(firstPanel.Start(alpha));

    answers.Then(End());
    EXPECT_FALSE(Acquire());
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_FALSE(CPanelMutex::IsFree(alpha)) << "the first panel's mutex must stay untouched";

    firstPanel.Kill();
    EXPECT_TRUE(Acquire());
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_EQ(test.machine->GetLink().GetName(), alpha);
}

TEST_F(StartupTest, WithOneOfTwoMachinesServedTheOtherIsTakenWithoutAsking)
{
    const std::string alpha = Name("Alpha");
    const std::string beta = Name("Beta");
    test.usb->Install(alpha, MachinePower::On);
    test.usb->Install(beta, MachinePower::On);
    MutexHolderProcess firstPanel;
    ASSERT_TRUE(firstPanel.Start(alpha));
    EXPECT_EQ(RunStartup(), 0);
    EXPECT_EQ(answers.Shown(), 0);
    EXPECT_EQ(probe.linkName, beta);
    EXPECT_EQ(probe.title, QStringLiteral("Miltaro Controller for ") + Q(beta));
}

TEST_F(StartupTest, ReservationLostToAnotherProgramEndsWithoutMessage)
{
    const std::string alpha = Name("Alpha");
    const std::string beta = Name("Beta");
    test.usb->Install(alpha, MachinePower::On);
    test.usb->Install(beta, MachinePower::On);
    MutexHolderProcess other;
    // Another program takes Beta while the user is choosing it.
    answers.Then(Select({Q(alpha), Q(beta)}, 1, [&] { ASSERT_TRUE(other.Start(beta)); }));
    EXPECT_EQ(RunStartup(), 1);
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_EQ(probe.runs, 0);
    EXPECT_FALSE(app->GetPanelMutex().IsHeld());
}

TEST_F(StartupTest, APanelLockThatCannotBeMadeIsExplained)
{
    // The simulator, which serves no installed machine, takes the lock of the empty name.
    test.simulator->present = true;
    StartupOptions options;
    options.simulatorFirst = true;
    const std::string lockPath = CPanelMutex::LockPath("");
    unlink(lockPath.c_str()); // left by earlier tests
    ASSERT_EQ(mkdir(lockPath.c_str(), 0700), 0);
    QString text;
    answers.Then([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            text = box->text();
        modal->close();
    });
    EXPECT_EQ(RunStartup(options), 1);
    rmdir(lockPath.c_str());
    EXPECT_EQ(probe.runs, 0);
    EXPECT_EQ(text, FormatFileError(EISDIR, QString::fromStdString(lockPath), FileOperation::Open));
}

TEST_F(StartupTest, ThePanelMutexIsHeldUntilTheProgramEnds)
{
    const std::string alpha = Name("Alpha");
    test.usb->Install(alpha, MachinePower::On);
    ASSERT_TRUE(Acquire());
    EXPECT_FALSE(CPanelMutex::IsFree(alpha));
    test.machine->CloseMachine();
    EXPECT_FALSE(CPanelMutex::IsFree(alpha)) << "closing the machine keeps the reservation";
    app.reset();
    EXPECT_TRUE(CPanelMutex::IsFree(alpha));
}

// --- the panel mutex itself
// ------------------------------------------------------------------------------

TEST(PanelMutex, ExistsExactlyWhileItsHolderLives)
{
    const std::string name = Name("Gamma");
    CPanelMutex first;
    EXPECT_EQ(first.Create(name), CPanelMutex::CreateResult::Created);
    CPanelMutex second;
    EXPECT_EQ(second.Create(name), CPanelMutex::CreateResult::AlreadyExists);
    EXPECT_FALSE(second.IsHeld());
    // A different machine has a mutex of its own.
    EXPECT_EQ(second.Create(name + "/2"), CPanelMutex::CreateResult::Created);
    first.Close();
    EXPECT_EQ(CPanelMutex().Create(name), CPanelMutex::CreateResult::Created);

    MutexHolderProcess holder;
    ASSERT_TRUE(holder.Start(name));
    EXPECT_EQ(CPanelMutex().Create(name), CPanelMutex::CreateResult::AlreadyExists);
    holder.Kill();
    EXPECT_EQ(CPanelMutex().Create(name), CPanelMutex::CreateResult::Created);
}

TEST(PanelMutex, AnUnusableLockFolderFails)
{
    const char* saved = std::getenv("ZR40_LOCK_DIR");
    const std::string restore = saved ? saved : "";
    setenv("ZR40_LOCK_DIR", "/nonexistent/zr40-locks", 1);
    EXPECT_EQ(CPanelMutex().Create(Name("Delta")), CPanelMutex::CreateResult::Failed);
    EXPECT_FALSE(CPanelMutex::IsFree(Name("Delta")));
    setenv("ZR40_LOCK_DIR", restore.c_str(), 1);
}

} // namespace
