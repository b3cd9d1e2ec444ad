#include "TravelQuestion.h"

#include "CutDataFile.h"
#include "FileReader.h"
#include "ModelingMachine.h"
#include "NcCodeTest.h"
#include "NcPathCache.h"
#include "NcReader.h"
#include "PanelAccess.h"
#include "PanelMessageBox.h"
#include "ProgramPlacement.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QStringList>

#include <algorithm>
#include <memory>

namespace {

NcPoint ToPoint(const std::array<double, 3>& mm)
{
    return {ToMicrometres(mm[0]), ToMicrometres(mm[1]), ToMicrometres(mm[2])};
}

// The bytes of a file image's program: none for an empty file.
CNcReadCursor ProgramCursor(const CCutDataFile& file, const CNcReadOptions& options)
{
    if (file.LineCount() == 0)
        return CNcReadCursor(nullptr, 0, options);
    return CNcReadCursor(file.LineText(0).data(), uint64_t(file.GetLength()), options);
}

// Where the panel places the coordinate systems the path uses.
CNcOrigins OriginsOf(const CNcPath& path, CPanelAccess* panel)
{
    CNcOrigins origins;
    if (!panel)
        return origins;
    origins.current = panel->GetCurrentOrigin();
    for (const CNcSystemChange& change : path.systems) {
        AxisTriple origin;
        if (change.system >= 0 && !origins.systems.count(change.system) &&
            panel->GetOrigin(change.system, origin))
            origins.systems[change.system] = origin;
    }
    return origins;
}

} // namespace

// The NC-code test of the file image, made on the file's first bytes, so that ZML-1 files are never
// loaded for the question. A file that cannot be read counts as no NC code: the output itself then
// reports it, as before.
bool StartsAsNcCode(const QByteArray& path)
{
    // Opened as every user's file is: an entry naming a pipe or a device is no NC code and
    // never holds the panel here; the output itself then reports it.
    CFileReader file;
    if (file.Open(path) != 0)
        return false;
    char buffer[65536];
    int64_t count;
    while ((count = file.ReadSome(buffer, sizeof buffer)) > 0) {
        const NcCodeVerdict verdict = TestNcCode(buffer, size_t(count));
        if (verdict != NcCodeVerdict::Undecided)
            return verdict == NcCodeVerdict::Yes;
    }
    return false;
}

CTravelScan::CTravelScan(const CCutDataFile& file, const CNcReadOptions& options,
                         CPanelAccess* panel, int64_t sliceBytes)
    : m_cursor(ProgramCursor(file, options)), m_panel(panel),
      m_sliceBytes(std::max<int64_t>(sliceBytes, 1)), m_before(ToPoint(options.start))
{
    if (panel)
        m_origins.current = panel->GetCurrentOrigin();
}

void CTravelScan::Step()
{
    // The slice is a path of its own. After the first, it begins with a move of no length to
    // where the last one ended, in the system that one was in: that point stays in the box of
    // its own system, and an arc that opens the slice has its true start.
    CNcPath slice;
    slice.start = m_before;
    if (m_moved) {
        slice.systems.push_back({0, m_cursor.system});
        slice.segments.PushBack(
            CNcSegment::Make(m_before, uint32_t(m_cursor.line), NcMotion::Rapid, NcPlane::XY));
    }
    const bool last = m_cursor.end - m_cursor.p <= m_sliceBytes;
    ReadNcLines(m_cursor, slice, last ? nullptr : m_cursor.p + m_sliceBytes);
    if (m_panel) {
        for (const CNcSystemChange& change : slice.systems) {
            AxisTriple origin;
            if (change.system >= 0 && !m_origins.systems.count(change.system) &&
                m_panel->GetOrigin(change.system, origin))
                m_origins.systems[change.system] = origin;
        }
    }
    m_extents.Add(MachineExtents(slice, m_origins));
    if (slice.segments.Size() > 0) {
        m_before = slice.segments[slice.segments.Size() - 1].end;
        m_moved = true;
    }
}

