#include "CoordinateLists.h"

#include "MachineCommands.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TextFormat.h"

namespace {

bool OffersUser(int commandSet)
{
    return commandSet != 1;
}

bool OffersNcSystems(int commandSet)
{
    return commandSet == 1 || commandSet == 2;
}

void AppendOriginSystems(CoordinateEntries& entries, int commandSet)
{
    if (OffersUser(commandSet))
        entries.push_back({LoadString(Str::UserSystem), CoordSystem::User});
    if (OffersNcSystems(commandSet)) {
        const QString format = LoadString(Str::WorkSystem);
        for (int g = Cmd::FirstWorkSystem; g <= Cmd::LastWorkSystem; ++g)
            entries.push_back(
                {FormatTemplate(format, {g}), CoordSystem::FirstWork + g - Cmd::FirstWorkSystem});
        entries.push_back({LoadString(Str::Exofs), CoordSystem::Exofs});
    }
}

} // namespace

CoordinateEntries ShownSystemEntries(int commandSet)
{
    CoordinateEntries entries{{LoadString(Str::MachineSystem), CoordSystem::Machine}};
    AppendOriginSystems(entries, commandSet);
    return entries;
}

CoordinateEntries OriginSystemEntries(int commandSet)
{
    CoordinateEntries entries;
    AppendOriginSystems(entries, commandSet);
    return entries;
}

int SelectEntryIndex(const CoordinateEntries& entries, int number)
{
    if (entries.empty())
        return -1;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].number == number)
            return static_cast<int>(i);
    return 0;
}
