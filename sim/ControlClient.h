#pragma once

#include <string>

// The simulator's control interface: a Unix stream socket that takes one command line per
// connection and answers with text, "error: ..." when the command failed.
namespace SimControl {

// $XDG_RUNTIME_DIR/zr40-sim.ctl, or /tmp/zr40-sim-UID.ctl without a runtime folder.
std::string DefaultSocketPath();

// Sends one command and collects the whole answer; false when the simulator cannot be reached
// within timeoutMs.
bool Request(const std::string& socketPath, const std::string& command, std::string& answer,
             int timeoutMs = 5000);

inline bool IsError(const std::string& answer)
{
    return answer.starts_with("error:");
}

} // namespace SimControl
