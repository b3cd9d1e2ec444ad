#include "ConfirmPage.h"

#include "ClearSettingsDlg.h"
#include "DataExchange.h"
#include "MachineState.h"
#include "ModelingMachine.h"
#include "PanelAccess.h"
#include "PanelMessageBox.h"
#include "StringIds.h"
#include "StringTable.h"
#include "SystemReportDlg.h"
#include "TextFormat.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimerEvent>

#include <chrono>

namespace {

// Captions of the template's labels.
constexpr int SettingsCaption = -1;
constexpr int MotorLoadCaption = -2;
constexpr int IdlingCaption = -3;
constexpr int BacklashCaption = -4;
constexpr int MicrometreCaption = -5;
constexpr int BacklashEdit = 1150;
constexpr int BacklashApply = 1151;

// The motor-load test's parameters, as the machine expects them.
constexpr int16_t LoadTestFirst = 90;
constexpr int16_t LoadTestSecond = -1;
constexpr int32_t LoadTestTravel = 2000;
constexpr int16_t DefaultSpeed = -1;
constexpr int ReturnPollMs = 200;

CConfirmPage::TimeSource& TimeSourceSlot()
{
    static CConfirmPage::TimeSource source;
    return source;
}

} // namespace

void CConfirmPage::SetTimeSource(TimeSource source)
{
    TimeSourceSlot() = std::move(source);
}

QDateTime CConfirmPage::Now()
{
    const TimeSource& source = TimeSourceSlot();
    return source ? source() : QDateTime::currentDateTime();
}

CConfirmPage::CConfirmPage() : CPropertyPage(TemplateId), m_axes(new QButtonGroup(this))
{
    auto* grid = new QGridLayout(this);
    grid->addWidget(AddLabel(SettingsCaption), 0, 0);
    QAbstractButton* display = AddPushButton(Display);
    QAbstractButton* clear = AddPushButton(Clear);
    grid->addWidget(display, 0, 1);
    grid->addWidget(clear, 0, 2);

    grid->addWidget(AddLabel(MotorLoadCaption), 1, 0);
    auto* axes = new QHBoxLayout;
    for (int axis = 0; axis < 3; ++axis)
        axes->addWidget(AddRadio(m_axes, AxisX + axis, axis));
    grid->addLayout(axes, 1, 1, 1, 2);
    QAbstractButton* loadStart = AddPushButton(MotorLoadStart);
    QAbstractButton* loadStop = AddPushButton(MotorLoadStop);
    grid->addWidget(loadStart, 2, 1);
    grid->addWidget(loadStop, 2, 2);

    grid->addWidget(AddLabel(IdlingCaption), 3, 0);
    QAbstractButton* idleStart = AddPushButton(IdlingStart);
    QAbstractButton* idleStop = AddPushButton(IdlingStop);
    grid->addWidget(idleStart, 3, 1);
    grid->addWidget(idleStop, 3, 2);

    // The template's backlash row has no behaviour; it exists hidden, as in the template.
    for (QWidget* hidden :
         std::initializer_list<QWidget*>{AddLabel(BacklashCaption), AddEdit(BacklashEdit),
                                         AddLabel(MicrometreCaption), AddPushButton(BacklashApply)})
        hidden->hide();
    grid->setRowStretch(4, 1);

    connect(m_axes, &QButtonGroup::idClicked, this, [this](int axis) { m_loadAxis = axis; });
    connect(display, &QAbstractButton::clicked, this, [this] { OnDisplay(); });
    connect(clear, &QAbstractButton::clicked, this, [this] { OnClear(); });
    connect(loadStart, &QAbstractButton::clicked, this, [this] { OnMotorLoadStart(); });
    connect(loadStop, &QAbstractButton::clicked, this, [this] { OnMotorLoadStop(); });
    connect(idleStart, &QAbstractButton::clicked, this, [this] { OnIdlingStart(); });
    connect(idleStop, &QAbstractButton::clicked, this, [this] { OnIdlingStop(); });
}

CConfirmPage::~CConfirmPage()
{
    KillIdleTimer();
    // Whatever happened on the page, the machine leaves it in its normal mode.
    if (m_machine)
        m_machine->SetOperationMode(OperationMode::Normal);
}

bool CConfirmPage::SetPanel(CPanelAccess* panel)
{
    m_panel = panel;
    m_machine = panel->GetMachine();
    return true;
}

bool CConfirmPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    m_idling = false;
    m_motorLoadRunning = false;
    m_loadAxis = 0;
    CDataExchange dx(this, false);
    ExchangeRadio(dx, m_axes, m_loadAxis);
    return true;
}

bool CConfirmPage::OnKillActive()
{
    StopAll();
    return CPropertyPage::OnKillActive();
}

bool CConfirmPage::OnQueryCancel()
{
    StopAll();
    return true;
}

void CConfirmPage::StopAll()
{
    if (m_motorLoadRunning || m_idling) {
        StopRunning();
        KillIdleTimer();
    }
}

void CConfirmPage::StopRunning()
{
    m_machine->StopOperation();
    m_idling = false;
    m_motorLoadRunning = false;
}

void CConfirmPage::KillIdleTimer()
{
    if (m_idleTimer) {
        killTimer(m_idleTimer);
        m_idleTimer = 0;
    }
}

bool CConfirmPage::IsBusy() const
{
    return m_panel->GetStatus().stateWord & StateBit::Moving;
}

void CConfirmPage::ClearErrorLatch()
{
    m_panel->ClearErrorLatch();
    m_machine->ClearErrorFlag();
}

