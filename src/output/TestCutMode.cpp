#include "TestCutMode.h"

#include "ModelingMachine.h"
#include "TestCutDlg.h"

#include <QAbstractButton>
#include <QApplication>

namespace {
// The run and stream modes go on with the next line, unless the cursor wrapped to the start
// (the set has been run through) or the line cannot be sent. When Stop or a command error has
// moved the cursor past the line in progress, the cursor line has not gone out yet: it is the
// next line, or it would be skipped.
bool SendNextLine(CTestCutDlg& dialog)
{
    if (!dialog.IsCursorLineSent())
        return dialog.SendCursorLine();
    return dialog.AdvanceAndShow() && dialog.SendCursorLine();
}
} // namespace

CTestCutMode::CTestCutMode(CTestCutDlg& dialog, int buttonId)
    : m_dialog(dialog), m_buttonId(buttonId), m_focus(QApplication::focusWidget())
{
    m_dialog.Button(buttonId)->setChecked(true);
    m_dialog.EnableModeButtons(false);
}

CTestCutMode::~CTestCutMode()
{
    m_dialog.EnableModeButtons(true);
    if (m_focus)
        m_focus->setFocus();
}

bool CTestCutMode::Start()
{
    if (!m_dialog.IsLineFinished())
        return true;
    return m_dialog.SendCursorLine();
}

void CTestCutMode::UncheckButton()
{
    m_dialog.Button(m_buttonId)->setChecked(false);
}

// --- step ----------------------------------------------------------------------------------

CStepMode::CStepMode(CTestCutDlg& dialog) : CTestCutMode(dialog, CTestCutDlg::StepId) {}

CStepMode::~CStepMode()
{
    UncheckButton();
}

bool CStepMode::Stop()
{
    return false;
}

bool CStepMode::Tick()
{
    if (!m_dialog.IsLineFinished())
        return true;
    // A press while another line still ran sent nothing yet: each press sends one line.
    if (!m_dialog.IsCursorLineSent())
        return m_dialog.SendCursorLine();
    m_dialog.AdvanceAndShow();
    return false;
}

// --- run -----------------------------------------------------------------------------------

CRunMode::CRunMode(CTestCutDlg& dialog) : CTestCutMode(dialog, CTestCutDlg::RunId) {}

CRunMode::~CRunMode()
{
    UncheckButton();
}

bool CRunMode::Stop()
{
    m_dialog.AdvanceAndShow();
    return false;
}

bool CRunMode::Tick()
{
    if (!m_dialog.IsLineFinished())
        return true;
    return SendNextLine(m_dialog);
}

// --- stream --------------------------------------------------------------------------------

CStreamMode::CStreamMode(CTestCutDlg& dialog) : CTestCutMode(dialog, CTestCutDlg::StreamId)
{
    m_dialog.Machine().SetTestCutOption(1);
}

CStreamMode::~CStreamMode()
{
    UncheckButton();
    m_dialog.Machine().SetTestCutOption(0);
}

bool CStreamMode::Stop()
{
    if (m_dialog.IsLineFinished())
        return false;
    m_stopping = true;
    m_dialog.Button(CTestCutDlg::StopId)->setEnabled(false);
    return true;
}

bool CStreamMode::Tick()
{
    if (m_stopping)
        return !m_dialog.IsLineFinished();
    if (!m_dialog.IsLineTakenIn())
        return true;
    return SendNextLine(m_dialog);
}
