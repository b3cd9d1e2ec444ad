#include "ControlPanelDlg.h"

#include "AlarmText.h"
#include "CancelingDataDlg.h"
#include "ColorLabel.h"
#include "CoordinateLists.h"
#include "JogStep.h"
#include "ModelingMachine.h"
#include "PanelMessageBox.h"
#include "PanelSettings.h"
#include "PositionFormat.h"
#include "ResourceImages.h"
#include "SleepInhibitor.h"
#include "StringIds.h"
#include "StringTable.h"
#include "UpDownArrows.h"
#include "WaitSetupDlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QRadioButton>
#include <QShortcut>

#include <algorithm>
#include <array>
#include <span>
#include <utility>

namespace {

using namespace PanelId;

// A rectangle given as left, top, right, bottom (right and bottom exclusive).
constexpr QRect Ltrb(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

constexpr int InitialRepeatInterval = 100;

constexpr int SkinWidth = 2 * CControlPanelDlg::ClientSize.width();

QFont PanelFont(const QString& family, int points)
{
    QFont font(family);
    font.setPointSize(points);
    return font;
}

} // namespace

// One control of the face: its id, its rectangle, what it is, the state groups that enable it,
// how a button tells its presses, and what a button does.
struct CControlPanelDlg::ControlRow
{
    // What the control is; the three buttons first, by the picture of their face.
    enum Kind
    {
        RoundButton,
        SwitchButton,
        KeyButton,
        Value,
        Static,
        StepRadio,
        SpeedRadio,
        ShownList,
        OriginList,
        Arrows,
    };
    // A button that acts on release tells both the press and the release; Pause stays down
    // until it is pressed again.
    enum Flags : unsigned
    {
        Plain = 0,
        ActsOnRelease = 1,
        Latches = 2,
    };
    using Handler = void (*)(CControlPanelDlg& panel, int id);

    int id;
    QRect rect;
    Kind kind;
    unsigned groups = PanelGroup::None;
    unsigned flags = Plain;
    Handler handler = nullptr;

