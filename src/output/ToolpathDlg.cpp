#include "ToolpathDlg.h"

#include "FileResultMessage.h"
#include "NcPathCache.h"
#include "PanelSettings.h"
#include "ProgramPlacement.h"
#include "StringIds.h"
#include "StringTable.h"
#include "ToolpathView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kPollMs = 100;
// The choices for the cut surface, in micrometres, in a section of the panel's settings.
constexpr const char* kReliefSection = "Toolpath";

QDoubleSpinBox* MillimetreBox(QWidget* parent, const char* name, double low, double high,
                              double value)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setDecimals(3);
    box->setSingleStep(0.5);
    box->setSuffix(" mm");
    box->setValue(value);
    return box;
}

int Micrometres(const QDoubleSpinBox* box)
{
    return int(std::lround(box->value() * 1000));
}

} // namespace

CToolpathDlg::CToolpathDlg(QWidget* parent)
    : QDialog(parent), m_rapidSpeed(StoredRapidSpeed()),
      m_top(new CToolpathView(NcProjection::Top, this)),
      m_side(new CToolpathView(NcProjection::Side, this)), m_orbit(new CReliefView(this)),
      m_reliefInfo(new QLabel(this)), m_dangers(new QListWidget(this)),
      m_progressBar(new QProgressBar(this)), m_summary(new QLabel(this)),
      m_clicked(new QLabel(this)), m_startFromLine(new QPushButton(this)),
      m_warnings(new QListWidget(this)), m_poll(new QTimer(this))
{
    setObjectName("toolpathDlg");
    auto* views = new QSplitter(Qt::Vertical, this);
    views->addWidget(m_top);
    views->addWidget(m_side);
    views->setStretchFactor(0, 3);
    views->setStretchFactor(1, 1);
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName("toolpathTabs");
    tabs->addTab(views, LoadString(Str::PathTab));
    tabs->addTab(m_orbit, LoadString(Str::ReliefTab));
    QWidget* reliefControls = MakeReliefControls();
    m_reliefInfo->setObjectName("reliefInfo");
    m_reliefInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_reliefInfo->hide();
    m_dangers->setObjectName("toolpathDangers");
    m_dangers->setMaximumHeight(90);
    m_dangers->hide();
    m_summary->setObjectName("toolpathSummary");
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_clicked->setObjectName("toolpathClicked");
    m_warnings->setObjectName("toolpathWarnings");
    m_warnings->setMaximumHeight(90);
    m_warnings->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addWidget(reliefControls);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_summary);
    layout->addWidget(m_reliefInfo);
    layout->addWidget(m_clicked);
    m_startFromLine->setObjectName("toolpathStartFromLine");
    m_startFromLine->setAutoDefault(false);
    m_startFromLine->hide();
    layout->addWidget(m_startFromLine, 0, Qt::AlignLeft);
    layout->addWidget(m_warnings);
    layout->addWidget(m_dangers);
    resize(760, 760);

    for (CToolpathView* view : {m_top, m_side})
        connect(view, &CToolpathView::LineClicked, this, [this](qint64 line) {
            m_clicked->setText(LoadString(Str::LineNumber).arg(line + 1));
            m_clickedLine = line;
            m_startFromLine->setText(LoadString(Str::StartFromClickedLine).arg(line + 1));
            m_startFromLine->setEnabled(true);
            emit LineClicked(line);
        });
    connect(m_startFromLine, &QPushButton::clicked, this, [this] {
        if (m_clickedLine >= 0)
            emit StartFromLineRequested(m_clickedLine);
    });
    connect(m_dangers, &QListWidget::itemClicked, this, &CToolpathDlg::DangerClicked);
    connect(m_dangers, &QListWidget::itemActivated, this, &CToolpathDlg::DangerClicked);
    connect(m_poll, &QTimer::timeout, this, &CToolpathDlg::Poll);
}

