// The output job against the running simulator: job names, the stop at a missing entry, the
// pause question, an unreadable file, and the simulator running what it was sent.

#include "ControlPanelDlg.h"
#include "CutDlg.h"
#include "JobDlg.h"
#include "MachineState.h"
#include "ModalAnswerer.h"
#include "ModelingMachine.h"
#include "NcPathCache.h"
#include "OutputTestSupport.h"
#include "SimulatorLink.h"
#include "SimulatorProcess.h"
#include "TextViewCtrl.h"
#include "ToolpathDlg.h"
#include "ToolpathView.h"
#include "UsbPrintLink.h"
#include "WidgetTestApp.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <thread>

using namespace zr40_test;

namespace {

// The simulator link, keeping the job names of the files it hands over. With slowPieces it
// first reports that many pieces 100 ms apart, as a slow spooler would, and notes the progress
// window's text once it shows.
class RecordingSimulatorLink : public CSimulatorLink
{
public:
    bool OutputFile(int fd, const std::string& path, const std::string& jobName) override
    {
        jobNames.push_back(jobName);
        for (int piece = 1; piece <= slowPieces; ++piece) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ReportOutputProgress(piece, slowPieces);
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<QProgressDialog*>(window);
                    progress && progress->isVisible())
                    progressText = progress->labelText();
        }
        return CSimulatorLink::OutputFile(fd, path, jobName);
    }
    std::vector<std::string> jobNames;
    int slowPieces = 0;
    QString progressText;
};

// Takes away, from this thread, the capabilities that let root read any file, so that a file
// without read permission is unreadable for the test too. They come back at the end.
class WithoutReadOverride
{
public:
    WithoutReadOverride()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &m_header, reduced);
    }
    ~WithoutReadOverride() { syscall(SYS_capset, &m_header, m_saved); }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
};

class CutOutputSimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        UseEmptyStore("cut-output-test");
        m_sim = std::make_unique<CSimulatorProcess>(std::vector<std::string>{"--speed", "4000"});
        ASSERT_TRUE(m_sim->Start());
        auto link = std::make_unique<RecordingSimulatorLink>();
        m_link = link.get();
        m_machine =
            std::make_unique<CModelingMachine>(std::make_unique<CUsbPrintLink>(), std::move(link));
        ASSERT_TRUE(m_machine->UseSimulator({}));
        // The first modal window is the Cut dialog itself, which the test drives.
        m_answerer = std::make_unique<ModalAnswerer>();
        m_answerer->Then([](QWidget*) {});
    }
    void TearDown() override
    {
        m_answerer.reset();
        if (m_machine)
            m_machine->CloseMachine();
        m_machine.reset();
        if (m_sim)
            m_sim->Stop();
    }

    // Opens the Cut dialog on the stored list, runs before (ticking boxes), clicks Output.
    int Output(const std::function<void(CCutDlg&)>& before = {}, CPanelAccess* panel = nullptr)
    {
        CCutDlg dialog(*m_machine, panel);
        return RunModal(
            dialog,
            [&] {
                if (before)
                    before(dialog);
                dialog.findChild<QPushButton*>(QString::number(CCutDlg::OutputId))->click();
            },
            20000);
    }
    std::vector<std::string> SentPaths() const
    {
        std::vector<std::string> paths;
        for (const std::string& line : m_sim->Log())
            if (line.starts_with("output-file "))
                paths.push_back(line.substr(12));
        return paths;
    }

    TempFiles m_files;
    std::unique_ptr<CSimulatorProcess> m_sim;
    std::unique_ptr<CModelingMachine> m_machine;
    RecordingSimulatorLink* m_link = nullptr;
    std::unique_ptr<ModalAnswerer> m_answerer;
};