void CConfirmPage::ShowResult(int stringId, uint32_t style)
{
    CPanelMessageBox box(LoadString(stringId), style, this);
    box.SetCaption(BoxResult::Ok, LoadString(Str::Ok));
    box.exec();
}

// --- settings report and clear settings ------------------------------------------------------

void CConfirmPage::OnDisplay()
{
    if (m_motorLoadRunning || m_idling)
        return;
    QByteArray report;
    if (!m_machine->GetSystemReport(
            [&report](const char* data, int length) { report.append(data, length); }))
        return;
    // The machine ends its text with a NUL; the lines below continue in its place.
    if (!report.isEmpty() && report.back() == '\0')
        report.chop(1);
    report += "-----\r\n";
    report += (LoadString(Str::ReportedAt) + Now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                  .toLocal8Bit();
    CSystemReportDlg dialog(report, this);
    dialog.exec();
}

void CConfirmPage::OnClear()
{
    if (m_motorLoadRunning || m_idling)
        return;
    const QString model = LoadString(Str::ModelName);
    CPanelMessageBox question(
        FormatTemplate(LoadString(Str::ClearSettingsQuestion), {model, model}),
        BoxStyle::ExclamationOkCancel, this);
    if (question.exec() != BoxResult::Ok)
        return;
    m_machine->ClearSettings();
    CClearSettingsDlg wait(m_machine, this);
    wait.exec();
    // The machine switches itself off; the panel notices the lost device.
    m_machine->PowerOff(0);
}

// --- motor-load test -------------------------------------------------------------------------

void CConfirmPage::OnMotorLoadStart()
{
    if (IsBusy() || m_motorLoadRunning || m_idling)
        return;
    m_motorLoadRunning = true;
    AxisTriple low{0, 0, 0};
    AxisTriple high{0, 0, 0};
    m_machine->GetMoveRange(low, high);
    AxisTriple target = m_panel->GetStatus().position;
    m_machine->SetOperationMode(OperationMode::MotorLoadTest);

    // X and Y start at their highest end and test downwards, Z at its lowest and tests upwards.
    const auto axis = static_cast<size_t>(m_loadAxis);
    const bool upwards = axis == 2;
    target[axis] = upwards ? low[axis] : high[axis];
    m_machine->MoveTo(DefaultSpeed, target);
    m_panel->WaitWhileMoving();
    if (m_motorLoadRunning) {
        ClearErrorLatch();
        const int32_t travel = upwards ? LoadTestTravel : -LoadTestTravel;
        switch (axis) {
        case 0:
            m_machine->TestMotorLoadX(LoadTestFirst, LoadTestSecond, travel);
            break;
        case 1:
            m_machine->TestMotorLoadY(LoadTestFirst, LoadTestSecond, travel);
            break;
        default:
            m_machine->TestMotorLoadZ(LoadTestFirst, LoadTestSecond, travel);
            break;
        }
    }
    if (m_motorLoadRunning) {
        m_panel->WaitWhileMoving();
        if (m_motorLoadRunning) {
            const bool failed = m_panel->GetErrorLatch();
            if (failed)
                ClearErrorLatch();
            ShowResult(failed ? Str::OperationFailed : Str::OperationSucceeded, BoxStyle::Ok);
            m_motorLoadRunning = false;
        }
    }

    // Also after a stop: back inside the area where X and Y are not negative and Z not above 0.
    AxisTriple back = m_panel->GetStatus().position;
    back[0] = std::max(back[0], 0);
    back[1] = std::max(back[1], 0);
    back[2] = std::min(back[2], 0);
    m_machine->MoveTo(DefaultSpeed, back);
    m_panel->WaitWhileMoving();
    m_machine->SetOperationMode(OperationMode::Normal);
}

void CConfirmPage::OnMotorLoadStop()
{
    if (m_motorLoadRunning)
        StopRunning();
}

// --- idling ----------------------------------------------------------------------------------

void CConfirmPage::OnIdlingStart()
{
    if (IsBusy() || m_idling)
        return;
    m_idling = true;
    m_machine->StartIdling(0);
    if (!m_idleTimer) {
        m_idleTimer = startTimer(IdleTickMs);
        m_idleStart = Now().toSecsSinceEpoch();
    }
}

void CConfirmPage::OnIdlingStop()
{
    if (m_idling) {
        StopRunning();
        KillIdleTimer();
    }
}

void CConfirmPage::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_idleTimer)
        OnIdleTick();
    CPropertyPage::timerEvent(event);
}

void CConfirmPage::OnIdleTick()
{
    if (!m_idling || Now().toSecsSinceEpoch() - m_idleStart < IdleLimitSeconds)
        return;
    StopRunning();
    KillIdleTimer();
    if (ReturnToXYOrigin())
        ShowResult(Str::IdlingCompleted, BoxStyle::InformationOk);
    else
        ShowResult(Str::IdlingEndedWithoutReturn, BoxStyle::ExclamationOk);
}

bool CConfirmPage::ReturnToXYOrigin()
{
    CommandStatus status = m_machine->GetCommandStatus();
    if (!status.IsValid() || (status.word0 & StateBit::CommandErrorPending))
        return true;
    // Once the machine has finished what it executes, the table goes back to the XY origin.
    // A machine that stays busy is given up on after a while rather than freezing the window.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(ReturnWaitLimitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        CMachineState::SpinWait(ReturnPollMs);
        status = m_machine->GetCommandStatus();
        if (!status.IsValid())
            return true;
        if (!(status.word1 & CommandStatus::Executing)) {
            m_machine->MoveToOrigin(CoordSystem::Machine, AxisMask::XY, DefaultSpeed);
            m_panel->WaitWhileMoving();
            return true;
        }
    }
    return false;
}