QWidget* CToolpathDlg::MakeReliefControls()
{
    auto* controls = new QWidget(this);
    m_reliefShow = new QCheckBox(LoadString(Str::ReliefShow), controls);
    m_reliefShow->setObjectName("reliefShow");
    m_tool = new QComboBox(controls);
    m_tool->setObjectName("reliefTool");
    m_tool->addItem(LoadString(Str::ReliefFlatMill)); // index: NcTool
    m_tool->addItem(LoadString(Str::ReliefBallMill));
    m_diameter = MillimetreBox(controls, "reliefDiameter", 0.01, 100, 3);
    m_cell = MillimetreBox(controls, "reliefCell", 0, 10, 0);
    m_cell->setSpecialValueText(LoadString(Str::ReliefAutomatic));
    m_cell->setSingleStep(0.01);
    m_stockTopGiven = new QCheckBox(LoadString(Str::ReliefStockTop), controls);
    m_stockTopGiven->setObjectName("reliefStockTopGiven");
    m_stockTop = MillimetreBox(controls, "reliefStockTop", -1000, 1000, 0);
    m_maxDepth = MillimetreBox(controls, "reliefMaxDepth", 0, 1000, 0);
    m_maxDepth->setSpecialValueText(LoadString(Str::ReliefAnyDepth));
    ExchangeReliefSettings(true);
    m_stockTop->setEnabled(m_stockTopGiven->isChecked());

    auto* rows = new QVBoxLayout(controls);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* first = new QHBoxLayout;
    first->addWidget(m_reliefShow);
    first->addWidget(new QLabel(LoadString(Str::ReliefTool), controls));
    first->addWidget(m_tool);
    first->addWidget(new QLabel(LoadString(Str::ReliefDiameter), controls));
    first->addWidget(m_diameter);
    first->addWidget(new QLabel(LoadString(Str::ReliefCell), controls));
    first->addWidget(m_cell);
    first->addStretch(1);
    auto* second = new QHBoxLayout;
    second->addWidget(m_stockTopGiven);
    second->addWidget(m_stockTop);
    second->addWidget(new QLabel(LoadString(Str::ReliefMaxDepth), controls));
    second->addWidget(m_maxDepth);
    second->addStretch(1);
    rows->addLayout(first);
    rows->addLayout(second);

    connect(m_reliefShow, &QCheckBox::toggled, this, &CToolpathDlg::ReliefChanged);
    connect(m_tool, &QComboBox::activated, this, &CToolpathDlg::ReliefChanged);
    connect(m_stockTopGiven, &QCheckBox::toggled, this, [this](bool given) {
        m_stockTop->setEnabled(given);
        ReliefChanged();
    });
    for (QDoubleSpinBox* box : {m_diameter, m_cell, m_stockTop, m_maxDepth})
        connect(box, &QDoubleSpinBox::editingFinished, this, &CToolpathDlg::ReliefChanged);
    return controls;
}

void CToolpathDlg::ExchangeReliefSettings(bool load)
{
    CPanelSettingsExchange store(load, kReliefSection);
    int tool = m_tool->currentIndex();
    int diameter = Micrometres(m_diameter);
    bool stockTopGiven = m_stockTopGiven->isChecked();
    int stockTop = Micrometres(m_stockTop);
    int cell = Micrometres(m_cell);
    int maxDepth = Micrometres(m_maxDepth);
    store.Exchange("ReliefTool", tool);
    store.Exchange("ReliefDiameter", diameter);
    store.Exchange("ReliefStockTopGiven", stockTopGiven);
    store.Exchange("ReliefStockTop", stockTop);
    store.Exchange("ReliefCell", cell);
    store.Exchange("ReliefMaxDepth", maxDepth);
    if (!store.IsLoading())
        return;
    // Out-of-range values stored by hand are clamped by the boxes.
    m_tool->setCurrentIndex(std::clamp(tool, 0, m_tool->count() - 1));
    m_diameter->setValue(diameter / 1000.0);
    m_stockTopGiven->setChecked(stockTopGiven);
    m_stockTop->setValue(stockTop / 1000.0);
    m_cell->setValue(cell / 1000.0);
    m_maxDepth->setValue(maxDepth / 1000.0);
}