    bool IsButton() const { return kind <= KeyButton; }
};

CControlPanelDlg::CControlPanelDlg(CModelingMachine* machine, QWidget* parent)
    : CMachineStatusDlg(machine, TemplateId, parent), m_jog(State(), *this),
      m_operations(State(), *this, m_jog)
{
    // The template: its font for every control, and every control at its place, before the
    // settings are known.
    setFont(
        PanelFont(IsJapaneseUi() ? QStringLiteral("MS UI Gothic") : QStringLiteral("Arial"), 8));
    setFixedSize(ClientSize);
    CreateControls();
    LoadSettings();
}

CControlPanelDlg::~CControlPanelDlg()
{
    RemoveDeviceChangeTarget();
    if (CSleepInhibitor* inhibitor = CSleepInhibitor::Instance())
        inhibitor->Release(this);
}

// --- the face -------------------------------------------------------------------------------

CJogButton* CControlPanelDlg::AddButton(const ControlRow& row)
{
    static constexpr JogFaceKind Faces[] = {JogFaceKind::Round, JogFaceKind::Switch,
                                            JogFaceKind::Key};
    auto* button = new CJogButton(row.id, this);
    button->setGeometry(row.rect);
    button->SetText(LoadCaption(TemplateId, row.id));
    connect(button, &CJogButton::Command, this, &CControlPanelDlg::OnButtonCommand);
    if (row.flags & ControlRow::ActsOnRelease)
        button->SetNotifyFlags(CJogButton::NotifyOnPress | CJogButton::NotifyOnRelease);
    if (row.flags & ControlRow::Latches)
        button->SetLatchMode(true);
    m_controls[row.id] = button;
    m_faceButtons.emplace_back(button, Faces[row.kind]);
    return button;
}

QComboBox* CControlPanelDlg::AddList(int id, const QRect& rect)
{
    auto* list = new QComboBox(this);
    list->setObjectName(QString::number(id));
    list->setGeometry(rect);
    m_controls[id] = list;
    return list;
}

CColorLabel* CControlPanelDlg::AddValue(int id, const QRect& rect)
{
    auto* label = new CColorLabel(this, QString(), LabelStyle::Right | LabelStyle::CenterImage);
    label->setObjectName(QString::number(id));
    label->setGeometry(rect);
    m_controls[id] = label;
    return label;
}

QLabel* CControlPanelDlg::AddStatic(int id, const QRect& rect)
{
    auto* label = new QLabel(LoadCaption(TemplateId, id), this);
    label->setObjectName(QString::number(id));
    label->setGeometry(rect);
    label->setTextFormat(Qt::PlainText);
    m_controls[id] = label;
    return label;
}

QRadioButton* CControlPanelDlg::AddRadio(QButtonGroup* group, int id, const QRect& rect)
{
    auto* radio = new QRadioButton(LoadCaption(TemplateId, id), this);
    radio->setObjectName(QString::number(id));
    radio->setGeometry(rect);
    group->addButton(radio, id);
    m_controls[id] = radio;
    return radio;
}

std::span<const CControlPanelDlg::ControlRow> CControlPanelDlg::Controls()
{
    using R = ControlRow;
    using namespace PanelGroup;
    constexpr unsigned Release = R::ActsOnRelease;
    constexpr R::Handler Jog = [](CControlPanelDlg& p, int id) { p.m_jog.OnJogKey(id); };
    // In the order they are created, which is also the order the focus moves in.
    static constexpr ControlRow rows[] = {
        // Position display and coordinate systems.
        {ShownSystemList, Ltrb(16, 73, 191, 91), R::ShownList},
        {ValueX, Ltrb(37, 107, 134, 131), R::Value, Values},
        {ValueY, Ltrb(37, 138, 134, 162), R::Value, Values},
        {ValueZ, Ltrb(37, 167, 134, 191), R::Value, Values},
        {UnitX, Ltrb(134, 119, 165, 139), R::Static},
        {UnitY, Ltrb(134, 150, 165, 170), R::Static},
        {UnitZ, Ltrb(134, 179, 165, 199), R::Static},
        {CommandSetLabel, Ltrb(510, 20, 680, 43), R::Value, Values},
        {SetOriginLabel, Ltrb(452, 67, 572, 82), R::Static},
        {OriginSystemList, Ltrb(452, 82, 642, 97), R::OriginList},
        // Spindle.
        {SpindleLabel, Ltrb(39, 204, 191, 218), R::Static},
        {SpindleValue, Ltrb(37, 218, 133, 241), R::Value, Values},
        {SpindleUnit, Ltrb(134, 228, 165, 248), R::Static},
        {SpindleOn, Ltrb(40, 244, 85, 274), R::SwitchButton, Operation, Release,
         [](CControlPanelDlg& p, int) { p.m_operations.OnSpindleOn(); }},
        {SpindleOff, Ltrb(86, 244, 131, 274), R::SwitchButton, Operation, Release,
         [](CControlPanelDlg& p, int) { p.m_operations.OnSpindleOff(); }},
        // Keypad, step, move and origin buttons.
        {KeyYUpper, Ltrb(244, 85, 283, 123), R::KeyButton, Operation, R::Plain, Jog},
        {KeyYLower, Ltrb(244, 173, 283, 213), R::KeyButton, Operation, R::Plain, Jog},
        {KeyXMinus, Ltrb(200, 129, 239, 169), R::KeyButton, Operation, R::Plain, Jog},
        {KeyXPlus, Ltrb(288, 129, 327, 169), R::KeyButton, Operation, R::Plain, Jog},
        {KeyZPlus, Ltrb(355, 85, 394, 125), R::KeyButton, Operation, R::Plain, Jog},
        {KeyZMinus, Ltrb(355, 173, 394, 213), R::KeyButton, Operation, R::Plain, Jog},
        {CursorStepLabel, Ltrb(205, 230, 305, 245), R::Static},
        {StepContinue, Ltrb(196, 250, 262, 265), R::StepRadio},
        {StepX100, Ltrb(262, 250, 317, 265), R::StepRadio},
        {StepX10, Ltrb(317, 250, 364, 265), R::StepRadio},
        {StepX1, Ltrb(364, 250, 398, 265), R::StepRadio},
        {MoveLabel, Ltrb(205, 281, 235, 296), R::Static},
        {OriginLabel, Ltrb(285, 287, 330, 302), R::Static},
        {MoveView, Ltrb(206, 300, 245, 340), R::KeyButton, Operation, Release,
         [](CControlPanelDlg& p, int) { p.m_operations.OnMoveView(); }},
        {MoveXY, Ltrb(258, 300, 297, 340), R::KeyButton, Operation, Release,
         [](CControlPanelDlg& p, int) { p.m_operations.OnMoveXY(); }},
        {MoveZ, Ltrb(297, 300, 336, 340), R::KeyButton, Operation, Release,
         [](CControlPanelDlg& p, int) { p.m_operations.OnMoveZ(); }},
        {PanelId::Stop, Ltrb(350, 300, 389, 340), R::KeyButton, PanelGroup::Stop, Release,
         [](CControlPanelDlg& p, int) { p.m_operations.OnStop(); }},
        {SetOriginXY, Ltrb(548, 107, 587, 147), R::KeyButton, Operation, Release,
         [](CControlPanelDlg& p, int) { p.m_operations.OnSetOriginXY(); }},
        {SetOriginZ, Ltrb(587, 107, 626, 147), R::KeyButton, Operation, Release,
         [](CControlPanelDlg& p, int) { p.m_operations.OnSetOriginZ(); }},
        // Cutting speed and the job.
        {CutLabel, Ltrb(442, 165, 482, 180), R::Static},
        {CuttingSpeedLabel, Ltrb(460, 185, 612, 199), R::Static},
        {SpeedAuto, Ltrb(465, 200, 535, 215), R::SpeedRadio, SpeedRadios},
        {SpeedManual, Ltrb(465, 215, 535, 230), R::SpeedRadio, SpeedRadios},
        {OverrideValue, Ltrb(489, 247, 558, 270), R::Value, Values},
        {OverrideArrows, Ltrb(557, 248, 577, 270), R::Arrows},
        {PercentLabel, Ltrb(578, 256, 591, 271), R::Static},
        {CancelJob, Ltrb(606, 170, 652, 216), R::RoundButton, PanelGroup::Cancel, Release,
         [](CControlPanelDlg& p, int) { p.m_operations.OnCancelJob(); }},
        // Pause belongs to the operation group and to its own, which has the last word.
        {PanelId::Pause, Ltrb(606, 230, 652, 276), R::RoundButton, Operation | PanelGroup::Pause,
         Release | R::Latches, [](CControlPanelDlg& p, int) { p.m_operations.OnPause(); }},
        {Setup, Ltrb(536, 300, 582, 346), R::RoundButton, Operation, Release,
         [](CControlPanelDlg& p, int) { p.OnSetup(); }},
        {PanelId::Cut, Ltrb(606, 300, 652, 346), R::RoundButton, Operation, Release,
         [](CControlPanelDlg& p, int) { p.OnCut(); }},
    };
    return rows;
}

void CControlPanelDlg::CreateControls()
{
    using R = ControlRow;
    m_stepGroup = new QButtonGroup(this);
    connect(m_stepGroup, &QButtonGroup::idClicked, this,
            [this](int id) { OnStepRadio(id - StepContinue); });
    m_speedGroup = new QButtonGroup(this);
    connect(m_speedGroup, &QButtonGroup::idClicked, this, [this](int id) {
        if (id == SpeedAuto)
            OnSpeedAuto();
        else
            OnSpeedManual();
    });

    for (const ControlRow& row : Controls()) {
        switch (row.kind) {
        case R::RoundButton:
        case R::SwitchButton:
        case R::KeyButton:
            AddButton(row);
            break;
        case R::Value:
            AddValue(row.id, row.rect);
            break;
        case R::Static:
            AddStatic(row.id, row.rect);
            break;
        case R::StepRadio:
            AddRadio(m_stepGroup, row.id, row.rect);
            break;
        case R::SpeedRadio:
            AddRadio(m_speedGroup, row.id, row.rect);
            break;
        case R::ShownList:
            m_shownList = AddList(row.id, row.rect);
            connect(m_shownList, &QComboBox::activated, this,
                    &CControlPanelDlg::OnShownSystemConfirmed);
            break;
        case R::OriginList:
            m_originList = AddList(row.id, row.rect);
            connect(m_originList, &QComboBox::activated, this,
                    &CControlPanelDlg::OnOriginSystemConfirmed);
            break;
        case R::Arrows:
            m_overrideArrows = new CUpDownArrows(this);
            m_overrideArrows->setObjectName(QString::number(row.id));
            m_overrideArrows->setGeometry(row.rect);
            m_controls[row.id] = m_overrideArrows;
            connect(m_overrideArrows, &CUpDownArrows::PositionChanging, this,
                    [this](int delta) { m_operations.OnOverrideStep(delta); });
            break;
        }
    }
    static_cast<CColorLabel*>(GetControl(CommandSetLabel))
        ->SetStyle(LabelStyle::Center | LabelStyle::CenterImage);
}

QWidget* CControlPanelDlg::GetControl(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

CJogButton* CControlPanelDlg::GetButton(int id) const
{
    return qobject_cast<CJogButton*>(GetControl(id));
}

void CControlPanelDlg::LoadSkin()
{
    m_skin = QPixmap::fromImage(LoadBitmapResource(SkinBitmapId));
    if (m_skin.isNull()) {
        // Without its picture the panel still works, on a plain face.
        m_skin = QPixmap(SkinWidth, ClientSize.height());
        m_skin.fill(QColor(72, 72, 72));
    }
}

void CControlPanelDlg::AttachFaces()
{
    LoadSkin();
    for (const auto& [button, kind] : m_faceButtons)
        button->SetFace(button->geometry(), &m_skin, JogHitRegion(kind));
}

void CControlPanelDlg::SetFontsAndColours()
{
    const QString arial = QStringLiteral("Arial");
    const QFont valueFont = PanelFont(arial, 14);
    for (int id : {ValueX, ValueY, ValueZ, SpindleValue, OverrideValue}) {
        auto* value = static_cast<CColorLabel*>(GetControl(id));
        value->setFont(valueFont);
        value->SetTextColor(ValueColour(), false);
        value->SetBackBrush(QBrush(Qt::transparent), true);
    }
    auto* commandSet = static_cast<CColorLabel*>(GetControl(CommandSetLabel));
    commandSet->setFont(PanelFont(arial, 9));
    commandSet->SetTextColor(ValueColour(), false);
    commandSet->SetBackBrush(QBrush(Qt::transparent), true);
    GetControl(PercentLabel)->setFont(PanelFont(arial, 9));
    GetButton(Pause)->setFont(
        PanelFont(IsJapaneseUi() ? QStringLiteral("MS UI Gothic") : arial, 8));

    // The face is dark, so the plain captions and the radio texts are drawn light; disabled
    // radios keep a dimmer grey so that their state still shows.
    QPalette light = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        light.setColor(group, QPalette::WindowText, CaptionColour());
        light.setColor(group, QPalette::ButtonText, CaptionColour());
    }
    light.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 124, 130));
    light.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 124, 130));
    for (int id : {UnitX, UnitY, UnitZ, SpindleLabel, SpindleUnit, CursorStepLabel, MoveLabel,
                   OriginLabel, CutLabel, CuttingSpeedLabel, PercentLabel, StepContinue, StepX100,
                   StepX10, StepX1, SpeedAuto, SpeedManual})
        GetControl(id)->setPalette(light);

    QPalette white = GetControl(SetOriginLabel)->palette();
    white.setColor(QPalette::WindowText, ValueColour());
    GetControl(SetOriginLabel)->setPalette(white);
    GetButton(Setup)->SetTextColor(ValueColour());
    GetButton(PanelId::Cut)->SetTextColor(ValueColour());
}

