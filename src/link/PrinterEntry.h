#pragma once

#include <string>

// One queue of the print system as the printer list shows it.
struct PrinterEntry
{
    std::string name;       // queue name
    std::string driverName; // make and model; the machine's queues carry the model name
    std::string port;       // device URI
};