CNcHeightMapOptions CToolpathDlg::ReliefOptions() const
{
    CNcHeightMapOptions options;
    options.tool = m_tool->currentIndex() == 1 ? NcTool::Ball : NcTool::Flat;
    options.diameter = m_diameter->value();
    options.cell = m_cell->value();
    options.stockTopGiven = m_stockTopGiven->isChecked();
    options.stockTop = m_stockTop->value();
    return options;
}

// A choice changed: remembered at once, and the surface made again if it is shown and was
// made with other choices.
void CToolpathDlg::ReliefChanged()
{
    ExchangeReliefSettings(false);
    if (!m_reliefShow->isChecked()) {
        if (ReliefUnderWay()) {
            Stop();
            m_progressBar->hide();
        }
        ClearRelief();
        return;
    }
    StartRelief();
}

void CToolpathDlg::OfferStartFromLine()
{
    m_startFromLine->setText(LoadString(Str::StartFromLineCaption));
    m_startFromLine->setEnabled(m_clickedLine >= 0);
    m_startFromLine->show();
}

CToolpathDlg::~CToolpathDlg()
{
    Stop();
}

bool CToolpathDlg::Open(const QByteArray& path, const CNcReadOptions& options)
{
    Stop();
    if (!ReportFileResult(this, m_file.Load(path)))
        return false;
    Start(options);
    return true;
}

void CToolpathDlg::OpenData(const QByteArray& name, std::string_view data,
                            const CNcReadOptions& options)
{
    Stop();
    m_file.LoadFromMemory(name, data);
    Start(options);
}

void CToolpathDlg::Start(const CNcReadOptions& options)
{
    setWindowTitle(LoadString(Str::ToolpathTitle).arg(m_file.GetDisplayName()));
    ClearRelief();
    m_orbit->SetPath(nullptr);
    m_model.reset();
    m_top->SetPath(nullptr, nullptr);
    m_side->SetPath(nullptr, nullptr);
    m_summary->setText(LoadString(Str::ToolpathReading));
    m_progressBar->setRange(0, CToolpathModel::StageCount * 100);
    m_progressBar->setValue(0);
    m_progressBar->show();
    m_progress.done = 0;
    m_progress.cancel = false;
    m_done = false;
    m_job = Job::Reading;
    m_options = options;
    const double rapid = m_rapidSpeed;
    // The worker only reads the file image and writes m_built; the window reads m_built only
    // after m_done, and joins the worker before it touches the image again.
    m_worker = std::thread([this, options, rapid] {
        m_built = CToolpathModel::Build(m_file, options, rapid, m_progress, m_stage);
        m_done.store(true, std::memory_order_release);
    });
    m_poll->start(kPollMs);
}

void CToolpathDlg::Stop()
{
    m_poll->stop();
    if (m_worker.joinable()) {
        m_progress.cancel = true;
        m_worker.join();
    }
    m_job = Job::None;
}

void CToolpathDlg::Poll()
{
    if (!m_done.load(std::memory_order_acquire)) {
        // Each stage fills its share of the bar; the surface is one stage.
        const uint64_t total = std::max<uint64_t>(m_progress.total.load(), 1);
        const double share = double(m_progress.done.load()) / double(total);
        const int stage = ReliefUnderWay() ? 0 : m_stage.load();
        m_progressBar->setValue(stage * 100 + int(std::min(share, 1.0) * 100));
        return;
    }
    m_poll->stop();
    m_worker.join();
    const Job finished = m_job;
    m_job = Job::None;
    if (finished == Job::Relief) {
        FinishRelief();
        return;
    }
    if (finished == Job::Check) {
        FinishCheck();
        return;
    }
    m_model = std::move(m_built);
    m_progressBar->hide();
    // The travel check before output finds the program here instead of reading it again,
    // while this window holds it.
    if (m_model)
        NcPathCache::Keep(m_file, m_options,
                          std::shared_ptr<const CNcPath>(m_model, &m_model->path));
    // A file changed by another program while it was read says so in the title: the path may
    // mix old and new contents.
    setWindowTitle(LoadString(Str::ToolpathTitle).arg(m_file.GetDisplayName()));
    if (!m_model)
        return;
    m_top->SetPath(&m_model->path, &m_model->top);
    m_side->SetPath(&m_model->path, &m_model->side);
    m_orbit->SetPath(&m_model->path);
    SetHighlightedLine(m_line);
    ShowSummary();
    if (m_reliefShow->isChecked())
        StartRelief();
}