void CControlPanelDlg::PaintRadioBackgrounds()
{
    // Each radio group stands on a plain area of the face; its colour is taken from the face
    // itself, at the top-left corner of the group's first radio.
    const QImage face = m_skin.toImage();
    const auto sample = [&face](const QWidget* control) {
        const QPoint corner = control->geometry().topLeft();
        return face.valid(corner) ? face.pixelColor(corner) : QColor(Qt::lightGray);
    };
    m_stepBackground = sample(GetControl(StepContinue));
    m_speedBackground = sample(GetControl(SpeedAuto));
    const auto paint = [this](QButtonGroup* group, const QColor& colour) {
        for (QAbstractButton* radio : group->buttons()) {
            QPalette palette = radio->palette();
            palette.setColor(QPalette::Window, colour);
            palette.setColor(QPalette::Button, colour);
            radio->setPalette(palette);
            radio->setAutoFillBackground(true);
        }
    };
    paint(m_stepGroup, m_stepBackground);
    paint(m_speedGroup, m_speedBackground);
}

void CControlPanelDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int half = m_skin.width() / 2;
    painter.drawPixmap(QPoint(0, 0), m_skin, QRect(0, 0, half, m_skin.height()));
    // With the keypad reversed the centre between the Y keys shows its other picture.
    if (!CursorYDir)
        painter.drawPixmap(KeypadCentre.topLeft(), m_skin, KeypadCentre.translated(half, 0));
}

