#include "TestCutDlg.h"

#include "CancelingDataDlg.h"
#include "ColorLabel.h"
#include "CutDataSet.h"
#include "IconListBox.h"
#include "MachineState.h"
#include "ModelingMachine.h"
#include "PanelAccess.h"
#include "PanelIds.h"
#include "PanelMessageBox.h"
#include "ProgramPlacement.h"
#include "ResourceImages.h"
#include "StartLineQuestion.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TestCutMode.h"
#include "TextViewCtrl.h"
#include "ToolpathDlg.h"
#include "TravelQuestion.h"
#include "UpDownArrows.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimerEvent>

#include <algorithm>
#include <array>

namespace {

// Control layout of template 147, in pixels: the dialog keeps its fixed size, and the layouts
// place the controls of fixed size at the template's places.
constexpr QSize DialogSize{460, 368};
constexpr int Margin = 8;
constexpr int FileListHeight = 72;
constexpr int ViewHeight = 160;
constexpr int RowGap = 6;
constexpr std::array ModeButtonIds{CTestCutDlg::StepId, CTestCutDlg::StopId, CTestCutDlg::RunId,
                                   CTestCutDlg::StreamId};
constexpr QSize ModeButtonSize{40, 30};
constexpr int ModeButtonGap = 2;
constexpr int ModeButtonsDrop = 4; // below the top of the coordinate-system label
constexpr QSize SystemLabelSize{268, 16};
constexpr QSize SystemListSize{268, 24};
constexpr int SystemGap = 2;
constexpr QSize SpeedLabelSize{86, 24};
constexpr QSize SpeedValueSize{48, 24};
constexpr QSize SpeedArrowsSize{18, 24};
constexpr QSize PercentSize{16, 24};
constexpr int SpeedLabelGap = 2;
constexpr int PercentGap = 4;
constexpr QSize QuitCuttingSize{120, 28};
constexpr QSize CloseSize{80, 28};
constexpr int ButtonsDrop = 2; // below the top of the speed row
constexpr int CloseGap = 16;
constexpr int ToolpathGap = 4;
constexpr QSize ToolpathSize{120, 26};

// The bitmaps of the file list's state pictures and of the four run buttons.
constexpr int FileStateBitmap = 148;
constexpr int FileStateImageSize = 16;
constexpr int FirstModeBitmap = 149; // 149..152 for 1109..1112

constexpr int ContinueSettleMs = 2000;

// The panel's read-out: the coordinate-system list and the three values with their units.
constexpr std::array ReadoutIds{
    PanelId::ShownSystemList, PanelId::ValueX, PanelId::ValueY, PanelId::ValueZ,
    PanelId::UnitX,           PanelId::UnitY,  PanelId::UnitZ};

template <typename Widget> Widget* Named(Widget* widget, int id)
{
    widget->setObjectName(QString::number(id));
    return widget;
}

} // namespace

CTestCutDlg::CTestCutDlg(CPanelAccess& panel, CCutDataSet& set, QWidget* parent)
    : QDialog(parent ? parent : panel.Window()), m_panel(panel), m_machine(*panel.GetMachine()),
      m_set(set)
{
    setWindowTitle(LoadCaption(TemplateId, 0));
    setFixedSize(DialogSize);
    CreateControls();
    m_machine.SetOperationMode(OperationMode::TestCut);
    ReadReceiveCounter(m_expectedEnd);
}

CTestCutDlg::~CTestCutDlg()
{
    StopPollTimer();
    m_mode.reset();
    m_machine.SetOperationMode(OperationMode::Normal);
}