// A stage of the surface's work is under way: one bar from empty, its progress from nothing.
void CToolpathDlg::BeginReliefJob(Job job)
{
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->show();
    m_progress.done = 0;
    m_progress.total = 0;
    m_progress.cancel = false;
    m_done = false;
    m_job = job;
}

// The worker makes the surface (and its shaded image) from the program read; the window takes
// it in Poll, then has the moves checked (StartCheck).
void CToolpathDlg::StartRelief()
{
    const CNcHeightMapOptions options = ReliefOptions();
    const double maxDepth = m_maxDepth->value();
    const QString key =
        QString::asprintf("%d %.6f %.6f %d %.6f %.6f", int(options.tool), options.diameter,
                          options.cell, int(options.stockTopGiven), options.stockTop, maxDepth);
    // Read first; Poll comes back here when the program is there.
    if (!m_model || m_job == Job::Reading)
        return;
    if (key == m_reliefKey && (m_relief || ReliefUnderWay()))
        return;
    Stop();
    ClearRelief();
    m_reliefKey = key;
    m_reliefInfo->setText(LoadString(Str::ReliefComputing));
    m_reliefInfo->show();
    BeginReliefJob(Job::Relief);
    // The model stays while the worker runs: a new file stops the worker before it lets go.
    const CNcPath* path = &m_model->path;
    m_worker = std::thread([this, path, options] {
        auto relief = std::make_unique<CRelief>();
        relief->map = ComputeHeightMap(*path, options, &m_progress);
        if (relief->map.complete) {
            relief->shaded = ShadedRelief(relief->map);
            relief->solid = SampleRelief(relief->map);
        }
        m_builtRelief = std::move(relief);
        m_done.store(true, std::memory_order_release);
    });
    m_poll->start(kPollMs);
}

void CToolpathDlg::FinishRelief()
{
    m_progressBar->hide();
    std::unique_ptr<CRelief> relief = std::move(m_builtRelief);
    if (!relief || !relief->map.complete) {
        ClearRelief();
        return;
    }
    m_relief = std::move(relief);
    const CNcHeightMap& map = m_relief->map;
    QString info = LoadString(Str::ReliefSurface)
                       .arg(map.width)
                       .arg(map.height)
                       .arg(map.cell, 0, 'f', 4)
                       .arg(map.stockTop, 0, 'f', 3);
    // Why the map is coarser than asked, in the computation's own words.
    if (!map.message.empty())
        info += '\n' + QString::fromStdString(map.message);
    m_reliefInfo->setText(info);
    m_reliefInfo->show();
    m_top->SetRelief(&map, &m_relief->shaded);
    m_orbit->SetSurface(&m_relief->solid);
    StartCheck();
}

// Rapid moves through standing stock, and cuts deeper than the depth given, need the program's
// order: each move meets the material the moves before it left. That sweep runs on one core,
// so it follows the surface the user already sees, with its own progress and Cancel.
void CToolpathDlg::StartCheck()
{
    BeginReliefJob(Job::Check);
    const CNcPath* path = &m_model->path;
    const CNcHeightMapOptions options = ReliefOptions();
    const double maxDepth = m_maxDepth->value();
    m_worker = std::thread([this, path, options, maxDepth] {
        auto check = std::make_unique<CMoveCheck>();
        CNcDangerCheck found = FindDangerousMoves(*path, options, maxDepth, &m_progress);
        check->moves = std::move(found.moves);
        check->count = found.count;
        check->complete = found.surface.complete;
        m_builtCheck = std::move(check);
        m_done.store(true, std::memory_order_release);
    });
    m_poll->start(kPollMs);
}

