#pragma once

#include "CutDataFile.h"
#include "NcInterpreter.h"
#include "NcPath.h"
#include "NcPathFollower.h"
#include "NcRunTime.h"
#include "ToolpathDlg.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class CPanelAccess;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// The window of the job Output handed over last: where the machine is in it while it runs.
// For an NC program the tool position of every status read is looked for along the program's
// path, forward from the last match, which gives the line, the share of the run time done and
// the time left at the override in force; the toolpath window opened from here shows the tool
// and the line. Of any other file only the hand-over is known. The window only reads the
// panel's status cache: closing it, or showing it again from the panel's window menu, does
// nothing to the job. Its parent is the panel's window, so that it outlives the Cut dialog.
class CJobDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char* ToolpathName = "jobToolpath";

    CJobDlg(CPanelAccess& panel, const CNcReadOptions& options);
    ~CJobDlg() override;

    // Opens the window for the files just handed over, in the order the machine runs them; it
    // takes the place of the window of an earlier job.
    static CJobDlg* Open(CPanelAccess& panel, const std::vector<QByteArray>& paths,
                         const CNcReadOptions& options);
    // The window of the last job, while there is one.
    static CJobDlg* Current();
    // Shows the window again, in front.
    void ShowAgain();
    // A job that starts its program at a line: its first `leadInLines` lines are the lead-in,
    // then the program's own from line index `joinLine`. The line shown is the program's.
    void ShowProgramLines(uint32_t leadInLines, uint32_t joinLine);

    // What the window shows, for the tests: the program line (0-based) the machine is at, the
    // seconds left, whether the machine has finished the job.
    std::optional<uint32_t> CurrentLine() const;
    std::optional<double> RemainingSeconds() const;
    bool HasEnded() const { return m_ended; }
    CToolpathDlg* GetToolpathWindow() const { return m_toolpath; }

private:
    // One file of the job. An NC program is read into its path on the worker thread, unless a
    // toolpath window holds it already.
    struct File
    {
        CCutDataFile image;
        bool nc = false;
        int64_t bytes = 0;
        std::shared_ptr<const CNcPath> path;
        std::unique_ptr<CNcRunTime> runTime;
        std::unique_ptr<CNcPathFollower> follower;
    };

    void AddFile(const QByteArray& path);
    void StartReading();
    void PollReading();
    void StopReading();
    // Each status read of the panel: the job's state and the tool's place in the program.
    void OnStatusRead();
    // The follower of a file whose path is in, placed by the origins the panel reads now.
    CNcPathFollower* FollowerOf(File& file);
    void ShowProgress();
    void OnToolpath();
    void FollowInToolpath();
    double RemainingAt100() const;

    CPanelAccess& m_panel;
    CNcReadOptions m_options;
    double m_rapidSpeed;
    std::vector<std::unique_ptr<File>> m_files;
    size_t m_current = 0;
    uint32_t m_leadInLines = 0; // of a job from a line: see ShowProgramLines
    uint32_t m_joinLine = 0;

    // The worker reads the files' paths in order; it publishes how many are in by m_read and
    // touches nothing of a file below that count again.
    std::thread m_worker;
    CNcProgress m_progress;
    std::atomic<size_t> m_read{0};
    QTimer* m_readPoll;

    bool m_started = false; // the machine has been seen running the job
    bool m_ended = false;   // and back to ready afterwards
    bool m_paused = false;
    QElapsedTimer m_clock;
    int64_t m_elapsedMs = 0;

    QLabel* m_file;
    QLabel* m_state;
    QLabel* m_line;
    QLabel* m_done;
    QLabel* m_elapsed;
    QLabel* m_remaining;
    QProgressBar* m_bar;
    QPushButton* m_toolpathButton;
    QPointer<CToolpathDlg> m_toolpath;
    size_t m_toolpathFile = SIZE_MAX;
};