void CTestCutDlg::CreateControls()
{
    m_fileList = Named(new CIconListBox(this), FileListId);
    m_fileList->setFixedHeight(FileListHeight);
    m_view = Named(new CTextViewCtrl(this), ViewId);
    m_view->setFixedHeight(ViewHeight);

    auto* modes = new QHBoxLayout;
    modes->setSpacing(ModeButtonGap);
    for (const int id : ModeButtonIds) {
        auto* button = Named(new QPushButton(this), id);
        button->setFixedSize(ModeButtonSize);
        button->setCheckable(id != StopId);
        button->setAutoDefault(false);
        modes->addWidget(button);
        if (id == StopId) {
            connect(button, &QPushButton::clicked, this, &CTestCutDlg::OnStop);
        } else {
            // A press always starts the mode; the mode checks its button itself, so the click's
            // own toggle is undone first.
            connect(button, &QPushButton::clicked, this, [this, button, id] {
                button->setChecked(false);
                OnModeButton(id);
            });
        }
    }
    Button(StopId)->setEnabled(false);
    auto* modeColumn = new QVBoxLayout;
    modeColumn->addSpacing(ModeButtonsDrop);
    modeColumn->addLayout(modes);
    modeColumn->addStretch();

    auto* systemLabel = new QLabel(LoadCaption(TemplateId, -1), this);
    systemLabel->setFixedSize(SystemLabelSize);
    m_systemList = Named(new QComboBox(this), SystemListId);
    m_systemList->setFixedSize(SystemListSize);
    systemLabel->setBuddy(m_systemList);
    connect(m_systemList, &QComboBox::activated, this, &CTestCutDlg::OnSystemSelected);
    auto* systemColumn = new QVBoxLayout;
    systemColumn->setSpacing(SystemGap);
    systemColumn->addWidget(systemLabel);
    systemColumn->addWidget(m_systemList);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->addLayout(modeColumn);
    middle->addStretch();
    middle->addLayout(systemColumn);

    auto* speedLabel = new QLabel(LoadCaption(TemplateId, -2), this);
    speedLabel->setFixedSize(SpeedLabelSize);
    m_speedValue =
        Named(new CColorLabel(this, QString(),
                              LabelStyle::Right | LabelStyle::CenterImage | LabelStyle::Sunken),
              SpeedValueId);
    m_speedValue->setFixedSize(SpeedValueSize);
    auto* arrows = Named(new CUpDownArrows(this), SpeedArrowsId);
    arrows->setFixedSize(SpeedArrowsSize);
    connect(arrows, &CUpDownArrows::PositionChanging, this, &CTestCutDlg::OnSpeedStep);
    auto* percent = new QLabel(LoadCaption(TemplateId, -3), this);
    percent->setFixedSize(PercentSize);

    auto* quit =
        Named(new QPushButton(LoadCaption(TemplateId, QuitCuttingId), this), QuitCuttingId);
    quit->setFixedSize(QuitCuttingSize);
    quit->setAutoDefault(false);
    connect(quit, &QPushButton::clicked, this, &CTestCutDlg::OnQuitCutting);
    auto* close = Named(new QPushButton(LoadCaption(TemplateId, CloseId), this), CloseId);
    close->setFixedSize(CloseSize);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &CTestCutDlg::OnClose);
    auto* ok = Named(new QPushButton(LoadCaption(TemplateId, OkId), this), OkId);
    ok->hide();

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(0);
    bottom->addWidget(speedLabel, 0, Qt::AlignTop);
    bottom->addSpacing(SpeedLabelGap);
    bottom->addWidget(m_speedValue, 0, Qt::AlignTop);
    bottom->addWidget(arrows, 0, Qt::AlignTop);
    bottom->addSpacing(PercentGap);
    bottom->addWidget(percent, 0, Qt::AlignTop);
    bottom->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(CloseGap);
    buttons->addWidget(quit);
    buttons->addWidget(close);
    auto* buttonRow = new QVBoxLayout;
    buttonRow->addSpacing(ButtonsDrop);
    buttonRow->addLayout(buttons);
    bottom->addLayout(buttonRow);

    auto* toolpath = new QPushButton(LoadString(Str::ToolpathCaption), this);
    toolpath->setObjectName(ToolpathName);
    toolpath->setFixedSize(ToolpathSize);
    toolpath->setAutoDefault(false);
    connect(toolpath, &QPushButton::clicked, this, &CTestCutDlg::OnToolpath);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(Margin, Margin, Margin, Margin);
    page->setSpacing(0);
    page->addWidget(m_fileList);
    page->addSpacing(RowGap);
    page->addWidget(m_view);
    page->addSpacing(RowGap);
    page->addLayout(middle);
    page->addSpacing(RowGap);
    page->addLayout(bottom);
    page->addSpacing(ToolpathGap);
    page->addWidget(toolpath, 0, Qt::AlignLeft);
    page->addStretch();
}