// --- life -----------------------------------------------------------------------------------

bool CControlPanelDlg::OnInitDialog()
{
    // 1. The polling base: the first status report (everything off), the connection check,
    // OnMachineConnected, the poll timer and the title. Device-change notices of the link are
    // to reach this panel from the first poll on.
    InstallDeviceChangeTarget();
    CMachineStatusDlg::OnInitDialog();

    // 2. Window menu (a context menu here) and icons.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this,
                [this] { ShowWindowMenu(mapToGlobal(QPoint(0, 0))); });
    }
    setWindowIcon(ApplicationIcon());

    // 3. Size, faces, fonts and colours.
    setFixedSize(ClientSize);
    AttachFaces();
    SetFontsAndColours();

    // 4. Unit labels.
    SetUnitLabels();

    // 5. Keypad repeat and the step radio.
    for (int id : KeypadKeys)
        GetButton(id)->SetRepeatInterval(InitialRepeatInterval);
    if (QAbstractButton* step = m_stepGroup->button(StepContinue + CursorType))
        step->setChecked(true);
    ApplyRepeatIntervals();

    // 6. The read-outs.
    OnPositionChanged({0, 0, 0});
    OnSpindleChanged(0);
    OnOverrideChanged(100, true);

    // 7. Speed mode.
    CheckSpeedModeRadio();

    // 8. Command set and the coordinate-system lists.
    RefreshCommandSet();

    // 9. Joystick.
    m_jog.CaptureJoystick();

    // 10. Radio backgrounds from the face.
    PaintRadioBackgrounds();
    return true;
}

