#include "ToolpathDlg.h"

#include "FileResultMessage.h"
#include "NcPathCache.h"
#include "PanelSettings.h"
#include "StringIds.h"
#include "StringTable.h"
#include "ToolpathView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kPollMs = 100;

// Rapid speed of the machine for the run-time estimate, mm per minute, from the panel's
// settings ("RapidSpeed"); the default fits the machine when nobody has set it.
double StoredRapidSpeed()
{
    int speed = int(kDefaultRapidSpeed);
    CPanelSettingsExchange settings(true);
    settings.Exchange("RapidSpeed", speed);
    return speed > 0 ? speed : kDefaultRapidSpeed;
}

QString Duration(double seconds)
{
    const long long whole = (long long)(seconds + 0.5);
    return QString::asprintf("%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
}

} // namespace

CToolpathDlg::CToolpathDlg(QWidget* parent)
    : QDialog(parent), m_rapidSpeed(StoredRapidSpeed()),
      m_top(new CToolpathView(NcProjection::Top, this)),
      m_side(new CToolpathView(NcProjection::Side, this)), m_progressBar(new QProgressBar(this)),
      m_summary(new QLabel(this)), m_clicked(new QLabel(this)),
      m_startFromLine(new QPushButton(this)), m_warnings(new QListWidget(this)),
      m_poll(new QTimer(this))
{
    setObjectName("toolpathDlg");
    auto* views = new QSplitter(Qt::Vertical, this);
    views->addWidget(m_top);
    views->addWidget(m_side);
    views->setStretchFactor(0, 3);
    views->setStretchFactor(1, 1);
    m_summary->setObjectName("toolpathSummary");
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_clicked->setObjectName("toolpathClicked");
    m_warnings->setObjectName("toolpathWarnings");
    m_warnings->setMaximumHeight(90);
    m_warnings->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(views, 1);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_summary);
    layout->addWidget(m_clicked);
    m_startFromLine->setObjectName("toolpathStartFromLine");
    m_startFromLine->setAutoDefault(false);
    m_startFromLine->hide();
    layout->addWidget(m_startFromLine, 0, Qt::AlignLeft);
    layout->addWidget(m_warnings);
    resize(760, 680);

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
    connect(m_poll, &QTimer::timeout, this, &CToolpathDlg::Poll);
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
    m_options = options;
    const char* data = m_file.LineCount() > 0 ? m_file.LineText(0).data() : "";
    const auto size = uint64_t(m_file.GetLength());
    const double rapid = m_rapidSpeed;
    // The worker only reads the file image and writes m_built; the window reads m_built only
    // after m_done, and joins the worker before it touches the image again.
    m_worker = std::thread([this, data, size, options, rapid] {
        m_built = CToolpathModel::Build(data, size, options, rapid, m_progress, m_stage);
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
}

void CToolpathDlg::Poll()
{
    if (!m_done.load(std::memory_order_acquire)) {
        // Each stage fills its share of the bar.
        const uint64_t total = std::max<uint64_t>(m_progress.total.load(), 1);
        const double share = double(m_progress.done.load()) / double(total);
        m_progressBar->setValue(m_stage.load() * 100 + int(std::min(share, 1.0) * 100));
        return;
    }
    m_poll->stop();
    m_worker.join();
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
    SetHighlightedLine(m_line);
    ShowSummary();
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
                     .arg(Duration(m_model->runTime->TotalSeconds()))
                     .arg(m_rapidSpeed, 0, 'f', 0);
        if (m_line)
            lines << LoadString(Str::RemainingFromLine)
                         .arg(*m_line + 1)
                         .arg(Duration(m_model->runTime->RemainingFromLine(*m_line)));
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
    ShowSummary();
}

void CToolpathDlg::SetToolPosition(std::optional<NcPoint> position)
{
    m_top->SetToolPosition(position);
    m_side->SetToolPosition(position);
}