QAbstractButton* CTestCutDlg::Button(int id) const
{
    return findChild<QAbstractButton*>(QString::number(id));
}

int CTestCutDlg::exec()
{
    if (!m_initialised) {
        m_initialised = true;
        if (!OnInitDialog())
            return 0;
    }
    return QDialog::exec();
}

bool CTestCutDlg::OnInitDialog()
{
    for (int i = 0; i < m_set.GetFileCount(); ++i) {
        auto* item = new QListWidgetItem(m_set.GetFile(i).GetDisplayName(), m_fileList);
        item->setData(CIconListBox::StateRole, CIconListBox::NotYet);
    }
    ResetCursor();
    m_fileList->SetImageList(FileStateBitmap, FileStateImageSize, FileStateImageSize, Qt::white);
    m_view->ShowLineNumbers(true);
    m_view->SetScrollPastEnd(true);
    m_panel.CopyCoordinateList(m_systemList);
    m_speedValue->SetText(QString::number(m_panel.GetStatus().override));
    for (size_t i = 0; i < ModeButtonIds.size(); ++i) {
        const QImage bitmap = LoadBitmapResource(FirstModeBitmap + int(i));
        QPixmap picture = QPixmap::fromImage(bitmap);
        // The pictures are drawn on a mask colour, the colour of their first pixel.
        picture.setMask(picture.createMaskFromColor(bitmap.pixelColor(0, 0)));
        Button(ModeButtonIds[i])->setIcon(picture);
        Button(ModeButtonIds[i])->setIconSize(bitmap.size());
    }
    m_status = m_machine.GetCommandStatus();
    m_pollTimer = startTimer(PollIntervalMs);
    m_lastModeButton = -1;
    PlaceBesideReadout();
    if (StatusValid() && int(m_status.word0 & StateBit::StateMask) == MachineState::JobActive) {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(),
                        LoadString(Str::CuttingInProgress), QMessageBox::Ok, this);
        box.exec();
        StopPollTimer();
        return false;
    }
    // A program that leaves the machine's travel from the shown origin is run only when the
    // user agrees; No closes the test cut before anything is sent.
    for (int i = 0; i < m_set.GetFileCount(); ++i) {
        if (ConfirmTravel(m_set.GetFile(i), m_machine, &m_panel, this) != TravelAnswer::Send) {
            StopPollTimer();
            return false;
        }
    }
    return true;
}

// --- placement -----------------------------------------------------------------------------

QPoint CTestCutDlg::Placement(const QRect& available, const QRect& panelFrame,
                              const QRect& keepVisible, const QSize& frameSize)
{
    const std::array candidates{
        QPoint(panelFrame.right() + 1, panelFrame.top()),
        QPoint(panelFrame.left(), panelFrame.bottom() + 1),
        QPoint(panelFrame.left() - frameSize.width(), panelFrame.top()),
    };
    for (const QPoint& at : candidates)
        if (available.contains(QRect(at, frameSize)))
            return at;
    // No room outside the panel: beside the read-out, over the panel's other controls.
    const int bottom = std::max(available.top(), available.bottom() + 1 - frameSize.height());
    return {keepVisible.right() + 1, std::clamp(panelFrame.top(), available.top(), bottom)};
}

void CTestCutDlg::PlaceBesideReadout()
{
    QRect readout;
    for (int id : ReadoutIds)
        if (const QWidget* control = m_panel.GetControl(id))
            readout |= QRect(control->mapToGlobal(QPoint(0, 0)), control->size());
    const QWidget& panel = *m_panel.Window();
    const QScreen* screen = panel.screen() ? panel.screen() : QApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size());
    // The frame of this window is not known before it is shown; the panel's is a fair guess.
    const QMargins frame(panel.geometry().left() - panel.frameGeometry().left(),
                         panel.geometry().top() - panel.frameGeometry().top(),
                         panel.frameGeometry().right() - panel.geometry().right(),
                         panel.frameGeometry().bottom() - panel.geometry().bottom());
    const QSize frameSize = size().grownBy(frame);
    const QPoint at = Placement(available, panel.frameGeometry(), readout, frameSize);
    move(at);
}

// --- cursor and lines ----------------------------------------------------------------------