void CControlPanelDlg::done(int result)
{
    if (!m_closeHandled) {
        m_closeHandled = true;
        // A handler waiting for the axes (Move Z, Move X/Y, Stop, Cancel) would otherwise keep
        // the ended panel, and with it the program, running: its wait ends here, and the motion
        // it waited for, or any manual move still running, is stopped, since no one is left to
        // stop it.
        const bool manualMove = GetStatus().State() == MachineState::Ready &&
                                (GetStatus().stateWord & StateBit::Moving);
        if (IsWaiting() || manualMove)
            m_machine->StopOperation();
        EndWaits();
        m_jog.ReleaseJoystick();
        SaveSettings();
        // The panel is ending: no more polls, and with them no more boxes.
        StopPolling();
    }
    CMachineStatusDlg::done(result);
}

void CControlPanelDlg::InstallDeviceChangeTarget()
{
    RemoveDeviceChangeTarget();
    m_notifiedLink = &m_machine->GetLink();
    m_notifiedLink->SetNotificationTarget([this](unsigned event) { OnDeviceChange(event); });
}

void CControlPanelDlg::RemoveDeviceChangeTarget()
{
    if (m_notifiedLink)
        m_notifiedLink->SetNotificationTarget({});
    m_notifiedLink = nullptr;
}

// --- settings -------------------------------------------------------------------------------

void CControlPanelDlg::LoadSettings()
{
    ExchangeSettings(true);
}

void CControlPanelDlg::SaveSettings()
{
    ExchangeSettings(false);
}

void CControlPanelDlg::ExchangeSettings(bool load)
{
    {
        CPanelSettingsExchange store(load);
        store.Exchange("CursorYDir", CursorYDir);
        store.Exchange("CursorType", CursorType);
        store.Exchange("Metric", Metric);
        store.Exchange("CoordinateSystem", CoordinateSystem);
        store.Exchange("SetOrgCoordinateSystem", SetOrgCoordinateSystem);
    }
    {
        CPanelSettingsExchange options(load, CPanelSettingsExchange::OptionsSection);
        options.Exchange("KeyboardJog", KeyboardJog);
    }
    if (load) {
        // The step indexes a four-entry table: a stored value beyond it is held at its end.
        CursorType = std::clamp(CursorType, 0, kJogStepCount - 1);
        m_jog.SetKeyboardJog(KeyboardJog);
    }
}

void CControlPanelDlg::SetKeyboardJog(bool on)
{
    KeyboardJog = on;
    m_jog.SetKeyboardJog(on);
}

// --- window menu ----------------------------------------------------------------------------

void CControlPanelDlg::contextMenuEvent(QContextMenuEvent* event)
{
    ShowWindowMenu(event->globalPos());
}

void CControlPanelDlg::ShowWindowMenu(const QPoint& globalPos)
{
    // A table without the about item has no window-menu items at all.
    const QString about = LoadString(Str::AboutItem);
    if (about.isEmpty())
        return;
    QMenu menu(this);
    menu.addAction(LoadString(Str::Maintenance), this,
                   [this] { OnSysCommand(PanelMenu::Maintenance); });
    QAction* keyboardJog = menu.addAction(LoadString(Str::KeyboardJogItem), this,
                                          [this] { OnSysCommand(PanelMenu::KeyboardJog); });
    keyboardJog->setCheckable(true);
    keyboardJog->setChecked(KeyboardJog);
    // The job window can be closed without any effect on the job; while the job runs it can be
    // shown again from here.
    if (IsJobWindowOffered())
        menu.addAction(LoadString(Str::JobProgressItem), this,
                       [this] { OnSysCommand(PanelMenu::JobProgress); });
    menu.addAction(about, this, [this] { OnSysCommand(PanelMenu::About); });
    menu.exec(globalPos);
}

bool CControlPanelDlg::IsJobWindowOffered() const
{
    return m_dialogs && m_dialogs->HasJobWindow() &&
           GetStatus().State() == MachineState::JobActive &&
           GetStatus().stateWord != CMachineState::NoStatusWord;
}

void CControlPanelDlg::OnSysCommand(int command)
{
    const uint32_t word = GetStatus().stateWord;
    switch (command & ~0xF) {
    case PanelMenu::About: {
        const std::optional<std::string> version = m_machine->GetFirmwareVersion();
        if (m_dialogs)
            m_dialogs->RunAboutBox(*this, version ? QString::fromStdString(*version)
                                                  : LoadString(Str::NoFirmwareVersion));
        break;
    }
    case PanelMenu::Maintenance: {
        const int state = static_cast<int>(word & StateBit::StateMask);
        const bool still = !(word & (StateBit::Moving | StateBit::SpindleRotating));
        if ((state == MachineState::Ready && still) ||
            (state == MachineState::JobActive && (word & StateBit::Paused))) {
            if (m_dialogs)
                m_dialogs->RunMaintenanceSheet(*this);
        }
        break;
    }
    case PanelMenu::KeyboardJog:
        SetKeyboardJog(!KeyboardJog);
        break;
    case PanelMenu::JobProgress:
        if (IsJobWindowOffered())
            m_dialogs->ShowJobWindow();
        break;
    default:
        break;
    }
}

// --- hooks ----------------------------------------------------------------------------------