TEST_F(CutOutputSimTest, JobStopsAtAMissingEntry)
{
    const QByteArray first = m_files.Write("one.nc", "%\nG0 X1\n%\n");
    const QByteArray third = m_files.Write("three.nc", "%\nG0 X3\n%\n");
    StoreList({first, m_files.Path("two.nc"), third});
    ModalAnswerer& answerer = *m_answerer;
    answerer.AnswerBox(1);
    EXPECT_EQ(Output(), QDialog::Accepted);
    EXPECT_EQ(m_link->jobNames, std::vector<std::string>{"Mildek 1/3"});
    EXPECT_EQ(SentPaths(), std::vector<std::string>{first.toStdString()});
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_TRUE(answerer.Seen()[0].text.startsWith(QString::fromLocal8Bit(m_files.Path("two.nc"))));
}

TEST_F(CutOutputSimTest, CancelAtThePauseQuestionSkipsThatEntryOnly)
{
    const QByteArray first = m_files.Write("one.nc", "%\nG0 X1\n%\n");
    const QByteArray second = m_files.Write("two.nc", "%\nG0 X2\n%\n");
    StoreList({first, second});
    ModalAnswerer& answerer = *m_answerer;
    QStringList questions;
    for (QMessageBox::StandardButton answer : {QMessageBox::Cancel, QMessageBox::Ok})
        answerer.Then([&questions, answer](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            ASSERT_TRUE(box);
            questions << box->text();
            box->button(answer)->click();
        });
    EXPECT_EQ(Output([](CCutDlg& dialog) {
                  dialog.findChild<QCheckBox*>(QString::number(CCutDlg::PauseId))->click();
              }),
              QDialog::Accepted);
    EXPECT_EQ(m_link->jobNames, std::vector<std::string>{"Mildek 2/2"});
    ASSERT_EQ(questions.size(), 2);
    EXPECT_EQ(questions[0], "This outputs the next set of cutting data.\n\nContinue?\n" +
                                QString::fromLocal8Bit(first));
}

TEST_F(CutOutputSimTest, UnreadableFileIsReportedAndEndsTheJob)
{
    const QByteArray locked = m_files.Write("locked.nc", "%\nG0 X1\n%\n");
    ASSERT_EQ(::chmod(locked.constData(), 0), 0);
    StoreList({locked, m_files.Write("next.nc", "%\nG0 X2\n%\n")});
    ModalAnswerer& answerer = *m_answerer;
    QString text;
    answerer.Then([&text](QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        ASSERT_TRUE(box);
        text = box->text();
        box->accept();
    });
    const WithoutReadOverride asUser;
    EXPECT_EQ(Output(), QDialog::Accepted);
    EXPECT_EQ(text, "Access to " + QString::fromLocal8Bit(locked) + " was denied.");
    EXPECT_TRUE(m_link->jobNames.empty());
    EXPECT_TRUE(SentPaths().empty());
}

// An entry that names a named pipe is refused at once, and a file another program holds
// locked is a sharing violation: each with its path, and the job ends there.
TEST_F(CutOutputSimTest, PipeAndLockedFileAreReportedAtOnceWithTheirPath)
{
    const QByteArray fifo = m_files.Path("pipe.nc");
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const QByteArray held = m_files.Write("held.nc", "%\nG0 X1\n%\n");
    const int holder = ::open(held.constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const QByteArray next = m_files.Write("next.nc", "%\nG0 X2\n%\n");
    const struct
    {
        QByteArray entry;
        QString text;
    } rows[] = {{fifo, "Access to " + QString::fromLocal8Bit(fifo) + " was denied."},
                {held, "A sharing violation occurred while accessing " +
                           QString::fromLocal8Bit(held) + "."}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry.toStdString());
        StoreList({row.entry, next});
        if (&row != &rows[0])
            m_answerer->Then([](QWidget*) {}); // the Cut dialog
        QString text;
        m_answerer->Then([&text](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            ASSERT_TRUE(box);
            text = box->text();
            box->accept();
        });
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(Output(), QDialog::Accepted);
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_EQ(text, row.text);
        EXPECT_TRUE(SentPaths().empty());
    }
    ::close(holder);
    EXPECT_TRUE(m_answerer->AllUsed());
}

