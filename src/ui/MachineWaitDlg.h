#pragma once

#include <QDialog>
#include <QSize>

class CModelingMachine;
class QLabel;
class QPushButton;

// Common frame of the self-closing wait dialogs: a message in static 1051 under the
// application's name, hidden buttons, and a 500 ms timer that asks the machine whether the
// wait is over. The dialogs differ in their message, their close condition and their keys.
class CMachineWaitDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MessageId = 1051;
    static constexpr int TimerPeriodMs = 500;

    // The message read from the string table; the window keeps the template's size unless
    // resizeToMessage is set.
    CMachineWaitDlg(CModelingMachine* machine, QWidget* parent, int messageStringId,
                    bool resizeToMessage, bool hasOkButton);
    ~CMachineWaitDlg() override;

    // Results as the platform's dialogs give them: 0 when the machine ended the wait, 2
    // (cancel) when the user did.
    static constexpr int CancelResult = 2;

    int exec() override;
    void done(int result) override;

    bool IsTimerRunning() const { return m_timer != 0; }

    // The dialog's size after the message of textSize went into a static of staticSize.
    static QSize SizeForMessage(QSize dialogSize, QSize staticSize, QSize textSize);
    // Template geometry shared by the three dialogs.
    static QSize TemplateSize() { return {240, 64}; }
    static QRect TemplateMessageRect() { return {20, 24, 200, 16}; }

public slots:
    void reject() override;

protected:
    // One timer tick: read the machine and close when the wait is over.
    virtual void OnTick() = 0;
    // Enter never ends a wait (it would give an "OK" no caller expects); Escape cancels only
    // where the dialog allows it.
    virtual bool EscapeCancels() const { return false; }
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void KillTimer();

    CModelingMachine* m_machine;

private:
    void OnInitDialog();

    int m_timer = 0;
    int m_messageStringId;
    bool m_resizeToMessage;
    bool m_initialised = false;
    QLabel* m_message;
};