void CToolpathDlg::FinishCheck()
{
    m_progressBar->hide();
    std::unique_ptr<CMoveCheck> check = std::move(m_builtCheck);
    m_dangers->clear();
    if (!check || !check->complete)
        return;
    auto* head = new QListWidgetItem(
        check->count ? LoadString(Str::DangerousMoveCount).arg(qulonglong(check->count))
                     : LoadString(Str::NoDangerousMoves));
    head->setFlags(Qt::ItemIsEnabled);
    m_dangers->addItem(head);
    for (const CNcDangerousMove& move : check->moves) {
        auto* item = new QListWidgetItem(QString::fromStdString(FormatDangerousMove(move)));
        item->setData(Qt::UserRole, qulonglong(move.line));
        m_dangers->addItem(item);
    }
    m_dangers->show();
}

void CToolpathDlg::ClearRelief()
{
    m_top->SetRelief(nullptr, nullptr);
    m_orbit->SetSurface(nullptr);
    m_relief.reset();
    m_reliefKey.clear();
    m_reliefInfo->clear();
    m_reliefInfo->hide();
    m_dangers->clear();
    m_dangers->hide();
}

void CToolpathDlg::hideEvent(QHideEvent* event)
{
    if (ReliefUnderWay()) {
        Stop();
        m_progressBar->hide();
        ClearRelief();
    }
    QDialog::hideEvent(event);
}

void CToolpathDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_reliefShow->isChecked() && !m_relief)
        StartRelief();
}

void CToolpathDlg::DangerClicked(QListWidgetItem* item)
{
    const QVariant line = item ? item->data(Qt::UserRole) : QVariant();
    if (!line.isValid())
        return;
    const auto number = line.toULongLong();
    SetHighlightedLine(uint32_t(number));
    m_clicked->setText(LoadString(Str::LineNumber).arg(number + 1));
    emit LineClicked(qint64(number));
}

void CToolpathDlg::ShowSummary()
{
    const CNcPath& path = m_model->path;
    QStringList lines;
    if (m_model->extents.empty) {
        lines << LoadString(Str::NoMoves);
    } else {
        auto extents = [&](int id, bool inch, int decimals) {
            const auto low = InProgramUnits(m_model->extents.low, inch);
            const auto high = InProgramUnits(m_model->extents.high, inch);
            QString text = LoadString(id);
            for (int axis = 0; axis < 3; ++axis)
                text = text.arg(low[axis], 0, 'f', decimals).arg(high[axis], 0, 'f', decimals);
            return text;
        };
        lines << extents(Str::ExtentsMillimetres, false, 3);
        if (path.inch)
            lines << extents(Str::ExtentsInches, true, 4);
        lines << LoadString(Str::RunTime)
                     .arg(QString::fromStdString(FormatDuration(m_model->runTime->TotalSeconds())))
                     .arg(m_rapidSpeed, 0, 'f', 0);
        if (m_line)
            lines << LoadString(Str::RemainingFromLine)
                         .arg(*m_line + 1)
                         .arg(QString::fromStdString(
                             FormatDuration(m_model->runTime->RemainingFromLine(*m_line))));
    }
    m_summary->setText(lines.join('\n'));
    m_warnings->clear();
    m_warnings->setVisible(!path.warnings.Empty());
    if (!path.warnings.Empty()) {
        m_warnings->addItem(LoadString(Str::WarningCount).arg(path.warnings.Count()));
        for (const CNcWarning& warning : path.warnings.Kept())
            m_warnings->addItem(QString::fromStdString(FormatNcWarning(warning)));
    }
}

void CToolpathDlg::SetTravel(const NcPoint& low, const NcPoint& high, const NcPoint& origin)
{
    const NcPoint from{low[0] - origin[0], low[1] - origin[1], low[2] - origin[2]};
    const NcPoint to{high[0] - origin[0], high[1] - origin[1], high[2] - origin[2]};
    m_top->SetTravel(from, to);
    m_side->SetTravel(from, to);
}

void CToolpathDlg::SetHighlightedLine(std::optional<uint32_t> line)
{
    m_line = line;
    if (!m_model)
        return;
    m_top->SetHighlightedLine(line);
    m_side->SetHighlightedLine(line);
    m_orbit->SetHighlightedLine(line);
    ShowSummary();
}

void CToolpathDlg::SetToolPosition(std::optional<NcPoint> position)
{
    m_top->SetToolPosition(position);
    m_side->SetToolPosition(position);
}