void CTestCutDlg::ShowCursor()
{
    m_sent.reset();
    m_leadIn.clear();
    m_leadInNext = 0;
    const int file = m_set.GetFileIndex();
    if (file < 0 || file >= m_set.GetFileCount())
        return;
    if (file != m_shownFile) {
        m_shownFile = file;
        m_view->SetFile(&m_set.GetFile(file));
        m_fileList->SetCurrent(file);
    }
    m_view->SetHighlightLine(m_set.GetLineIndex());
    FollowInToolpath();
}

CToolpathDlg* CTestCutDlg::GetToolpathWindow() const
{
    return m_toolpath;
}

void CTestCutDlg::OnToolpath()
{
    if (!m_toolpath) {
        m_toolpath = new CToolpathDlg(this);
        m_toolpath->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_toolpath, &CToolpathDlg::LineClicked, this,
                [this](qint64 line) { m_view->ScrollToLine(line); });
        m_toolpath->OfferStartFromLine();
        connect(m_toolpath, &CToolpathDlg::StartFromLineRequested, this,
                [this](qint64 line) { StartFromLine(line); });
        m_toolpathFile = -1;
    }
    FollowInToolpath();
    m_toolpath->show();
    m_toolpath->raise();
}

void CTestCutDlg::OpenToolpathFile()
{
    const int file = m_set.GetFileIndex();
    if (file < 0 || file >= m_set.GetFileCount())
        return;
    m_toolpathFile = file;
    MachineSettings settings;
    CNcReadOptions options;
    if (m_machine.GetMachineSettings(settings))
        options = ReadOptionsFrom(settings);
    m_toolpath->Open(m_set.GetFile(file).GetPath(), options);
    m_toolpath->SetTravel(m_panel.GetRangeLow(), m_panel.GetRangeHigh(),
                          m_panel.GetCurrentOrigin());
}

void CTestCutDlg::FollowInToolpath()
{
    if (!m_toolpath)
        return;
    if (m_set.GetFileIndex() != m_toolpathFile)
        OpenToolpathFile();
    m_toolpath->SetHighlightedLine(uint32_t(std::max<int64_t>(m_set.GetLineIndex(), 0)));
}

bool CTestCutDlg::SkipEmptyFiles()
{
    // A file without lines (an empty file) has nothing to send; the cursor never rests in it,
    // or every mode would end at once with nothing sent.
    bool wrapped = false;
    for (int guard = m_set.GetFileCount();
         guard > 0 && m_set.GetFile(m_set.GetFileIndex()).LineCount() == 0; --guard)
        wrapped = !m_set.Advance() || wrapped;
    return !wrapped;
}

void CTestCutDlg::ResetCursor()
{
    m_set.SetCursor(0, 0);
    SkipEmptyFiles();
    ShowCursor();
}

bool CTestCutDlg::AdvanceAndShow()
{
    // A lead-in line done: the next one, or the cursor line itself, is next; the cursor stays.
    if (IsLeadInPending()) {
        m_sent.reset();
        if (++m_leadInNext == m_leadIn.size()) {
            m_leadIn.clear();
            m_leadInNext = 0;
        }
        return true;
    }
    const bool advanced = m_set.Advance();
    const bool skippedWithoutWrap = SkipEmptyFiles();
    ShowCursor();
    return advanced && skippedWithoutWrap;
}

bool CTestCutDlg::ReadReceiveCounter(uint32_t& counter)
{
    uint32_t words[2] = {};
    if (!m_machine.GetReceiveCounter(words))
        return false;
    counter = words[0];
    return true;
}

bool CTestCutDlg::IsLineTakenIn()
{
    uint32_t counter = 0;
    return StatusValid() && ReadReceiveCounter(counter) && counter == m_expectedEnd;
}

bool CTestCutDlg::IsLineFinished()
{
    if (!StatusValid() || (m_status.word0 & StateBit::LineBusy))
        return false;
    return IsLineTakenIn() && (m_status.word0 & StateBit::LineReady);
}

