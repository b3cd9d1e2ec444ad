#pragma once

#include "SleepInhibitor.h"

#include <QPointer>

class CTestCutDlg;
class QWidget;

// One run mode of the test cut. Creating a mode disables the three mode buttons, enables Stop
// and remembers the widget that had the focus; destroying it first runs the mode's own exit
// action (the derived destructor), then enables the mode buttons again, disables Stop and
// gives the focus back. Every operation answers whether the mode goes on; the dialog destroys
// a mode that answered false.
class CTestCutMode
{
public:
    explicit CTestCutMode(CTestCutDlg& dialog, int buttonId);
    virtual ~CTestCutMode();
    CTestCutMode(const CTestCutMode&) = delete;
    CTestCutMode& operator=(const CTestCutMode&) = delete;

    // The user pressed Stop, or the dialog closes.
    virtual bool Stop() = 0;
    // One poll of the dialog.
    virtual bool Tick() = 0;
    // Right after creation: nothing is sent while the machine still works on the line sent
    // last; the next Tick then sees it finished.
    virtual bool Start();

protected:
    // The exit action every mode shares: its own button is released.
    void UncheckButton();

    CTestCutDlg& m_dialog;

private:
    int m_buttonId;
    QPointer<QWidget> m_focus;
    // The computer stays awake while a mode runs lines on the machine.
    CSleepInhibitGuard m_awake;
};

// One line per press: sends the cursor line and, once it has finished, moves the cursor on.
class CStepMode : public CTestCutMode
{
public:
    explicit CStepMode(CTestCutDlg& dialog);
    ~CStepMode() override;

    bool Stop() override;
    bool Tick() override;
    bool Start() override;

private:
    // This press has sent its line; once it has finished the cursor moves on.
    bool m_sentOwnLine = false;
};

// Line after line, each finished before the next is sent, until the end of the last file.
class CRunMode : public CTestCutMode
{
public:
    explicit CRunMode(CTestCutDlg& dialog);
    ~CRunMode() override;

    bool Stop() override;
    bool Tick() override;
};

// Line after line as fast as the machine takes them in: the machine's test-cut option lets it
// take the next line while the previous one still runs. Stop waits for the line in progress.
class CStreamMode : public CTestCutMode
{
public:
    explicit CStreamMode(CTestCutDlg& dialog);
    ~CStreamMode() override;

    bool Stop() override;
    bool Tick() override;

private:
    bool m_stopping = false;
};