QString TravelQuestionText(const QString& name, const CNcTravelCheck& check)
{
    static constexpr const char* kAxes[3] = {"X", "Y", "Z"};
    QStringList excesses;
    for (int axis = 0; axis < 3; ++axis) {
        if (check.below[axis] > 0)
            excesses << LoadString(Str::BelowTravel)
                            .arg(kAxes[axis])
                            .arg(check.below[axis] / 1000.0, 0, 'f', 2);
        if (check.above[axis] > 0)
            excesses << LoadString(Str::AboveTravel)
                            .arg(kAxes[axis])
                            .arg(check.above[axis] / 1000.0, 0, 'f', 2);
    }
    return LoadString(Str::LeavesTravelQuestion).arg(name, excesses.join('\n'));
}

CNcPath ReadFileProgram(const CCutDataFile& file, const CNcReadOptions& options)
{
    if (file.LineCount() == 0)
        return {};
    return ReadNcProgram(file.LineText(0).data(), uint64_t(file.GetLength()), options);
}

bool AskSendOutsideTravel(const QString& name, const CNcTravelCheck& check, QWidget* parent)
{
    CPanelMessageBox box(TravelQuestionText(name, check), BoxStyle::ExclamationYesNo, parent);
    return box.exec() == BoxResult::Yes;
}

namespace {

// Send when the program's extents on the machine fit its travel, else what the user says.
TravelAnswer AnswerForExtents(const CCutDataFile& file, const CNcExtents& extents,
                              const AxisTriple& low, const AxisTriple& high, QWidget* parent)
{
    const CNcTravelCheck check = CheckTravel(extents, low, high);
    if (check.Fits() || AskSendOutsideTravel(file.GetDisplayName(), check, parent))
        return TravelAnswer::Send;
    return TravelAnswer::Skip;
}

} // namespace

TravelAnswer ConfirmTravelBeforeOutput(const QByteArray& path, CCutDataFile& image,
                                       const ImageLoader& load, CModelingMachine& machine,
                                       CPanelAccess* panel, QWidget* parent)
{
    if (!StartsAsNcCode(path))
        return TravelAnswer::Send;
    if (!load(path))
        return TravelAnswer::Stop;
    return ConfirmTravel(image, machine, panel, parent);
}

TravelAnswer ConfirmTravel(const CCutDataFile& file, CModelingMachine& machine, CPanelAccess* panel,
                           QWidget* parent)
{
    MachineSettings settings;
    AxisTriple low, high;
    if (!file.IsNcCode() || !machine.GetMachineSettings(settings) ||
        !machine.GetMoveRange(low, high))
        return TravelAnswer::Send;
    const CNcReadOptions options = ReadOptionsFrom(settings);
    // A program the toolpath window has read from this image is not read again.
    if (const std::shared_ptr<const CNcPath> path = NcPathCache::Find(file, options))
        return AnswerForExtents(file, MachineExtents(*path, OriginsOf(*path, panel)), low, high,
                                parent);
    // The program is read slice by slice from the image in memory, without a second copy:
    // between slices the windows repaint and the panel goes on polling, and a check that takes
    // longer than a moment shows its progress, where Cancel skips the file as No does.
    CTravelScan scan(file, options, panel);
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> progress;
    const int64_t total = std::max<int64_t>(file.GetLength(), 1);
    while (!scan.Done()) {
        scan.Step();
        if (!progress && clock.elapsed() >= TravelProgressDelayMs) {
            progress = std::make_unique<QProgressDialog>(parent);
            progress->setObjectName(QStringLiteral("TravelCheckProgress"));
            progress->setWindowTitle(QApplication::applicationDisplayName());
            progress->setLabelText(file.GetDisplayName());
            progress->setRange(0, TravelProgressSteps);
            progress->setMinimumDuration(0);
            progress->setWindowModality(Qt::WindowModal);
            progress->setAutoReset(false);
            progress->setAutoClose(false);
            progress->show();
        }
        if (!progress) {
            // Timers (the panel's poll) and repaints go on; the user's input waits.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            continue;
        }
        progress->setValue(int(scan.BytesRead() * TravelProgressSteps / total));
        QCoreApplication::processEvents();
        if (progress->wasCanceled())
            return TravelAnswer::Skip;
    }
    progress.reset();
    return AnswerForExtents(file, scan.Extents(), low, high, parent);
}
