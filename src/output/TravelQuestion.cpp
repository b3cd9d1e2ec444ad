#include "TravelQuestion.h"

#include "CutDataFile.h"
#include "MachineStatusDlg.h"
#include "ModelingMachine.h"
#include "NcReader.h"
#include "PanelMessageBox.h"
#include "ProgramPlacement.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QFile>
#include <QStringList>

namespace {

// The NC-code test of the file image (the first byte after the empty lines is "%" or "("),
// made on the file's first bytes, so that ZML-1 files are never loaded for the question. A file
// that cannot be read counts as no NC code: the output itself then reports it, as before.
bool StartsAsNcCode(const QByteArray& path)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    char buffer[65536];
    qint64 count;
    while ((count = file.read(buffer, sizeof buffer)) > 0) {
        for (qint64 i = 0; i < count; ++i) {
            if (buffer[i] == '\r' || buffer[i] == '\n')
                continue;
            return buffer[i] == '%' || buffer[i] == '(';
        }
    }
    return false;
}

} // namespace

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

TravelAnswer ConfirmTravelBeforeOutput(const QByteArray& path, CModelingMachine& machine,
                                       CMachineStatusDlg* panel, QWidget* parent)
{
    if (!StartsAsNcCode(path))
        return TravelAnswer::Send;
    CCutDataFile file;
    if (!file.Load(path, parent))
        return TravelAnswer::Stop;
    return ConfirmTravel(file, machine, panel, parent);
}

TravelAnswer ConfirmTravel(const CCutDataFile& file, CModelingMachine& machine,
                           CMachineStatusDlg* panel, QWidget* parent)
{
    MachineSettings settings;
    AxisTriple low, high;
    if (!file.IsNcCode() || !machine.GetMachineSettings(settings) ||
        !machine.GetMoveRange(low, high))
        return TravelAnswer::Send;
    const CNcPath program = ReadFileProgram(file, ReadOptionsFrom(settings));
    const CNcOrigins origins = panel ? OriginsFor(program, *panel) : CNcOrigins{};
    const CNcTravelCheck check = CheckTravel(MachineExtents(program, origins), low, high);
    if (check.Fits() || AskSendOutsideTravel(file.GetDisplayName(), check, parent))
        return TravelAnswer::Send;
    return TravelAnswer::Skip;
}