int CControlPanelDlg::AskReconnect()
{
    CPanelMessageBox box(
        FormatConnectionError(ConnectionErrorKind::NoResponse,
                              QString::fromStdString(m_machine->GetLink().GetName())),
        BoxStyle::ExclamationYesNo, this);
    box.SetCaption(BoxResult::Yes, LoadString(Str::Retry));
    box.SetCaption(BoxResult::No, LoadString(Str::End));
    return box.exec();
}

void CControlPanelDlg::OnMachineLost()
{
    // Not connected any more: the read-outs fall back to their placeholders.
    OnPositionChanged({0, 0, 0});
    OnSpindleChanged(0);
    OnOverrideChanged(0, false);
    // The first complete read after a reconnection redraws them, even when the machine's values
    // did not change meanwhile (a quick Retry can come before any poll has failed).
    RequestForceNotify();
}

void CControlPanelDlg::OnMachineConnected()
{
    MachineStatus status;
    const int count = m_machine->ReadMachineStatus(status);
    int override = 100;
    if (count >= MachineStatus::WordsSize)
        DrawPause(status.stateWord & StateBit::Paused);
    if (count >= MachineStatus::Size)
        override = status.override;

    MachineSettings settings;
    if (m_machine->GetMachineSettings(settings))
        SetCommandSet(settings.commandSet);

    m_speedMode = m_machine->GetCuttingSpeedMode();
    CheckSpeedModeRadio();
    OnOverrideChanged(static_cast<uint8_t>(override), false);

    State().TakeAutoPowerOffCount(m_machine->GetAutoPowerOffFlag());
}

void CControlPanelDlg::OnPositionChanged(const AxisTriple& relative)
{
    const bool shown = IsPositionShown();
    m_positionShown = shown;
    const std::array ids{ValueX, ValueY, ValueZ};
    for (size_t axis = 0; axis < ids.size(); ++axis) {
        auto* value = static_cast<CColorLabel*>(GetControl(ids[axis]));
        value->SetText(shown ? FormatPosition(relative[axis], Metric)
                             : PositionPlaceholder(Metric));
    }
}

void CControlPanelDlg::OnSpindleChanged(int32_t value)
{
    static_cast<CColorLabel*>(GetControl(SpindleValue))
        ->SetText(FormatSpindleSpeed(IsConnected(), value));
}

void CControlPanelDlg::OnOverrideChanged(uint8_t percent, bool fromMachine)
{
    // In manual mode the display keeps what the user set, not what the machine echoes.
    if (m_speedMode != 1 && fromMachine)
        return;
    static_cast<CColorLabel*>(GetControl(OverrideValue))
        ->SetText(FormatOverride(IsConnected(), percent));
}

bool CControlPanelDlg::IsPositionShown() const
{
    return IsConnected() && GetStatus().State() != MachineState::Initialising0;
}

void CControlPanelDlg::OnStatusChanged(uint32_t newWord, uint32_t)
{
    // A still machine reports no position change when it leaves initialisation: without this
    // redraw the placeholders would stay on a ready machine until the tool first moves.
    if (IsPositionShown() != m_positionShown)
        NotifyPosition();
    UpdateControls(newWord);
    // The computer stays awake while the machine cuts a job, whoever handed it over.
    if (CSleepInhibitor* inhibitor = CSleepInhibitor::Instance()) {
        if (IsConnected() && GetStatus().State() == MachineState::JobActive)
            inhibitor->Hold(this);
        else
            inhibitor->Release(this);
    }
}

// --- state handling -------------------------------------------------------------------------

void CControlPanelDlg::ReadCommandSet()
{
    m_commandSet = -1;
    MachineSettings settings;
    if (m_machine->GetMachineSettings(settings))
        SetCommandSet(settings.commandSet);
}

void CControlPanelDlg::SetCommandSet(int commandSet)
{
    if (commandSet >= 0 && commandSet <= 2)
        m_commandSet = commandSet;
}

void CControlPanelDlg::DrawPause(bool pressed)
{
    CJogButton* pause = GetButton(Pause);
    if (pressed)
        pause->Latch();
    else
        pause->Unlatch();
}

int CControlPanelDlg::FindHeldButton() const
{
    for (const ControlRow& row : Controls())
        if (row.IsButton() && GetButton(row.id)->IsPressed())
            return row.id;
    return 0;
}

void CControlPanelDlg::EnableControl(int id, bool enable)
{
    if (QWidget* control = GetControl(id))
        control->setEnabled(enable);
}

