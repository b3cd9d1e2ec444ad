#include "ControlClient.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace SimControl {

std::string DefaultSocketPath()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/zr40-sim.ctl";
    return "/tmp/zr40-sim-" + std::to_string(getuid()) + ".ctl";
}

bool Request(const std::string& socketPath, const std::string& command, std::string& answer,
             int timeoutMs)
{
    answer.clear();
    sockaddr_un address{};
    if (socketPath.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    const std::string line = command + "\n";
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        close(fd);
        return false;
    }
    shutdown(fd, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd watch{fd, POLLIN, 0};
        if (left <= 0 || poll(&watch, 1, static_cast<int>(left)) <= 0) {
            close(fd);
            return false;
        }
        const ssize_t count = recv(fd, buffer, sizeof buffer, 0);
        if (count < 0) {
            close(fd);
            return false;
        }
        if (count == 0)
            break;
        answer.append(buffer, static_cast<size_t>(count));
    }
    close(fd);
    return true;
}

} // namespace SimControl
