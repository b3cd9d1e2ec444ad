#include "SimulatorProtocol.h"

#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace SimProtocol {

std::string NoticeSocketName(pid_t pid, uint32_t token)
{
    char name[64];
    std::snprintf(name, sizeof name, "zr40-sim-notice-%ld-%08x", static_cast<long>(pid), token);
    return name;
}

bool SendNotice(pid_t pid, uint32_t token, uint32_t event)
{
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = NoticeSocketName(pid, token);
    // Abstract namespace: a leading NUL, no file in the file system, gone with its owner.
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const bool sent =
        sendto(fd, &event, sizeof event, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&address),
               length) == static_cast<ssize_t>(sizeof event);
    close(fd);
    return sent;
}

} // namespace SimProtocol
