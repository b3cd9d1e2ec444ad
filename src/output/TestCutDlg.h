#pragma once

#include "MachineStatus.h"

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CCutDataSet;
class CColorLabel;
class CPanelAccess;
class CIconListBox;
class CModelingMachine;
class CTestCutMode;
class CToolpathDlg;
class CTextViewCtrl;
class QAbstractButton;
class QComboBox;

// The test cut: runs the files of a cutting-data set through the machine line by line under the
// user's control -- one line per press (step), line after line with each finished before the
// next (run), or as fast as the machine takes them in (stream). Each line goes unchanged onto
// the bulk-out pipe; the machine's receive counter and transaction status tell when it has been
// taken in and finished. The dialog shows the files, the file under the cursor with the current
// line highlighted, and offers Stop, the panel's coordinate-system view, the cutting-speed
// override and Quit Cutting. It works through the owner panel (machine, status cache, wait
// loops, coordinate list, the answer to its paused command-error box).
//
// The machine is in test-cut operation mode from construction until Close, the quit sequence or
// destruction switches it back to normal.
class CTestCutDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 147;
    enum ControlId
    {
        OkId = 1,
        CloseId = 2,
        FileListId = 1107,
        ViewId = 1108,
        StepId = 1109,
        StopId = 1110,
        RunId = 1111,
        StreamId = 1112,
        SystemListId = 1113,
        SpeedValueId = 1114,
        SpeedArrowsId = 1115,
        QuitCuttingId = 1116,
    };
    static constexpr int PollIntervalMs = 100;
    // The "Toolpath..." button, added below the template's controls.
    static constexpr const char* ToolpathName = "Toolpath";

    // Switches the machine to test-cut mode. The set (not owned) must outlive the dialog.
    CTestCutDlg(CPanelAccess& panel, CCutDataSet& set, QWidget* parent = nullptr);
    ~CTestCutDlg() override;

    // Opens the dialog; when a job is being cut it tells the user and ends at once with 0.
    int exec() override;

    // --- what the run modes use ---------------------------------------------------------------
    CModelingMachine& Machine() const { return m_machine; }
    QAbstractButton* Button(int id) const;
    // Mode buttons on and Stop off, or the other way round while a mode runs.
    void EnableModeButtons(bool enable);
    // The line sent last has been taken in completely and executed.
    bool IsLineFinished();
    // The line sent last has been taken in completely.
    bool IsLineTakenIn();
    // Sends the line under the cursor; false when there is no such line, the receive counter
    // cannot be read or the write fails (the line then counts as not sent).
    bool SendCursorLine();
    // The next line to go out: the cursor line when it has not been sent yet, else (the machine
    // has it) the line after it. False when the cursor wrapped to the start instead or the line
    // could not be sent.
    bool SendNextLine();
    // Moves the cursor one line on and shows it; false when it wrapped to the first line of the
    // first file.
    bool AdvanceAndShow();
    // The machine has taken in the line under the cursor: it is the line sent last and the
    // cursor has not moved since.
    bool IsCursorLineSent() const;

    // Places the cursor at a line of the file shown in the toolpath window together with the
    // lead-in that brings the machine into the state the lines before it leave, after the user
    // has seen and confirmed it; a line the program cannot start at is refused with the
    // reason, and the cursor stays. Nothing happens while a mode runs. True when placed.
    bool StartFromLine(int64_t line);
    // Lines of the lead-in that still go out before the cursor line.
    size_t PendingLeadInLines() const { return m_leadIn.size() - m_leadInNext; }

    // --- for the owner and the tests ----------------------------------------------------------
    CToolpathDlg* GetToolpathWindow() const;
    bool IsModeRunning() const { return m_mode != nullptr; }
    bool IsCommandErrorSeen() const { return m_errorSeen; }
    int GetLastModeButton() const { return m_lastModeButton; }
    uint32_t GetExpectedEnd() const { return m_expectedEnd; }
    bool IsPolling() const { return m_pollTimer != 0; }
    int GetPollTimerId() const { return m_pollTimer; }

    // Where the dialog goes so that it covers none of keepVisible (the panel's read-out): beside
    // the panel when the screen has room there, else beside the read-out inside the panel.
    static QPoint Placement(const QRect& available, const QRect& panelFrame,
                            const QRect& keepVisible, const QSize& frameSize);

public slots:
    void reject() override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void CreateControls();
    // False when a job is being cut, after the user has been told.
    bool OnInitDialog();
    void PlaceBesideReadout();
    void Poll();
    void OnModeButton(int id);
    void OnStop();
    void OnQuitCutting();
    void OnClose();
    void OnSystemSelected(int index);
    void OnSpeedStep(int delta);
    void QuitSequence();
    void ContinueSequence();
    // Shows the cursor's file (when it is not the one shown) and highlights the cursor line.
    void ShowCursor();
    // Moves the cursor out of empty files onto the first line of the next file with lines;
    // false when it wrapped past the last file on the way.
    bool SkipEmptyFiles();
    // The cursor to the first line of the first file that has lines, shown.
    void ResetCursor();
    void StopPollTimer();
    // The toolpath window of the cursor's file: opened by the button, then following the cursor
    // line and the tool; a click on a segment scrolls the text view to its line.
    void OnToolpath();
    void OpenToolpathFile();
    void FollowInToolpath();
    bool ReadReceiveCounter(uint32_t& counter);
    bool StatusValid() const { return m_status.IsValid(); }

    CPanelAccess& m_panel;
    CModelingMachine& m_machine;
    CCutDataSet& m_set;
    std::unique_ptr<CTestCutMode> m_mode;
    int m_pollTimer = 0;
    CommandStatus m_status;
    uint32_t m_expectedEnd = 0;
    int m_lastModeButton = -1;
    // The one record of what was sent: the line the machine took in last, as long as the cursor
    // stands on it. Every move of the cursor clears it, so a line is never sent twice and
    // never passed over unsent. A lead-in line is recorded with its index in the lead-in.
    struct SentLine
    {
        int file;
        int64_t line;
        size_t leadIn;
    };
    static constexpr size_t NoLeadIn = SIZE_MAX;
    std::optional<SentLine> m_sent;
    // The lead-in of a start from a chosen line: its lines go out one by one in front of the
    // cursor line, as if they stood before it; m_leadInNext is the one under the cursor. Any
    // move of the cursor drops what is left of it.
    std::vector<std::string> m_leadIn;
    size_t m_leadInNext = 0;
    bool IsLeadInPending() const { return m_leadInNext < m_leadIn.size(); }
    bool m_errorSeen = false;
    bool m_initialised = false;
    bool m_closing = false;
    int m_shownFile = -1;
    QPointer<CToolpathDlg> m_toolpath;
    int m_toolpathFile = -1;

    CIconListBox* m_fileList = nullptr;
    CTextViewCtrl* m_view = nullptr;
    QComboBox* m_systemList = nullptr;
    CColorLabel* m_speedValue = nullptr;
};
