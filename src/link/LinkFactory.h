#pragma once

#include "MachineLink.h"

#include <memory>

// The two transports, made where the concrete classes are known, so that their owner holds
// them only as CMachineLink.
std::unique_ptr<CMachineLink> CreateUsbPrintLink();
std::unique_ptr<CMachineLink> CreateSimulatorLink();
