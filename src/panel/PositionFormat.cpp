#include "PositionFormat.h"

#include "StringIds.h"
#include "StringTable.h"

QString FormatPosition(int32_t units, bool metric)
{
    if (metric)
        return QString::asprintf("%.2f", static_cast<double>(units) *
                                             static_cast<double>(MillimetresPerUnit));
    return QString::asprintf("%.3f",
                             static_cast<double>(units) * static_cast<double>(InchesPerUnit));
}

QString PositionPlaceholder(bool metric)
{
    return LoadString(metric ? Str::MillimetrePlaceholder : Str::InchPlaceholder);
}

QString UnitLabel(bool metric)
{
    return LoadString(metric ? Str::Millimetre : Str::Inch);
}

QString FormatSpindleSpeed(bool connected, int32_t value)
{
    return connected ? QString::number(value) : LoadString(Str::SpindlePlaceholder);
}

QString FormatOverride(bool connected, int percent)
{
    return connected && percent > 0 ? QString::number(percent) : LoadString(Str::Dashes);
}

QString CommandSetText(bool connected, int commandSet)
{
    if (connected && commandSet == 0)
        return LoadString(Str::Zml1);
    if (connected && commandSet == 1)
        return LoadString(Str::NcCode);
    return LoadString(Str::BothCommandSets);
}