bool CTestCutDlg::SendCursorLine()
{
    const int file = m_set.GetFileIndex();
    if (file < 0 || file >= m_set.GetFileCount())
        return false;
    const CCutDataFile& data = m_set.GetFile(file);
    // A file changed by another program since the test cut loaded it may mix old and new
    // lines: nothing more of it goes to the machine, and its entry says why.
    if (data.Changed()) {
        if (QListWidgetItem* item = m_fileList->item(file))
            item->setText(data.GetDisplayName());
        return false;
    }
    const size_t leadIn = IsLeadInPending() ? m_leadInNext : NoLeadIn;
    const std::string_view line =
        leadIn != NoLeadIn ? m_leadIn[leadIn] : data.LineText(m_set.GetLineIndex());
    const int64_t length =
        leadIn != NoLeadIn ? int64_t(line.size()) : data.LineLength(m_set.GetLineIndex());
    uint32_t counter = 0;
    if (length < 0 || !ReadReceiveCounter(counter))
        return false;
    if (!m_machine.WriteRawData(line.data(), static_cast<int>(line.size()))) {
        // Not sent: the line stays under the cursor for the next start. The machine's counter
        // is where the wait for the line before left it.
        m_expectedEnd = counter;
        m_sent.reset();
        // A link that finds its device gone is handled as a lost machine, as the panel does on
        // a device-change notice.
        if (!m_machine.GetLink().CheckConnection())
            QMetaObject::invokeMethod(
                m_panel.Window(), [panel = &m_panel] { panel->OnDeviceChange(DeviceNodesChanged); },
                Qt::QueuedConnection);
        return false;
    }
    m_expectedEnd = counter + static_cast<uint32_t>(length);
    m_sent = SentLine{file, m_set.GetLineIndex(), leadIn};
    return true;
}

bool CTestCutDlg::IsCursorLineSent() const
{
    const size_t leadIn = IsLeadInPending() ? m_leadInNext : NoLeadIn;
    return m_sent && m_sent->file == m_set.GetFileIndex() && m_sent->line == m_set.GetLineIndex() &&
           m_sent->leadIn == leadIn;
}

bool CTestCutDlg::StartFromLine(int64_t line)
{
    const int file = m_toolpathFile;
    if (m_mode || m_closing || m_errorSeen || line < 0 || file < 0 || file >= m_set.GetFileCount())
        return false;
    const CCutDataFile& data = m_set.GetFile(file);
    MachineSettings settings;
    CNcReadOptions options;
    if (m_machine.GetMachineSettings(settings))
        options = ReadOptionsFrom(settings);
    const std::optional<CNcStartLine> start = AskStartLine(data, options, uint64_t(line), this);
    // The questions ran the event loop: a mode may have begun or the dialog be closing.
    if (!start || m_mode || m_closing || m_errorSeen)
        return false;
    m_set.SetCursor(file, line);
    ShowCursor();
    // The lead-in goes out line by line like the program's own lines, so that the receive
    // counter tells when each one has been taken in.
    for (size_t at = 0; at < start->leadIn.size();) {
        const size_t end = std::min(start->leadIn.find('\n', at), start->leadIn.size() - 1) + 1;
        m_leadIn.push_back(start->leadIn.substr(at, end - at));
        at = end;
    }
    m_leadInNext = 0;
    return true;
}

bool CTestCutDlg::SendNextLine()
{
    if (IsCursorLineSent() && !AdvanceAndShow())
        return false;
    return SendCursorLine();
}

void CTestCutDlg::EnableModeButtons(bool enable)
{
    for (int id : {StepId, RunId, StreamId})
        Button(id)->setEnabled(enable);
    Button(StopId)->setEnabled(!enable);
}

// --- poll ----------------------------------------------------------------------------------

void CTestCutDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_pollTimer)
        Poll();
    else
        QDialog::timerEvent(event);
}

void CTestCutDlg::StopPollTimer()
{
    if (m_pollTimer != 0)
        killTimer(m_pollTimer);
    m_pollTimer = 0;
}

