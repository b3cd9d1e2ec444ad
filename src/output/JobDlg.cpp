#include "JobDlg.h"

#include "MachineState.h"
#include "NcPathCache.h"
#include "NcReader.h"
#include "PanelAccess.h"
#include "ProgramPlacement.h"
#include "StringIds.h"
#include "StringTable.h"
#include "ToolpathDlg.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kReadPollMs = 100;

QPointer<CJobDlg> g_current;

QLabel* AddLabel(QVBoxLayout* layout, const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    return label;
}

} // namespace

CJobDlg::CJobDlg(CPanelAccess& panel, const CNcReadOptions& options)
    : QDialog(panel.Window()), m_panel(panel), m_options(options), m_rapidSpeed(StoredRapidSpeed()),
      m_readPoll(new QTimer(this))
{
    setObjectName("jobDlg");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_file = AddLabel(layout, "jobFile", this);
    m_state = AddLabel(layout, "jobState", this);
    m_line = AddLabel(layout, "jobLine", this);
    m_done = AddLabel(layout, "jobDone", this);
    m_elapsed = AddLabel(layout, "jobElapsed", this);
    m_remaining = AddLabel(layout, "jobRemaining", this);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName("jobProgress");
    m_bar->setRange(0, 1000);
    layout->addWidget(m_bar);
    auto* buttons = new QHBoxLayout;
    m_toolpathButton = new QPushButton(LoadString(Str::ToolpathCaption), this);
    m_toolpathButton->setObjectName(ToolpathName);
    m_toolpathButton->setAutoDefault(false);
    m_toolpathButton->setEnabled(false);
    auto* close = new QPushButton(LoadString(Str::JobClose), this);
    close->setObjectName("jobClose");
    close->setAutoDefault(false);
    buttons->addWidget(m_toolpathButton);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(420, sizeHint().height());

    connect(m_toolpathButton, &QPushButton::clicked, this, &CJobDlg::OnToolpath);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_readPoll, &QTimer::timeout, this, &CJobDlg::PollReading);
    connect(&panel.GetMachineState(), &CMachineState::StatusRead, this, &CJobDlg::OnStatusRead);
    // A window closed after its job has ended is not asked for again: it lets go of the
    // programs it holds.
    connect(this, &QDialog::finished, this, [this] {
        if (m_ended)
            deleteLater();
    });
}

CJobDlg::~CJobDlg()
{
    StopReading();
}

CJobDlg* CJobDlg::Open(CPanelAccess& panel, const std::vector<QByteArray>& paths,
                       const CNcReadOptions& options)
{
    delete g_current.data();
    auto* window = new CJobDlg(panel, options);
    g_current = window;
    for (const QByteArray& path : paths)
        window->AddFile(path);
    if (!window->m_files.empty())
        window->setWindowTitle(
            LoadString(Str::JobTitle).arg(window->m_files.front()->image.GetDisplayName()));
    window->StartReading();
    window->ShowProgress();
    window->show();
    return window;
}

CJobDlg* CJobDlg::Current()
{
    return g_current.data();
}

void CJobDlg::ShowProgramLines(uint32_t leadInLines, uint32_t joinLine)
{
    m_leadInLines = leadInLines;
    m_joinLine = joinLine;
    ShowProgress();
}

void CJobDlg::ShowAgain()
{
    show();
    raise();
    activateWindow();
}

void CJobDlg::AddFile(const QByteArray& path)
{
    auto file = std::make_unique<File>();
    file->bytes = QFileInfo(QFile::decodeName(path)).size();
    // The image the Cut dialog read is shared while it holds it; a file that cannot be loaded
    // any more is shown by its hand-over only.
    if (file->image.Load(path).Ok() && file->image.IsNcCode()) {
        file->nc = true;
        file->path = NcPathCache::Find(file->image, m_options);
    }
    m_files.push_back(std::move(file));
}

// --- reading the programs ---------------------------------------------------------------------

