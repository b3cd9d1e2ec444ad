#include "LinkFactory.h"

#include "SimulatorLink.h"
#include "UsbPrintLink.h"

std::unique_ptr<CMachineLink> CreateUsbPrintLink()
{
    // The real machine is driven with plain (not overlapped) transfers.
    return std::make_unique<CUsbPrintLink>(false);
}

std::unique_ptr<CMachineLink> CreateSimulatorLink()
{
    return std::make_unique<CSimulatorLink>();
}