// A travel check that takes a while shows its progress, with the windows working meanwhile;
// Cancel there skips that file as No does, and the job goes on with the next.
TEST_F(CutOutputSimTest, CancelOfALongTravelCheckSkipsThatFile)
{
    const QByteArray large = m_files.Path("large.nc");
    {
        std::ofstream out(large.constData(), std::ios::binary);
        out << "%\nG90 G0 X1 Y1\n";
        // Ten million short moves: their check takes seconds, far beyond the half second.
        for (int i = 0; i < 10000000; ++i)
            out << "G1 X" << (i % 100) << " Y" << (i % 77) << '\n';
    }
    const QByteArray next = m_files.Write("next.nc", "%\nG0 X2\n%\n");
    StoreList({large, next});
    QString label;
    m_answerer->Then([&label](QWidget* window) {
        auto* progress = qobject_cast<QProgressDialog*>(window);
        ASSERT_TRUE(progress);
        label = progress->labelText();
        progress->cancel();
    });
    EXPECT_EQ(Output(), QDialog::Accepted);
    EXPECT_EQ(label, "large.nc");
    EXPECT_EQ(m_link->jobNames, std::vector<std::string>{"Mildek 2/2"});
    EXPECT_EQ(SentPaths(), std::vector<std::string>{next.toStdString()});
    EXPECT_TRUE(m_answerer->AllUsed());
}

TEST_F(CutOutputSimTest, TwoAddedNcFilesAreSentAndRunToTheirEnd)
{
    const QByteArray first = m_files.Write("one.nc", "%\nG0 X1 Y2\nG1 Z-0.5\n");
    const QByteArray second = m_files.Write("two.nc", "%\nG0 X4 Y3\nG1 Z-1\n");
    ModalAnswerer& answerer = *m_answerer;
    answerer.AnswerFileDialog({QString::fromLocal8Bit(first), QString::fromLocal8Bit(second)});
    EXPECT_EQ(Output([](CCutDlg& dialog) {
                  dialog.findChild<QPushButton*>(QString::number(CCutDlg::AddId))->click();
              }),
              QDialog::Accepted);
    EXPECT_EQ(m_link->jobNames, (std::vector<std::string>{"Mildek 1/2", "Mildek 2/2"}));
    EXPECT_EQ(SentPaths(), (std::vector<std::string>{first.toStdString(), second.toStdString()}));
    ASSERT_TRUE(m_sim->WaitForState(2, 10000));
    EXPECT_EQ(m_sim->Position(), (std::vector<long>{4000, 3000, -1000}));
}

// The panel's Cut button: the spindle stops, the settings are read, and the test cut is offered
// for an NC-code file only when the machine runs NC code.
TEST_F(CutOutputSimTest, CutButtonStopsTheSpindleAndAllowsTheTestCutInNcMode)
{
    StoreList({m_files.Write("one.nc", "%\nG0 X1\n%\n")});
    CControlPanelDlg panel(m_machine.get());
    // Here the Cut dialogs are the windows to answer.
    m_answerer.reset();
    m_answerer = std::make_unique<ModalAnswerer>();
    for (const auto& [commandSet, testAllowed] : {std::pair{1, true}, std::pair{2, false}}) {
        MachineSettings settings;
        ASSERT_TRUE(m_machine->GetMachineSettings(settings));
        settings.commandSet = uint8_t(commandSet);
        ASSERT_TRUE(m_machine->SetMachineSettings(settings));
        m_sim->ClearLog();
        bool testEnabled = !testAllowed;
        m_answerer->Then([&testEnabled](QWidget* window) {
            auto* dialog = qobject_cast<CCutDlg*>(window);
            ASSERT_TRUE(dialog);
            dialog->findChild<QListWidget*>(QString::number(CCutDlg::FileListId))->setCurrentRow(0);
            testEnabled =
                dialog->findChild<QPushButton*>(QString::number(CCutDlg::TestId))->isEnabled();
            dialog->reject();
        });
        RunCutDialog(panel);
        EXPECT_EQ(testEnabled, testAllowed) << commandSet;
        EXPECT_EQ(m_sim->LogOf("0x3006").size(), 1u);
        EXPECT_EQ(m_sim->LogOf("0x3106").size(), 1u);
    }
}