void CJobDlg::StartReading()
{
    // What the worker reads, taken here: it never touches a File's image or its holder.
    struct Work
    {
        const char* data = nullptr;
        uint64_t size = 0;
        bool nc = false;
        std::shared_ptr<const CNcPath> found;
        File* file = nullptr;
    };
    std::vector<Work> work;
    for (const auto& file : m_files) {
        Work item;
        item.nc = file->nc;
        item.found = file->path;
        item.file = file.get();
        if (file->nc && file->image.LineCount() > 0) {
            item.data = file->image.LineText(0).data();
            item.size = uint64_t(file->image.GetLength());
        }
        work.push_back(std::move(item));
    }
    m_progress.cancel = false;
    const double rapid = m_rapidSpeed;
    const CNcReadOptions options = m_options;
    // The worker fills each file's path and run time, then counts it in m_read; the window
    // reads a file's results only below that count, and joins the worker before it lets go of
    // the files.
    m_worker = std::thread([this, work = std::move(work), rapid, options] {
        for (const Work& item : work) {
            if (m_progress.cancel)
                return;
            if (item.nc) {
                std::shared_ptr<const CNcPath> path = item.found;
                if (!path)
                    path = std::make_shared<const CNcPath>(
                        ReadNcProgramParallel(item.data, item.size, options, &m_progress));
                if (m_progress.cancel)
                    return;
                item.file->runTime = std::make_unique<CNcRunTime>(*path, rapid);
                item.file->path = std::move(path);
            }
            m_read.fetch_add(1, std::memory_order_release);
        }
    });
    m_readPoll->start(kReadPollMs);
}

void CJobDlg::StopReading()
{
    m_readPoll->stop();
    if (m_worker.joinable()) {
        m_progress.cancel = true;
        m_worker.join();
    }
}

void CJobDlg::PollReading()
{
    const size_t read = m_read.load(std::memory_order_acquire);
    if (read >= m_files.size()) {
        m_readPoll->stop();
        m_worker.join();
        // A program read here is offered to the toolpath window and the next travel check.
        for (const auto& file : m_files)
            if (file->nc && file->path)
                NcPathCache::Keep(file->image, m_options, file->path);
    }
    ShowProgress();
}

// --- following the machine --------------------------------------------------------------------

CNcPathFollower* CJobDlg::FollowerOf(File& file)
{
    if (!file.nc || !file.path || !file.runTime)
        return nullptr;
    if (!file.follower)
        file.follower =
            std::make_unique<CNcPathFollower>(*file.path, OriginsFor(*file.path, m_panel));
    return file.follower.get();
}

void CJobDlg::OnStatusRead()
{
    const MachineStatus& status = m_panel.GetStatus();
    if (m_ended || status.stateWord == CMachineState::NoStatusWord)
        return;
    const int state = status.State();
    // A machine still skipping the data of a job it quit before is not running this one yet.
    const bool skipping = (status.stateWord & StateBit::SkippingData) != 0;
    if (state == MachineState::JobActive && (m_started || !skipping)) {
        if (!m_started) {
            m_started = true;
            m_clock.start();
        }
        m_paused = (status.stateWord & StateBit::Paused) != 0;
        m_elapsedMs = m_clock.elapsed();
    } else if (m_started && state == MachineState::Ready) {
        m_ended = true;
        m_paused = false;
        m_elapsedMs = m_clock.elapsed();
        StopReading();
    } else if (state != MachineState::Ready && state != MachineState::JobActive) {
        // Initialising or stopped: nothing of this job runs any more.
        m_ended = m_started;
    }
    const size_t read = m_read.load(std::memory_order_acquire);
    if (m_started && !m_ended && m_current < read) {
        const NcPoint position = status.position;
        CNcPathFollower* follower = FollowerOf(*m_files[m_current]);
        // The next file takes over once the tool has left this one's path for its path: the
        // machine runs the files one after another.
        if (follower && !follower->Follow(position) && m_current + 1 < read) {
            if (CNcPathFollower* next = FollowerOf(*m_files[m_current + 1]);
                next && next->Follow(position))
                ++m_current;
        }
    }
    ShowProgress();
    FollowInToolpath();
    if (m_ended && !isVisible())
        deleteLater();
}

std::optional<uint32_t> CJobDlg::CurrentLine() const
{
    if (m_current >= m_read.load(std::memory_order_acquire))
        return std::nullopt;
    const File& file = *m_files[m_current];
    if (!file.follower || !file.follower->HasMatch())
        return std::nullopt;
    return file.follower->Line();
}

double CJobDlg::RemainingAt100() const
{
    const size_t read = m_read.load(std::memory_order_acquire);
    double seconds = 0;
    for (size_t i = m_current; i < read; ++i) {
        const File& file = *m_files[i];
        if (!file.runTime)
            continue;
        seconds += file.runTime->TotalSeconds();
        if (i == m_current && file.follower && file.follower->HasMatch())
            seconds -= file.runTime->SecondsAt(file.follower->Segment(), file.follower->Fraction());
    }
    return seconds;
}

