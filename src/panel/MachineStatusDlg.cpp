#include "MachineStatusDlg.h"

#include "ModelingMachine.h"

#include <QApplication>
#include <QShowEvent>

namespace {

QString& ApplicationTitleStorage()
{
    static QString title;
    return title;
}

} // namespace

QString FormatDialogTitle(const QString& applicationName, const QString& text)
{
    if (text.isEmpty())
        return applicationName;
    return QStringLiteral("%1 [%2]").arg(applicationName, text);
}

CMachineStatusDlg::CMachineStatusDlg(CModelingMachine* machine, int templateId, QWidget* parent)
    : QDialog(parent), m_machine(machine), m_templateId(templateId), m_state(machine, *this)
{
}

CMachineStatusDlg::~CMachineStatusDlg() = default;

// --- window ---------------------------------------------------------------------------------

void CMachineStatusDlg::SetApplicationTitle(const QString& title)
{
    ApplicationTitleStorage() = title;
}

QString CMachineStatusDlg::GetApplicationTitle()
{
    const QString& title = ApplicationTitleStorage();
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

void CMachineStatusDlg::SetTitle(const QString& text)
{
    setWindowTitle(FormatDialogTitle(GetApplicationTitle(), text));
}

void CMachineStatusDlg::showEvent(QShowEvent* event)
{
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

bool CMachineStatusDlg::OnInitDialog()
{
    m_initialised = true;
    m_state.Start();
    SetTitle(QString());
    return true;
}

// --- loss and return of the machine ---------------------------------------------------------

QWidget* CMachineStatusDlg::WindowToClose()
{
    // The window the user is held in: the top of the modal stack, else the active window. When
    // neither is known (the program is not in front), the panel itself, so that closing does not
    // wait for the user to come back to the program.
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return isVisible() ? window() : nullptr;
}

bool CMachineStatusDlg::OnPollTick()
{
    if (m_state.IsQuitting() || m_state.IsReconnected()) {
        QWidget* target = WindowToClose();
        if (target == window()) {
            m_state.ClearReconnected();
            if (!m_state.IsQuitting())
                return false;
        }
        // One window per tick: the close takes effect once the running handler has returned.
        if (target)
            QMetaObject::invokeMethod(target, "close", Qt::QueuedConnection);
    }
    return true;
}

// --- hook defaults --------------------------------------------------------------------------

int CMachineStatusDlg::AskReconnect()
{
    return AnswerRetry;
}

void CMachineStatusDlg::OnMachineLost() {}
void CMachineStatusDlg::OnMachineConnected() {}
void CMachineStatusDlg::OnPositionChanged(const AxisTriple&) {}
void CMachineStatusDlg::OnSpindleChanged(int32_t) {}
void CMachineStatusDlg::OnStatusByte28Changed(uint8_t) {}
void CMachineStatusDlg::OnOverrideChanged(uint8_t, bool) {}
void CMachineStatusDlg::OnStatusByte27Changed(uint8_t) {}
void CMachineStatusDlg::OnStatusChanged(uint32_t, uint32_t) {}
void CMachineStatusDlg::OnStatus2Changed(uint32_t, uint32_t) {}
