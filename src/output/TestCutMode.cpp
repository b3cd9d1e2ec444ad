#include "TestCutMode.h"

#include "ModelingMachine.h"
#include "TestCutDlg.h"

#include <QAbstractButton>
#include <QApplication>

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
    return m_dialog.SendNextLine();
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

bool CStepMode::Start()
{
    if (!m_dialog.IsLineFinished())
        return true;
    m_sentOwnLine = m_dialog.SendNextLine();
    return m_sentOwnLine;
}

bool CStepMode::Tick()
{
    if (!m_dialog.IsLineFinished())
        return true;
    // A press while another line still ran sent nothing yet: each press sends one line.
    if (!m_sentOwnLine) {
        m_sentOwnLine = m_dialog.SendNextLine();
        return m_sentOwnLine;
    }
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
    // The cursor moves past the line in progress; a line that has not gone out yet stays.
    if (m_dialog.IsCursorLineSent())
        m_dialog.AdvanceAndShow();
    return false;
}

bool CRunMode::Tick()
{
    if (!m_dialog.IsLineFinished())
        return true;
    return m_dialog.SendNextLine();
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
    return m_dialog.SendNextLine();
}