std::optional<double> CJobDlg::RemainingSeconds() const
{
    if (m_current >= m_read.load(std::memory_order_acquire) || !m_files[m_current]->runTime)
        return std::nullopt;
    if (m_ended)
        return 0.0;
    // The estimate is at 100 %; the machine cuts at the override it reports.
    const uint8_t override = m_panel.GetStatus().override;
    const int percent =
        override >= MachineStatus::OverrideMin && override <= MachineStatus::OverrideMax ? override
                                                                                         : 100;
    return RemainingAt100() * 100.0 / percent;
}

void CJobDlg::ShowProgress()
{
    if (m_files.empty())
        return;
    const File& file = *m_files[m_current];
    m_file->setText(LoadString(Str::JobFile)
                        .arg(m_current + 1)
                        .arg(m_files.size())
                        .arg(file.image.GetDisplayName()));
    m_state->setText(LoadString(m_ended     ? Str::JobEnded
                                : m_paused  ? Str::JobPaused
                                : m_started ? Str::JobRunning
                                            : Str::JobWaiting));
    m_elapsed->setText(LoadString(Str::JobElapsed)
                           .arg(QString::fromStdString(FormatDuration(m_elapsedMs / 1000.0))));
    const bool read = m_current < m_read.load(std::memory_order_acquire);
    m_toolpathButton->setEnabled(file.nc);
    if (!file.nc) {
        m_line->setText(LoadString(Str::JobBytesHandedOver).arg(file.bytes));
        m_done->setText(LoadString(Str::JobProgressUnknown));
        m_remaining->clear();
        m_bar->setRange(0, 0);
        m_bar->setVisible(!m_ended);
        return;
    }
    if (!read) {
        // The program is being read: the bar shows how far.
        const uint64_t total = std::max<uint64_t>(m_progress.total.load(), 1);
        m_line->setText(LoadString(Str::ToolpathReading));
        m_done->clear();
        m_remaining->clear();
        m_bar->setRange(0, 1000);
        m_bar->setValue(int(std::min<uint64_t>(m_progress.done.load(), total) * 1000 / total));
        return;
    }
    const std::optional<uint32_t> line = CurrentLine();
    const double total = file.runTime->TotalSeconds();
    double done = m_ended ? total : 0;
    if (!m_ended && file.follower && file.follower->HasMatch())
        done = file.runTime->SecondsAt(file.follower->Segment(), file.follower->Fraction());
    const double share = total > 0 ? done / total : (m_ended ? 1.0 : 0.0);
    if (!line)
        m_line->clear();
    else if (*line < m_leadInLines)
        m_line->setText(LoadString(Str::JobLeadIn).arg(m_joinLine + 1));
    else
        m_line->setText(LoadString(Str::LineNumber).arg(*line - m_leadInLines + m_joinLine + 1));
    // Whole percent done, as the bar counts them.
    m_done->setText(LoadString(Str::JobTimeDone).arg(int(share * 100)));
    const uint8_t override = m_panel.GetStatus().override;
    m_remaining->setText(
        LoadString(Str::JobRemaining)
            .arg(QString::fromStdString(FormatDuration(RemainingSeconds().value_or(0))))
            .arg(override >= MachineStatus::OverrideMin && override <= MachineStatus::OverrideMax
                     ? int(override)
                     : 100));
    m_bar->setRange(0, 1000);
    m_bar->setValue(int(share * 1000));
    m_bar->show();
}

// --- the toolpath window ----------------------------------------------------------------------

void CJobDlg::OnToolpath()
{
    if (m_toolpath) {
        m_toolpath->show();
        m_toolpath->raise();
        return;
    }
    m_toolpath = new CToolpathDlg(this);
    m_toolpath->setAttribute(Qt::WA_DeleteOnClose);
    m_toolpathFile = SIZE_MAX;
    FollowInToolpath();
    m_toolpath->show();
}

void CJobDlg::FollowInToolpath()
{
    if (!m_toolpath || m_current >= m_files.size() || !m_files[m_current]->nc)
        return;
    if (m_toolpathFile != m_current) {
        // The window takes the image this one holds (it is the same file).
        m_toolpathFile = m_current;
        if (!m_toolpath->Open(m_files[m_current]->image.GetPath(), m_options)) {
            m_toolpath->close();
            return;
        }
        m_toolpath->SetTravel(m_panel.GetRangeLow(), m_panel.GetRangeHigh(),
                              m_panel.GetCurrentOrigin());
    }
    // The tool where the panel's read-out shows it: relative to the shown origin.
    const AxisTriple& position = m_panel.GetStatus().position;
    const AxisTriple& origin = m_panel.GetCurrentOrigin();
    m_toolpath->SetToolPosition(
        NcPoint{position[0] - origin[0], position[1] - origin[1], position[2] - origin[2]});
    m_toolpath->SetHighlightedLine(CurrentLine());
}
