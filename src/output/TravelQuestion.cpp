#include "TravelQuestion.h"

#include "CutDataFile.h"
#include "MachineStatusDlg.h"
#include "ModelingMachine.h"
#include "NcReader.h"
#include "PanelMessageBox.h"
#include "ProgramPlacement.h"
#include "StringTable.h"

#include <QStringList>

namespace {

constexpr uint32_t kYesNoExclamation = 0x34;
constexpr int kYes = 6;

} // namespace

QString TravelQuestionText(const QString& name, const CNcTravelCheck& check)
{
    static constexpr const char* kAxes[3] = {"X", "Y", "Z"};
    QStringList excesses;
    for (int axis = 0; axis < 3; ++axis) {
        if (check.below[axis] > 0)
            excesses
                << LoadString(50210).arg(kAxes[axis]).arg(check.below[axis] / 1000.0, 0, 'f', 2);
        if (check.above[axis] > 0)
            excesses
                << LoadString(50211).arg(kAxes[axis]).arg(check.above[axis] / 1000.0, 0, 'f', 2);
    }
    return LoadString(50209).arg(name, excesses.join('\n'));
}

CNcPath ReadFileProgram(const CCutDataFile& file, const CNcReadOptions& options)
{
    if (file.LineCount() == 0)
        return {};
    return ReadNcProgram(file.LineText(0).data(), uint64_t(file.GetLength()), options);
}

bool AskSendOutsideTravel(const QString& name, const CNcTravelCheck& check, QWidget* parent)
{
    CPanelMessageBox box(TravelQuestionText(name, check), kYesNoExclamation, parent);
    return box.exec() == kYes;
}

TravelAnswer ConfirmTravelBeforeOutput(const QByteArray& path, CModelingMachine& machine,
                                       CMachineStatusDlg* panel, QWidget* parent)
{
    CCutDataFile file;
    if (!file.Load(path, parent))
        return TravelAnswer::Stop;
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