void CControlPanelDlg::UpdateControls(uint32_t word)
{
    static_cast<CColorLabel*>(GetControl(SpindleValue))
        ->SetTextColor(word & StateBit::SpindleRotating ? ValueColour() : InactiveColour(), true);

    const PanelReaction reaction = State().ReactTo(word);
    if (reaction.readCommandSet) {
        ReadCommandSet();
        RefreshCommandSet();
    }
    if (reaction.command != 0)
        PostCommand(reaction.command);
    if (reaction.pausePicture != -1)
        DrawPause(reaction.pausePicture == 1);
    const int held = reaction.findHeld ? FindHeldButton() : 0;
    // Group by group, in this order; a control in two groups is set by each in turn. The held
    // button stays enabled whatever its group says, so that its release (and a held jog key's
    // repeats) still arrive, except that Pause follows its own group even while held.
    using namespace PanelGroup;
    for (unsigned group :
         {Operation, Cancel, Values, PanelGroup::Pause, PanelGroup::Stop, SpeedRadios}) {
        const bool on = (reaction.groups & group) != 0;
        for (const ControlRow& row : Controls())
            if (row.groups & group)
                EnableControl(row.id, on || (row.id == held && group != PanelGroup::Pause));
    }

    if (reaction.powerOffNotice)
        PostCommand(LastAutoPowerOff);
}

// --- hidden commands and alarms -------------------------------------------------------------

void CControlPanelDlg::PostCommand(int id)
{
    // Queued on this panel: the box opens once the hook that asked for it has returned, and the
    // call is dropped if the panel is gone by then.
    QMetaObject::invokeMethod(
        this, [this, id] { OnHiddenCommand(id); }, Qt::QueuedConnection);
}

void CControlPanelDlg::OnHiddenCommand(int id)
{
    // One row per command the panel posts to itself.
    static constexpr std::pair<int, void (CControlPanelDlg::*)()> Commands[] = {
        {WaitSetup, &CControlPanelDlg::OnWaitSetup},
        {FatalError, &CControlPanelDlg::OnFatalError},
        {PausedCommandError, &CControlPanelDlg::OnPausedCommandError},
        {CommandError, &CControlPanelDlg::OnCommandError},
        {LastAutoPowerOff, &CControlPanelDlg::OnLastAutoPowerOff},
    };
    for (const auto& [command, handler] : Commands)
        if (command == id) {
            (this->*handler)();
            return;
        }
}

void CControlPanelDlg::OnWaitSetup()
{
    CWaitSetupDlg wait(m_machine, this);
    wait.exec();
}

void CControlPanelDlg::OnFatalError()
{
    int16_t words[5] = {};
    if (!m_machine->GetFatalError(words))
        return;
    CPanelMessageBox box(FormatEmergencyStop(words[1]), BoxStyle::ExclamationOk, this);
    StopPolling();
    box.exec();
    // The restart reports the status word as unknown, so a machine still in emergency stop
    // brings this box back at the next poll.
    StartPolling();
}

void CControlPanelDlg::OnPausedCommandError()
{
    int16_t code = 0;
    if (!m_machine->GetCommandError(code)) {
        // Nothing to show; a later change of the status word may report the error.
        State().EndErrorReport();
        return;
    }
    CPanelMessageBox box(FormatCommandError(code, CommandErrorKind::Paused),
                         BoxStyle::ExclamationOkCancel, this);
    box.SetCaption(BoxResult::Ok, LoadString(Str::Abort));
    box.SetCaption(BoxResult::Cancel, LoadString(Str::Continue));
    State().SetLastErrorAnswer(box.exec());
    m_machine->ClearCommandError();
    PollStatus();
    if (State().GetLastErrorAnswer() == BoxResult::Ok) {
        m_machine->QuitCutting();
        CCancelingDataDlg skipping(m_machine, this);
        skipping.exec();
    } else {
        m_machine->ResumeCutting();
    }
    State().EndErrorReport();
}

void CControlPanelDlg::OnCommandError()
{
    int16_t code = 0;
    if (!m_machine->GetCommandError(code)) {
        State().EndErrorReport();
        return;
    }
    CPanelMessageBox box(FormatCommandError(code, CommandErrorKind::NotPaused),
                         BoxStyle::ExclamationOk, this);
    box.SetCaption(BoxResult::Ok, LoadString(Str::Ok));
    StopPolling();
    box.exec();
    StartPolling();
    m_machine->ClearCommandError();
    State().EndErrorReport();
}

void CControlPanelDlg::OnLastAutoPowerOff()
{
    CPanelMessageBox box(LoadString(Str::AutoPowerOffNotice), BoxStyle::InformationOk, this);
    box.exec();
}

// --- position display and coordinate systems ------------------------------------------------

void CControlPanelDlg::SetUnitLabels()
{
    const QString unit = UnitLabel(Metric);
    for (int id : {UnitX, UnitY, UnitZ})
        static_cast<QLabel*>(GetControl(id))->setText(unit);
}

void CControlPanelDlg::SetUnit(bool metric)
{
    if (metric == Metric)
        return;
    Metric = metric;
    SetUnitLabels();
    NotifyPosition();
    update();
}

