#include "ProgramPlacement.h"

#include "NcPath.h"
#include "NcRunTime.h"
#include "PanelAccess.h"
#include "PanelSettings.h"

#include <algorithm>

CNcReadOptions ReadOptionsFrom(const MachineSettings& settings)
{
    CNcReadOptions options;
    options.blockSkip = settings.ncOptionalBlockSkip == 0;
    options.decimalMode = NcDecimalMode(std::min<uint8_t>(settings.ncDecimalPoint, 3));
    return options;
}

double StoredRapidSpeed()
{
    int speed = int(kDefaultRapidSpeed);
    CPanelSettingsExchange settings(true);
    settings.Exchange("RapidSpeed", speed);
    return speed > 0 ? speed : kDefaultRapidSpeed;
}

CNcOrigins OriginsFor(const CNcPath& path, CPanelAccess& panel)
{
    CNcOrigins origins;
    origins.current = panel.GetCurrentOrigin();
    for (const CNcSystemChange& change : path.systems) {
        if (change.system < 0 || origins.systems.count(change.system))
            continue;
        AxisTriple origin;
        if (panel.GetOrigin(change.system, origin))
            origins.systems[change.system] = origin;
    }
    return origins;
}