TEST_F(CutOutputSimTest, SlowHandOverShowsTheFileNameInAProgressWindow)
{
    StoreList({m_files.Write("slow.nc", "%\nG0 X1\n%\n")});
    m_link->slowPieces = 16;
    m_answerer->OnOtherModal([](QWidget*) {}); // the progress window closes by itself
    EXPECT_EQ(Output(), QDialog::Accepted);
    EXPECT_EQ(m_link->progressText, "slow.nc");
}

TEST_F(CutOutputSimTest, ProgramLeavingTheTravelIsSentOnlyAfterYes)
{
    // The simulated travel is X 0..203 mm; from the machine's zero this program reaches 208.
    const QByteArray wide = m_files.Write("wide.nc", "%\nG0 X0. Y0. Z0.\nG1 X208. Y10. F100.\n%\n");
    const QByteArray fits = m_files.Write("fits.nc", "%\nG0 X10. Y10.\n%\n");
    StoreList({wide, fits, wide});
    ModalAnswerer& answerer = *m_answerer;
    answerer.AnswerBox(7); // No: that file is skipped
    answerer.AnswerBox(6); // Yes: sent
    EXPECT_EQ(Output(), QDialog::Accepted);
    EXPECT_EQ(m_link->jobNames, (std::vector<std::string>{"Mildek 2/3", "Mildek 3/3"}));
    EXPECT_EQ(SentPaths(), (std::vector<std::string>{fits.toStdString(), wide.toStdString()}));
    ASSERT_EQ(answerer.Count(), 2);
    EXPECT_EQ(answerer.Seen()[0].text,
              "wide.nc leaves the machine's travel from the current origin:\n"
              "X by 5.00 mm above the travel\nSend it anyway?");
}

TEST_F(CutOutputSimTest, ToolpathButtonShowsTheSelectedProgram)
{
    StoreList({m_files.Write("part.nc", "%\nG0 X10. Y20.\nG1 X50. F100.\n%\n"),
               m_files.Write("data.zml", ";ZML\n")});
    CCutDlg dialog(*m_machine, nullptr);
    RunModal(dialog, [&] {
        auto* list = dialog.findChild<QListWidget*>(QString::number(CCutDlg::FileListId));
        auto* button = dialog.findChild<QPushButton*>(CCutDlg::ToolpathName);
        list->setCurrentRow(1);
        EXPECT_FALSE(button->isEnabled());
        list->setCurrentRow(0);
        EXPECT_TRUE(button->isEnabled());
        button->click();
        auto* window = dialog.findChild<CToolpathDlg*>();
        if (window) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return window->IsReady(); }, 10000));
            EXPECT_EQ(window->windowTitle(), "Toolpath - part.nc");
            EXPECT_EQ(window->Model()->path.segments.Size(), 2u);
            window->close();
        }
        EXPECT_TRUE(window);
        dialog.reject();
    });
}

// Output right after the toolpath window has shown the program: the travel check takes the
// window's reading of the file instead of reading it again.
TEST_F(CutOutputSimTest, OutputAfterTheToolpathUsesItsReading)
{
    const QByteArray part = m_files.Write("part.nc", "%\nG0 X10. Y20.\nG1 X50. F100.\n%\n");
    StoreList({part});
    const int64_t hits = NcPathCache::Hits();
    EXPECT_EQ(
        Output([&](CCutDlg& dialog) {
            dialog.findChild<QListWidget*>(QString::number(CCutDlg::FileListId))->setCurrentRow(0);
            dialog.findChild<QPushButton*>(CCutDlg::ToolpathName)->click();
            auto* window = dialog.findChild<CToolpathDlg*>();
            ASSERT_TRUE(window);
            ASSERT_TRUE(QTest::qWaitFor([&] { return window->IsReady(); }, 10000));
        }),
        QDialog::Accepted);
    EXPECT_EQ(NcPathCache::Hits(), hits + 1);
    EXPECT_EQ(SentPaths(), std::vector<std::string>{part.toStdString()});
}