void CControlPanelDlg::SetCursorYDir(bool cursorYDir)
{
    CursorYDir = cursorYDir;
    // The keypad centre changes its picture with the direction.
    update();
}

void CControlPanelDlg::RefreshCommandSet()
{
    auto* text = static_cast<CColorLabel*>(GetControl(CommandSetLabel));
    text->SetText(::CommandSetText(IsConnected(), m_commandSet));
    update(text->geometry());
    RebuildShownList();
    RebuildOriginList();
}

namespace {

// Replaces the entries of a list and selects the entry carrying number (the first when none
// does); the number of the entry selected, -1 when the list is empty. Nothing of this counts as
// the user's choice.
int FillList(QComboBox* list, const CoordinateEntries& entries, int number)
{
    const QSignalBlocker blocker(list);
    list->clear();
    for (const CoordinateEntry& entry : entries)
        list->addItem(entry.text, entry.number);
    const int index = SelectEntryIndex(entries, number);
    list->setCurrentIndex(index);
    return index < 0 ? -1 : entries[static_cast<size_t>(index)].number;
}

int SelectedNumber(const QComboBox* list)
{
    return list->currentIndex() < 0 ? -1 : list->currentData().toInt();
}

} // namespace

void CControlPanelDlg::RebuildShownList()
{
    CoordinateSystem = FillList(m_shownList, ShownSystemEntries(m_commandSet), CoordinateSystem);
    SelectCoordinateSystem(CoordinateSystem);
}

void CControlPanelDlg::RebuildOriginList()
{
    SetOrgCoordinateSystem =
        FillList(m_originList, OriginSystemEntries(m_commandSet), SetOrgCoordinateSystem);
}

void CControlPanelDlg::OnShownSystemConfirmed()
{
    CoordinateSystem = SelectedNumber(m_shownList);
    SelectCoordinateSystem(CoordinateSystem);
}

void CControlPanelDlg::OnOriginSystemConfirmed()
{
    SetOrgCoordinateSystem = SelectedNumber(m_originList);
}

void CControlPanelDlg::CopyCoordinateList(QComboBox* target) const
{
    const QSignalBlocker blocker(target);
    target->clear();
    for (int i = 0; i < m_shownList->count(); ++i)
        target->addItem(m_shownList->itemText(i), m_shownList->itemData(i));
    target->setCurrentIndex(m_shownList->currentIndex());
}

void CControlPanelDlg::SelectShownSystem(int index)
{
    m_shownList->setCurrentIndex(index);
    OnShownSystemConfirmed();
}

// --- buttons --------------------------------------------------------------------------------

void CControlPanelDlg::CheckSpeedModeRadio()
{
    const bool automatic = m_speedMode == 1;
    m_speedGroup->button(automatic ? SpeedAuto : SpeedManual)->setChecked(true);
    m_overrideArrows->setEnabled(!automatic);
    static_cast<CColorLabel*>(GetControl(OverrideValue))
        ->SetTextColor(automatic ? InactiveColour() : ValueColour(), true);
}

void CControlPanelDlg::OnSpeedAuto()
{
    m_speedMode = 1;
    m_machine->SetCuttingSpeedMode(1);
    CheckSpeedModeRadio();
}

void CControlPanelDlg::OnSpeedManual()
{
    m_speedMode = 0;
    m_machine->SetCuttingSpeedMode(0);
    CheckSpeedModeRadio();
}

void CControlPanelDlg::OnButtonCommand(int id)
{
    for (const ControlRow& row : Controls())
        if (row.id == id && row.handler) {
            row.handler(*this, id);
            return;
        }
}

void CControlPanelDlg::ApplyRepeatIntervals()
{
    const int interval = JogStepOf(CursorType).repeatIntervalMs;
    for (int id : KeypadKeys) {
        CJogButton* key = GetButton(id);
        key->SetAutoRepeat(true);
        key->SetRepeatInterval(interval);
    }
}

void CControlPanelDlg::CycleCursorType()
{
    CursorType = (CursorType + 1) % kJogStepCount;
    m_stepGroup->button(StepContinue + CursorType)->setChecked(true);
    ApplyRepeatIntervals();
}

void CControlPanelDlg::OnStepRadio(int cursorType)
{
    if (cursorType < 0 || cursorType >= kJogStepCount)
        return;
    CursorType = cursorType;
    ApplyRepeatIntervals();
}

void CControlPanelDlg::OnSetup()
{
    CJogButton* button = GetButton(Setup);
    if (m_jog.IsJoystickJogging() || button->IsPressed())
        return;
    button->setFocus();
    if (m_dialogs)
        m_dialogs->RunSetupSheet(*this);
}

void CControlPanelDlg::OnCut()
{
    CJogButton* button = GetButton(PanelId::Cut);
    if (m_jog.IsJoystickJogging() || button->IsPressed())
        return;
    button->setFocus();
    if (m_dialogs)
        m_dialogs->RunCutDialog(*this);
}