void CTestCutDlg::Poll()
{
    if (m_toolpath) {
        // The tool where the panel's read-out shows it: relative to the shown origin.
        const AxisTriple& position = m_panel.GetStatus().position;
        const AxisTriple& origin = m_panel.GetCurrentOrigin();
        m_toolpath->SetToolPosition(
            NcPoint{position[0] - origin[0], position[1] - origin[1], position[2] - origin[2]});
    }
    m_status = m_machine.GetCommandStatus();
    // A failed read carries every bit; it neither closes the dialog nor counts as an error, it
    // only keeps a running mode waiting.
    if (!StatusValid()) {
        if (m_mode && !m_mode->Tick())
            m_mode.reset();
        return;
    }
    if (m_status.word0 & StateBit::CloseRequest) {
        QMetaObject::invokeMethod(this, &CTestCutDlg::OnClose, Qt::QueuedConnection);
        return;
    }
    if (m_status.word0 & StateBit::CommandErrorPending) {
        // The panel reports the error and asks the user; the line in progress counts as done,
        // so that a continued run goes on after it.
        m_mode.reset();
        if (IsCursorLineSent())
            AdvanceAndShow();
        m_errorSeen = true;
        return;
    }
    if (m_errorSeen) {
        m_errorSeen = false;
        // OK is the Abort button of the panel's paused-error box.
        if (m_panel.GetLastErrorAnswer() == BoxResult::Ok)
            QuitSequence();
        else
            ContinueSequence();
        return;
    }
    if (m_mode && !m_mode->Tick())
        m_mode.reset();
}

void CTestCutDlg::QuitSequence()
{
    m_machine.SetOperationMode(OperationMode::Normal);
    m_machine.QuitCutting();
    CCancelingDataDlg skipping(&m_machine, this);
    skipping.exec();
    m_machine.ResumeCutting();
    ResetCursor();
}

void CTestCutDlg::ContinueSequence()
{
    m_panel.WaitWhileMoving();
    CMachineState::SpinWait(ContinueSettleMs);
    m_machine.ResumeCutting();
    if (m_lastModeButton == RunId || m_lastModeButton == StreamId)
        QMetaObject::invokeMethod(
            this, [this, id = m_lastModeButton] { OnModeButton(id); }, Qt::QueuedConnection);
}

// --- buttons -------------------------------------------------------------------------------

void CTestCutDlg::OnModeButton(int id)
{
    // A mode restarted after a command error may meet one the user started meanwhile.
    if (m_mode || m_closing)
        return;
    m_machine.SetOperationMode(OperationMode::TestCut);
    std::unique_ptr<CTestCutMode> mode;
    if (id == StepId) {
        mode = std::make_unique<CStepMode>(*this);
    } else if (id == RunId) {
        mode = std::make_unique<CRunMode>(*this);
    } else {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        mode = std::make_unique<CStreamMode>(*this);
        QApplication::restoreOverrideCursor();
    }
    if (mode->Start())
        m_mode = std::move(mode);
    m_lastModeButton = id;
}

void CTestCutDlg::OnStop()
{
    if (m_mode && !m_mode->Stop())
        m_mode.reset();
}

void CTestCutDlg::OnQuitCutting()
{
    if (m_panel.GetStatus().State() != MachineState::JobActive)
        return;
    m_mode.reset();
    m_machine.PauseCutting();
    CPanelMessageBox box(LoadString(Str::QuitQuestion), BoxStyle::ExclamationOkCancel, this);
    box.SetCaption(BoxResult::Ok, LoadString(Str::QuitCutting));
    box.SetCaption(BoxResult::Cancel, LoadString(Str::Continue));
    if (box.exec() == BoxResult::Ok)
        QuitSequence();
    else
        ContinueSequence();
}

void CTestCutDlg::OnSystemSelected(int index)
{
    m_panel.SelectShownSystem(index);
}

void CTestCutDlg::OnSpeedStep(int delta)
{
    // Each click moves the override from the machine's present value, never outside 10..200;
    // without a value from the machine (a short status read) nothing is sent.
    const int value = m_panel.GetStatus().SteppedOverride(delta);
    if (value < 0)
        return;
    m_speedValue->SetText(QString::number(value));
    m_machine.SetCuttingSpeed(value);
}

void CTestCutDlg::OnClose()
{
    if (m_closing)
        return;
    m_closing = true;
    StopPollTimer();
    if (m_mode && !m_mode->Stop())
        m_mode.reset();
    m_machine.SetOperationMode(OperationMode::Normal);
    m_machine.QuitCutting();
    QDialog::done(CloseId);
}

void CTestCutDlg::reject()
{
    OnClose();
}