// The job window follows a program while the machine runs it: the line only goes forward, also
// over the points the program passes twice, the time left falls, a pause shows, the toolpath
// window marks the line and the tool, and the window sees the end.
TEST_F(CutOutputSimTest, JobWindowFollowsTheRunningProgram)
{
    // Two laps of a 2 mm square at 2 mm/s: every corner and edge is passed twice.
    StoreList({m_files.Write("laps.nc", "%\nG90 G0 X1. Y1. Z-1.\n"      // lines 0-1
                                        "G1 X3. F120.\nY3.\nX1.\nY1.\n" // 2-5: first lap
                                        "X3.\nY3.\nX1.\nY1.\n"          // 6-9: second lap
                                        "G0 Z0.\n%\n")});
    CControlPanelDlg panel(m_machine.get());
    panel.show();
    ASSERT_TRUE(WaitUntil([&] { return panel.GetControl(1030)->isEnabled(); }));
    EXPECT_EQ(Output([](CCutDlg&) {}, &panel), QDialog::Accepted);
    CJobDlg* job = CJobDlg::Current();
    ASSERT_TRUE(job);
    EXPECT_TRUE(job->isVisible());
    job->findChild<QPushButton*>(CJobDlg::ToolpathName)->click();
    CToolpathDlg* toolpath = job->GetToolpathWindow();
    ASSERT_TRUE(toolpath);
    std::vector<uint32_t> lines;
    std::vector<double> remaining;
    int markedLines = 0; // reads after which the toolpath window marked the job's line and tool
    // After the window's own handler: what it shows after each status read.
    QObject::connect(&panel.GetMachineState(), &CMachineState::StatusRead, job, [&] {
        if (job->HasEnded())
            return;
        if (toolpath->IsReady() && job->CurrentLine() &&
            toolpath->TopView()->GetHighlightedLine() == job->CurrentLine() &&
            toolpath->TopView()->GetToolPosition())
            ++markedLines;
        if (const auto line = job->CurrentLine())
            if (lines.empty() || lines.back() != *line)
                lines.push_back(*line);
        if (const auto left = job->RemainingSeconds())
            remaining.push_back(*left);
    });
    // Paused and resumed on the way, as the window shows it.
    const QLabel* state = job->findChild<QLabel*>("jobState");
    ASSERT_TRUE(WaitUntil([&] { return job->CurrentLine().value_or(0) >= 4; }, 30000));
    ASSERT_TRUE(m_machine->PauseCutting());
    EXPECT_TRUE(WaitUntil([&] { return state->text() == "Paused"; }));
    ASSERT_TRUE(m_machine->ResumeCutting());
    EXPECT_TRUE(WaitUntil([&] { return state->text() == "Running"; }));
    ASSERT_TRUE(WaitUntil([&] { return job->HasEnded(); }, 60000));
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end())) << ::testing::PrintToString(lines);
    ASSERT_GE(lines.size(), 5u) << ::testing::PrintToString(lines);
    EXPECT_GE(lines.back(), 8u); // the second lap was followed as such
    ASSERT_GE(remaining.size(), 2u);
    EXPECT_TRUE(std::is_sorted(remaining.rbegin(), remaining.rend()))
        << ::testing::PrintToString(remaining);
    EXPECT_GT(remaining.front(), remaining.back() + 3);
    EXPECT_GE(markedLines, 3);
    EXPECT_EQ(state->text(), "The job has ended.");
    delete job;
}

TEST_F(CutOutputSimTest, JobWindowOfAFileThatIsNoNcCodeShowsTheHandOverOnly)
{
    StoreList({m_files.Write("part.zml", std::string(400, 'Z'))});
    CControlPanelDlg panel(m_machine.get());
    panel.show();
    ASSERT_TRUE(WaitUntil([&] { return panel.GetControl(1030)->isEnabled(); }));
    EXPECT_EQ(Output([](CCutDlg&) {}, &panel), QDialog::Accepted);
    CJobDlg* job = CJobDlg::Current();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->findChild<QLabel*>("jobLine")->text(), "400 bytes handed over.");
    EXPECT_EQ(job->findChild<QLabel*>("jobDone")->text(),
              "The machine's progress is not known for this file.");
    EXPECT_FALSE(job->findChild<QPushButton*>(CJobDlg::ToolpathName)->isEnabled());
    EXPECT_FALSE(job->CurrentLine());
    delete job;
}

// A program whose end depends on the state before the chosen line: it runs incremental from
// line 4 on, so a lead-in that loses the distance mode or the join point ends elsewhere. The
// simulated travel ends at Z 0 above.
constexpr const char* kIncrementalProgram = "%\n"
                                            "G21 G90 G0 X5. Y5. Z0.\n"
                                            "G1 Z-2. F2000.\n"
                                            "G91\n"
                                            "G1 X3. Y2.\n"
                                            "G1 X-1. Y4.\n"
                                            "G90 G0 Z-0.5\n";

// The user starts the program from line 6 of 7: the lead-in is shown with the line it joins,
// the job goes out as one job named as a one-file list, its file is gone after the hand-over,
// and the machine ends where the whole program ends.
TEST_F(CutOutputSimTest, ProgramStartedFromALineEndsWhereTheWholeProgramEnds)
{
    const QByteArray part = m_files.Write("part.nc", kIncrementalProgram);
    StoreList({part});
    ModalAnswerer& answerer = *m_answerer;
    answerer.Then([](QWidget* window) {
        auto* input = qobject_cast<QInputDialog*>(window);
        ASSERT_TRUE(input);
        EXPECT_EQ(input->objectName(), CCutDlg::StartLineInputName);
        EXPECT_EQ(input->intMaximum(), 8); // the empty line after the last line break too
        input->setIntValue(6);
        input->accept();
    });
    answerer.AnswerBox(1);
    CCutDlg dialog(*m_machine, nullptr);
    EXPECT_EQ(RunModal(
                  dialog,
                  [&] {
                      dialog.findChild<QListWidget*>(QString::number(CCutDlg::FileListId))
                          ->setCurrentRow(0);
                      dialog.findChild<QPushButton*>(CCutDlg::StartLineName)->click();
                  },
                  20000),
              QDialog::Accepted);
    ASSERT_EQ(answerer.Count(), 1);
    const QString shown = answerer.Seen()[0].text;
    EXPECT_TRUE(shown.contains("G0 Z0.\nG0 X8. Y7.\nG1 Z-2.\nG91 G1\n")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("line 6:\nG1 X-1. Y4.\n")) << shown.toStdString();
    EXPECT_EQ(m_link->jobNames, std::vector<std::string>{"Mildek 1/1"});
    const std::vector<std::string> sent = SentPaths();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(sent[0])));
    ASSERT_TRUE(m_sim->WaitForState(2, 10000));
    const std::vector<long> fromLine = m_sim->Position();
    EXPECT_EQ(fromLine, (std::vector<long>{7000, 11000, -500}));

    // The whole program, from where the job from the line left the tool.
    m_answerer->Then([](QWidget*) {});
    EXPECT_EQ(Output(), QDialog::Accepted);
    ASSERT_TRUE(m_sim->WaitForState(2, 10000));
    EXPECT_EQ(m_sim->Position(), fromLine);
}

// The job window follows a job from a line in the program's own line numbers, and the job's
// file stays while the window may still open its toolpath.
TEST_F(CutOutputSimTest, JobWindowFollowsAJobFromALineInTheProgramsLines)
{
    StoreList({m_files.Write("laps.nc", "%\nG90 G0 X1. Y1. Z-1.\n"      // lines 1-2
                                        "G1 X3. F120.\nY3.\nX1.\nY1.\n" // 3-6: first lap
                                        "X3.\nY3.\nX1.\nY1.\n"          // 7-10: second lap
                                        "G0 Z0.\n%\n")});
    m_answerer->Then([](QWidget* window) {
        auto* input = qobject_cast<QInputDialog*>(window);
        ASSERT_TRUE(input);
        input->setIntValue(7);
        input->accept();
    });
    m_answerer->AnswerBox(1);
    CControlPanelDlg panel(m_machine.get());
    panel.show();
    ASSERT_TRUE(WaitUntil([&] { return panel.GetControl(1030)->isEnabled(); }));
    CCutDlg dialog(*m_machine, &panel);
    RunModal(dialog, [&] {
        dialog.findChild<QListWidget*>(QString::number(CCutDlg::FileListId))->setCurrentRow(0);
        dialog.findChild<QPushButton*>(CCutDlg::StartLineName)->click();
    });
    CJobDlg* job = CJobDlg::Current();
    ASSERT_TRUE(job);
    const std::vector<std::string> sent = SentPaths();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(sent[0])));
    const QLabel* line = job->findChild<QLabel*>("jobLine");
    std::set<QString> shown;
    QObject::connect(&panel.GetMachineState(), &CMachineState::StatusRead, job,
                     [&] { shown.insert(line->text()); });
    ASSERT_TRUE(WaitUntil([&] { return job->HasEnded(); }, 60000));
    // Every line shown is the lead-in or a line of the program from the chosen one on.
    const std::set<QString> allowed = {"Lead-in to line 7", "Line 7", "Line 8", "Line 9",
                                       "Line 10",           "Line 11"};
    for (const QString& text : shown) {
        if (text.startsWith("Line") || text.startsWith("Lead-in")) {
            EXPECT_TRUE(allowed.count(text)) << text.toStdString();
        }
    }
    EXPECT_TRUE(shown.count("Line 8") || shown.count("Line 9")) << shown.size();
    delete job;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(sent[0])));
}

// A line the job cannot start at, chosen by a click in the toolpath window: the preview shows
// the line, the reason is shown and nothing is sent.
TEST_F(CutOutputSimTest, LineInsideACannedCycleIsRefusedWithTheReason)
{
    StoreList({m_files.Write("holes.nc", "%\nG0 X0. Y0. Z5.\nG81 X1. Y1. Z-1. R1. F100.\n"
                                         "X2. Y2.\nG80\n%\n")});
    ModalAnswerer& answerer = *m_answerer;
    answerer.AnswerBox(1);
    CCutDlg dialog(*m_machine, nullptr);
    RunModal(dialog, [&] {
        dialog.findChild<QListWidget*>(QString::number(CCutDlg::FileListId))->setCurrentRow(0);
        dialog.findChild<QPushButton*>(CCutDlg::ToolpathName)->click();
        auto* window = dialog.findChild<CToolpathDlg*>();
        ASSERT_TRUE(window);
        auto* start = window->findChild<QPushButton*>("toolpathStartFromLine");
        ASSERT_TRUE(start);
        EXPECT_FALSE(start->isEnabled()); // no line clicked yet
        emit window->TopView()->LineClicked(3);
        EXPECT_EQ(dialog.findChild<CTextViewCtrl*>(QString::number(CCutDlg::PreviewId))
                      ->GetHighlightLine(),
                  3);
        EXPECT_TRUE(start->isEnabled());
        EXPECT_EQ(start->text(), "Start from Line 4...");
        start->click();
        window->close();
        dialog.reject();
    });
    ASSERT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.Seen()[0].text,
              "The job cannot start at line 4: it lies in the canned cycle begun on line 3.\n"
              "Start from a line after the cycle's end (G80).");
    EXPECT_TRUE(m_link->jobNames.empty());
    EXPECT_TRUE(SentPaths().empty());
}

} // namespace
